// Ctrl-C in Octave: a real octave-cli process runs long calls of simrun,
// simblock and folderscan (octave_interrupted.m) and gets a real SIGINT
// during each. Each call must end within a second with its error
// simblocks:<name>:interrupted, the files the run wrote must end on whole
// rows, and the session must go on.
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <map>
#include <thread>

#include "runner_support.h"

using namespace runnertest;
using Clock = std::chrono::steady_clock;

namespace {

// The lines a child process writes to a pipe, each awaited for a while.
class LineReader {
public:
    explicit LineReader(int fd) : fd_(fd) {}
    ~LineReader() { close(fd_); }

    // The next line, or "(nothing)" when none comes in time.
    std::string next(std::chrono::milliseconds wait)
    {
        const Clock::time_point end = Clock::now() + wait;
        for (;;) {
            std::size_t nl = buffer_.find('\n');
            if (nl != std::string::npos) {
                std::string line = buffer_.substr(0, nl);
                buffer_.erase(0, nl + 1);
                return line;
            }
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()).count();
            pollfd p{fd_, POLLIN, 0};
            if (left <= 0 || poll(&p, 1, static_cast<int>(left)) <= 0) return "(nothing)";
            char chunk[4096];
            ssize_t n = read(fd_, chunk, sizeof chunk);
            if (n <= 0) return "(nothing)";
            buffer_.append(chunk, static_cast<std::size_t>(n));
        }
    }

private:
    int fd_;
    std::string buffer_;
};

// Starts octave-cli on the code, its standard output into a pipe whose
// reading end goes into 'out'; the process, or -1.
pid_t startOctave(const std::string &code, int &out)
{
    int pipeFds[2];
    if (pipe(pipeFds) != 0) return -1;
    pid_t pid = fork();
    if (pid == 0) {
        dup2(pipeFds[1], STDOUT_FILENO);
        close(pipeFds[0]);
        close(pipeFds[1]);
        execl(OCTAVE_CLI, OCTAVE_CLI, "--no-gui", "--norc", "--no-history", "--quiet", "--eval", code.c_str(),
              static_cast<char *>(nullptr));
        _exit(127);
    }
    close(pipeFds[1]);
    out = pipeFds[0];
    if (pid < 0) close(pipeFds[0]);
    return pid;
}

// A number of kB from a "Key: N kB" line of a /proc file, or -1.
long long procKb(const std::string &file, const std::string &key)
{
    std::ifstream in(file);
    std::string line;
    while (std::getline(in, line))
        if (line.rfind(key, 0) == 0) return std::atoll(line.c_str() + key.size());
    return -1;
}

