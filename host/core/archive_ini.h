// An INI file as an archive (kind "ini"): each section is a container entry of type
// "archive/inisection", and opening one (kind "inisection") lists its keys as entries of type "text"
// whose data is the value. So "sequence.ini/color/wait01" reads e.g. "25@100".
//
// Reading rules: sections and keys keep file order; blank lines and lines starting with ';' or '#'
// are skipped, and so is every line that is neither "[section]" nor "key=value" or that holds
// control bytes (a binary file lists nothing). Keys and values are trimmed of blanks; a value keeps
// everything after the first '='. Keys before the first section, and keys under a malformed section
// header, are ignored. A section's own stream delivers its keys again as "key=value" lines, which is
// how the "inisection" archive gets them through the module's stream.
#pragma once

#include <string>
#include <vector>

#include "host/core/archive_base.h"

namespace hostengine {

struct IniKey {
    std::string key;
    std::string value;
};

struct IniSection {
    std::string name;
    std::vector<IniKey> keys;
};

struct IniDocument {
    std::vector<IniKey> loose;  // keys before the first section header
    std::vector<IniSection> sections;
};

IniDocument parseIni(const std::string& text);

class IniArchive : public Archive {
public:
    // `source` names the file in the entries' locators ("ini://<source>/<section>").
    IniArchive(ArchiveContext& context, const IniDocument& document, const std::string& source);
};

class IniSectionArchive : public Archive {
public:
    IniSectionArchive(ArchiveContext& context, const std::vector<IniKey>& keys, const std::string& sectionLocator);
};

// The data comes through the module's stream of the entry ("IRead"), or, without one, from the file
// its "file://" locator names.
class IniArchiveFactory : public ArchiveFactory {
public:
    explicit IniArchiveFactory(ArchiveContext& context) : ArchiveFactory("ini", context) {}

protected:
    std::unique_ptr<Archive> make(ResourceEntry* entry, ResourceInfo* info, InterfaceTable* stream) override;
};

// A section's keys come only through the module's stream over the section entry.
class IniSectionArchiveFactory : public ArchiveFactory {
public:
    explicit IniSectionArchiveFactory(ArchiveContext& context) : ArchiveFactory("inisection", context) {}

protected:
    std::unique_ptr<Archive> make(ResourceEntry* entry, ResourceInfo* info, InterfaceTable* stream) override;
};

}  // namespace hostengine
