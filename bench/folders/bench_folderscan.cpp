// folderscan on the embedded host, on a folder of 100000 files and on one of
// a million (both made on first use), measured in one run:
//  - time on 100000 files against find (goal: within 3 times find) and
//    against find plus the structure-building floor, the time merely to
//    build and free a structure array of as many records with the same
//    fields (goal: within 1.25 times);
//  - peak memory of listing a million entries against the peak of building
//    the same structure array alone, each in a fresh process (goal: within
//    1.2 times).
//   bench_folderscan [folder [million-folder]] [Google Benchmark options]
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "support/testutil.h"

namespace {

const int kFiles = 100000;
const int kMillion = 1000000;
std::string folder = FOLDERSCAN_BENCH_DIR;
std::string millionFolder = FOLDERSCAN_BENCH_DIR "-million";

// Names file_000000.dat ... with 'digits' digits.
void makeFolder(const std::string &where, int files, int digits)
{
    char last[64];
    std::snprintf(last, sizeof last, "/file_%0*d.dat", digits, files - 1);
    struct stat st;
    if (stat((where + last).c_str(), &st) == 0) return;
    std::string cmd = "mkdir -p '" + where + "'";
    if (std::system(cmd.c_str()) != 0) std::exit(1);
    char name[64];
    for (int i = 0; i < files; ++i) {
        std::snprintf(name, sizeof name, "/file_%0*d.dat", digits, i);
        int fd = open((where + name).c_str(), O_WRONLY | O_CREAT, 0644);
        if (fd >= 0) close(fd);
    }
}

std::size_t scan(const std::string &where)
{
    testutil::Args args{testutil::str(where.c_str())};
    testutil::CallOutcome out = testutil::callMex("folderscan", 1, args);
    return out.out.empty() ? 0 : mxGetNumberOfElements(out.out[0]);
}

// The floor for any lister: an n x 1 structure array with the five fields,
// filled with made-up values of the same kinds, without looking at a folder.
mxArray *structFloor(std::size_t n)
{
    const char *fields[5] = {"name", "date", "bytes", "isdir", "datenum"};
    mxArray *s = mxCreateStructMatrix(n, 1, 5, fields);
    char name[32];
    for (std::size_t i = 0; i < n; ++i) {
        std::snprintf(name, sizeof name, "file_%07zu.dat", i);
        mxSetFieldByNumber(s, i, 0, mxCreateString(name));
        mxSetFieldByNumber(s, i, 1, mxCreateString("08-Dec-2026 07:05:15"));
        mxSetFieldByNumber(s, i, 2, mxCreateDoubleScalar(0));
        mxSetFieldByNumber(s, i, 3, mxCreateLogicalScalar(false));
        mxSetFieldByNumber(s, i, 4, mxCreateDoubleScalar(740629.3));
    }
    return s;
}

void BM_folderscan(benchmark::State &state)
{
    size_t n = 0;
    for (auto _ : state) n = scan(folder);
    state.counters["entries"] = static_cast<double>(n);
}

void BM_find(benchmark::State &state)
{
    std::string cmd = "find '" + folder + "' -maxdepth 1 > /dev/null";
    for (auto _ : state) {
        if (std::system(cmd.c_str()) != 0) state.SkipWithError("find failed");
    }
}

void BM_structfloor(benchmark::State &state)
{
    for (auto _ : state) mxDestroyArray(structFloor(kFiles + 2));  // the files, "." and ".."
}

BENCHMARK(BM_folderscan)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_find)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_structfloor)->Unit(benchmark::kMillisecond)->MinTime(2.0);

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

// Peak resident memory (bytes) of a fresh process that does 'work' (and
// holds its result) above what it held before, or -1.
long long peakOf(const std::function<void()> &work)
{
    int fds[2];
    if (pipe(fds) != 0) return -1;
    pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        struct rusage before, after;
        getrusage(RUSAGE_SELF, &before);
        work();
        getrusage(RUSAGE_SELF, &after);
        long long grown = (static_cast<long long>(after.ru_maxrss) - before.ru_maxrss) * 1024;
        if (write(fds[1], &grown, sizeof grown) != static_cast<ssize_t>(sizeof grown)) _exit(1);
        _exit(0);
    }
    close(fds[1]);
    long long grown = -1;
    if (read(fds[0], &grown, sizeof grown) != static_cast<ssize_t>(sizeof grown)) grown = -1;
    close(fds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    return grown;
}

const char *verdict(bool ok) { return ok ? "met" : "NOT met"; }

}  // namespace

int main(int argc, char **argv)
{
    if (argc > 1 && argv[1][0] != '-') {
        folder = argv[1];
        millionFolder = folder + "-million";
        --argc;
        ++argv;
    }
    if (argc > 1 && argv[1][0] != '-') {
        millionFolder = argv[1];
        --argc;
        ++argv;
    }
    makeFolder(folder, kFiles, 6);
    makeFolder(millionFolder, kMillion, 7);
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    double scanTime = reporter.seconds["BM_folderscan"], find = reporter.seconds["BM_find"];
    double floor = reporter.seconds["BM_structfloor"];
    if (scanTime > 0 && find > 0) {
        double ratio = scanTime / find;
        std::printf("folderscan / find:                 %6.2f   (goal <= 3)     %s\n", ratio, verdict(ratio <= 3));
    }
    if (scanTime > 0 && find > 0 && floor > 0) {
        double ratio = scanTime / (find + floor);
        std::printf("folderscan / (find + floor):       %6.2f   (goal <= 1.25)  %s\n", ratio, verdict(ratio <= 1.25));
    }

    std::fflush(stdout);  // not written twice by the measuring processes
    std::size_t entries = 0;
    long long scanPeak = peakOf([&] {
        testutil::Args args{testutil::str(millionFolder.c_str())};
        testutil::CallOutcome out = testutil::callMex("folderscan", 1, args);
        entries = out.out.empty() ? 0 : mxGetNumberOfElements(out.out[0]);
        std::printf("entries in %s: %zu\n", millionFolder.c_str(), entries);
        std::fflush(stdout);
    });
    long long floorPeak = peakOf([] { structFloor(kMillion + 2); });
    if (scanPeak > 0 && floorPeak > 0) {
        double ratio = static_cast<double>(scanPeak) / static_cast<double>(floorPeak);
        std::printf("peak memory, a million entries: folderscan %.0f MB, the structure alone %.0f MB\n",
                    scanPeak / 1e6, floorPeak / 1e6);
        std::printf("folderscan peak / structure:       %6.2f   (goal <= 1.2)   %s\n", ratio, verdict(ratio <= 1.2));
    }
    return 0;
}
