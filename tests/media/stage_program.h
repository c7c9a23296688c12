// The built pawnstage program run as a user runs it, in a process group of its own and bounded by
// a deadline of the test's, so that a hang fails one test instead of stopping the suite; and its
// commands run in-process with what they print captured.
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/temp_dir.h"

namespace stagerun {

struct Printed {
    int status;
    std::string out;
    std::string err;
};

inline Printed runCommand(int (*command)(int, char**), std::vector<std::string> arguments) {
    std::vector<char*> argv;
    for (std::string& argument : arguments) argv.push_back(argument.data());
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    const int status = command(static_cast<int>(argv.size()), argv.data());
    std::string out = testing::internal::GetCapturedStdout();
    return Printed{status, out, testing::internal::GetCapturedStderr()};
}

struct Outcome {
    bool finished = false;  // within the deadline
    int status = -1;        // exit status, or -signal
    long maxRssKb = 0;
    std::string out;
    std::string err;
};

struct How {
    std::chrono::milliseconds deadline = std::chrono::seconds(120);
    int signal = 0;  // sent after `signalAfter`
    std::chrono::milliseconds signalAfter{};
};

// No sound device here; SDL's system libraries (D-Bus) keep memory to the end, which is not the stage's.
// The screen has room for the window.
inline const std::vector<std::string> kInXvfb = {"env", "SDL_AUDIODRIVER=dummy", "ASAN_OPTIONS=detect_leaks=0", "xvfb-run", "-a",
                                                 "-s",  "-screen 0 1024x768x24"};

inline bool haveProgram(const char* name) { return std::system((std::string("command -v ") + name + " >/dev/null 2>&1").c_str()) == 0; }

// Starts the program with its output going to files in `work`; `prefix` is what it runs under.
inline pid_t startStage(const std::vector<std::string>& args, const std::filesystem::path& work, const std::vector<std::string>& prefix = {}) {
    std::vector<std::string> all = prefix;
    all.push_back(PAWNSTAGE_PROGRAM);
    all.insert(all.end(), args.begin(), args.end());
    const pid_t child = ::fork();
    if (child == 0) {
        ::setpgid(0, 0);
        ::dup2(::open((work / "stdout.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), 1);
        ::dup2(::open((work / "stderr.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), 2);
        std::vector<char*> argv;
        for (std::string& arg : all) argv.push_back(arg.data());
        argv.push_back(nullptr);
        ::execvp(argv[0], argv.data());
        ::_exit(127);
    }
    ::setpgid(child, child);
    return child;
}

inline Outcome runStage(const std::vector<std::string>& args, const std::filesystem::path& work, const How& how = {}) {
    const pid_t child = startStage(args, work);
    Outcome run;
    const auto start = std::chrono::steady_clock::now();
    bool signalled = how.signal == 0;
    for (;;) {
        int raw = 0;
        rusage usage{};
        if (::wait4(child, &raw, WNOHANG, &usage) == child) {
            run.finished = true;
            run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -WTERMSIG(raw);
            run.maxRssKb = usage.ru_maxrss;
            break;
        }
        const auto spent = std::chrono::steady_clock::now() - start;
        if (!signalled && spent >= how.signalAfter) {
            ::kill(child, how.signal);
            signalled = true;
        }
        if (spent > how.deadline) {
            ::kill(-child, SIGKILL);
            ::waitpid(child, nullptr, 0);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    run.out = testfiles::readFile(work / "stdout.txt");
    run.err = testfiles::readFile(work / "stderr.txt");
    return run;
}

}  // namespace stagerun
