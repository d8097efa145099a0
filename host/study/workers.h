// Runs a study's runs on local worker processes.
//
// The parent forks up to 'jobs' workers and hands each one run at a time
// through a pipe, the next as soon as it reports the last: a queue, so a
// slow run holds up one worker only. A worker runs its runs one after
// another in its own process (blocks keep static state, so runs in one
// process never overlap), keeping block libraries loaded and weather files
// read from one run to the next (simrun::RunCache), and records each
// finished run itself (RecordLog) before it reports it. Its memory does not
// grow with the number of runs: everything a run makes is released when it
// ends.
//
// Failures: a run that fails is recorded with its message and the study goes
// on. A worker that dies of a signal during a run: SIGKILL (the OOM killer,
// a user, a batch system) leaves the run unrecorded, to be done by the next
// 'run'; another signal (a crash in a block) records the run as failed. A
// new worker takes the dead one's place.
//
// Stopping: on SIGINT or SIGTERM the parent hands out no more runs and
// passes the signal on to the workers; each finishes the step under way of
// its run, records the run as stopped, and ends. A second signal a second or
// more after the first ends everything at once (the runs under way stay
// unrecorded); one within the second (a terminal's Ctrl-C reaches every
// process of the group, and batch systems often signal every process too)
// counts as the same request.
#pragma once

#include <csignal>
#include <cstdint>
#include <string>
#include <vector>

#include "results.h"
#include "runner.h"
#include "study.h"

namespace study {

struct PoolOptions {
    unsigned jobs = 1;
    std::vector<std::string> libDirs;  // where block libraries are looked for
    bool progress = true;              // a bar on standard error when it is a terminal
};

struct PoolReport {
    std::uint64_t ok = 0, failed = 0, stopped = 0, lost = 0;
    int stoppedBy = 0;         // the signal that stopped the study, or 0
    bool killed = false;       // a second signal ended it at once
    std::string fatal;         // a worker could not record its runs: the study stopped
    long long peakMemoryKiB = 0;  // the largest peak resident memory of a worker
};

// Runs the runs 'todo' (run numbers) of the study, recording them in
// 'results'. Installs its own SIGINT and SIGTERM handlers for the time it
// runs.
PoolReport runPool(const Study &study, const Results &results, const std::vector<std::uint64_t> &todo,
                   const PoolOptions &options);

// One run in this process, as a worker does it: the model with the run's
// overrides run in the worker's folder DIR/work/<host>-<pid> (what it prints
// goes to output.txt there), its summary statistics taken; then what it
// wrote moves to the run's folder (Results::runDir) when the study keeps it
// (Study::files), and is removed otherwise, as is the folder of an earlier
// try of the run. A run that keeps no file leaves no folder. Never throws:
// a failure is a failed record.
RunRecord runOne(const Study &study, const Results &results, std::uint64_t run, const std::vector<std::string> &libDirs,
                 simrun::RunCache &cache, const volatile std::sig_atomic_t *stop);

}  // namespace study
