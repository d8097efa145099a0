// Runs a model file's model on the engine: sources, blocks, sinks, the plot.
#pragma once

#include <cstddef>
#include <cstdio>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "model_file.h"

// The file name extension of the embedded host's block libraries; the build
// defines it (".mexw64" on Windows).
#ifndef SIMBLOCKS_MEX_SUFFIX
#define SIMBLOCKS_MEX_SUFFIX ".so"
#endif

namespace engine {
class Library;
}

namespace simrun {

class EpwSignal;

// What a process that runs many models in turn (a study's worker) keeps from
// one run to the next: each block library stays loaded, each weather file is
// read once (again only when its size or time of change differs). A run given
// no cache loads and reads everything itself.
struct RunCache {
    std::map<std::string, std::shared_ptr<engine::Library>> libraries;  // by file
    struct Weather {
        std::shared_ptr<const EpwSignal> signal;  // as read; each run takes a copy
        long long size = 0, changed = 0;          // of the file when it was read
        unsigned long long used = 0;              // the last use, for the limit
    };
    std::map<std::string, Weather> weather;       // by file and fields
    std::size_t weatherLimit = 32;                // the least recently used goes beyond it
    unsigned long long uses = 0;
};

struct RunOptions {
    std::vector<std::string> libDirs;      // where block libraries are looked for, in order
    std::string plotFile;                  // a PNG to write ("" = none)
    std::vector<std::string> plotSignals;  // replaces the model's plot signals
    bool progress = true;                  // a bar on standard error when it is a terminal
    std::string traceFile;                 // every engine request, one per line ("" = none)
    std::FILE *out = stdout;               // tables and what the blocks print
    // When set, the run asks it after every step: a non-zero answer (the
    // number of the signal that asks the run to stop, a program's SIGINT or
    // SIGTERM or a script host's pending Ctrl-C) ends the run cleanly.
    std::function<int()> stop;
    // When set, tables and what the blocks print go here instead of 'out'
    // (a script host's command window).
    std::function<void(const char *text, std::size_t len)> print;
    std::string libExtension = SIMBLOCKS_MEX_SUFFIX;  // the file name extension of block libraries
    // Collect the workspace sink's rows; a model without a workspace sink
    // then gives every source and every block output port. Without it,
    // workspace sinks are checked but collect nothing.
    bool workspace = false;
    // Where the collected numbers go: called before the run once for the
    // times ("time", width 1) and once per signal, with the exact number of
    // rows; returns room for rows x width numbers, column by column (a
    // script host's own arrays). Without it they go into the report.
    std::function<double *(const std::string &name, std::size_t rows, std::size_t width)> workspaceStorage;
    // Summary signals (a study's statistics), each one element wide: taken
    // at the rows of the first CSV or table sink that writes the signal (at
    // its 'every'; the sink's statistic when it has a 'reduce'), or at every
    // step when no such sink does; 'summaryRow' gets the signal's index, the
    // time and the value, row by row.
    std::vector<std::string> summary;
    std::function<void(std::size_t signal, double t, double value)> summaryRow;
    RunCache *cache = nullptr;  // libraries and weather files kept between runs
};

// A signal a workspace sink collects: rows x width numbers, column by column
// (in 'values' when RunOptions::workspaceStorage is not given).
struct WorkspaceField {
    std::string name;  // a valid field name: "weather[T]" gives "weather_T"
    std::size_t width = 0;
    std::vector<double> values;
};

// What the solver did over a run (all zero for a model without continuous states).
struct SolverReport {
    bool continuous = false;  // the model has continuous states
    std::string method;
    long long steps = 0, rhsEvaluations = 0, events = 0;
    long long errorTestFailures = 0, convergenceFailures = 0;
};

// One line on it: "solver bdf: 1520 steps, 2210 right-hand-side evaluations,
// 730 events, 12 error test failures, 0 convergence failures", or "solver:
// the model has no continuous states (bdf not used)".
std::string solverSummary(const SolverReport &report);

struct RunReport {
    long long steps = 0;
    std::vector<std::string> files;     // the CSV files and the plot written
    std::vector<std::string> warnings;  // e.g. a plot that could not be drawn
    std::size_t workspaceRows = 0;              // rows of the workspace sink (RunOptions::workspace)
    std::vector<double> workspaceTime;          // their times
    std::vector<WorkspaceField> workspace;      // its signals
    int stoppedBy = 0;                  // the answer of RunOptions::stop that ended the run early, or 0
    double lastTime = 0.0;              // the time of the last step computed (steps > 0)
    long long totalSteps = 0;           // the steps the whole run would have taken
    SolverReport solver;
};

// A signal's label made a valid field name: every run of characters other
// than letters, digits and '_' becomes one '_', a trailing one is dropped,
// and a name that does not start with a letter gets an 'x' in front.
std::string fieldName(const std::string &label);

// Where a stopped run stopped: "at t = 3600 s, after step 61 of 1441; every
// row up to it is written", or "before the first step". The second form
// writes it into buf (at most 'size' characters, no terminating zero) and
// returns its length; it is safe in a signal handler.
std::string stopSummary(const RunReport &report);
std::size_t stopSummary(long long steps, double lastTime, long long totalSteps, char *buf, std::size_t size);

// How far a run got: the steps whose rows are made (of totalSteps) and the
// time of the last of them.
struct ComputedRows {
    long long steps = 0, totalSteps = 0;
    double lastTime = 0.0;
};

// For a program that must end at once from a signal handler while a run is
// under way in another part of it (a second stop signal while a block holds
// the step): writes every CSV row the run has made but not yet written (at
// most the last flush interval's), with calls that are safe in a signal
// handler, and says how far the run got. The program must not let the run
// go on afterwards. False when no run is under way.
bool writeComputedRowsNow(ComputedRows &progress);

// The library file of a block type in the first folder that has one, or "".
std::string findBlockLibrary(const std::string &type, const std::vector<std::string> &dirs,
                             const std::string &extension = SIMBLOCKS_MEX_SUFFIX);

// Runs the model. Failures throw std::runtime_error (a ModelError or an
// engine::EngineError) whose text names the block, source or sink and what
// is wrong; every CSV row written before a failure stays in its file. A run
// stopped through RunOptions::stop finishes the step under way, writes every
// row computed, terminates the blocks and returns with stoppedBy set.
RunReport runModel(const ModelDef &model, const RunOptions &options);

}  // namespace simrun
