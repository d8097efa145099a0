// slopegain's whole-year table (month 0): the deliverable, which computes the
// sun once per sampled hour, against the plain nesting that recomputes it for
// every plane. Both run single-threaded in this process; the ratio of their
// times is printed next to the goal.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "slopegain_naive.h"
#include "support/testutil.h"

namespace {

const double kMonth = 0, kLatitude = 47, kLongitude = 8, kZone = 15, kClearness = 0.55, kReflectance = 0.2;
const double kGoal = 30;

void BM_SlopegainNaive(benchmark::State &state)
{
    std::vector<double> table(37 * 37);
    for (auto _ : state) {
        slopegain_naive(kMonth, kLatitude, kLongitude, kZone, kClearness, kReflectance, table.data());
        benchmark::DoNotOptimize(table.data());
    }
}
BENCHMARK(BM_SlopegainNaive)->Unit(benchmark::kMillisecond);

void BM_SlopegainDeliverable(benchmark::State &state)
{
    using testutil::num;
    testutil::Args args{num(kMonth), num(kLatitude), num(kLongitude), num(kZone), num(kClearness), num(1),
                        num(kReflectance)};
    for (auto _ : state) {
        testutil::CallOutcome r = testutil::callMex("slopegain", 1, args);  // captures the progress lines
        if (r.out.size() != 1) state.SkipWithError("slopegain returned no table");
        benchmark::DoNotOptimize(r.out.data());
    }
}
BENCHMARK(BM_SlopegainDeliverable)->Unit(benchmark::kMillisecond);

// Prints as usual and keeps the CPU time per iteration of each benchmark
// (both run on this one thread, so CPU time is the fair measure on a busy machine).
class RatioReporter : public benchmark::ConsoleReporter {
public:
    std::map<std::string, double> cpuTime;
    void ReportRuns(const std::vector<Run> &runs) override
    {
        for (const Run &r : runs)
            if (r.run_type == Run::RT_Iteration && !r.error_occurred) cpuTime[r.benchmark_name()] = r.GetAdjustedCPUTime();
        ConsoleReporter::ReportRuns(runs);
    }
};

}  // namespace

int main(int argc, char **argv)
{
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const auto naive = reporter.cpuTime.find("BM_SlopegainNaive");
    const auto fast = reporter.cpuTime.find("BM_SlopegainDeliverable");
    if (naive != reporter.cpuTime.end() && fast != reporter.cpuTime.end() && fast->second > 0) {
        const double ratio = naive->second / fast->second;
        std::printf("slopegain whole year: CPU time plain nesting %.1f ms, slopegain %.2f ms, ratio %.1fx (goal >= %.0fx): %s\n",
                    naive->second, fast->second, ratio, kGoal, ratio >= kGoal ? "met" : "NOT met");
    }
    benchmark::Shutdown();
    return 0;
}
