#include <algorithm>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <system_error>

#include "core/decimal.h"
#include "core/names.h"
#include "host/core/archive_ini.h"
#include "host/media/ffmpeg_video.h"
#include "tools/pawnstage/frame_sources.h"

namespace pawnstage {

namespace fs = std::filesystem;

namespace {

struct Cut {
    std::string name;
    std::string where;    // "file:line"
    std::string written;  // "name=value" as the list holds it
    std::int32_t count = 0;
    std::int32_t first = 0;
};

bool readText(const fs::path& path, std::string& text) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    text.assign(std::istreambuf_iterator<char>(in), {});
    return true;
}

// The numbers of the lines that hold `keys`, found in order: the INI reader keeps file order.
std::vector<int> lineNumbersOf(const std::string& text, const std::vector<hostengine::IniKey>& keys) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start <= text.size()) {
        const std::size_t end = std::min(text.find('\n', start), text.size());
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    std::vector<int> numbers;
    std::size_t next = 0;
    for (const hostengine::IniKey& key : keys) {
        int number = 0;
        for (std::size_t i = next; i < lines.size() && !number; ++i) {
            const std::size_t equals = lines[i].find('=');
            if (equals == std::string::npos) continue;
            std::string name = lines[i].substr(0, equals);
            name.erase(0, name.find_first_not_of(" \t\xEF\xBB\xBF"));
            name.erase(name.find_last_not_of(" \t") + 1);
            if (name == key.key) number = static_cast<int>(i) + 1, next = i + 1;
        }
        numbers.push_back(number);
    }
    return numbers;
}

// The runs a pawn would find: the first [color] section (or, in a bare cut list, the lines before any
// section), a later entry replacing an earlier one of the same name in its place.
std::vector<Cut> cutsOf(const std::string& text, const std::string& file, bool bareAllowed, Findings& findings) {
    const hostengine::IniDocument document = hostengine::parseIni(text);
    const std::vector<hostengine::IniKey>* keys = nullptr;
    for (const auto& section : document.sections)
        if (!keys && sameName(section.name.c_str(), "color")) keys = &section.keys;
    if (!keys && bareAllowed && document.sections.empty()) keys = &document.loose;
    std::vector<Cut> cuts;
    if (!keys) {
        findings.error(file, "no [color] section; it cuts the video into no sequence");
        return cuts;
    }
    const std::vector<int> lines = lineNumbersOf(text, *keys);
    for (std::size_t i = 0; i < keys->size(); ++i) {
        const hostengine::IniKey& key = (*keys)[i];
        Cut cut{key.key, lines[i] ? file + ":" + std::to_string(lines[i]) : file, key.key + "=" + key.value};
        const std::size_t at = key.value.find('@');
        if (at == std::string::npos) {
            findings.warn(cut.where, cut.written + ": no '@' (count@first); a pawn passes over this entry");
            continue;
        }
        cut.count = decimalValue(key.value.substr(0, at).c_str());
        cut.first = decimalValue(key.value.c_str() + at + 1);
        auto earlier = std::find_if(cuts.begin(), cuts.end(), [&](const Cut& c) { return sameName(c.name.c_str(), cut.name.c_str()); });
        if (earlier != cuts.end()) {
            findings.warn(cut.where, cut.written + " shadows the earlier " + earlier->written + " (" + earlier->where + "); a pawn finds the later entry");
            cuts.erase(earlier);
        }
        cuts.push_back(cut);
    }
    return cuts;
}

// Decodes the frames the cuts use, in one pass from the first frame, and hands each to its sequences.
PawnFrames cutVideo(const fs::path& video, bool anyContainer, const std::vector<Cut>& cuts, Findings& findings, const ReadProgress& progress) {
    PawnFrames frames;
    std::string why;
    std::unique_ptr<hostengine::FfmpegFrameSource> source = hostengine::FfmpegFrameSource::open(video.string(), why, anyContainer);
    if (!source) {
        findings.error(video.string(), "cannot be decoded (" + why + ")");
        return frames;
    }
    const std::int32_t count = source->frameCount();
    std::map<std::int32_t, std::vector<std::pair<std::size_t, std::size_t>>> uses;  // frame -> (sequence, position)
    for (const Cut& cut : cuts) {
        FrameSequence sequence;
        sequence.name = cut.name;
        sequence.source = cut.where;
        sequence.first = cut.first;
        if (cut.count > 0 && (cut.first < 0 || static_cast<std::int64_t>(cut.first) + cut.count > count)) {
            findings.error(cut.where, cut.written + ": frames " + std::to_string(cut.first) + ".." +
                                      std::to_string(static_cast<std::int64_t>(cut.first) + cut.count - 1) + " lie outside the video's " +
                                      std::to_string(count) + " frames (" + video.filename().string() + ")");
        } else if (cut.count > 0) {
            sequence.frames.resize(static_cast<std::size_t>(cut.count));
            for (std::int32_t i = 0; i < cut.count; ++i) uses[cut.first + i].emplace_back(frames.sequences.size(), static_cast<std::size_t>(i));
        }
        frames.sequences.push_back(std::move(sequence));
    }
    long done = 0;
    std::vector<std::uint8_t> bgra(static_cast<std::size_t>(source->width()) * source->height() * 4);
    for (const auto& [index, places] : uses) {
        if (!source->readFrame(index, bgra.data())) {
            findings.error(video.string(), "frame " + std::to_string(index) + " does not decode");
            break;
        }
        for (const auto& [sequence, position] : places) {
            FramePicture& picture = frames.sequences[sequence].frames[position];
            picture.source = video.string() + " frame " + std::to_string(index);
            picture.width = source->width();
            picture.height = source->height();
            picture.hasAlpha = source->hasAlpha();
            picture.bgra = bgra;
        }
        if (progress) progress(++done, static_cast<long>(uses.size()));
    }
    // Frames that did not decode leave holes; the sequences keep what came before them.
    for (FrameSequence& sequence : frames.sequences)
        std::erase_if(sequence.frames, [](const FramePicture& picture) { return picture.bgra.empty(); });
    return frames;
}

}  // namespace

PawnFrames readCutVideo(const fs::path& video, const fs::path& cuts, Findings& findings, const ReadProgress& progress) {
    std::string text;
    if (!readText(cuts, text)) {
        findings.error(cuts.string(), "cannot be read");
        return {};
    }
    const std::vector<Cut> list = cutsOf(text, cuts.string(), true, findings);
    PawnFrames frames = cutVideo(video, true, list, findings, progress);
    frames.origin = cuts.string();
    return frames;
}

PawnFrames readArchiveFrames(const fs::path& archive, Findings& findings, const ReadProgress& progress) {
    std::error_code error;
    if (!fs::is_directory(archive, error)) {
        findings.error(archive.string(), "not an archive folder (one holding dual.avi and sequence.ini)");
        return {};
    }
    const fs::path table = archive / "sequence.ini";
    std::string text;
    if (!readText(table, text)) {
        findings.error(table.string(), "missing; nothing cuts dual.avi into sequences");
        return {};
    }
    const std::vector<Cut> list = cutsOf(text, table.string(), false, findings);
    PawnFrames frames = cutVideo(archive / "dual.avi", false, list, findings, progress);
    frames.origin = table.string();
    std::string phase;
    if (readText(archive / "scorefontphase", phase)) {
        frames.scorePhase = phase;
        frames.scorePhaseSource = (archive / "scorefontphase").string();
    }
    return frames;
}

}  // namespace pawnstage
