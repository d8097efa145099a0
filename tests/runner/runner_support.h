// Helpers for the model runner's tests: running simrun in a folder of its
// own, and reading back what it wrote.
#pragma once

#include <stdlib.h>
#ifdef _WIN32
#include <process.h>
#else
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "support/posix_compat.h"

namespace runnertest {

inline std::string sourceDir() { return SIMBLOCKS_SOURCE_DIR; }
inline std::string examplesDir() { return sourceDir() + "/examples"; }
inline std::string testBlocksDir() { return SIMRUN_TEST_BLOCKS; }

// A word for the shell std::system runs: sh, or on Windows cmd.exe (whose
// double quotes suffice for the paths and arguments of these tests).
inline std::string quote(const std::string &s)
{
#ifdef _WIN32
    return "\"" + s + "\"";
#else
    std::string out = "'";
    for (char c : s) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
#endif
}

// A path in the platform's own form, as simrun reports it ("\\" on Windows).
inline std::string native(const std::string &path)
{
    return std::filesystem::path(path).make_preferred().string();
}

inline std::string readFile(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

inline void writeFile(const std::string &path, const std::string &text)
{
    std::ofstream out(path, std::ios::binary);
    out << text;
}

inline std::vector<std::string> lines(const std::string &text)
{
    std::vector<std::string> out;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
#ifdef _WIN32
        // Text streams (the program's output, tablogger's file) end lines with CR LF on Windows.
        if (!line.empty() && line.back() == '\r') line.pop_back();
#endif
        out.push_back(line);
    }
    return out;
}

// A fresh folder, removed with everything in it at the end of the test.
class TempDir {
public:
    TempDir()
    {
#ifdef _WIN32
        static int count = 0;
        for (;;) {
            std::filesystem::path p = std::filesystem::temp_directory_path() /
                                      ("simrun-test-" + std::to_string(_getpid()) + "-" + std::to_string(count++));
            if (std::filesystem::create_directory(p)) {
                path_ = p.string();
                break;
            }
        }
#else
        std::string templ = (std::filesystem::temp_directory_path() / "simrun-test-XXXXXX").string();
        if (mkdtemp(&templ[0]) == nullptr) throw std::runtime_error("mkdtemp failed");
        path_ = templ;
#endif
    }
    ~TempDir()
    {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    const std::string &path() const { return path_; }
    std::string operator/(const std::string &name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

struct Result {
    int status = -1;
    std::string out, err;
};

// Runs a program with the arguments in the folder; 'prefix' goes before the
// program (an environment setting, faketime, ...).
inline Result runProgram(const std::string &exe, const std::vector<std::string> &args, const std::string &dir,
                         const std::string &prefix = "")
{
#ifdef _WIN32
    // cmd.exe: the whole line in one more pair of quotes, which /c takes off.
    std::string cmd = "\"cd /d " + quote(dir) + " && " + prefix + " " + quote(exe);
    for (const std::string &a : args) cmd += " " + quote(a);
    cmd += " >simrun.out 2>simrun.err <NUL\"";
    int rc = std::system(cmd.c_str());
    Result r;
    r.status = rc;
#else
    std::string cmd = "cd " + quote(dir) + " && " + prefix + " " + quote(exe);
    for (const std::string &a : args) cmd += " " + quote(a);
    cmd += " >simrun.out 2>simrun.err </dev/null";
    int rc = std::system(cmd.c_str());
    Result r;
    r.status = rc != -1 && WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
#endif
    r.out = readFile(dir + "/simrun.out");
    r.err = readFile(dir + "/simrun.err");
    return r;
}

inline Result simrun(const std::vector<std::string> &args, const std::string &dir, const std::string &prefix = "")
{
    return runProgram(SIMRUN_EXE, args, dir, prefix);
}

// A CSV file as simrun writes it: a header row, then numbers split at commas.
struct Table {
    std::vector<std::string> header;
    std::vector<std::vector<double>> rows;

    std::size_t col(const std::string &name) const
    {
        for (std::size_t i = 0; i < header.size(); ++i)
            if (header[i] == name) return i;
        ADD_FAILURE() << "no column " << name;
        return 0;
    }
};

inline std::vector<std::string> splitCommas(const std::string &line)
{
    std::vector<std::string> out;
    std::string field;
    std::istringstream in(line);
    while (std::getline(in, field, ',')) out.push_back(field);
    return out;
}

inline Table readTable(const std::string &path)
{
    Table t;
    std::vector<std::string> all = lines(readFile(path));
    if (all.empty()) return t;
    t.header = splitCommas(all[0]);
    for (std::size_t i = 1; i < all.size(); ++i) {
        std::vector<double> row;
        for (const std::string &f : splitCommas(all[i])) row.push_back(std::strtod(f.c_str(), nullptr));
        t.rows.push_back(row);
    }
    return t;
}

// Every line of a CSV file is whole: it ends in a line end and has the
// header's number of fields; the first column counts 0, 1, 2, ...
// Returns the number of rows.
inline std::size_t checkWholeRows(const std::string &text, std::size_t fields)
{
    EXPECT_TRUE(text.empty() || text.back() == '\n') << "the file ends inside a row: ..." << text.substr(text.size() - std::min<std::size_t>(text.size(), 40));
    std::vector<std::string> all = lines(text);
    if (all.empty()) return 0;
    EXPECT_EQ(splitCommas(all[0]).size(), fields);
    for (std::size_t i = 1; i < all.size(); ++i) {
        std::vector<std::string> f = splitCommas(all[i]);
        EXPECT_EQ(f.size(), fields) << "row " << i << ": " << all[i];
        EXPECT_EQ(f.empty() ? std::string() : f[0], std::to_string(i - 1)) << "row " << i;
        if (::testing::Test::HasFailure()) break;
    }
    return all.size() - 1;
}

// The files of a long run stopped after 'steps' steps, a run whose CSV sink
// rows.csv writes the clock and one more signal every step of one second
// from 0, and whose tablogger writes the clock to log.txt whenever the
// clock, its trigger, is high (from t = 1 on): every step has its whole row
// in rows.csv, and the two files end at the same time.
inline void checkStoppedLongRun(const std::string &dir, long long steps)
{
    EXPECT_EQ(checkWholeRows(readFile(dir + "/rows.csv"), 3), static_cast<std::size_t>(steps));
    std::string log = readFile(dir + "/log.txt");
    EXPECT_TRUE(log.empty() || log.back() == '\n') << "tablogger's file ends inside a row";
    std::vector<std::string> logged = lines(log);
    ASSERT_EQ(logged.size(), static_cast<std::size_t>(steps - 1));
    if (steps > 1) {
        EXPECT_EQ(logged.back(), std::to_string(steps - 1) + ".000000 ");
    }
}

// Requests from a --trace file: flag, block, time.
struct Request {
    int flag;
    std::string block;
    double t;
};

inline std::vector<Request> readTrace(const std::string &path)
{
    std::vector<Request> out;
    for (const std::string &line : lines(readFile(path))) {
        std::istringstream in(line);
        Request r{};
        in >> r.flag >> r.block >> r.t;
        out.push_back(r);
    }
    return out;
}

// Waits for a state, not for a time: polls the condition until it holds
// or 'seconds' pass (a generous deadline; a loaded machine only makes the
// wait longer); whether it came.
template <class Condition>
bool awaitState(Condition condition, double seconds = 60)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

#ifndef _WIN32
// Starts the shell command in the folder, without waiting; its process id
// (the command's own, as the shell execs it).
inline int startCommand(const std::string &dir, const std::string &command)
{
    const std::string cmd = "cd " + quote(dir) + " && exec " + command;
    int pid = fork();
    if (pid == 0) {
        execl("/bin/sh", "sh", "-c", cmd.c_str(), static_cast<char *>(nullptr));
        _exit(127);
    }
    return pid;
}

// What Linux's /proc tells of a process: the states the signal tests wait for.
inline std::string procFile(int pid, const char *name) { return readFile("/proc/" + std::to_string(pid) + "/" + name); }

// Whether a signal sent to the process waits to be delivered (its bit in
// the process's or its main thread's pending set): once it is not, the
// process's handler has run or runs now.
inline bool signalPending(int pid, int sig)
{
    std::istringstream in(procFile(pid, "status"));
    for (std::string line; std::getline(in, line);)
        if ((line.rfind("SigPnd:", 0) == 0 || line.rfind("ShdPnd:", 0) == 0) &&
            (std::strtoull(line.c_str() + 7, nullptr, 16) >> (sig - 1) & 1) != 0)
            return true;
    return false;
}

// Whether the process's main thread sleeps in nanosleep: a wait block
// holding its step.
inline bool inNanosleep(int pid) { return procFile(pid, "wchan").find("nanosleep") != std::string::npos; }
#endif

}  // namespace runnertest
