// The study benchmark: 400 runs of a year at hourly steps (chicago_study.json:
// two weather files, the sky temperature block, a summary of two signals),
// side by side in one program run:
//
//   - one run in-process: the runner on one run's model, with the block
//     library loaded and the weather files read already (as a study's worker
//     has them), the summary taken; the mean over 20 runs spread over the
//     study, each the best of 3;
//   - simstudy run -j 2, best of 3 (a fresh folder each time);
//   - the same 400 runs as separate simrun processes one after another
//     (simrun --set ... with the run's overrides), best of 2.
//
// Goals: the study takes at most 0.55 times the separate processes' time,
// and at most 1.15 times the ideal (the in-process run's time x 400 / 2).
// The wall-clock times need an otherwise idle machine; the processor times
// (user + system, of every process) are printed beside them, and show the
// study's own cost whatever else the machine does.
//
// Then the peak resident memory of a worker (simstudy -j 1, which reports
// its workers' peak) at 100 and at 10,000 runs of a shorter model (a week;
// the memory a run needs does not depend on its length here, as nothing is
// kept per step): goal, within 1.2 times.
//
//   build/bin/bench_study
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "bench_process.h"
#include "runner.h"
#include "study.h"

namespace {

const std::string kBench = std::string(SIMBLOCKS_SOURCE_DIR) + "/bench/study";
const std::string kStudy = kBench + "/chicago_study.json";
constexpr int kRuns = 400;

using bench::cpuNow;
using bench::spawn;
using bench::wallNow;

struct Timing {
    double wall = 1e9, cpu = 1e9;
};

void keepBest(Timing &best, double wall, double cpu)
{
    best.wall = std::min(best.wall, wall);
    best.cpu = std::min(best.cpu, cpu);
}

// One run in this process, as a worker does it, into a new folder 'dir' (a
// file written over again costs more: the file system writes the old one
// out first).
double inProcessRun(const study::Study &s, std::uint64_t run, simrun::RunCache &cache, const std::string &dir, double &cpu)
{
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    std::filesystem::current_path(dir);
    std::vector<study::Accumulator> stats(s.signals.size());
    simrun::RunOptions o;
    o.libDirs = {SIMBLOCKS_LIB_DIR};
    o.progress = false;
    o.summary = s.signals;
    o.summaryRow = [&stats](std::size_t i, double t, double v) { stats[i].add(t, v); };
    o.cache = &cache;
    double w0 = wallNow(), c0 = cpuNow();
    simrun::runModel(simrun::parseModelDocument(s.runModel(run), s.modelPath), o);
    cpu = cpuNow() - c0;
    return wallNow() - w0;
}

// The largest peak memory of a worker that simstudy reports, in MB.
double workerPeak(const std::string &err)
{
    std::ifstream in(err);
    std::string line;
    double mb = -1;
    while (std::getline(in, line)) {
        std::size_t at = line.find("workers' peak memory ");
        if (at != std::string::npos) mb = std::atof(line.c_str() + at + 21);
    }
    return mb;
}

void writeFile(const std::string &path, const std::string &text)
{
    std::ofstream(path) << text;
}

}  // namespace

