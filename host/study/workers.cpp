#include "workers.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <new>

#include "model_file.h"
#include "number_text.h"
#include "progress.h"

namespace study {

namespace {

// The parent's signals: the first one asks to stop; one that comes a second
// or more later ends everything at once.
volatile std::sig_atomic_t stopSignal = 0;
volatile std::sig_atomic_t hardStop = 0;
struct timespec stopAt;
// A worker's: its run finishes the step under way and stops.
volatile std::sig_atomic_t workerStop = 0;

extern "C" void onParentSignal(int sig)
{
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    if (stopSignal == 0) {
        stopSignal = sig;
        stopAt = now;
    } else if (now.tv_sec - stopAt.tv_sec > 1 || (now.tv_sec - stopAt.tv_sec == 1 && now.tv_nsec >= stopAt.tv_nsec)) {
        hardStop = 1;
    }
}

extern "C" void onWorkerSignal(int sig) { workerStop = sig; }

void catchSignals(void (*handler)(int), struct sigaction *previous)
{
    struct sigaction sa;
    std::memset(&sa, 0, sizeof sa);
    sa.sa_handler = handler;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    sigaction(SIGINT, &sa, previous ? &previous[0] : nullptr);
    sigaction(SIGTERM, &sa, previous ? &previous[1] : nullptr);
}

const char *signalName(int sig)
{
    return sig == SIGINT ? "SIGINT" : sig == SIGTERM ? "SIGTERM" : sig == SIGKILL ? "SIGKILL" : sig == SIGSEGV ? "SIGSEGV"
         : sig == SIGABRT ? "SIGABRT" : sig == SIGBUS ? "SIGBUS" : sig == SIGFPE ? "SIGFPE" : "a signal";
}

// Reads a line from fd into 'line' (without its end), through 'buf';
// false at the end of the input.
bool readLine(int fd, std::string &buf, std::string &line)
{
    for (;;) {
        std::size_t end = buf.find('\n');
        if (end != std::string::npos) {
            line = buf.substr(0, end);
            buf.erase(0, end + 1);
            return true;
        }
        char chunk[4096];
        ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        buf.append(chunk, static_cast<std::size_t>(n));
    }
}

RunRecord newRecord(const Study &study, std::uint64_t run)
{
    RunRecord r;
    r.run = run;
    std::vector<std::uint64_t> index = study.choice(run);
    for (std::size_t i = 0; i < study.varied.size(); ++i) r.set.push_back(study.varied[i].text(index[i]));
    return r;
}

double now()
{
    return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
}

// A worker's folder for its run under way, DIR/work/<host>-<pid>: the run
// writes there, and its files are moved to the run's own folder only when
// the run keeps them, so a run that keeps nothing makes no folder of its
// own and an emptied worker's folder serves the next run as it is.
std::string workFolder(const Results &results, pid_t pid)
{
    return results.workDir() + "/" + hostName() + "-" + std::to_string(pid);
}

// Makes a folder and those above it. Another process may remove an emptied
// folder above it at the same moment (an ok run's old folder going), so a
// folder that vanished on the way is made again.
bool makeFolder(const std::string &dir, std::string &why)
{
    for (int attempt = 0; attempt < 100; ++attempt) {
        if (::mkdir(dir.c_str(), 0777) == 0 || errno == EEXIST) return true;
        if (errno != ENOENT) break;
        std::error_code ec;
        std::filesystem::create_directories(std::filesystem::path(dir).parent_path(), ec);
    }
    why = std::strerror(errno);
    return false;
}

// Moves a folder into place (its target gone), making the folders above the
// target as makeFolder does.
bool moveFolder(const std::string &from, const std::string &to, std::string &why)
{
    for (int attempt = 0; attempt < 100; ++attempt) {
        if (::rename(from.c_str(), to.c_str()) == 0) return true;
        if (errno != ENOENT) break;
        std::string parent = std::filesystem::path(to).parent_path().string();
        if (!makeFolder(parent, why)) return false;
    }
    why = std::strerror(errno);
    return false;
}

// Removes the folders from 'dir' up to (not with) 'top' while they are empty.
void removeEmptyFolders(std::filesystem::path dir, const std::filesystem::path &top)
{
    while (dir != top && dir.has_parent_path() && ::rmdir(dir.c_str()) == 0) dir = dir.parent_path();
}

// Settles what a run left in the worker's folder 'work' once it ended: its
// files move to the run's folder when the study keeps them (every run's, or
// a failed run's), and are removed otherwise; an earlier try's folder goes
// either way, with the folders above it that it leaves empty. Returns the
// files kept, with their sizes; 'why' says what went wrong (nothing kept then).
std::vector<std::pair<std::string, long long>> settleFiles(const Study &study, const Results &results, std::uint64_t run,
                                                            Status status, const std::string &work, std::string &why)
{
    bool keep = study.files == Files::kAll || (study.files == Files::kFailed && status == Status::kFailed);
    std::string folder = results.runDir(run);
    std::error_code ec;
    bool empty = std::filesystem::is_empty(work, ec) || ec;
    struct stat st;
    if (::lstat(folder.c_str(), &st) == 0) {
        std::filesystem::remove_all(folder, ec);
        if (!keep || empty) removeEmptyFolders(std::filesystem::path(folder).parent_path(), results.dir());
    }
    if (empty) return {};
    if (!keep) {
        for (std::filesystem::directory_iterator it(work, ec), end; !ec && it != end; it.increment(ec)) {
            std::error_code gone;
            std::filesystem::remove_all(it->path(), gone);
        }
        return {};
    }
    if (!moveFolder(work, folder, why)) {
        why = "cannot move the run's files from '" + work + "' to '" + folder + "': " + why;
        return {};
    }
    return folderFiles(folder);
}

// Removes a worker's folder, and DIR/work when no other worker has one.
void removeWorkFolder(const Results &results, const std::string &work)
{
    std::error_code ec;
    std::filesystem::remove_all(work, ec);
    ::rmdir(results.workDir().c_str());
}

// What workers that were killed on this machine left in DIR/work: their
// folders go (the runs under way then were not recorded, and are done again).
void removeDeadWorkFolders(const Results &results)
{
    std::string prefix = hostName() + "-";
    std::error_code ec;
    std::vector<std::string> dead;
    for (std::filesystem::directory_iterator it(results.workDir(), ec), end; !ec && it != end; it.increment(ec)) {
        std::string name = it->path().filename().string();
        if (name.compare(0, prefix.size(), prefix) != 0) continue;
        char *rest = nullptr;
        long pid = std::strtol(name.c_str() + prefix.size(), &rest, 10);
        if (pid > 0 && *rest == '\0' && ::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH) dead.push_back(it->path().string());
    }
    for (const std::string &d : dead) removeWorkFolder(results, d);
}

[[noreturn]] void workerMain(const Study &study, const Results &results, const PoolOptions &o, int commands, int reports)
{
    catchSignals(onWorkerSignal, nullptr);
    std::signal(SIGPIPE, SIG_IGN);  // a parent that is gone is an end of the input
    simrun::RunCache cache;
    RecordLog log(results.manifestDir());
    std::string buf, line;
    while (readLine(commands, buf, line)) {
        std::uint64_t run = std::strtoull(line.c_str(), nullptr, 10);
        RunRecord r = runOne(study, results, run, o.libDirs, cache, &workerStop);
        try {
            log.append(r);
        } catch (const StudyError &e) {
            std::fprintf(stderr, "simstudy: %s\n", e.what());
            std::fflush(stderr);
            _exit(3);
        }
        if (!writeAll(reports, std::to_string(run) + " " + statusName(r.status) + "\n")) break;
        if (workerStop != 0) break;  // asked to stop: no further run, not even one already handed over
    }
    removeWorkFolder(results, workFolder(results, getpid()));
    _exit(0);
}

struct Worker {
    pid_t pid = -1;
    int commands = -1, reports = -1;  // the parent's ends
    std::string buf;
    std::uint64_t run = 0;            // the run under way, 0 = none
};

class Pool {
public:
    Pool(const Study &s, const Results &r, const std::vector<std::uint64_t> &todo, const PoolOptions &o)
        : study_(s), results_(r), todo_(todo), o_(o), log_(r.manifestDir()),
          bar_(o.progress, static_cast<long long>(todo.size()), nullptr, "runs done:")
    {
    }

