// The stage's command-line options and where it finds its samples, its plug-in and the demo show.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace pawnstage {

// A command line the stage cannot follow; the text says what was wrong, the command prints usage.
class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// What both commands share.
struct StageOptions {
    std::string script;   // empty: the bundled demo show
    std::string samples;  // empty: found next to the program
    std::string plugin;   // empty: found next to the program
    int logLevel = 3;     // module log lines of this level and above go to stderr (1 all, 3 failures, 4 none)
    std::uint32_t seed = 1;
    std::int32_t videoCacheMb = 128;  // decoded video frames kept in memory, MiB; 0 decodes every move
};

struct RenderOptions : StageOptions {
    std::string out = "show.mp4";
    std::int32_t width = 640;
    std::int32_t height = 480;
    std::int32_t fps = 30;
};

struct PlayOptions : StageOptions {
    std::string screenshot;  // with frames > 0: render that many frames, write the window's picture, quit
    std::int32_t frames = 0;
    bool watch = false;  // reload the script and the pawn archives when their files change
};

// argv holds the arguments after the command's name. Throw UsageError.
RenderOptions parseRenderOptions(int argc, char** argv);
PlayOptions parsePlayOptions(int argc, char** argv);

// The directory of the running program ("" when unknown).
std::string programDirectory();

// The samples directory: --samples, else "samples" or "../samples" next to the program, else the
// build tree's. Throws UsageError when none is a directory.
std::string findSamples(const std::string& given);
// The plug-in: --plugin, else pawn.kvx next to the program or one directory up, else the build's.
std::string findPlugin(const std::string& given);

// The text of the script to run and the name errors are reported under: the file given, or the
// bundled demo show.
struct ScriptSource {
    std::string name;
    std::string text;
};
ScriptSource readScript(const std::string& given);

}  // namespace pawnstage
