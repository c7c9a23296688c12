#include "tools/pawnstage/check_archive.h"

#include "tools/pawnstage/check_producer.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <system_error>

#include "core/allocator.h"
#include "core/names.h"
#include "host/core/archive_base.h"
#include "host/core/archive_dir.h"
#include "host/core/host_engine.h"
#include "host/core/resource_root.h"
#include "host/core/sound_factory.h"
#include "host/media/ffmpeg_video.h"
#include "media/alpha_video.h"
#include "media/dual_video.h"
#include "resources/entry_list.h"
#include "resources/resource_dir.h"

namespace pawnstage {
namespace fs = std::filesystem;

const char* statusName(CheckStatus status) {
    switch (status) {
    case CheckStatus::Ok: return "OK";
    case CheckStatus::Warn: return "WARN";
    case CheckStatus::Error: return "ERROR";
    }
    return "?";
}

int ArchiveReport::count(CheckStatus status) const {
    int total = 0;
    for (const CheckResult& result : results) total += result.status == status;
    return total;
}

const CheckResult* ArchiveReport::find(const std::string& check) const {
    for (const CheckResult& result : results)
        if (result.check == check) return &result;
    return nullptr;
}

const std::vector<std::string>& pawnSequenceNames() {
    static const std::vector<std::string> names = {"wait01", "wait02", "wait03", "wait04",  "wait05",  "wait06",  "wait07",
                                                   "buzz01", "buzz02", "buzz03", "hppy01",  "hppy02",  "hppy03",  "uhppy01",
                                                   "uhppy02", "uhppy03", "l_left", "l_rght", "freeze"};
    return names;
}

const std::vector<std::string>& penguinSequenceNames() {
    static const std::vector<std::string> names = {"wait01", "wait02", "wait03", "buzz01", "buzz02", "buzz03", "freeze"};
    return names;
}

namespace {

std::string lowered(const std::string& text) {
    std::string out = text;
    for (char& c : out) c = asciiLower(c);
    return out;
}

std::string trimmed(const std::string& text) {
    const char* blanks = " \t\r\n\v\f";
    std::size_t first = text.find_first_not_of(blanks);
    if (first == std::string::npos) return {};
    return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

// Text from a file as it can be shown on one line of a report.
std::string printable(const std::string& text) {
    std::string out;
    for (unsigned char c : text) {
        if (c == '\n') out += "\\n";
        else if (c == '\r') out += "\\r";
        else if (c == '\t') out += "\\t";
        else if (c < 0x20 || c == 0x7F) out += '?';
        else out += static_cast<char>(c);
    }
    return out;
}

std::string counted(std::int64_t count, const std::string& one, const std::string& many) {
    return std::to_string(count) + " " + (count == 1 ? one : many);
}
std::string counted(std::int64_t count, const std::string& word) { return counted(count, word, word + "s"); }

// "a second", "a third", ... for repeated sections.
std::string ordinal(int number) {
    static const char* const kWords[] = {"first", "second", "third", "fourth", "fifth", "sixth", "seventh", "eighth", "ninth", "tenth"};
    if (number >= 1 && number <= 10) return std::string("a ") + kWords[number - 1];
    return "another";
}

// A number as the module reads it: leading white space, an optional sign, digits up to the first
// other character, 0 without digits; saturated at the 32-bit range (`clamped` says it was).
std::int64_t moduleNumber(const std::string& text, bool* plain, bool* clamped = nullptr) {
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    std::int64_t value = 0;
    std::size_t digits = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i, ++digits) value = std::min<std::int64_t>(value * 10 + (text[i] - '0'), INT64_C(1) << 32);
    // Plain: digits, and nothing after them but white space.
    if (plain) *plain = digits > 0 && trimmed(text.substr(i)).empty();
    value = negative ? -value : value;
    const std::int64_t held = std::max<std::int64_t>(INT32_MIN, std::min<std::int64_t>(INT32_MAX, value));
    if (clamped) *clamped = held != value;
    return held;
}

// One key of the sequence table, read as the alpha-video loader reads it.
struct TableEntry {
    std::string name;
    std::string text;  // at most 127 bytes, as the loader reads
    bool hasAt = false;
    std::int64_t count = 0;
    std::int64_t first = 0;
    bool plainCount = false;
    bool plainFirst = false;
    bool clamped = false;  // a number beyond the 32-bit range, held to its end as the pawn holds it

