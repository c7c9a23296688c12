#include "tools/pawnstage/output_file.h"

#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <filesystem>
#include <system_error>
#include <vector>

#include "tools/pawnstage/show_writer.h"

namespace pawnstage {

namespace fs = std::filesystem;

namespace {

volatile std::sig_atomic_t interruption = 0;

void noteInterruption(int signal) { interruption = signal; }

bool isFrameName(const std::string& name) {
    // frame00000.png: the naming of the frame writer, and only that.
    if (name.size() != 14 || name.compare(0, 5, "frame") != 0 || name.compare(10, 4, ".png") != 0) return false;
    for (std::size_t i = 5; i < 10; ++i)
        if (name[i] < '0' || name[i] > '9') return false;
    return true;
}

std::vector<fs::path> listing(const std::string& directory) {
    std::vector<fs::path> paths;
    std::error_code error;
    for (fs::directory_iterator it(directory, error), end; !error && it != end; it.increment(error)) paths.push_back(it->path());
    return paths;
}

}  // namespace

PendingOutput::PendingOutput(std::string target, bool directory) : target_(std::move(target)), directory_(directory) {
    fs::path place(target_);
    if (place.filename().empty()) place = place.parent_path();  // "frames/"
    const std::string hidden = "." + place.stem().string() + ".partial-" + std::to_string(::getpid()) + place.extension().string();
    temporary_ = (place.parent_path() / hidden).string();
    std::error_code error;
    fs::remove_all(temporary_, error);
    if (directory_ && !fs::create_directories(temporary_, error))
        throw WriteError("cannot make the directory " + temporary_ + ": " + error.message());
}

PendingOutput::~PendingOutput() {
    if (committed_) return;
    std::error_code ignored;
    fs::remove_all(temporary_, ignored);
}

void PendingOutput::commit() {
    std::error_code error;
    if (!directory_ || !fs::exists(target_, error)) {
        fs::rename(temporary_, fs::path(target_).lexically_normal(), error);
        if (error) throw WriteError("cannot move " + temporary_ + " to " + target_ + ": " + error.message());
        committed_ = true;
        return;
    }
    const std::vector<fs::path> frames = listing(temporary_);
    for (const fs::path& frame : frames) {
        fs::rename(frame, fs::path(target_) / frame.filename(), error);
        if (error) throw WriteError("cannot move " + frame.string() + " into " + target_ + ": " + error.message());
    }
    // Only frames past the new ones can be stale: the others were just replaced.
    for (const fs::path& old : listing(target_)) {
        const std::string name = old.filename().string();
        if (isFrameName(name) && std::stoul(name.substr(5, 5)) >= frames.size() && fs::remove(old, error)) ++staleFrames_;
    }
    fs::remove(temporary_, error);
    committed_ = true;
}

void watchForInterruption() {
    struct sigaction action {};
    action.sa_handler = noteInterruption;
    action.sa_flags = SA_RESTART | SA_RESETHAND;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    std::signal(SIGXFSZ, SIG_IGN);
}

int interruptingSignal() { return interruption; }

void endAsInterrupted(int signal) {
    std::fflush(nullptr);
    std::signal(signal, SIG_DFL);
    std::raise(signal);
    std::_Exit(128 + signal);
}

}  // namespace pawnstage
