// Files the media tests write and read back, a fresh directory per test for them, and the
// pawnstage commands run in-process with what they print captured.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/temp_dir.h"

namespace scratch {

using testfiles::readFile;
using testfiles::TempDir;
using testfiles::writeFile;

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

}  // namespace scratch