    std::string asWritten() const { return name + "=" + printable(text); }
};

class Checker {
public:
    Checker(const std::string& archive, const CheckOptions& options, ArchiveReport& report)
        : archive_(archive), options_(options), report_(report) {}

    void run();

private:
    void add(CheckStatus status, const std::string& check, const std::string& message) { report_.results.push_back({status, check, message}); }
    void ok(const std::string& check, const std::string& message) { add(CheckStatus::Ok, check, message); }
    void warn(const std::string& check, const std::string& message) { add(CheckStatus::Warn, check, message); }
    void error(const std::string& check, const std::string& message) { add(CheckStatus::Error, check, message); }

    std::string shown(const fs::path& path) const;  // a path as the report names it
    std::string fileOf(const ResourceEntry* entry) const;
    std::string rootHint() const { return options_.root.empty() ? " (--root names the game's resource root)" : ""; }

    ResourceEntry* findArchiveEntry(ResourceDir* parentRoot);
    void checkLookup(ResourceDir* root);
    void checkVideo(ResourceDir* archiveDir, ResourceEntry* archiveEntry);
    void scanFrames(DualVideo* video, hostengine::HostVideo& hostVideo, bool hasAlphaChannel);
    void checkTable(ResourceDir* archiveDir);
    void scanTableText(const ResourceEntry* ini);
    void checkSequences();
    void checkRange(const TableEntry& entry, bool required);
    void checkBuzzSounds(ResourceDir* root);
    void checkScorePhase(ResourceDir* root);

    std::string archive_;
    const CheckOptions& options_;
    ArchiveReport& report_;
    fs::path directory_;      // the archive, absolute
    fs::path rootDirectory_;  // the resource root, absolute
    std::string rootShown_;

