// Shared pieces of the benchmark programs: a console reporter that keeps the
// mean real time of every case, the run of all registered cases, and the
// ratio library/peer of two cases at one argument.
#pragma once

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace orvika_bench {

// Console output plus the mean real time per iteration of every case.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  std::map<std::string, double> times;
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const auto& r : runs)
      if (!r.error_occurred && r.run_type == Run::RT_Iteration)
        times[r.benchmark_name()] = r.GetAdjustedRealTime();
  }

  // Time of MINE/ARG over time of PEER/ARG in R; false when either case
  // did not run.
  bool ratio(const char* mine, const char* peer, int arg, double& r) const {
    const auto a = times.find(std::string(mine) + "/" + std::to_string(arg));
    const auto b = times.find(std::string(peer) + "/" + std::to_string(arg));
    if (a == times.end() || b == times.end()) return false;
    r = a->second / b->second;
    return true;
  }
};

// Runs every registered case through REP, with a warning first when the
// build is not a Release build.
inline void run_all(int& argc, char** argv, RatioReporter& rep) {
#ifndef NDEBUG
  std::printf("warning: not a Release build; timings are not representative\n");
#endif
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks(&rep);
  benchmark::Shutdown();
}

}  // namespace orvika_bench
