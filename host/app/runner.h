// Runs a model file's model on the engine: sources, blocks, sinks, the plot.
#pragma once

#include <csignal>
#include <cstdio>
#include <string>
#include <vector>

#include "model_file.h"

namespace simrun {

struct RunOptions {
    std::vector<std::string> libDirs;      // where block libraries are looked for, in order
    std::string plotFile;                  // a PNG to write ("" = none)
    std::vector<std::string> plotSignals;  // replaces the model's plot signals
    bool progress = true;                  // a bar on standard error when it is a terminal
    std::string traceFile;                 // every engine request, one per line ("" = none)
    std::FILE *out = stdout;               // tables and what the blocks print
    // When set, the run looks at it after every step: a non-zero value (the
    // number of a signal that asks the run to stop) ends the run cleanly.
    const volatile std::sig_atomic_t *stop = nullptr;
};

struct RunReport {
    long long steps = 0;
    std::vector<std::string> files;     // the CSV files and the plot written
    std::vector<std::string> warnings;  // e.g. a plot that could not be drawn
    int stoppedBy = 0;                  // the value of *RunOptions::stop that ended the run early, or 0
    double lastTime = 0.0;              // the time of the last step computed (steps > 0)
    long long totalSteps = 0;           // the steps the whole run would have taken
};

// The library file of a block type in the first folder that has one, or "".
std::string findBlockLibrary(const std::string &type, const std::vector<std::string> &dirs);

// Runs the model. Failures throw std::runtime_error (a ModelError or an
// engine::EngineError) whose text names the block, source or sink and what
// is wrong; every CSV row written before a failure stays in its file. A run
// stopped through RunOptions::stop finishes the step under way, writes every
// row computed, terminates the blocks and returns with stoppedBy set.
RunReport runModel(const ModelDef &model, const RunOptions &options);

}  // namespace simrun
