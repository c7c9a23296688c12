// A fuzz target's corpus as a test of the suite: every file of the target's corpus directory is fed
// to its LLVMFuzzerTestOneInput once, by any compiler, so that each input the fuzzer kept (and every
// input of a fault it found) is checked on every build.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

TEST(FuzzCorpus, EveryInputRunsCleanly) {
    std::vector<std::filesystem::path> files;
    std::error_code error;
    for (const auto& item : std::filesystem::directory_iterator(PAWN_FUZZ_CORPUS, error))
        if (item.is_regular_file()) files.push_back(item.path());
    std::sort(files.begin(), files.end());  // a failure names the same input on every run
    ASSERT_FALSE(files.empty()) << "no corpus in " << PAWN_FUZZ_CORPUS;
    for (const auto& file : files) {
        std::ifstream stream(file, std::ios::binary);
        const std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(stream), std::istreambuf_iterator<char>()};
        SCOPED_TRACE(file.filename().string());
        EXPECT_EQ(0, LLVMFuzzerTestOneInput(bytes.data(), bytes.size()));
    }
    // The empty input, which every target must take too.
    EXPECT_EQ(0, LLVMFuzzerTestOneInput(nullptr, 0));
    std::printf("[ corpus   ] %zu inputs from %s\n", files.size(), PAWN_FUZZ_CORPUS);
}

}  // namespace
