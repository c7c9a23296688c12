#include <algorithm>
#include <fstream>
#include <iterator>
#include <system_error>

#include "host/media/png_writer.h"
#include "tools/pawnstage/frame_sources.h"

namespace pawnstage {

namespace fs = std::filesystem;

bool namesInOrder(const std::string& a, const std::string& b) {
    std::size_t i = 0, j = 0;
    auto digit = [](char c) { return c >= '0' && c <= '9'; };
    while (i < a.size() && j < b.size()) {
        if (digit(a[i]) && digit(b[j])) {
            std::size_t endA = i, endB = j;
            while (endA < a.size() && digit(a[endA])) ++endA;
            while (endB < b.size() && digit(b[endB])) ++endB;
            // Leading zeros do not count; a longer run of significant digits is the larger number.
            std::size_t startA = i, startB = j;
            while (startA + 1 < endA && a[startA] == '0') ++startA;
            while (startB + 1 < endB && b[startB] == '0') ++startB;
            if (endA - startA != endB - startB) return endA - startA < endB - startB;
            const int order = a.compare(startA, endA - startA, b, startB, endB - startB);
            if (order != 0) return order < 0;
            i = endA;
            j = endB;
            continue;
        }
        if (a[i] != b[j]) return static_cast<unsigned char>(a[i]) < static_cast<unsigned char>(b[j]);
        ++i;
        ++j;
    }
    if (a.size() - i != b.size() - j) return a.size() - i < b.size() - j;
    return a < b;  // "01" and "1" read alike: the plain order decides
}

namespace {

std::vector<fs::path> sortedEntries(const fs::path& folder, Findings& findings) {
    std::vector<fs::path> entries;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(folder, error)) {
        if (entry.path().filename().string().rfind('.', 0) == 0) continue;
        entries.push_back(entry.path());
    }
    if (error) findings.error(folder.string(), "cannot be read (" + error.message() + ")");
    std::sort(entries.begin(), entries.end(), [](const fs::path& a, const fs::path& b) { return namesInOrder(a.filename().string(), b.filename().string()); });
    return entries;
}

}  // namespace

PawnFrames readFrameFolder(const fs::path& folder, Findings& findings, const ReadProgress& progress) {
    PawnFrames frames;
    frames.origin = folder.string();
    frames.originIsFolder = true;
    std::error_code error;
    if (!fs::is_directory(folder, error)) {
        findings.error(folder.string(), "not a folder; give a folder with one subfolder of PNG frames per sequence");
        return frames;
    }
    // The files first, so that progress knows the whole.
    std::vector<std::pair<FrameSequence, std::vector<fs::path>>> listed;
    long total = 0;
    for (const fs::path& entry : sortedEntries(folder, findings)) {
        if (fs::is_directory(entry, error)) {
            FrameSequence sequence;
            sequence.name = entry.filename().string();
            sequence.source = entry.string();
            std::vector<fs::path> files;
            for (const fs::path& file : sortedEntries(entry, findings)) {
                if (fs::is_directory(file, error)) findings.warn(file.string(), "a folder inside a sequence; it is passed over");
                else files.push_back(file);
            }
            total += static_cast<long>(files.size());
            listed.emplace_back(std::move(sequence), std::move(files));
        } else if (entry.filename() == "scorefontphase") {
            std::ifstream in(entry, std::ios::binary);
            frames.scorePhase = std::string(std::istreambuf_iterator<char>(in), {});
            frames.scorePhaseSource = entry.string();
        } else {
            findings.warn(entry.string(), "not in a sequence folder; it is passed over");
        }
    }
    long done = 0;
    for (auto& [sequence, files] : listed) {
        for (const fs::path& file : files) {
            FramePicture picture;
            picture.source = file.string();
            std::string why;
            if (!hostengine::readPngBgra(file.string(), picture.width, picture.height, picture.bgra, picture.hasAlpha, &why)) {
                findings.error(file.string(), "not a PNG file (" + why + ")");
            } else {
                sequence.frames.push_back(std::move(picture));
            }
            if (progress) progress(++done, total);
        }
        frames.sequences.push_back(std::move(sequence));
    }
    return frames;
}

}  // namespace pawnstage
