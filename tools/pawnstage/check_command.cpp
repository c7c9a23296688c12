#include "tools/pawnstage/check_command.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "tools/pawnstage/check_archive.h"
#include "tools/pawnstage/contact_sheet.h"
#include "tools/pawnstage/terminal_text.h"

namespace {

const char* const kUsage =
    "usage: pawnstage check [--penguin] [--root DIR] [--json] [--sheet FILE] ARCHIVE...\n"
    "\n"
    "Checks pawn archives (directories holding dual.avi and sequence.ini) as a pawn reads them:\n"
    "the video decodes with colour and alpha pictures, every sequence a pawn selects is in\n"
    "sequence.ini [color] within the video, and the buzz sounds and scorefontphase are readable.\n"
    "\n"
    "  --penguin   check the penguin's sequences (wait01..wait03, buzz01..buzz03, freeze)\n"
    "  --root DIR  the resource root a game passes, holding buzz1.wav..buzz4.wav and\n"
    "              scorefontphase (default: the directory the archive lies in)\n"
    "  --json      print the results as JSON\n"
    "  --sheet FILE  also draw the archive's contact sheet into FILE (PNG); one archive only\n"
    "\n"
    "Exit status: 0 no errors (warnings allowed), 1 errors found, 2 usage error.\n";

std::string jsonString(const std::string& text) {
    std::string out = "\"";
    for (unsigned char c : text) {
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            if (c < 0x20) {
                char escaped[8];
                std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
                out += escaped;
            } else {
                out += static_cast<char>(c);
            }
        }
    }
    return out + "\"";
}

std::string plural(int count, const char* word) { return std::to_string(count) + " " + word + (count == 1 ? "" : "s"); }

void printTable(const std::vector<pawnstage::ArchiveReport>& reports) {
    int errors = 0, warnings = 0;
    for (const auto& report : reports) {
        std::size_t width = 5;
        for (const auto& result : report.results) width = std::max(width, result.check.size());
        std::printf("%s\n", pawnstage::terminalSafe(report.archive).c_str());
        std::printf("  %-6s %-*s %s\n", "STATUS", static_cast<int>(width), "CHECK", "MESSAGE");
        for (const auto& result : report.results) {
            // File names in the messages are the disk's: nothing in them may steer the terminal.
            std::printf("  %-6s %-*s %s\n", pawnstage::statusName(result.status), static_cast<int>(width), result.check.c_str(),
                        pawnstage::terminalSafe(result.message).c_str());
        }
        int e = report.count(pawnstage::CheckStatus::Error), w = report.count(pawnstage::CheckStatus::Warn);
        std::printf("  %s, %s\n\n", plural(e, "error").c_str(), plural(w, "warning").c_str());
        errors += e;
        warnings += w;
    }
    if (reports.size() > 1) std::printf("%s checked: %s, %s\n", plural(static_cast<int>(reports.size()), "archive").c_str(), plural(errors, "error").c_str(), plural(warnings, "warning").c_str());
}

void printJson(const std::vector<pawnstage::ArchiveReport>& reports) {
    int errors = 0, warnings = 0;
    std::string out = "{\"archives\": [";
    for (std::size_t i = 0; i < reports.size(); ++i) {
        const auto& report = reports[i];
        int e = report.count(pawnstage::CheckStatus::Error), w = report.count(pawnstage::CheckStatus::Warn);
        errors += e;
        warnings += w;
        out += i ? ",\n  " : "\n  ";
        out += "{\"archive\": " + jsonString(report.archive) + ", \"errors\": " + std::to_string(e) + ", \"warnings\": " + std::to_string(w) + ", \"checks\": [";
        for (std::size_t j = 0; j < report.results.size(); ++j) {
            const auto& result = report.results[j];
            out += j ? ",\n    " : "\n    ";
            out += "{\"status\": " + jsonString(pawnstage::statusName(result.status)) + ", \"check\": " + jsonString(result.check) +
                   ", \"message\": " + jsonString(result.message) + "}";
        }
        out += "]}";
    }
    out += "],\n \"errors\": " + std::to_string(errors) + ", \"warnings\": " + std::to_string(warnings) + "}\n";
    std::fputs(out.c_str(), stdout);
}

int usageError(const std::string& message) {
    std::fprintf(stderr, "pawnstage check: %s\n%s", message.c_str(), kUsage);
    return 2;
}

}  // namespace

int runCheckCommand(int argc, char** argv) {
    pawnstage::CheckOptions options;
    bool json = false;
    std::string sheet;
    std::vector<std::string> archives;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i] ? argv[i] : "";
        if (argument == "--help" || argument == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (argument == "--penguin") {
            options.penguin = true;
        } else if (argument == "--json") {
            json = true;
        } else if (argument == "--root" || argument.rfind("--root=", 0) == 0) {
            std::string value = argument == "--root" ? (i + 1 < argc && argv[i + 1] ? argv[++i] : "") : argument.substr(7);
            if (value.empty()) return usageError("--root needs a directory");
            options.root = value;
        } else if (argument == "--sheet" || argument.rfind("--sheet=", 0) == 0) {
            sheet = argument == "--sheet" ? (i + 1 < argc && argv[i + 1] ? argv[++i] : "") : argument.substr(8);
            if (sheet.empty()) return usageError("--sheet needs a file name");
        } else if (argument == "--") {
            for (++i; i < argc; ++i) archives.push_back(argv[i] ? argv[i] : "");
        } else if (argument.size() > 1 && argument[0] == '-') {
            return usageError("unknown option " + argument);
        } else {
            archives.push_back(argument);
        }
    }
    if (archives.empty()) return usageError("no archive given");
    if (!sheet.empty() && archives.size() > 1) return usageError("--sheet draws one archive; found " + std::to_string(archives.size()));

    std::vector<pawnstage::ArchiveReport> reports;
    bool failed = false;
    for (const std::string& archive : archives) {
        reports.push_back(pawnstage::checkArchive(archive, options));
        failed |= reports.back().count(pawnstage::CheckStatus::Error) > 0;
    }
    if (json)
        printJson(reports);
    else
        printTable(reports);
    std::fflush(stdout);
    if (!sheet.empty()) {
        std::string why;
        if (!pawnstage::writeArchiveSheet(archives.front(), sheet, why)) {
            std::fprintf(stderr, "pawnstage check: no contact sheet: %s\n", why.c_str());
            return 1;
        }
        std::fprintf(stderr, "pawnstage check: contact sheet in %s\n", sheet.c_str());
    }
    return failed ? 1 : 0;
}
