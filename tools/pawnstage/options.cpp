#include "tools/pawnstage/options.h"

#include <unistd.h>

#include <filesystem>
#include <functional>
#include <limits>
#include <map>
#include <vector>

#include "tools/pawnstage/show_script.h"

namespace pawnstage {

namespace fs = std::filesystem;

namespace {

// The bundled demo show, built into the program so that it runs from anywhere.
const char kDemoShow[] =
#include "demo_show.inc"
    ;

long long wholeNumber(const std::string& option, const std::string& text, long long low, long long high) {
    std::size_t used = 0;
    long long value = 0;
    try {
        value = std::stoll(text, &used, 10);
    } catch (const std::exception&) {
        used = 0;
    }
    if (used == 0 || used != text.size() || value < low || value > high)
        throw UsageError(option + " expects a whole number from " + std::to_string(low) + " to " + std::to_string(high) + ", found '" +
                         text + "'");
    return value;
}

// Walks argv, handing each known option's value to its handler.
class OptionReader {
public:
    using Handler = std::function<void(const std::string& value)>;

    void option(const std::string& name, Handler handler) { handlers_[name] = std::move(handler); }

    void read(int argc, char** argv) {
        for (int i = 0; i < argc; ++i) {
            std::string name = argv[i];
            std::string value;
            bool inlineValue = false;
            if (const std::size_t equals = name.find('='); name.rfind("--", 0) == 0 && equals != std::string::npos) {
                value = name.substr(equals + 1);
                name = name.substr(0, equals);
                inlineValue = true;
            }
            auto handler = handlers_.find(name);
            if (handler == handlers_.end()) throw UsageError("unknown option '" + name + "'");
            if (!inlineValue) {
                if (i + 1 >= argc) throw UsageError(name + " needs a value");
                value = argv[++i];
            }
            handler->second(value);
        }
    }

private:
    std::map<std::string, Handler> handlers_;
};

void addStageOptions(OptionReader& reader, StageOptions& options) {
    reader.option("--script", [&](const std::string& v) { options.script = v; });
    reader.option("--samples", [&](const std::string& v) { options.samples = v; });
    reader.option("--plugin", [&](const std::string& v) { options.plugin = v; });
    reader.option("--log-level", [&](const std::string& v) { options.logLevel = static_cast<int>(wholeNumber("--log-level", v, 0, 9)); });
    reader.option("--seed", [&](const std::string& v) {
        options.seed = static_cast<std::uint32_t>(wholeNumber("--seed", v, 0, std::numeric_limits<std::uint32_t>::max()));
    });
    reader.option("--video-cache", [&](const std::string& v) {
        options.videoCacheMb = static_cast<std::int32_t>(wholeNumber("--video-cache", v, 0, 65536));
    });
}

bool isDirectory(const fs::path& path) {
    std::error_code error;
    return fs::is_directory(path, error);
}

bool isFile(const fs::path& path) {
    std::error_code error;
    return fs::is_regular_file(path, error);
}

}  // namespace

RenderOptions parseRenderOptions(int argc, char** argv) {
    RenderOptions options;
    OptionReader reader;
    addStageOptions(reader, options);
    reader.option("--out", [&](const std::string& v) {
        if (v.empty()) throw UsageError("--out needs a file or directory name");
        options.out = v;
    });
    reader.option("--fps", [&](const std::string& v) { options.fps = static_cast<std::int32_t>(wholeNumber("--fps", v, 1, 120)); });
    reader.option("--size", [&](const std::string& v) {
        const std::size_t x = v.find_first_of("xX");
        if (x == std::string::npos) throw UsageError("--size expects WIDTHxHEIGHT, like 320x240, found '" + v + "'");
        options.width = static_cast<std::int32_t>(wholeNumber("--size (width)", v.substr(0, x), 16, 4096));
        options.height = static_cast<std::int32_t>(wholeNumber("--size (height)", v.substr(x + 1), 16, 4096));
    });
    reader.read(argc, argv);
    return options;
}

PlayOptions parsePlayOptions(int argc, char** argv) {
    PlayOptions options;
    OptionReader reader;
    addStageOptions(reader, options);
    reader.option("--screenshot", [&](const std::string& v) { options.screenshot = v; });
    reader.option("--frames", [&](const std::string& v) { options.frames = static_cast<std::int32_t>(wholeNumber("--frames", v, 1, 1000000)); });
    reader.read(argc, argv);
    // The picture is written as a PNG, whatever its name says.
    if (!options.screenshot.empty() && fs::path(options.screenshot).extension() != ".png" && fs::path(options.screenshot).extension() != ".PNG")
        throw UsageError("--screenshot writes a PNG; give a name ending in .png, found '" + options.screenshot + "'");
    if (!options.screenshot.empty() && options.frames == 0) throw UsageError("--screenshot needs --frames N: the frame to take it at");
    if (options.screenshot.empty() && options.frames != 0) throw UsageError("--frames goes with --screenshot FILE");
    return options;
}

std::string programDirectory() {
    std::vector<char> buffer(4096);
    const ssize_t length = ::readlink("/proc/self/exe", buffer.data(), buffer.size() - 1);
    if (length <= 0) return {};
    return fs::path(std::string(buffer.data(), static_cast<std::size_t>(length))).parent_path().string();
}

std::string findSamples(const std::string& given) {
    if (!given.empty()) {
        if (!isDirectory(given)) throw UsageError("--samples: '" + given + "' is not a directory");
        return given;
    }
    std::vector<fs::path> candidates;
    const std::string here = programDirectory();
    if (!here.empty()) {
        candidates.push_back(fs::path(here) / "samples");
        candidates.push_back(fs::path(here) / ".." / "samples");
    }
#ifdef PAWNSTAGE_SAMPLES_DIR
    candidates.push_back(PAWNSTAGE_SAMPLES_DIR);
#endif
    for (const fs::path& candidate : candidates)
        if (isDirectory(candidate)) return fs::weakly_canonical(candidate).string();
    std::string looked;
    for (const fs::path& candidate : candidates) looked += "\n  " + candidate.string();
    throw UsageError("no samples directory found; give one with --samples DIR (looked in:" + looked + ")");
}

std::string findPlugin(const std::string& given) {
    if (!given.empty()) {
        if (!isFile(given)) throw UsageError("--plugin: '" + given + "' is not a file");
        // The loader searches the system's library path for a bare name: "pawn.kvx" means the one here.
        std::error_code error;
        return fs::absolute(given, error).string();
    }
    std::vector<fs::path> candidates;
    const std::string here = programDirectory();
    if (!here.empty()) {
        candidates.push_back(fs::path(here) / "pawn.kvx");
        candidates.push_back(fs::path(here) / ".." / "pawn.kvx");
    }
#ifdef PAWN_PLUGIN_PATH
    candidates.push_back(PAWN_PLUGIN_PATH);
#endif
    for (const fs::path& candidate : candidates)
        if (isFile(candidate)) return fs::weakly_canonical(candidate).string();
    std::string looked;
    for (const fs::path& candidate : candidates) looked += "\n  " + candidate.string();
    throw UsageError("pawn.kvx not found; give it with --plugin PATH (looked in:" + looked + ")");
}

ScriptSource readScript(const std::string& given) {
    if (given.empty()) return ScriptSource{"demo.show", kDemoShow};
    return ScriptSource{given, readScriptFile(given)};
}

}  // namespace pawnstage
