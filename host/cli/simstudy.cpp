// simstudy: many runs of one model (a study), on local processes, as shards
// for GNU parallel or a Slurm job array, with one table of results.
#include <getopt.h>
#include <sched.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "library_dirs.h"
#include "results.h"
#include "slurm.h"
#include "study.h"
#include "trend.h"
#include "workers.h"

namespace {

const char kUsage[] =
    "Usage: simstudy plan STUDY.json\n"
    "       simstudy run STUDY.json -o DIR [-j N] [--shard K/N] [--retry-failed]\n"
    "                    [--files all|failed|none] [--plot FILE.png --x PATH --y SIGNAL.STAT]\n"
    "       simstudy collect DIR [--plot FILE.png --x PATH --y SIGNAL.STAT]\n"
    "       simstudy slurm STUDY.json -o DIR [--tasks N | --runs-per-task M] [--files all|failed|none]\n"
    "       simstudy where DIR RUN\n"
    "Runs a study: many runs of one model, each with some of its values changed, and a\n"
    "table of summary statistics per run (the study file: docs/studies.md).\n"
    "\n"
    "  plan     check the study against the model; print the number of runs and the\n"
    "           first runs' overrides (as simrun --set)\n"
    "  run      do the runs not yet done on N local processes: a run that keeps files\n"
    "           has them in DIR/runs/NNNN/NNN/ (run 12345 in DIR/runs/0012/345/), each\n"
    "           finished run is recorded in DIR/manifest, the table goes to\n"
    "           DIR/study.csv (not with --shard: collect merges shards)\n"
    "  collect  merge what every shard recorded into DIR/study.csv\n"
    "  slurm    write DIR/slurm/study.sbatch (a job array, one shard per task) and\n"
    "           DIR/slurm/collect.sbatch, and print the line that submits both\n"
    "  where    print the folder of run RUN's files, or say why it has none\n"
    "\n"
    "  -o, --output-dir DIR    the study's folder (made if missing; it holds one study)\n"
    "  -j, --jobs N            worker processes (default: the cores this process may use)\n"
    "      --shard K/N         only the runs K, K+N, K+2N, ... (1 <= K <= N)\n"
    "      --retry-failed      run the failed runs again (stopped and unfinished runs always\n"
    "                          run again, ok runs never)\n"
    "      --files WHICH       which runs keep their files, in place of the study's \"files\":\n"
    "                          all (the default), failed (only failed runs) or none (CSV\n"
    "                          sinks write nothing; the summary statistics are the same)\n"
    "      --plot FILE.png     the trend plot of --y against --x, one line per combination of\n"
    "                          the other varied values (needs gnuplot)\n"
    "      --x PATH            a varied path whose values are numbers\n"
    "      --y SIGNAL.STAT     a summary column\n"
    "      --tasks N           slurm: the array's tasks (default: 100, or one per run if fewer)\n"
    "      --runs-per-task M   slurm: as many tasks as it takes for M runs each\n"
    "  -L, --lib-dir DIR       look for block libraries in DIR first (as simrun)\n"
    "      --no-progress       never draw the progress bar\n"
    "  -h, --help              show this text\n"
    "\n"
    "Run it again on the same DIR to resume: runs recorded ok are skipped. On SIGINT or\n"
    "SIGTERM no further run starts; the runs under way finish their step and are recorded\n"
    "as stopped; a second signal a second later ends everything at once.\n"
    "\n"
    "Exit status: 0 when every run (of the shard) is ok, 1 when a run failed, was stopped\n"
    "or is not done, or the study cannot run (counts and messages on standard error), 2 for\n"
    "a wrong command line, 130 or 143 when SIGINT or SIGTERM stopped the study.\n";

constexpr std::uint64_t kDefaultTasks = 100;
constexpr std::uint64_t kSlurmArrayLimit = 1000;  // tasks that Slurm's default MaxArraySize (1001) allows

int usageError(const std::string &what)
{
    std::fprintf(stderr, "simstudy: %s\nTry 'simstudy --help'.\n", what.c_str());
    return 2;
}

int failure(const std::string &what)
{
    std::fflush(stdout);
    std::fprintf(stderr, "simstudy: error: %s\n", what.c_str());
    return 1;
}

// A whole positive number; false for anything else.
bool count(const char *text, std::uint64_t &out)
{
    char *end = nullptr;
    errno = 0;
    unsigned long long v = std::strtoull(text, &end, 10);
    if (text[0] < '0' || text[0] > '9' || *end != '\0' || errno != 0 || v == 0) return false;
    out = v;
    return true;
}

unsigned cores()
{
#ifdef __linux__
    cpu_set_t set;
    if (sched_getaffinity(0, sizeof set, &set) == 0 && CPU_COUNT(&set) > 0) return static_cast<unsigned>(CPU_COUNT(&set));
#endif
    long n = sysconf(_SC_NPROCESSORS_ONLN);
    return n > 0 ? static_cast<unsigned>(n) : 1;
}

std::string plural(std::uint64_t n, const char *one, const char *many)
{
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

int plan(const study::Study &s)
{
    std::string how;
    if (s.combine == study::Study::Combine::kRows) {
        how = "the rows of the runs file, " + plural(s.varied.size(), "path", "paths");
    } else {
        std::string shape;
        for (const study::Varied &v : s.varied) shape += (shape.empty() ? "" : " x ") + std::to_string(v.count);
        how = s.combine == study::Study::Combine::kZip
                  ? plural(s.varied.size(), "varied path", "varied paths") + " zipped, " + std::to_string(s.runs) + " values each"
                  : "the product of " + plural(s.varied.size(), "varied path", "varied paths") + ", " + shape + " values";
    }
    std::printf("%s: %s (%s)\n", s.path.c_str(), plural(s.runs, "run", "runs").c_str(), how.c_str());
    std::printf("model: %s\n", s.modelPath.c_str());
    std::string columns;
    for (const study::SummaryColumn &c : s.summary) columns += (columns.empty() ? "" : ", ") + c.name;
    std::printf("summary: %s\n", columns.empty() ? "(none)" : columns.c_str());
    std::printf("files: %s\n", study::filesName(s.files));
    constexpr std::uint64_t kShown = 5;
    for (std::uint64_t run = 1; run <= s.runs && run <= kShown; ++run) {
        std::vector<std::uint64_t> index = s.choice(run);
        std::string sets;
        for (std::size_t i = 0; i < s.varied.size(); ++i) sets += " --set " + s.varied[i].path + "=" + s.varied[i].text(index[i]);
        std::printf("run %llu:%s\n", static_cast<unsigned long long>(run), sets.c_str());
    }
    if (s.runs > kShown) std::printf("...\n");
    return 0;
}

// The table, the plot, and what the runs of the shard came to.
int report(study::Results &results, std::uint64_t shard, std::uint64_t shards, bool table, const std::string &png,
           const study::TrendAxes &axes)
{
    results.scan();
    if (table) {
        study::TrendPlot trend(results, axes);
        results.writeTable(png.empty() ? std::function<void(const study::RunRecord &)>() : [&trend](const study::RunRecord &r) { trend.add(r); });
        std::fprintf(stderr, "simstudy: wrote %s/study.csv\n", results.dir().c_str());
        if (!png.empty()) {
            std::string why = trend.draw(png);
            if (why.empty()) std::fprintf(stderr, "simstudy: wrote %s\n", std::filesystem::absolute(png).lexically_normal().c_str());
            else std::fprintf(stderr, "simstudy: no plot: %s\n", why.c_str());
        }
    }
    study::Counts c = results.count(shard, shards);
    std::uint64_t all = c.ok + c.failed + c.stopped + c.none;
    std::string of = shards > 1 ? " of shard " + std::to_string(shard) + "/" + std::to_string(shards) : "";
    if (c.ok == all) {
        std::fprintf(stderr, "simstudy: all %s%s are ok\n", plural(all, "run", "runs").c_str(), of.c_str());
        return 0;
    }
    if (c.failed > 0) {
        std::uint64_t first = 0;
        for (std::uint64_t run = shard; run <= results.runs() && first == 0; run += shards)
            if (results.status(run) == study::Status::kFailed) first = run;
        std::fprintf(stderr, "simstudy: %llu of %llu runs%s failed (the message column of study.csv says why; --retry-failed runs them again); run %llu: %s\n",
                     static_cast<unsigned long long>(c.failed), static_cast<unsigned long long>(all), of.c_str(),
                     static_cast<unsigned long long>(first), results.record(first).message.c_str());
    }
    if (c.stopped + c.none > 0)
        std::fprintf(stderr, "simstudy: %llu of %llu runs%s %s not done (%llu stopped, %llu not run); 'simstudy run' does %s\n",
                     static_cast<unsigned long long>(c.stopped + c.none), static_cast<unsigned long long>(all), of.c_str(),
                     c.stopped + c.none == 1 ? "is" : "are", static_cast<unsigned long long>(c.stopped),
                     static_cast<unsigned long long>(c.none), c.stopped + c.none == 1 ? "it" : "them");
    return 1;
}

// Where run 'run' of the study in 'dir' has its files: the folder on
// standard output (status 0), or why there is none on standard error
// (status 1).
int where(const std::string &dir, std::uint64_t run)
{
    try {
        study::Results results(dir);
        if (run > results.runs())
            return usageError("where: the study in '" + dir + "' has " + plural(results.runs(), "run", "runs") +
                              "; there is no run " + std::to_string(run));
        results.scan(run);
        std::string name = "run " + std::to_string(run);
        if (results.status(run) == study::Status::kNone) {
            std::fprintf(stderr, "simstudy: %s has no record in '%s' yet (not run, under way, or its files are no longer as recorded), "
                                 "so it has no files there\n", name.c_str(), results.dir().c_str());
            return 1;
        }
        study::RunRecord r = results.record(run);
        if (r.files.empty()) {
            std::fprintf(stderr, "simstudy: %s (%s) kept no files: it wrote none, or the study keeps %s\n", name.c_str(),
                         study::statusName(r.status),
                         r.status == study::Status::kFailed ? "none (\"files\": \"none\")"
                                                            : "none or only failed runs' (\"files\": \"none\" or \"failed\")");
            return 1;
        }
        std::printf("%s\n", results.runDir(run).c_str());
        return 0;
    } catch (const std::exception &e) {
        return failure(e.what());
    }
}

}  // namespace

int main(int argc, char **argv)
{
#ifdef SIGXFSZ
    std::signal(SIGXFSZ, SIG_IGN);  // a file size limit is a write error to report, not a silent end
#endif
    if (argc < 2) return usageError("no command given (plan, run, collect, slurm or where)");
    std::string command = argv[1];
    if (command == "-h" || command == "--help") {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (command != "plan" && command != "run" && command != "collect" && command != "slurm" && command != "where")
        return usageError("unknown command '" + command + "' (plan, run, collect, slurm or where)");

    std::string dir, png, xPath, yColumn, filesWord;
    study::Files files = study::Files::kAll;
    std::vector<std::string> libDirs;
    std::uint64_t jobs = cores(), shard = 1, shards = 1, tasks = 0, runsPerTask = 0;
    bool retryFailed = false, progress = true, sharded = false;
    enum { kShard = 1000, kRetryFailed, kPlot, kX, kY, kTasks, kRunsPerTask, kNoProgress, kFiles };
    static const option longOptions[] = {
        {"output-dir", required_argument, nullptr, 'o'},
        {"jobs", required_argument, nullptr, 'j'},
        {"shard", required_argument, nullptr, kShard},
        {"retry-failed", no_argument, nullptr, kRetryFailed},
        {"plot", required_argument, nullptr, kPlot},
        {"x", required_argument, nullptr, kX},
        {"y", required_argument, nullptr, kY},
        {"tasks", required_argument, nullptr, kTasks},
        {"runs-per-task", required_argument, nullptr, kRunsPerTask},
        {"lib-dir", required_argument, nullptr, 'L'},
        {"no-progress", no_argument, nullptr, kNoProgress},
        {"files", required_argument, nullptr, kFiles},
        {"help", no_argument, nullptr, 'h'},
        {nullptr, 0, nullptr, 0},
    };
    opterr = 0;
    optind = 2;
    int c;
    while ((c = getopt_long(argc, argv, ":o:j:L:h", longOptions, nullptr)) != -1) {
        std::string option = argv[optind - 1];
        switch (c) {
        case 'o': dir = optarg; break;
        case 'j':
            if (!count(optarg, jobs)) return usageError("-j takes a number of processes (1 or more), not '" + std::string(optarg) + "'");
            break;
        case kShard: {
            std::string s = optarg;
            std::size_t slash = s.find('/');
            if (slash == std::string::npos || !count(s.substr(0, slash).c_str(), shard) || !count(s.substr(slash + 1).c_str(), shards))
                return usageError("--shard takes K/N, two whole numbers from 1 (such as 2/4), not '" + s + "'");
            if (shard > shards) return usageError("--shard " + s + ": K must be from 1 to N (" + std::to_string(shards) + ")");
            sharded = true;
            break;
        }
        case kRetryFailed: retryFailed = true; break;
        case kPlot: png = optarg; break;
        case kX: xPath = optarg; break;
        case kY: yColumn = optarg; break;
        case kTasks:
            if (!count(optarg, tasks)) return usageError("--tasks takes a number (1 or more), not '" + std::string(optarg) + "'");
            break;
        case kRunsPerTask:
            if (!count(optarg, runsPerTask)) return usageError("--runs-per-task takes a number (1 or more), not '" + std::string(optarg) + "'");
            break;
        case 'L': libDirs.push_back(optarg); break;
        case kNoProgress: progress = false; break;
        case kFiles:
            filesWord = optarg;
            if (!study::parseFiles(filesWord, files))
                return usageError("--files takes all, failed or none (which runs keep their files), not '" + filesWord + "'");
            break;
        case 'h': std::fputs(kUsage, stdout); return 0;
        case ':': return usageError("option '" + option + "' needs a value");
        default: return usageError("unknown option '" + option + "'");
        }
    }
    std::vector<std::string> operands(argv + optind, argv + argc);
    if (command == "where") {
        std::uint64_t run = 0;
        if (operands.size() != 2) return usageError("where takes a study's folder and a run number (simstudy where DIR RUN)");
        if (!count(operands[1].c_str(), run)) return usageError("where: '" + operands[1] + "' is not a run number (1 or more)");
        return where(operands[0], run);
    }
    if (operands.size() != 1)
        return usageError(command + (command == "collect" ? " takes one folder" : " takes one study file") +
                          (operands.empty() ? "" : ", not " + std::to_string(operands.size()) + " operands"));
    bool runLike = command == "run" || command == "collect";
    if ((command == "run" || command == "slurm") && dir.empty()) return usageError(command + " needs -o DIR, the study's folder");
    if (command == "plan" && !dir.empty()) return usageError("plan writes nothing: it takes no -o");
    if (command != "run" && (sharded || retryFailed)) return usageError("--shard and --retry-failed go with run");
    if (command != "run" && command != "slurm" && !filesWord.empty()) return usageError("--files goes with run or slurm");
    if (!runLike && (!png.empty() || !xPath.empty() || !yColumn.empty())) return usageError("--plot goes with run or collect");
    if (!png.empty() && (xPath.empty() || yColumn.empty())) return usageError("--plot needs --x PATH and --y SIGNAL.STAT");
    if (png.empty() && (!xPath.empty() || !yColumn.empty())) return usageError("--x and --y go with --plot");
    if (!png.empty() && sharded) return usageError("--plot draws the whole study: give it to collect after the shards");
    if (command != "slurm" && (tasks > 0 || runsPerTask > 0)) return usageError("--tasks and --runs-per-task go with slurm");
    if (tasks > 0 && runsPerTask > 0) return usageError("give --tasks or --runs-per-task, not both");

    // The plot's axes among the study's varied paths and summary columns;
    // others are a wrong command line.
    study::TrendAxes axes;
    auto badAxes = [&](const std::vector<std::string> &varied, const std::vector<std::string> &summary) {
        try {
            if (!png.empty()) axes = study::trendAxes(varied, summary, xPath, yColumn);
        } catch (const study::StudyError &e) {
            return usageError(e.what());
        }
        return 0;
    };
    try {
        if (command == "collect") {
            study::Results results(operands[0]);
            if (int status = badAxes(results.varied(), results.summary())) return status;
            return report(results, 1, 1, true, png, axes);
        }
        study::Study s = study::loadStudy(operands[0]);
        if (!filesWord.empty()) s.files = files;
        if (command == "plan") return plan(s);
        if (int status = badAxes(s.paths(), s.columns())) return status;
        if (command == "slurm" && tasks == 0)
            tasks = runsPerTask > 0 ? (s.runs + runsPerTask - 1) / runsPerTask : std::min(kDefaultTasks, s.runs);
        if (tasks > s.runs) return usageError("--tasks " + std::to_string(tasks) + ": the study has only " + plural(s.runs, "run", "runs"));
        if (shards > s.runs) return usageError("--shard " + std::to_string(shard) + "/" + std::to_string(shards) + ": the study has " + plural(s.runs, "run", "runs") + ", so N can be at most " + std::to_string(s.runs));
        study::Results results(dir, s);
        std::vector<std::string> dirs = cli::libraryDirs(libDirs);

        if (command == "slurm") {
            std::vector<std::string> given;
            std::error_code ec;
            for (const std::string &d : libDirs) given.push_back(std::filesystem::absolute(d, ec).string());
            std::string self = cli::executablePath();
            study::SlurmJob job = study::writeSlurmJob(s, results, tasks, self.empty() ? argv[0] : self, given, filesWord);
            std::fprintf(stderr, "simstudy: wrote %s (%s of about %s) and %s\n", job.arrayScript.c_str(),
                         plural(tasks, "task", "tasks").c_str(), plural((s.runs + tasks - 1) / tasks, "run", "runs").c_str(),
                         job.collectScript.c_str());
            if (tasks > kSlurmArrayLimit)
                std::fprintf(stderr, "simstudy: note: %llu tasks is more than Slurm's default MaxArraySize allows (1001); "
                                     "use --runs-per-task or ask for a larger limit\n", static_cast<unsigned long long>(tasks));
            std::printf("%s\n", job.submit.c_str());
            return 0;
        }

        results.scan();
        if (results.changedFiles() > 0)
            std::fprintf(stderr, "simstudy: %s recorded ok no longer %s the files of the record; %s again\n",
                         plural(results.changedFiles(), "run", "runs").c_str(), results.changedFiles() == 1 ? "has" : "have",
                         results.changedFiles() == 1 ? "it runs" : "they run");
        std::vector<std::uint64_t> todo;
        for (std::uint64_t run = shard; run <= s.runs; run += shards) {
            study::Status st = results.status(run);
            if (st == study::Status::kNone || st == study::Status::kStopped || (st == study::Status::kFailed && retryFailed))
                todo.push_back(run);
        }
        study::PoolReport pool;
        if (!todo.empty()) {
            study::PoolOptions o;
            o.jobs = static_cast<unsigned>(std::min<std::uint64_t>(jobs, 4096));
            o.libDirs = dirs;
            o.progress = progress;
            auto begin = std::chrono::steady_clock::now();
            pool = study::runPool(s, results, todo, o);
            double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
            std::fprintf(stderr, "simstudy: %llu ok, %llu failed, %llu stopped of %s in %.1f s (workers' peak memory %.1f MB)\n",
                         static_cast<unsigned long long>(pool.ok), static_cast<unsigned long long>(pool.failed),
                         static_cast<unsigned long long>(pool.stopped), plural(todo.size(), "run", "runs").c_str(), seconds,
                         static_cast<double>(pool.peakMemoryKiB) / 1024.0);
            if (!pool.fatal.empty()) std::fprintf(stderr, "simstudy: error: %s\n", pool.fatal.c_str());
            if (pool.lost > 0)
                std::fprintf(stderr, "simstudy: %s lost with %s worker; the next 'simstudy run' does %s\n", plural(pool.lost, "run", "runs").c_str(),
                             pool.lost == 1 ? "its" : "their", pool.lost == 1 ? "it" : "them");
        } else {
            bool failed = results.count(shard, shards).failed > 0;
            std::fprintf(stderr, "simstudy: nothing to run: every run%s is recorded%s\n", sharded ? " of the shard" : "",
                         failed ? " (--retry-failed runs the failed ones again)" : "");
        }
        int status = report(results, shard, shards, !sharded, png, axes);
        if (pool.stoppedBy != 0) {
            std::fprintf(stderr, "simstudy: stopped by %s%s; 'simstudy run' again resumes\n",
                         pool.stoppedBy == SIGINT ? "SIGINT" : "SIGTERM", pool.killed ? " (a second signal: the runs under way were ended unrecorded)" : "");
            return 128 + pool.stoppedBy;
        }
        return pool.fatal.empty() ? status : 1;
    } catch (const std::exception &e) {
        return failure(e.what());
    }
}
