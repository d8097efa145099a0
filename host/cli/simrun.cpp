// simrun: runs a model file of blocks on the embedded host.
#include <getopt.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#ifdef _WIN32
#include <windows.h>  // GetTickCount64
#endif

#include "library_dirs.h"
#include "model_file.h"
#include "number_text.h"
#include "overrides.h"
#include "posix_io.h"
#include "runner.h"

namespace {

const char kUsage[] =
    "Usage: simrun [options] MODEL.json\n"
    "Runs a model of blocks on the embedded host and writes the signals its sinks name.\n"
    "\n"
    "  -s, --set PATH=VALUE      change one value of the model before the run (may be\n"
    "                            repeated): start, stop, step, solver.method, solver.rtol,\n"
    "                            solver.atol, solver.max_step, blocks.<name>.parameters[i],\n"
    "                            sources.<name>.file, sources.<name>.value, sinks[i].every,\n"
    "                            sinks[i].reduce\n"
    "                            (lists count from 1; a relative file name is taken\n"
    "                            in the current folder)\n"
    "  -L, --lib-dir DIR         look for block libraries in DIR first (may be repeated)\n"
    "  -o, --output-dir DIR      run in DIR (made if missing): relative file names of the\n"
    "                            CSV sinks, the plot, the trace and the files blocks write\n"
    "                            are taken there; default: the current folder\n"
    "  -p, --plot FILE.png       draw the plot signals against time into a PNG (needs gnuplot)\n"
    "      --plot-signals LIST   comma-separated signals to plot (default: the model's\n"
    "                            \"plot\" signals, else those of its first sink)\n"
    "      --no-progress         never draw the progress bar\n"
    "      --trace FILE          write every engine request as \"flag block time\" to FILE\n"
    "      --solver-stats        after the run, print the solver's steps, right-hand-side\n"
    "                            evaluations, events and failures (on standard error)\n"
    "  -q, --quiet               do not list the files written\n"
    "  -h, --help                show this text\n"
    "\n"
    "Block libraries (<type>" SIMBLOCKS_MEX_SUFFIX ") are looked for in the -L folders, then in the folders of\n"
    "SIMRUN_LIBRARY_PATH (separated by '" PATH_LIST_SEPARATOR "'), then in the lib folder next to the folder of\n"
    "simrun (build/lib for build/bin/simrun).\n"
    "\n"
    "Exit status: 0 on success, 1 when the model or the run fails, 2 for a wrong command line,\n"
    "130 or 143 when SIGINT or SIGTERM stopped the run (after its step under way, with\n"
    "every row computed written and the blocks terminated; a second signal a second or more\n"
    "after the first ends it at once, still writing every row computed).\n";

// Stopping. The first SIGINT or SIGTERM asks the run to stop: the handler
// only records it, and the run finishes its step, writes its rows,
// terminates the blocks and ends. Signals within a second of the first are
// the same request delivered twice (a supervisor such as timeout signals
// the process and then its whole group) and are let go. A signal a second
// or more after the first means the run did not stop (a block holds the
// step): the handler then writes every row computed, says where the run
// stopped and ends the program at once.
volatile std::sig_atomic_t stopSignal = 0;        // the first signal, or 0
std::atomic<long long> firstSignalAt{0};          // its time, in milliseconds of a steady clock
constexpr long long kSameRequestMs = 1000;

// Milliseconds of a clock that only goes forward; safe in a signal handler.
long long steadyMilliseconds()
{
#ifdef _WIN32
    return static_cast<long long>(GetTickCount64());
#else
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<long long>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
#endif
}

const char *signalName(int sig) { return sig == SIGINT ? "SIGINT" : sig == SIGTERM ? "SIGTERM" : "a signal"; }

// Ends the program from the signal handler, with calls safe there.
[[noreturn]] void endAtOnce()
{
    simrun::ComputedRows rows;
    simrun::writeComputedRowsNow(rows);
    char text[256];
    std::size_t len = 0;
    auto add = [&](const char *part) {
        std::size_t n = std::min(std::strlen(part), sizeof text - len);
        std::memcpy(text + len, part, n);
        len += n;
    };
    add("simrun: stopped by ");
    add(signalName(stopSignal));
    add(" ");
    len += simrun::stopSummary(rows.steps, rows.lastTime, rows.totalSteps, text + len, sizeof text - len);
    add("\n");
    if (::write(2, text, static_cast<unsigned>(len)) < 0) { /* nowhere left to say it */ }
    std::_Exit(128 + stopSignal);
}

extern "C" void onStopSignal(int sig)
{
#ifdef _WIN32
    std::signal(sig, onStopSignal);  // the C runtime put the default action back
#endif
    const long long now = steadyMilliseconds();
    if (stopSignal == 0) {
        firstSignalAt = now;
        stopSignal = sig;
        return;
    }
    if (now - firstSignalAt < kSameRequestMs) return;
    endAtOnce();
}

void catchStopSignals()
{
#ifdef _WIN32
    std::signal(SIGINT, onStopSignal);
    std::signal(SIGTERM, onStopSignal);
#else
    struct sigaction sa;
    std::memset(&sa, 0, sizeof sa);
    sa.sa_handler = onStopSignal;
    sigemptyset(&sa.sa_mask);
    sigaddset(&sa.sa_mask, SIGINT);  // one handler at a time
    sigaddset(&sa.sa_mask, SIGTERM);
    sa.sa_flags = SA_RESTART;
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
#endif
}

int usageError(const std::string &what)
{
    std::fprintf(stderr, "simrun: %s\nTry 'simrun --help'.\n", what.c_str());
    return 2;
}

}  // namespace