int main()
{
    std::string tmp = (std::filesystem::temp_directory_path() / ("bench-study-" + std::to_string(getpid()))).string();
    std::filesystem::create_directories(tmp);
    std::string here = std::filesystem::current_path().string();
    study::Study s = study::loadStudy(kStudy);

    // One run in-process: the mean over runs spread over the study, each the best of 3.
    simrun::RunCache cache;
    double cpuUnused;
    inProcessRun(s, 1, cache, tmp + "/warm", cpuUnused);
    inProcessRun(s, kRuns, cache, tmp + "/warm", cpuUnused);
    double oneWall = 0, oneCpu = 0;
    const int kSample = 20;
    for (int i = 0; i < kSample; ++i) {
        std::uint64_t run = 1 + static_cast<std::uint64_t>(i) * (kRuns / kSample);
        Timing best;
        for (int k = 0; k < 3; ++k) {
            double cpu = 0, wall = inProcessRun(s, run, cache, tmp + "/one/" + std::to_string(k), cpu);
            keepBest(best, wall, cpu);
        }
        oneWall += best.wall / kSample;
        oneCpu += best.cpu / kSample;
    }
    std::filesystem::current_path(here);

    Timing studyT;
    for (int k = 0; k < 3; ++k) {
        std::string dir = tmp + "/study" + std::to_string(k);
        double w0 = wallNow(), c0 = cpuNow();
        if (spawn({SIMSTUDY_EXE, "run", kStudy, "-o", dir, "-j", "2", "--no-progress"}) != 0) {
            std::fprintf(stderr, "bench_study: simstudy run failed\n");
            return 1;
        }
        keepBest(studyT, wallNow() - w0, cpuNow() - c0);
    }

    Timing separate;
    for (int k = 0; k < 2; ++k) {
        std::string dir = tmp + "/separate" + std::to_string(k) + "/";
        double w0 = wallNow(), c0 = cpuNow();
        for (std::uint64_t run = 1; run <= kRuns; ++run) {
            std::vector<std::string> args = {SIMRUN_EXE, "-q", "--no-progress", "-o", dir + std::to_string(run)};
            std::vector<std::uint64_t> index = s.choice(run);
            for (std::size_t i = 0; i < s.varied.size(); ++i) {
                std::string value = s.varied[i].text(index[i]);
                if (s.varied[i].path == "sources.weather.file") value = kBench + "/" + value;  // simrun takes it in the current folder
                args.push_back("--set");
                args.push_back(s.varied[i].path + "=" + value);
            }
            args.push_back(s.modelPath);
            if (spawn(args) != 0) {
                std::fprintf(stderr, "bench_study: simrun failed on run %llu\n", static_cast<unsigned long long>(run));
                return 1;
            }
        }
        keepBest(separate, wallNow() - w0, cpuNow() - c0);
    }

    double load[3] = {0, 0, 0};
    if (std::FILE *f = std::fopen("/proc/loadavg", "r")) {
        if (std::fscanf(f, "%lf %lf %lf", &load[0], &load[1], &load[2]) != 3) load[0] = -1;
        std::fclose(f);
    }
    double ideal = oneWall * kRuns / 2;
    std::printf("Study of %d runs of a year at hourly steps (%s), load average %.2f on %ld cores:\n", kRuns, kStudy.c_str(),
                load[0], sysconf(_SC_NPROCESSORS_ONLN));
    std::printf("  one run in-process                         %8.2f ms   (processor %7.2f ms)\n", oneWall * 1e3, oneCpu * 1e3);
    std::printf("  ideal on 2 processes (one run x %d / 2)   %8.3f s\n", kRuns, ideal);
    std::printf("  simstudy run -j 2                          %8.3f s    (processor %7.3f s)\n", studyT.wall, studyT.cpu);
    std::printf("  %d simrun processes, one after another    %8.3f s    (processor %7.3f s)\n", kRuns, separate.wall, separate.cpu);
    double r1 = studyT.wall / separate.wall, r2 = studyT.wall / ideal;
    std::printf("  ratio to the separate processes  %.3f (goal: <= 0.55) %s\n", r1, r1 <= 0.55 ? "MET" : "NOT MET");
    std::printf("  ratio to the ideal               %.3f (goal: <= 1.15) %s\n", r2, r2 <= 1.15 ? "MET" : "NOT MET");
    std::printf("  processor time of the study against %d in-process runs: %.3f\n", kRuns, studyT.cpu / (oneCpu * kRuns));

    // Memory: a week of the same model, 100 runs and 10,000 runs on one worker.
    std::string week = tmp + "/week.json";
    std::ifstream in(s.modelPath);
    std::string model((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    model.replace(model.find("\"stop\": 31536000"), 16, "\"stop\": 604800");
    const std::string relative = "../../examples/data/weather/USA_IL_Chicago-OHare.725300_TMY3.epw";
    model.replace(model.find(relative), relative.size(), kBench + "/" + relative);
    writeFile(week, model);
    writeFile(tmp + "/s100.json", "{\"model\": \"week.json\", \"vary\": [{\"set\": \"sources.cloud.value\", \"range\": [0, 0.99, 0.01]}],"
                                  " \"summary\": {\"sky\": [\"mean\", \"max\"]}}");
    writeFile(tmp + "/s10000.json", "{\"model\": \"week.json\", \"vary\": [{\"set\": \"sources.cloud.value\", \"range\": [0, 0.99, 0.01]},"
                                    " {\"set\": \"stop\", \"range\": [518400, 874800, 3600]}], \"summary\": {\"sky\": [\"mean\", \"max\"]}}");
    double peak[2];
    int n[2] = {100, 10000};
    for (int k = 0; k < 2; ++k) {
        std::string name = "s" + std::to_string(n[k]);
        if (spawn({SIMSTUDY_EXE, "run", tmp + "/" + name + ".json", "-o", tmp + "/" + name, "-j", "1", "--no-progress"},
                  "/dev/null", tmp + "/" + name + ".err") != 0) {
            std::fprintf(stderr, "bench_study: the memory study of %d runs failed\n", n[k]);
            return 1;
        }
        peak[k] = workerPeak(tmp + "/" + name + ".err");
    }
    std::printf("Peak resident memory of a worker (a week at hourly steps per run):\n");
    std::printf("  100 runs      %6.1f MB\n  10,000 runs   %6.1f MB\n", peak[0], peak[1]);
    std::printf("  ratio %.3f (goal: <= 1.2) %s\n", peak[1] / peak[0], peak[1] <= 1.2 * peak[0] ? "MET" : "NOT MET");

    std::error_code ec;
    std::filesystem::remove_all(tmp, ec);
    return 0;
}
