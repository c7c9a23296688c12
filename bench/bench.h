// What the benchmark programs share: registration of each group and the summary they print.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace pawnbench {

// One measured benchmark, as the summary reads it.
struct Result {
    double secondsPerIteration = 0;  // CPU time of the benchmark thread, as the rates are counted
    double itemsPerSecond = 0;       // pixels for the pixel benchmarks, 0 where none are counted
    double cacheBytes = -1;          // the show's video cache at the end, -1 where there is none
    double cacheFrames = 0;
};

// Results by benchmark name, filled while the benchmarks run (medians when repeated).
using Results = std::map<std::string, Result>;

// A printed block of the summary: a heading and the names of its rows.
struct Case {
    std::string name;     // prefix of its benchmarks: "<name>/<method>"
    std::string heading;
    long long pixels = 0; // drawn per iteration
};

void registerBlendBenchmarks(std::vector<Case>& blendCases, std::vector<Case>& copyCases);
void registerTableBenchmarks();
// False (with a note printed) when the sample pawns or the plug-in cannot be found.
bool registerShowBenchmarks();
// False (with a note printed) when the bundled robot cannot be found.
bool registerPackBenchmarks();

void printSummary(const Results& results, const std::vector<Case>& blendCases, const std::vector<Case>& copyCases);
void printPackSummary(const Results& results);

}  // namespace pawnbench