    PoolReport go()
    {
        std::size_t n = std::min<std::size_t>(o_.jobs == 0 ? 1 : o_.jobs, todo_.size());
        for (std::size_t i = 0; i < n; ++i) {
            workers_.emplace_back();
            if (!spawn(workers_.back())) break;
            hand(workers_.back());
        }
        while (alive() > 0) {
            std::vector<struct pollfd> fds;
            std::vector<Worker *> of;
            for (Worker &w : workers_)
                if (w.reports >= 0) {
                    fds.push_back({w.reports, POLLIN, 0});
                    of.push_back(&w);
                }
            int ready = ::poll(fds.data(), fds.size(), 200);
            if (hardStop != 0) return killAll();
            if (stopSignal != 0 && report_.stoppedBy == 0) stop(stopSignal);
            for (std::size_t i = 0; ready > 0 && i < fds.size(); ++i)
                if (fds[i].revents != 0) take(*of[i]);
            if (done_ > 0) bar_.tick(static_cast<long long>(done_) - 1);
        }
        return finish();
    }

private:
    std::size_t alive() const
    {
        std::size_t n = 0;
        for (const Worker &w : workers_) n += w.pid > 0 ? 1 : 0;
        return n;
    }

    bool spawn(Worker &w)
    {
        int commands[2], reports[2];
        if (::pipe(commands) != 0) return fail("cannot make a pipe: " + std::string(std::strerror(errno)));
        if (::pipe(reports) != 0) {
            ::close(commands[0]);
            ::close(commands[1]);
            return fail("cannot make a pipe: " + std::string(std::strerror(errno)));
        }
        std::fflush(stdout);
        std::fflush(stderr);
        pid_t pid = ::fork();
        if (pid < 0) {
            for (int fd : {commands[0], commands[1], reports[0], reports[1]}) ::close(fd);
            return fail("cannot start a worker process: " + std::string(std::strerror(errno)));
        }
        if (pid == 0) {
            // The other workers' pipes belong to the parent: a worker that
            // kept them would hide the other workers' ends from it.
            for (const Worker &other : workers_)
                for (int fd : {other.commands, other.reports})
                    if (fd >= 0) ::close(fd);
            ::close(commands[1]);
            ::close(reports[0]);
            workerMain(study_, results_, o_, commands[0], reports[1]);
        }
        ::close(commands[0]);
        ::close(reports[1]);
        ::fcntl(commands[1], F_SETFD, FD_CLOEXEC);
        ::fcntl(reports[0], F_SETFD, FD_CLOEXEC);
        w = Worker();
        w.pid = pid;
        w.commands = commands[1];
        w.reports = reports[0];
        return true;
    }