TEST(CtrlCInOctave, EndsTheSetUpOfALargeCollection)
{
    // 2.5e8 steps of a clock and no sink: every step collected, 4 GB of
    // arrays (time and clock, 8 bytes each), which simrun makes and fills
    // before the first step; Octave needs twice that at the end.
    const long long needKb = 10LL << 20;
    const long long availableKb = procKb("/proc/meminfo", "MemAvailable:");
    if (availableKb < needKb)
        GTEST_SKIP() << "needs 10 GB of available memory for a collection of 4 GB; " << availableKb / 1024 << " MB available";
    const std::string code = "addpath('" SIMBLOCKS_OCTAVE_DIR "'); "
                             "m = struct('stop', 2.5e8 - 1, 'step', 1, 'sources', struct('name', 'c', 'type', 'clock')); "
                             "printf('ready\\n'); fflush(stdout); "
                             "try, simrun(m); printf('finished\\n'); "
                             "catch err, printf('caught %s %s\\n', err.identifier, err.message); end; fflush(stdout);";
    int outFd = -1;
    pid_t pid = startOctave(code, outFd);
    ASSERT_GT(pid, 0);
    LineReader out(outFd);
    struct Reap {
        pid_t pid;
        ~Reap()
        {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
    } reap{pid};

    ASSERT_EQ(out.next(std::chrono::seconds(60)), "ready");
    // The state awaited: the arrays being filled, half a GB of them resident
    // (and less than all four, or the run would be under way).
    const std::string status = "/proc/" + std::to_string(pid) + "/status";
    const long long before = procKb(status, "VmRSS:");
    ASSERT_GT(before, 0);
    const Clock::time_point deadline = Clock::now() + std::chrono::seconds(120);
    long long resident = before;
    while ((resident = procKb(status, "VmRSS:")) - before < (512LL << 10) && Clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    ASSERT_GE(resident - before, 512LL << 10) << "the collection was not being made within two minutes";
    ASSERT_LT(resident - before, 4LL << 20) << "the collection was already made";

    const Clock::time_point sent = Clock::now();
    ASSERT_EQ(kill(pid, SIGINT), 0);
    const std::string line = out.next(std::chrono::seconds(20));
    const double took = std::chrono::duration<double>(Clock::now() - sent).count();
    EXPECT_EQ(line, "caught simblocks:simrun:interrupted simrun: interrupted before the first step, while making room "
                    "for the results");
    EXPECT_LT(took, 1.0) << "the set-up took " << took << " s to stop";
}

// The processor time (user and system) the process has used, in seconds.
double processorSeconds(pid_t pid)
{
    std::string stat = procFile(pid, "stat");
    std::size_t close = stat.rfind(')');
    if (close == std::string::npos) return 0;
    std::istringstream in(stat.substr(close + 2));
    std::string field;
    unsigned long long ticks = 0;
    for (int i = 3; i <= 15 && in >> field; ++i)
        if (i >= 14) ticks += std::stoull(field);  // fields 14 and 15: utime, stime
    return static_cast<double>(ticks) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

TEST(CtrlCInOctave, EndsEachLongCallAndTheSessionGoesOn)
{
    TempDir dir;
    const std::string code = "addpath('" SIMBLOCKS_OCTAVE_DIR "'); addpath('" OCTAVE_TEST_SCRIPTS "'); "
                             "octave_interrupted('" + dir.path() + "');";
    int outFd = -1;
    pid_t pid = startOctave(code, outFd);
    ASSERT_GT(pid, 0);
    LineReader out(outFd);

    // Each signal is sent once the call is under way, as Octave shows it:
    // simrun has written rows; simblock's wait block sleeps; folderscan,
    // which only computes, has used a second of processor time since
    // "ready" (what Octave does before the call takes a fraction of that,
    // the call some fifteen seconds).
    std::string simrunMessage;
    const std::map<std::string, std::function<bool(double)>> underWay = {
        {"simrun", [&](double) { return lines(readFile(dir / "rows.csv")).size() >= 2; }},
        {"simblock", [&](double) { return inNanosleep(pid); }},
        {"folderscan", [&](double atReady) { return processorSeconds(pid) >= atReady + 1.0; }}};
    for (std::string name : {"simrun", "simblock", "folderscan"}) {
        std::string line = out.next(std::chrono::seconds(60));
        ASSERT_EQ(line, "ready " + name);
        const double atReady = processorSeconds(pid);
        ASSERT_TRUE(awaitState([&] { return underWay.at(name)(atReady); })) << name << " never got under way";
        const Clock::time_point sent = Clock::now();
        ASSERT_EQ(kill(pid, SIGINT), 0);
        line = out.next(std::chrono::seconds(20));
        const double took = std::chrono::duration<double>(Clock::now() - sent).count();
        const std::string caught = "caught " + name + " simblocks:" + name + ":interrupted ";
        EXPECT_EQ(line.substr(0, caught.size()), caught) << line;
        EXPECT_LT(took, 1.0) << name << " took " << took << " s to stop";
        if (name == "simrun") simrunMessage = line.substr(caught.size());
    }
    EXPECT_EQ(out.next(std::chrono::seconds(60)), "later 3 2 file_0001.dat");
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;

    // "simrun: interrupted at t = T s, after step T + 1 of 30000001; every row
    // up to it is written" (Octave puts the function's name in front)
    const std::string at = "simrun: interrupted at t = ";
    ASSERT_EQ(simrunMessage.substr(0, at.size()), at) << simrunMessage;
    long long last = std::stoll(simrunMessage.substr(at.size()));
    EXPECT_EQ(simrunMessage.substr(simrunMessage.find(" s, ")),
              " s, after step " + std::to_string(last + 1) + " of 30000001; every row up to it is written");
    checkStoppedLongRun(dir.path(), last + 1);
}

}  // namespace
