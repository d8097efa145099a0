// What a study's files cost: 100,000 runs of a one-day model (24 hourly
// steps of the sky temperature from the Chicago weather file and a cloud
// cover varied from run to run, one CSV sink written hourly, a summary of
// two statistics) on 2 workers, kept with "files": "none" and with
// "files": "all", side by side in one program run:
//
//   - one run in-process, as a worker does it (library loaded, weather file
//     read), writing its CSV file into a new folder and writing none: the
//     mean wall-clock and processor time over 1,000 runs each;
//   - simstudy run -j 2 --files none, then --files all, each into a fresh
//     folder: the wall-clock and processor time, per run, the overhead of a
//     run beyond its own in-process time (on a worker's clock: 2 x wall /
//     runs - the run; in processor time: processor / runs - the run's), and
//     the files and folders each leaves (none: the manifest and the table
//     only);
//   - simstudy where on the study with files (it reads every record).
//
//   build/bin/bench_study_files [RUNS]     (RUNS: 100000 unless given)
//
// Each study runs once: on a shared machine the times vary by a good part
// from one program run to the next; the processor times show the study's
// own cost whatever else the machine does.
#include <unistd.h>

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

using bench::cpuNow;
using bench::spawn;
using bench::wallNow;

void writeFile(const std::string &path, const std::string &text) { std::ofstream(path) << text; }

// The mean wall-clock and processor time of one run in-process over 'n'
// runs of the study, each in a new folder under 'dir', with or without its
// CSV file.
struct Time {
    double wall = 0, cpu = 0;
};

Time inProcess(const study::Study &s, simrun::RunCache &cache, const std::string &dir, bool files, int n)
{
    Time total;
    for (int i = 0; i < n; ++i) {
        std::string folder = dir + "/" + std::to_string(i);
        std::filesystem::create_directories(folder);
        std::filesystem::current_path(folder);
        std::vector<study::Accumulator> stats(s.signals.size());
        simrun::RunOptions o;
        o.libDirs = {SIMBLOCKS_LIB_DIR};
        o.progress = false;
        o.summary = s.signals;
        o.summaryRow = [&stats](std::size_t k, double t, double v) { stats[k].add(t, v); };
        o.cache = &cache;
        o.files = files;
        std::uint64_t run = 1 + static_cast<std::uint64_t>(i) * (s.runs / static_cast<std::uint64_t>(n));
        double w0 = wallNow(), c0 = cpuNow();
        simrun::runModel(simrun::parseModelDocument(s.runModel(run), s.modelPath), o);
        total.wall += (wallNow() - w0) / n;
        total.cpu += (cpuNow() - c0) / n;
    }
    return total;
}

struct Left {
    long long files = 0, folders = 0, bytes = 0;
};

Left left(const std::string &dir)
{
    Left l;
    for (const auto &e : std::filesystem::recursive_directory_iterator(dir)) {
        if (e.is_directory()) ++l.folders;
        else if (e.is_regular_file()) {
            ++l.files;
            l.bytes += static_cast<long long>(e.file_size());
        }
    }
    return l;
}

}  // namespace