    bool fail(const std::string &why)
    {
        if (report_.fatal.empty()) report_.fatal = why;
        stop(0);
        return false;
    }

    bool more() const
    {
        return report_.stoppedBy == 0 && report_.fatal.empty() && (!returned_.empty() || next_ < todo_.size());
    }

    // Gives the worker its next run, or tells it there is none.
    void hand(Worker &w)
    {
        if (more()) {
            if (!returned_.empty()) {
                w.run = returned_.back();
                returned_.pop_back();
            } else {
                w.run = todo_[next_++];
            }
            if (writeAll(w.commands, std::to_string(w.run) + "\n")) return;
            returned_.push_back(w.run);  // the worker is gone: its end is seen on its other pipe
            w.run = 0;
        }
        if (w.commands >= 0) ::close(w.commands);
        w.commands = -1;
    }

    void stop(int sig)
    {
        if (sig != 0) report_.stoppedBy = sig;
        for (Worker &w : workers_) {
            if (w.pid > 0 && w.run != 0 && sig != 0) ::kill(w.pid, sig);
            if (w.run == 0 && w.commands >= 0) {
                ::close(w.commands);
                w.commands = -1;
            }
        }
    }

    // What a worker reported, or its end.
    void take(Worker &w)
    {
        char chunk[4096];
        ssize_t n = ::read(w.reports, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR) return;
        if (n > 0) {
            w.buf.append(chunk, static_cast<std::size_t>(n));
            std::size_t end;
            while ((end = w.buf.find('\n')) != std::string::npos) {
                std::string line = w.buf.substr(0, end);
                w.buf.erase(0, end + 1);
                count(line.substr(line.find(' ') + 1));
                w.run = 0;
                hand(w);
            }
            return;
        }
        ended(w);
    }

