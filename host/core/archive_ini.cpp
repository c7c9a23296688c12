#include "host/core/archive_ini.h"

#include <cstring>

namespace hostengine {
namespace {

std::string trimmed(const std::string& text) {
    std::size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos) return {};
    std::size_t last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

bool holdsControlBytes(const std::string& line) {
    for (unsigned char c : line)
        if ((c < 0x20 && c != '\t') || c == 0x7F) return true;
    return false;
}

std::string sectionText(const IniSection& section) {
    std::string text;
    for (const IniKey& key : section.keys) text += key.key + "=" + key.value + "\n";
    return text;
}

// The part of a locator after its scheme, or the entry's name when it has none.
std::string sourceOf(const ResourceEntry* entry) {
    const char* locator = entry->locator;
    const char* rest = locator ? std::strstr(locator, "://") : nullptr;
    if (rest) return rest + 3;
    return entry->name ? entry->name : "";
}

}  // namespace

IniDocument parseIni(const std::string& text) {
    IniDocument document;
    constexpr long kIgnored = -1;
    constexpr long kLoose = -2;
    long current = kLoose;  // a section index, or one of the two places above

    std::size_t start = 0;
    if (text.compare(0, 3, "\xEF\xBB\xBF") == 0) start = 3;  // a UTF-8 byte order mark
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        start = end + 1;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (holdsControlBytes(line)) continue;
        std::string content = trimmed(line);
        if (content.empty() || content[0] == ';' || content[0] == '#') continue;

        if (content[0] == '[') {
            std::size_t close = content.find(']');
            std::string name = close == std::string::npos ? std::string() : trimmed(content.substr(1, close - 1));
            if (name.empty()) {
                // Its keys are not put into the section before it, where they would not belong.
                current = kIgnored;
                continue;
            }
            document.sections.push_back(IniSection{name, {}});
            current = static_cast<long>(document.sections.size()) - 1;
            continue;
        }

        std::size_t equals = content.find('=');
        if (equals == std::string::npos) continue;
        IniKey key{trimmed(content.substr(0, equals)), trimmed(content.substr(equals + 1))};
        if (key.key.empty()) continue;
        if (current == kLoose)
            document.loose.push_back(std::move(key));
        else if (current >= 0)
            document.sections[static_cast<std::size_t>(current)].keys.push_back(std::move(key));
    }
    return document;
}

IniArchive::IniArchive(ArchiveContext& context, const IniDocument& document, const std::string& source)
    : Archive(context) {
    for (const IniSection& section : document.sections) {
        Item& item = addItem(section.name, "archive/inisection", true, "ini://" + source + "/" + section.name);
        setBytes(item, std::make_shared<const std::string>(sectionText(section)));
    }
}

IniSectionArchive::IniSectionArchive(ArchiveContext& context, const std::vector<IniKey>& keys,
                                     const std::string& sectionLocator)
    : Archive(context) {
    for (const IniKey& key : keys) {
        Item& item = addItem(key.key, "text", false, sectionLocator + "/" + key.key);
        setBytes(item, std::make_shared<const std::string>(key.value));
    }
}

std::unique_ptr<Archive> IniArchiveFactory::make(ResourceEntry* entry, ResourceInfo*, InterfaceTable* stream) {
    std::string bytes;
    bool read = stream ? readWholeStream(stream, bytes) : readWholeFile(filePathOfLocator(entry->locator), bytes);
    if (!read) return nullptr;
    return std::make_unique<IniArchive>(context_, parseIni(bytes), sourceOf(entry));
}

std::unique_ptr<Archive> IniSectionArchiveFactory::make(ResourceEntry* entry, ResourceInfo*, InterfaceTable* stream) {
    std::string bytes;
    if (!stream || !readWholeStream(stream, bytes)) return nullptr;
    return std::make_unique<IniSectionArchive>(context_, parseIni(bytes).loose, entry->locator ? entry->locator : "");
}

}  // namespace hostengine