int main(int argc, char **argv)
{
    long runs = argc > 1 ? std::atol(argv[1]) : 100000;
    if (runs < 1000 || runs > 1000000) {
        std::fprintf(stderr, "usage: bench_study_files [RUNS]   (1,000 to 1,000,000; default 100,000)\n");
        return 2;
    }
    std::string tmp = (std::filesystem::temp_directory_path() / ("bench-study-files-" + std::to_string(getpid()))).string();
    std::filesystem::create_directories(tmp);
    std::string here = std::filesystem::current_path().string();

    // The benchmark's model over one day.
    std::ifstream in(kBench + "/chicago_sky.json");
    std::string model((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    model.replace(model.find("\"stop\": 31536000"), 16, "\"stop\": 86400");
    const std::string relative = "../../examples/data/weather/USA_IL_Chicago-OHare.725300_TMY3.epw";
    model.replace(model.find(relative), relative.size(), kBench + "/" + relative);
    writeFile(tmp + "/day.json", model);
    char range[96];
    std::snprintf(range, sizeof range, "[0, %.17g, 1e-05]", 1e-5 * static_cast<double>(runs - 1));
    writeFile(tmp + "/study.json", std::string("{\"model\": \"day.json\", \"vary\": [{\"set\": \"sources.cloud.value\", \"range\": ") +
                                       range + "}], \"summary\": {\"sky\": [\"mean\", \"max\"]}}");
    study::Study s = study::loadStudy(tmp + "/study.json");
    if (static_cast<long>(s.runs) != runs) {
        std::fprintf(stderr, "bench_study_files: the study has %llu runs, not %ld\n", static_cast<unsigned long long>(s.runs), runs);
        return 1;
    }

    simrun::RunCache cache;
    inProcess(s, cache, tmp + "/warm", true, 10);
    const int kSample = 1000;
    Time withFile = inProcess(s, cache, tmp + "/one-file", true, kSample);
    Time without = inProcess(s, cache, tmp + "/one-none", false, kSample);
    std::filesystem::current_path(here);
    std::filesystem::remove_all(tmp + "/warm");
    std::filesystem::remove_all(tmp + "/one-file");
    std::filesystem::remove_all(tmp + "/one-none");

    double load = 0;
    if (std::FILE *f = std::fopen("/proc/loadavg", "r")) {
        if (std::fscanf(f, "%lf", &load) != 1) load = -1;
        std::fclose(f);
    }
    std::printf("Study of %ld runs of a day at hourly steps (the model of chicago_sky.json over 24 h), 2 workers,\n"
                "temporary files in %s, load average %.2f on %ld cores:\n",
                runs, tmp.c_str(), load, sysconf(_SC_NPROCESSORS_ONLN));
    std::printf("  one run in-process, writing its CSV file       %8.1f us   (processor %6.1f us)\n", withFile.wall * 1e6, withFile.cpu * 1e6);
    std::printf("  one run in-process, writing no file            %8.1f us   (processor %6.1f us)\n", without.wall * 1e6, without.cpu * 1e6);
    for (const char *files : {"none", "all"}) {
        std::string dir = tmp + "/" + files;
        double w0 = wallNow(), c0 = cpuNow();
        if (spawn({SIMSTUDY_EXE, "run", tmp + "/study.json", "-o", dir, "-j", "2", "--no-progress", "--files", files}) != 0) {
            std::fprintf(stderr, "bench_study_files: simstudy run --files %s failed\n", files);
            return 1;
        }
        double wall = wallNow() - w0, cpu = cpuNow() - c0;
        Left l = left(dir);
        Time own = std::string(files) == "none" ? without : withFile;
        std::printf("  --files %-4s  %8.1f s wall, %8.1f s processor: %7.1f us a run (%6.1f us processor)\n", files, wall, cpu,
                    wall / static_cast<double>(runs) * 1e6, cpu / static_cast<double>(runs) * 1e6);
        std::printf("                overhead a run: %7.1f us on a worker's clock (2 x wall / runs - the run's own %6.1f us),\n"
                    "                %7.1f us of processor time (processor / runs - the run's own %6.1f us)\n",
                    (2 * wall / static_cast<double>(runs) - own.wall) * 1e6, own.wall * 1e6,
                    (cpu / static_cast<double>(runs) - own.cpu) * 1e6, own.cpu * 1e6);
        std::printf("                left %lld files and %lld folders (%.1f MB) in %s\n", l.files, l.folders,
                    static_cast<double>(l.bytes) / 1e6, dir.c_str());
    }
    double w0 = wallNow();
    int status = spawn({SIMSTUDY_EXE, "where", tmp + "/all", std::to_string(runs / 2)}, tmp + "/where.out");
    std::printf("  simstudy where DIR %ld (reads every record): %.2f s, status %d\n", runs / 2, wallNow() - w0, status);

    std::error_code ec;
    std::filesystem::remove_all(tmp, ec);
    return 0;
}