    void count(const std::string &status)
    {
        ++done_;
        if (status == "ok") ++report_.ok;
        else if (status == "stopped") ++report_.stopped;
        else {
            ++report_.failed;
            bar_.setNote(std::to_string(report_.failed) + " failed");
        }
    }

    void ended(Worker &w)
    {
        ::close(w.reports);
        w.reports = -1;
        if (w.commands >= 0) ::close(w.commands);
        w.commands = -1;
        int status = 0;
        while (::waitpid(w.pid, &status, 0) < 0 && errno == EINTR) {
        }
        const std::string work = workFolder(results_, w.pid);
        w.pid = -1;
        std::uint64_t run = w.run;
        w.run = 0;
        if (WIFEXITED(status) && WEXITSTATUS(status) != 0) {
            fail("a worker could not record its runs (see above)");
            return;
        }
        if (run == 0) return;
        if (WIFSIGNALED(status) && WTERMSIG(status) != SIGKILL) {
            // A crash in the run (a block's): the run failed, the study goes on.
            RunRecord r = newRecord(study_, run);
            r.status = Status::kFailed;
            r.message = std::string("the worker process died of ") + signalName(WTERMSIG(status)) + " (" +
                        strsignal(WTERMSIG(status)) + ") during the run";
            std::string why;
            r.files = settleFiles(study_, results_, run, r.status, work, why);
            if (!why.empty()) r.message += "; " + why;
            r.finished = now();
            try {
                log_.append(r);
            } catch (const StudyError &e) {
                fail(e.what());
                return;
            }
            removeWorkFolder(results_, work);
            count("failed");
        } else if (WIFEXITED(status)) {
            returned_.push_back(run);  // handed over after it was asked to stop: not begun
        } else {
            removeWorkFolder(results_, work);  // what the unrecorded run wrote
            ++report_.lost;
            bar_.clear();
            std::fprintf(stderr, "simstudy: the worker of run %llu was killed (%s); the run is not recorded, and the next 'run' does it again\n",
                         static_cast<unsigned long long>(run), signalName(WTERMSIG(status)));
        }
        // A new worker in the dead one's place, while there is work.
        if (more() && spawn(w)) hand(w);
    }

    PoolReport killAll()
    {
        report_.killed = true;
        for (Worker &w : workers_)
            if (w.pid > 0) ::kill(w.pid, SIGKILL);
        for (Worker &w : workers_)
            if (w.pid > 0) {
                int status;
                while (::waitpid(w.pid, &status, 0) < 0 && errno == EINTR) {
                }
                removeWorkFolder(results_, workFolder(results_, w.pid));
                w.pid = -1;
                if (w.run != 0) ++report_.lost;
            }
        return finish();
    }

    PoolReport finish()
    {
        bar_.clear();
        for (Worker &w : workers_)
            for (int fd : {w.commands, w.reports})
                if (fd >= 0) ::close(fd);
        struct rusage usage;
        if (getrusage(RUSAGE_CHILDREN, &usage) == 0) {
#ifdef __APPLE__
            report_.peakMemoryKiB = usage.ru_maxrss / 1024;  // bytes there
#else
            report_.peakMemoryKiB = usage.ru_maxrss;
#endif
        }
        return report_;
    }

