// folderscan on the embedded host against find, on a folder of 100000 files
// (made on first use). Goal: folderscan within 3 times find.
//   bench_folderscan [folder] [Google Benchmark options]
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "support/testutil.h"

namespace {

const int kFiles = 100000;
std::string folder = FOLDERSCAN_BENCH_DIR;

void makeFolder()
{
    char last[64];
    std::snprintf(last, sizeof last, "/file_%06d.dat", kFiles - 1);
    struct stat st;
    if (stat((folder + last).c_str(), &st) == 0) return;
    std::string cmd = "mkdir -p '" + folder + "'";
    if (std::system(cmd.c_str()) != 0) std::exit(1);
    char name[64];
    for (int i = 0; i < kFiles; ++i) {
        std::snprintf(name, sizeof name, "/file_%06d.dat", i);
        int fd = open((folder + name).c_str(), O_WRONLY | O_CREAT, 0644);
        if (fd >= 0) close(fd);
    }
}

void BM_folderscan(benchmark::State &state)
{
    testutil::Args args{testutil::str(folder.c_str())};
    size_t n = 0;
    for (auto _ : state) {
        testutil::CallOutcome out = testutil::callMex("folderscan", 1, args);
        n = out.out.empty() ? 0 : mxGetNumberOfElements(out.out[0]);
    }
    state.counters["entries"] = static_cast<double>(n);
}

void BM_find(benchmark::State &state)
{
    std::string cmd = "find '" + folder + "' -maxdepth 1 > /dev/null";
    for (auto _ : state) {
        if (std::system(cmd.c_str()) != 0) state.SkipWithError("find failed");
    }
}

BENCHMARK(BM_folderscan)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_find)->Unit(benchmark::kMillisecond)->MinTime(2.0);

// Keeps each benchmark's real time per iteration for the ratio.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    std::map<std::string, double> seconds;
    void ReportRuns(const std::vector<Run> &runs) override
    {
        for (const Run &r : runs)
            if (!r.error_occurred) seconds[r.run_name.function_name] = r.real_accumulated_time / r.iterations;
        ConsoleReporter::ReportRuns(runs);
    }
};

}  // namespace

int main(int argc, char **argv)
{
    if (argc > 1 && argv[1][0] != '-') {
        folder = argv[1];
        --argc;
        ++argv;
    }
    makeFolder();
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    double scan = reporter.seconds["BM_folderscan"], find = reporter.seconds["BM_find"];
    if (scan > 0 && find > 0) {
        double ratio = scan / find;
        std::printf("folderscan / find: %.2f   (goal <= 3)  %s\n", ratio, ratio <= 3 ? "met" : "NOT met");
    }
    return 0;
}