    hostengine::HostVideoFactory* videos_ = nullptr;
    std::int64_t frameCount_ = -1;       // -1: the video did not decode
    std::vector<bool> emptyFrames_;      // frames whose alpha is 0 everywhere
    bool tableRead_ = false;
    std::vector<TableEntry> table_;
};

std::string Checker::shown(const fs::path& path) const {
    // Relative to the archive or the root as the user named them, so messages read like the command line.
    for (const auto& [base, named] : {std::pair{directory_, fs::path(archive_)}, std::pair{rootDirectory_, fs::path(rootShown_)}}) {
        std::error_code error;
        if (base.empty()) continue;
        fs::path relative = fs::relative(path, base, error);
        if (!error && !relative.empty() && *relative.begin() != "..") return (named / relative).lexically_normal().string();
    }
    return path.string();
}

std::string Checker::fileOf(const ResourceEntry* entry) const {
    std::string path = entry ? hostengine::filePathOfLocator(entry->locator) : std::string();
    return path.empty() ? std::string(entry && entry->name ? entry->name : "?") : shown(path);
}

void Checker::run() {
    std::error_code fsError;
    fs::path given(archive_);
    if (!fs::exists(given, fsError)) {
        error("archive", archive_ + ": no such directory");
        return;
    }
    if (!fs::is_directory(given, fsError)) {
        error("archive", archive_ + ": not a directory; a pawn archive is a directory holding dual.avi and sequence.ini");
        return;
    }
    directory_ = fs::absolute(given, fsError).lexically_normal();
    if (directory_.filename().empty()) directory_ = directory_.parent_path();  // a trailing slash

    // What a game gives the module: a host, its archives and its "avifile" factory. Declared in this
    // order so that the video closes before its factory, and the trees go before the engine.
    hostengine::HostEngine engine;
    hostengine::HostArchives archives(engine);
    std::unique_ptr<hostengine::HostVideoFactory> videos = hostengine::registerFfmpegVideoFactory(engine);
    videos_ = videos.get();

    ResourceDir* parentRoot = archives.makeRootDir(directory_.parent_path().string());
    ResourceEntry* archiveEntry = parentRoot ? findArchiveEntry(parentRoot) : nullptr;
    ResourceDir* archiveDir = archiveEntry ? parentRoot->subDir(archiveEntry) : nullptr;
    if (!archiveDir || !archiveDir->archive) {
        error("archive", archive_ + ": the host's directory archive cannot open it");
        return;
    }
    ok("archive", archive_ + ": a directory archive named '" + directory_.filename().string() + "'");

    ResourceDir* root = parentRoot;
    rootDirectory_ = directory_.parent_path();
    fs::path named = fs::path(archive_).lexically_normal();
    if (named.filename().empty()) named = named.parent_path();  // a trailing slash
    rootShown_ = named.has_parent_path() ? named.parent_path().string() : ".";
    if (!options_.root.empty()) {
        root = archives.makeRootDir(options_.root);
        rootDirectory_ = fs::absolute(options_.root, fsError).lexically_normal();
        rootShown_ = options_.root;
        if (!root) error("root", options_.root + ": not a directory");
        else checkLookup(root);
    }

    checkVideo(archiveDir, archiveEntry);
    checkTable(archiveDir);
    checkSequences();
    if (!options_.penguin && root) {
        // The penguin belongs to the producer: buzz sounds and the score's phase are the pawns'.
        checkBuzzSounds(root);
        checkScorePhase(root);
    }
    // The penguin, the score sound and the bonus pictures are the producer's, under the game's root.
    if (!options_.root.empty() && root) checkProducer(rootDirectory_.string(), rootShown_, report_.results);
}

ResourceEntry* Checker::findArchiveEntry(ResourceDir* parentRoot) {
    // The exact name: a neighbour differing only in letter case is another archive on disk.
    const std::string name = directory_.filename().string();
    ResourceEntry* found = nullptr;
    EntryList listing(parentRoot);
    while (ResourceEntry* entry = listing.next()) {
        if (!found && entry->name && name == entry->name) found = entry;
    }
    return found;
}

void Checker::checkLookup(ResourceDir* root) {
    // A game names the archive, and the pawn takes the first entry of that name anywhere in the tree.
    const std::string name = directory_.filename().string();
    ResourceEntry* found = root->findEntry(nullptr, name.c_str(), nullptr);
    std::error_code error;
    if (!found) {
        warn("lookup", "'" + name + "' is not found under " + rootShown_ + ": a pawn asking for it there gets no figure");
        return;
    }
    fs::path foundPath = hostengine::filePathOfLocator(found->locator);
    if (fs::weakly_canonical(foundPath, error) != fs::weakly_canonical(directory_, error)) {
        warn("lookup", "under " + rootShown_ + ", '" + name + "' first finds " + shown(foundPath) + ": a pawn asking for '" + name + "' loads that one instead");
        return;
    }
    ok("lookup", "a pawn asking for '" + name + "' under " + rootShown_ + " finds this archive");
}

// ---------------------------------------------------------------------------------------------------
// The video

void Checker::checkVideo(ResourceDir* archiveDir, ResourceEntry* archiveEntry) {
    ResourceEntry* dual = archiveDir->find("dual.avi");
    if (!dual) {
        const std::string kind = hostengine::leftOutKind((directory_ / "dual.avi").string());
        error("dual.avi", shown(directory_ / "dual.avi") + (kind.empty() ? ": missing" : ": " + kind + ", not a file the host reads") +
                              "; the pawn would have no figure");
        return;
    }
    const std::string file = fileOf(dual);

    // The pawn's own loader, on the module's classes: it finds "dual.avi" and opens it with "avifile".
    struct Release {
        void operator()(KTAlphaVideo* video) const { destroyAlphaVideo(video); }
    };
    std::unique_ptr<KTAlphaVideo, Release> figure(create<KTAlphaVideo>(archiveEntry));
    DualVideo* video = figure ? figure->video : nullptr;
    hostengine::HostVideo* hostVideo = video && video->handle ? videos_->videoOf(video->handle) : nullptr;
    if (!hostVideo) {
        std::string why = videos_->lastError();
        std::size_t colon = why.rfind(": ");
        if (colon != std::string::npos) why = why.substr(colon + 2);
        error("dual.avi", file + ": the host's \"avifile\" video factory cannot decode it (" + (why.empty() ? "unknown reason" : why) + ")");
        return;
    }
    auto* source = dynamic_cast<hostengine::FfmpegFrameSource*>(&hostVideo->source());
    const std::string codec = source ? source->codecName() : "uncompressed";
    frameCount_ = video->frameCount;
    const Point size = video->size;
    ok("dual.avi", file + ": " + counted(frameCount_, "frame") + " of " + std::to_string(size.x) + " x " + std::to_string(size.y) + " (" +
                       codec + ")");

    if (!video->colour || !video->alpha) {
        if (!video->colour) error("pictures", file + ": no 16-bit colour picture; the pawn would draw nothing");
        if (!video->alpha) error("pictures", file + ": no 8-bit alpha picture; the figure would be copied as an opaque box");
    } else {
        ok("pictures", file + ": a colour (16-bit) and an alpha (8-bit) picture per frame");
    }

    if (size.x > kLargestDrawnSide || size.y > kLargestDrawnSide) {
        warn("frame size", file + ": " + std::to_string(size.x) + " x " + std::to_string(size.y) + " is larger than " +
                               std::to_string(kLargestDrawnSide) + " x " + std::to_string(kLargestDrawnSide) +
                               "; the blended draw clips the figure there");
    } else {
        ok("frame size", file + ": " + std::to_string(size.x) + " x " + std::to_string(size.y));
    }

    bool hasAlphaChannel = !source || source->hasAlpha();
    scanFrames(video, *hostVideo, hasAlphaChannel);
    if (!hasAlphaChannel) {
        error("alpha", file + ": the video has no alpha channel (" + codec + " without alpha); every pixel is opaque, so the pawn is drawn as a rectangle");
    }
}

void Checker::scanFrames(DualVideo* video, hostengine::HostVideo& hostVideo, bool hasAlphaChannel) {
    const std::string file = fileOf(video->entry);
    bool anyTransparent = false, anyVisible = false, anySoft = false;
    std::vector<std::int32_t> opaqueFrames;  // frames without a transparent pixel
    emptyFrames_.assign(static_cast<std::size_t>(frameCount_), false);
    // Frame by frame in order, as a playing pawn steps: every frame is decoded once.
    for (std::int32_t frame = 0; frame < frameCount_; ++frame) {
        if (video->seekFrame(frame) != 1 || hostVideo.currentFrame() != frame) {
            // The frames from here on count as visible: the sequences over them are judged by their range alone.
            error("frames", file + ": frame " + std::to_string(frame) + " of " + std::to_string(frameCount_) + " does not decode");
            return;
        }
        hostengine::MemoryBitmap& alpha = hostVideo.alpha();
        bool visible = false, transparent = false;
        for (std::int32_t y = 0; y < alpha.height(); ++y) {
            const std::uint8_t* row = alpha.row(y);
            for (std::int32_t x = 0; x < alpha.width(); ++x) {
                visible |= row[x] != 0;
                transparent |= row[x] != 255;
                anySoft |= row[x] != 0 && row[x] != 255;
            }
        }
        anyVisible |= visible;
        anyTransparent |= transparent;
        emptyFrames_[static_cast<std::size_t>(frame)] = !visible;
        if (!transparent) opaqueFrames.push_back(frame);
    }
    ok("frames", file + (frameCount_ == 1 ? std::string(": its one frame decodes") : ": all " + counted(frameCount_, "frame") + " decode in order"));
    if (!hasAlphaChannel) return;
    if (!anyVisible) {
        error("alpha", file + ": every frame is fully transparent; the pawn would be invisible");
    } else if (!anyTransparent) {
        warn("alpha", file + ": every alpha value is 255; the figure is drawn as an opaque rectangle");
    } else if (!opaqueFrames.empty()) {
        std::string listed;
        for (std::size_t i = 0; i < opaqueFrames.size() && i < 3; ++i) listed += (i ? ", " : "") + std::to_string(opaqueFrames[i]);
        warn("alpha", file + ": frame" + (opaqueFrames.size() > 1 ? "s " : " ") + listed + (opaqueFrames.size() > 3 ? " and more" : "") +
                          " without a transparent pixel; drawn as opaque boxes");
    } else {
        ok("alpha", file + (anySoft ? ": transparent background, soft (anti-aliased) edges" : ": transparent background, hard edges (no partial alpha)"));
    }
}

// ---------------------------------------------------------------------------------------------------
// The sequence table

void Checker::checkTable(ResourceDir* archiveDir) {
    ResourceEntry* ini = archiveDir->find("sequence.ini");
    if (!ini) {
        error("sequence.ini", shown(directory_ / "sequence.ini") + ": missing; the pawn would find none of its sequences");
        return;
    }
    const std::string file = fileOf(ini);
    scanTableText(ini);
    ResourceEntry* color = archiveDir->find("sequence.ini/color");
    ResourceDir* tableDir = color ? archiveDir->subDir(color) : nullptr;
    if (!tableDir) {
        error("sequence.ini", file + ": no [color] section; the pawn would find none of its sequences");
        return;
    }
    tableRead_ = true;
    EntryList children(tableDir);
    while (ResourceEntry* child = children.next()) {
        // As the loader reads each value: at most 127 bytes, cut at the first '@'.
        char text[128];
        std::memset(text, 0, sizeof text);
        tableDir->read(child, text, sizeof text - 1);
        TableEntry entry;
        entry.name = child->name ? child->name : "";
        entry.text = text;
        if (const char* at = std::strchr(text, '@')) {
            entry.hasAt = true;
            bool countClamped = false, firstClamped = false;
            entry.count = moduleNumber(std::string(text, static_cast<std::size_t>(at - text)), &entry.plainCount, &countClamped);
            entry.first = moduleNumber(at + 1, &entry.plainFirst, &firstClamped);
            entry.clamped = countClamped || firstClamped;
        }
        table_.push_back(entry);
    }
    ok("sequence.ini", file + ": [color] lists " + counted(static_cast<std::int64_t>(table_.size()), "entry", "entries"));
}

// What the INI archive passes over without a word: lines of the table that are not name=value, and a
// second [color] section, which a pawn never reads.
void Checker::scanTableText(const ResourceEntry* ini) {
    std::string bytes;
    if (!hostengine::readWholeFile(hostengine::filePathOfLocator(ini->locator), bytes)) return;
    const std::string file = fileOf(ini);
    int colorSections = 0;
    bool inColor = false;
    std::istringstream lines(bytes);
    std::string line;
    for (int number = 1; std::getline(lines, line); ++number) {
        std::string content = trimmed(number == 1 && line.compare(0, 3, "\xEF\xBB\xBF") == 0 ? line.substr(3) : line);
        if (content.empty() || content[0] == ';' || content[0] == '#') continue;
        if (content[0] == '[') {
            std::size_t close = content.find(']');
            std::string name = close == std::string::npos ? std::string() : trimmed(content.substr(1, close - 1));
            inColor = sameName(name.c_str(), "color");
            if (inColor && ++colorSections > 1) {
                warn("sequence.ini", file + " line " + std::to_string(number) + ": " + ordinal(colorSections) +
                                         " [color] section; a pawn reads only the first, so its entries are ignored");
            }
            continue;
        }
        if (!inColor || colorSections > 1) continue;
        std::size_t equals = content.find('=');
        if (equals == std::string::npos || trimmed(content.substr(0, equals)).empty()) {
            warn("sequence.ini", file + " line " + std::to_string(number) + ": '" + printable(content) + "' is not name=count@first; it is ignored");
        }
    }
}

void Checker::checkSequences() {
    if (!tableRead_) return;  // the table's own error says it all
    const std::string where = "sequence.ini [color]";

    // Later entries shadow earlier ones of the same name, whatever its letter case; entries without
    // '@' are skipped by the loader and shadow nothing.
    std::map<std::string, std::size_t> last;  // lower-case name -> index of its last entry with '@'
    for (std::size_t i = 0; i < table_.size(); ++i) {
        const TableEntry& entry = table_[i];
        if (!entry.hasAt) {
            warn(entry.name, where + " " + entry.asWritten() + ": no '@' (count@first); the pawn skips this entry");
            continue;
        }
        if (!entry.plainCount || !entry.plainFirst) {
            warn(entry.name, where + " " + entry.asWritten() + ": count@first should be two whole numbers; the pawn reads " +
                                 std::to_string(entry.count) + "@" + std::to_string(entry.first));
        }
        if (entry.name == "*") warn(entry.name, where + " " + entry.asWritten() + ": an entry named '*' replaces the whole-video sequence");
        auto [it, inserted] = last.emplace(lowered(entry.name), i);
        if (!inserted) {
            const TableEntry& earlier = table_[it->second];
            if (earlier.name == entry.name) {
                warn(entry.name, where + " " + earlier.asWritten() + " is listed again as " + entry.asWritten() + "; the later entry shadows the earlier");
            } else {
                warn(entry.name, where + " '" + earlier.name + "' and '" + entry.name + "' differ only in letter case; names compare without case, so " +
                                     entry.asWritten() + " shadows " + earlier.asWritten());
            }
            it->second = i;
        }
    }

    const std::vector<std::string>& required = options_.penguin ? penguinSequenceNames() : pawnSequenceNames();
    for (const std::string& name : required) {
        auto it = last.find(lowered(name));
        if (it == last.end()) {
            error(name, where + ": '" + name + "' is missing; a pawn selecting it logs \"KTAlphaVideo: Sequence '" + name +
                            "' not found.\" and keeps its previous sequence");
            continue;
        }
        checkRange(table_[it->second], true);
    }
    // Entries no pawn selects are still checked, but only their faults are reported.
    for (const auto& [lower, index] : last) {
        bool isRequired = false;
        for (const std::string& name : required) isRequired |= lowered(name) == lower;
        if (isRequired || lower == "*") continue;
        // Often a misspelt name: said once, as pack says it.
        warn(table_[index].name, where + " " + table_[index].asWritten() + ": '" + table_[index].name + "' is a name " +
                                     (options_.penguin ? "the penguin" : "a pawn") + " never selects");
        checkRange(table_[index], false);
    }
}

void Checker::checkRange(const TableEntry& entry, bool required) {
    // The pawn holds numbers beyond 32 bits to their ends: the frames below are what it then reads.
    const std::string held = entry.clamped ? " (read as " + std::to_string(entry.count) + "@" + std::to_string(entry.first) +
                                                 ": numbers beyond 2147483647 are held to it)"
                                           : "";
    const std::string where = "sequence.ini [color] " + entry.asWritten() + held;
    const std::string unused = required ? "" : " (a sequence no pawn selects)";
    auto fault = [&](const std::string& text) { add(required ? CheckStatus::Error : CheckStatus::Warn, entry.name, where + ": " + text + unused); };
    if (entry.count <= 0) {
        fault((entry.count < 0 ? "negative count (" : "zero-length (count ") + std::to_string(entry.count) + "); the pawn would show no frame of it");
        return;
    }
    const std::int64_t lastFrame = entry.first + entry.count - 1;
    const std::string frames = "frames " + std::to_string(entry.first) + ".." + std::to_string(lastFrame);
    if (entry.first < 0) {
        fault(frames + " start before the video's first frame");
        return;
    }
    if (frameCount_ < 0) {
        // The video's own error says why; the run itself is well-formed.
        if (required) ok(entry.name, where + ": " + frames + " (not checked against dual.avi, which does not decode)");
        return;
    }
    if (lastFrame >= frameCount_) {
        fault(frames + " run past the video's last frame " + std::to_string(frameCount_ - 1) + " (dual.avi has " + counted(frameCount_, "frame") +
              ")");
        return;
    }
    if (!required) return;
    bool allEmpty = true;
    for (std::int64_t frame = entry.first; frame <= lastFrame; ++frame) allEmpty &= emptyFrames_[static_cast<std::size_t>(frame)];
    if (allEmpty) {
        warn(entry.name, where + ": " + frames + " are all fully transparent; the pawn is invisible while it plays");
        return;
    }
    ok(entry.name, where + ": " + frames);
}

// ---------------------------------------------------------------------------------------------------
// What the resource root gives every pawn

void Checker::checkBuzzSounds(ResourceDir* root) {
    for (int number = 1; number <= 4; ++number) {
        const std::string name = "buzz" + std::to_string(number) + ".wav";
        // The factory hands the four sounds out in turn, so each one is some pawn's buzz.
        ResourceEntry* file = root->find(name.c_str());
        if (!file) {
            warn(name, (fs::path(rootShown_) / name).string() + ": not found; the pawns given this buzz buzz silently" + rootHint());
            continue;
        }
        const std::string path = fileOf(file);
        ResourceEntry* sound = root->find((name + "/*").c_str());
        std::string bytes, why = "not a RIFF WAVE file";
        ResourceInfo* info = sound ? root->infoOf(sound) : nullptr;
        std::shared_ptr<const hostengine::DecodedSound> decoded;
        if (sound && info) {
            bytes.resize(info->words[1]);
            bytes.resize(static_cast<std::size_t>(std::max(0, root->read(sound, bytes.data(), static_cast<std::int32_t>(bytes.size())))));
            decoded = hostengine::decodeWav(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size(), &why);
        }
        if (!decoded) {
            warn(name, path + ": the host cannot play it (" + why + "); the pawns given this buzz buzz silently");
            continue;
        }
        char description[96];
        std::snprintf(description, sizeof description, "%.2f s, %d Hz, %s, %d-bit", static_cast<double>(decoded->frames()) / decoded->rate,
                      decoded->rate, decoded->channels == 1 ? "mono" : "stereo", decoded->sourceBits);
        ok(name, path + ": " + description);
    }
}

void Checker::checkScorePhase(ResourceDir* root) {
    ResourceEntry* entry = root->findEntry(nullptr, "scorefontphase", "text");
    if (!entry) {
        warn("scorefontphase", "not found under " + rootShown_ + "; the score is drawn with font phase 0" + rootHint());
        return;
    }
    const std::string path = fileOf(entry);
    // As the pawn reads it: at most 15 bytes.
    char text[16];
    std::memset(text, 0, sizeof text);
    root->read(entry, text, sizeof text - 1);
    bool plain = false;
    std::int64_t phase = moduleNumber(text, &plain);
    if (!plain) {
        warn("scorefontphase", path + ": '" + printable(text) + "' is not a number; the pawn reads phase " + std::to_string(phase));
        return;
    }
    ok("scorefontphase", path + ": phase " + std::to_string(phase));
}

}  // namespace

ArchiveReport checkArchive(const std::string& archive, const CheckOptions& options) {
    ArchiveReport report;
    report.archive = archive;
    Checker(archive, options, report).run();
    return report;
}

}  // namespace pawnstage