    const Study &study_;
    const Results &results_;
    const std::vector<std::uint64_t> &todo_;
    const PoolOptions &o_;
    RecordLog log_;  // the parent's own records: runs whose worker crashed
    simrun::Progress bar_;
    std::vector<Worker> workers_;
    std::size_t next_ = 0;
    std::vector<std::uint64_t> returned_;  // runs handed back undone, to hand out again
    std::uint64_t done_ = 0;
    PoolReport report_;
};

}  // namespace

RunRecord runOne(const Study &study, const Results &results, std::uint64_t run, const std::vector<std::string> &libDirs,
                 simrun::RunCache &cache, const volatile std::sig_atomic_t *stop)
{
    RunRecord r = newRecord(study, run);
    const std::string dir = workFolder(results, getpid());
    std::string why;
    if (!makeFolder(dir, why) || ::chdir(dir.c_str()) != 0) {
        r.status = Status::kFailed;
        r.message = "cannot make the worker's folder '" + dir + "': " + (why.empty() ? std::strerror(errno) : why);
        r.finished = now();
        return r;
    }

    struct Closer {
        void operator()(std::FILE *f) const { std::fclose(f); }
    };
    std::unique_ptr<std::FILE, Closer> out;
    bool outFailed = false;
    auto print = [&](const char *text, std::size_t len) {
        if (!out && !outFailed) out.reset(std::fopen("output.txt", "wb"));
        outFailed = !out || std::fwrite(text, 1, len, out.get()) != len;
    };
    std::vector<Accumulator> stats(study.signals.size());
    simrun::RunOptions o;
    o.libDirs = libDirs;
    o.progress = false;
    o.print = print;
    o.summary = study.signals;
    // (A scale of 1, the default, leaves every value as it is, to the bit.)
    o.summaryRow = [&stats, &study](std::size_t signal, double t, double v) { stats[signal].add(t, v * study.scales[signal]); };
    o.cache = &cache;
    o.stop = [stop] { return static_cast<int>(*stop); };
    if (study.files == Files::kNone) {
        o.files = false;
        o.print = [](const char *, std::size_t) {};
    }

    auto begin = std::chrono::steady_clock::now();
    try {
        simrun::ModelDef model = simrun::parseModelDocument(study.runModel(run), study.modelPath);
        simrun::RunReport report = simrun::runModel(model, o);
        for (const std::string &w : report.warnings) print((w + "\n").c_str(), w.size() + 1);
        if (report.stoppedBy != 0) {
            r.status = Status::kStopped;
            r.message = std::string("stopped by ") + signalName(report.stoppedBy) +
                        (report.steps == 0 ? " before the first step"
                                           : " at t = " + simrun::numberText(report.lastTime) + " s, after step " +
                                                 std::to_string(report.steps) + " of " + std::to_string(report.totalSteps));
        } else {
            r.status = Status::kOk;
            for (const SummaryColumn &c : study.summary) r.values.push_back(stats[c.signal].get(c.statistic));
        }
    } catch (const std::bad_alloc &) {
        r.status = Status::kFailed;
        r.message = "out of memory";
    } catch (const std::exception &e) {
        r.status = Status::kFailed;
        r.message = e.what();
    }
    r.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
    if (out && std::fclose(out.release()) != 0) outFailed = true;
    if (outFailed && r.status == Status::kOk) {
        r.status = Status::kFailed;
        r.message = "cannot write output.txt in '" + dir + "'";
        r.values.clear();
    }
    if (::chdir(results.dir().c_str()) != 0) {
        // The next run changes folder anyway.
    }
    r.files = settleFiles(study, results, run, r.status, dir, why);
    if (!why.empty()) {
        // The run's files are not where its record would say: not an ok run.
        if (r.status == Status::kOk) r.values.clear();
        r.message = r.status == Status::kOk ? why : r.message + "; " + why;
        if (r.status == Status::kOk) r.status = Status::kFailed;
        std::error_code ec;
        std::filesystem::remove_all(dir, ec);
    }
    r.finished = now();
    return r;
}

PoolReport runPool(const Study &study, const Results &results, const std::vector<std::uint64_t> &todo, const PoolOptions &options)
{
    stopSignal = 0;
    hardStop = 0;
    struct sigaction previous[2];
    catchSignals(onParentSignal, previous);
    std::signal(SIGPIPE, SIG_IGN);  // a worker that died is seen at the end of its pipe
    removeDeadWorkFolders(results);
    PoolReport report;
    {
        Pool pool(study, results, todo, options);
        report = pool.go();
    }
    sigaction(SIGINT, &previous[0], nullptr);
    sigaction(SIGTERM, &previous[1], nullptr);
    return report;
}

}  // namespace study