int main(int argc, char **argv)
{
#ifdef SIGPIPE
    std::signal(SIGPIPE, SIG_IGN);  // a plotting program that quits is an error to report, not a crash
#endif
#ifdef SIGXFSZ
    std::signal(SIGXFSZ, SIG_IGN);  // a file size limit is a write error to report, not a silent end
#endif
    catchStopSignals();

    simrun::RunOptions options;
    std::vector<std::string> libDirs;
    std::string outputDir;
    bool quiet = false, solverStats = false;
    std::vector<std::pair<std::string, std::string>> sets;
    enum { kPlotSignals = 1000, kNoProgress, kTrace, kSolverStats };
    static const option longOptions[] = {
        {"lib-dir", required_argument, nullptr, 'L'},
        {"set", required_argument, nullptr, 's'},
        {"output-dir", required_argument, nullptr, 'o'},
        {"plot", required_argument, nullptr, 'p'},
        {"plot-signals", required_argument, nullptr, kPlotSignals},
        {"no-progress", no_argument, nullptr, kNoProgress},
        {"trace", required_argument, nullptr, kTrace},
        {"solver-stats", no_argument, nullptr, kSolverStats},
        {"quiet", no_argument, nullptr, 'q'},
        {"help", no_argument, nullptr, 'h'},
        {nullptr, 0, nullptr, 0},
    };
    opterr = 0;
    int c;
    while ((c = getopt_long(argc, argv, ":L:o:p:s:qh", longOptions, nullptr)) != -1) {
        switch (c) {
        case 'L': libDirs.push_back(optarg); break;
        case 's': {
            std::string path, value;
            if (!simrun::splitOverride(optarg, path, value)) return usageError(std::string("--set '") + optarg + "': give PATH=VALUE");
            sets.emplace_back(path, value);
            break;
        }
        case 'o': outputDir = optarg; break;
        case 'p': options.plotFile = optarg; break;
        case kPlotSignals:
            options.plotSignals = cli::split(optarg, ',');
            if (options.plotSignals.empty()) return usageError("--plot-signals needs at least one signal");
            break;
        case kNoProgress: options.progress = false; break;
        case kTrace: options.traceFile = optarg; break;
        case kSolverStats: solverStats = true; break;
        case 'q': quiet = true; break;
        case 'h': std::fputs(kUsage, stdout); return 0;
        case ':': return usageError(std::string("option '") + argv[optind - 1] + "' needs a value");
        default: return usageError(std::string("unknown option '") + argv[optind - 1] + "'");
        }
    }
    if (optind != argc - 1) return usageError(optind == argc ? "no model file given" : "give exactly one model file");
    if (!options.plotSignals.empty() && options.plotFile.empty()) return usageError("--plot-signals needs --plot");

    options.libDirs = cli::libraryDirs(libDirs);
    std::error_code ec;

    try {
        simrun::ModelDef model;
        if (sets.empty()) {
            model = simrun::loadModel(argv[optind]);
        } else {
            std::string path = argv[optind], text, why;
            if (!simrun::readRegularFile(path, text, why)) throw simrun::ModelError(path + ": cannot open the model file: " + why);
            nlohmann::json doc = simrun::readModelDocument(text, path);
            std::string here = std::filesystem::current_path(ec).string();
            for (const auto &[at, value] : sets) {
                try {
                    simrun::applyOverride(doc, at, simrun::overrideValue(doc, at, value), here);
                } catch (const simrun::ModelError &e) {
                    throw simrun::ModelError(std::string("--set ") + e.what());
                }
            }
            model = simrun::parseModelDocument(doc, path);
        }
        if (!outputDir.empty()) {
            std::filesystem::create_directories(outputDir, ec);
            if (ec || chdir(outputDir.c_str()) != 0) {
                std::fprintf(stderr, "simrun: error: cannot use the output folder '%s'%s%s\n", outputDir.c_str(),
                             ec ? ": " : "", ec ? ec.message().c_str() : "");
                return 1;
            }
        }
        options.stop = [] { return static_cast<int>(stopSignal); };
        simrun::RunReport report = simrun::runModel(model, options);
        for (const std::string &w : report.warnings) std::fprintf(stderr, "simrun: %s\n", w.c_str());
        if (solverStats) std::fprintf(stderr, "simrun: %s\n", simrun::solverSummary(report.solver).c_str());
        if (!quiet)
            for (const std::string &f : report.files)
                std::fprintf(stderr, "simrun: wrote %s\n", std::filesystem::absolute(f, ec).lexically_normal().string().c_str());
        if (report.stoppedBy != 0) {
            std::fprintf(stderr, "simrun: stopped by %s %s\n", signalName(report.stoppedBy),
                         simrun::stopSummary(report).c_str());
            return 128 + report.stoppedBy;
        }
    } catch (const std::exception &e) {
        std::fflush(stdout);
        std::fprintf(stderr, "simrun: error: %s\n", e.what());
        return 1;
    }
    return 0;
}
