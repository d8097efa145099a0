// A study as a Slurm job array: task t (0 to N-1) runs shard t+1 of N
// ("simstudy run ... --shard t+1/N"), and a collect job that waits for the
// whole array (afterany: it also runs when some tasks had failed runs)
// merges what the tasks recorded into the table. No scheduler of our own:
// Slurm queues, places and restarts the tasks; DIR must be on a file system
// that every node sees.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "results.h"
#include "study.h"

namespace study {

struct SlurmJob {
    std::string arrayScript, collectScript;  // the files written
    std::string submit;                      // the shell line that submits both
};

// Writes DIR/slurm/study.sbatch and DIR/slurm/collect.sbatch for 'tasks'
// tasks. 'simstudy' is the program the tasks run, 'libDirs' the folders of
// block libraries it is given (-L), 'files' the word of --files given to
// every task ("" = none: the study file's "files" holds). The array script also runs under plain
// bash with SLURM_ARRAY_TASK_ID set (and SLURM_CPUS_PER_TASK, the worker
// processes of a task, default 1). Throws StudyError when a file cannot be
// written.
SlurmJob writeSlurmJob(const Study &study, const Results &results, std::uint64_t tasks, const std::string &simstudy,
                       const std::vector<std::string> &libDirs, const std::string &files = "");

}  // namespace study
