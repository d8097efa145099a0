// simrun's failures: each names the block, source or place in the model and
// what is wrong, and ends with exit status 1 (2 for a wrong command line).
#ifndef _WIN32
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <cerrno>
#include <cmath>
#include <chrono>
#include <cstring>
#include <thread>

#include "runner_support.h"

using namespace runnertest;

namespace {

// Runs a model given as text, in a folder of its own that also holds a small
// weather file (hours 0 to 2).
struct Case {
    TempDir dir;
    Result run(const std::string &model, std::vector<std::string> args = {})
    {
        writeFile(dir / "weather.csv", "hour,T,RH,N\n0,10,80,0.5\n1,12,70,0.4\n2,14,60,0.3\n");
        writeFile(dir / "model.json", model);
        args.insert(args.begin(), "--no-progress");
        args.push_back("model.json");
        return simrun(args, dir.path());
    }
};

const char *kHead = R"("start": 0, "stop": 600, "step": 60,
  "sources": [{"name": "clock", "type": "clock"},
              {"name": "weather", "type": "csv", "file": "weather.csv", "time": "hour", "time_unit": "h"}],)";

std::string model(const std::string &blocks, const std::string &rest = "")
{
    return std::string("{") + kHead + "\n\"blocks\": [" + blocks + "]" + rest + "}";
}

void expectFailure(const Result &r, const std::string &message, int status = 1)
{
    EXPECT_EQ(r.status, status) << r.err;
    EXPECT_NE(r.err.find(message), std::string::npos) << "stderr: " << r.err << "\nexpected: " << message;
}

TEST(Errors, UnknownBlockType)
{
    Case c;
    expectFailure(c.run(model(R"({"name": "sky", "type": "atmoglo", "inputs": ["clock"]})")),
                  "simrun: error: block 'sky': unknown block type 'atmoglo' (no atmoglo" SIMBLOCKS_MEX_SUFFIX " in ");
}

TEST(Errors, ParameterCountTheBlockRejects)
{
    Case c;
    expectFailure(c.run(model(R"({"name": "sky", "type": "atmoglow", "inputs": ["weather"]})")),
                  "block 'sky' (atmoglow): expects 1 dialog parameter, given 0");
    expectFailure(c.run(model(R"({"name": "d", "type": "heliolean", "parameters": [1, "x"], "inputs": ["clock"]})")),
                  "block 'd' (heliolean): expects 0 dialog parameters, given 2");
}

TEST(Errors, BlockRejectsItsParametersWhenDeclaring)
{
    Case c;
    expectFailure(c.run(model(R"({"name": "conv", "type": "degreeswap", "parameters": [7, 1], "inputs": ["clock"]})")),
                  "block 'conv' (degreeswap): Error in degreeswap : The initial unit must be : C, K or F.");
}

TEST(Errors, UnconnectedInput)
{
    Case c;
    expectFailure(c.run(model(R"({"name": "sky", "type": "atmoglow", "parameters": [0]})")),
                  "block 'sky' (atmoglow): input port 1 is not connected");
    expectFailure(c.run(model(R"({"name": "sky", "type": "atmoglow", "parameters": [0], "inputs": ["weather", "clock"]})")),
                  "block 'sky' (atmoglow): 2 inputs are given but it has 1 input port");
}

TEST(Errors, WidthsThatDoNotMatch)
{
    Case c;
    expectFailure(c.run(model(R"({"name": "sky", "type": "atmoglow", "parameters": [0], "inputs": [["weather[T]", "weather[RH]"]]})")),
                  "block 'sky' (atmoglow): input port 1 has width 3 but is connected to a signal of width 2");
    expectFailure(c.run(model(R"({"name": "d", "type": "heliolean", "inputs": ["weather"]})")),
                  "block 'd' (heliolean): input port 1 has width 1 but is connected to a signal of width 3");
    expectFailure(c.run(model(R"({"name": "d", "type": "heliolean", "inputs": ["weather[4]"]})")),
                  "block 'd' (heliolean): input port 1: element 4 of source 'weather' output 1 does not exist (its width is 3)");
    // Two blocks that take their widths from each other leave both open, but
    // first they are an algebraic loop (both pass their input through).
    expectFailure(c.run(model(R"({"name": "p1", "type": "printer", "inputs": ["p2"]},
                                 {"name": "p2", "type": "printer", "inputs": ["p1"]})")),
                  "algebraic loop: p2 -> p1 -> p2 (");
}

TEST(Errors, UnknownSignals)
{
    Case c;
    expectFailure(c.run(model(R"({"name": "d", "type": "heliolean", "inputs": ["clok"]})")),
                  "block 'd' (heliolean): input port 1: no source or block is named 'clok'");
    expectFailure(c.run(model(R"({"name": "d", "type": "heliolean", "inputs": ["clock:2"]})")),
                  "'clock:2': source 'clock' has no output port 2");
    expectFailure(c.run(model(R"({"name": "d", "type": "heliolean", "inputs": ["weather[rh]"]})")),
                  "'weather[rh]': source 'weather' has no column 'rh'");
    expectFailure(c.run(model(R"({"name": "d", "type": "heliolean", "inputs": ["clock"]})",
                              R"(, "sinks": [{"type": "csv", "file": "o.csv", "signals": ["d", "e"]}])")),
                  "sinks[0] ('o.csv'): no source or block is named 'e'");
}

TEST(Errors, AlgebraicLoop)
{
    Case c;
    Result r = c.run(model(R"({"name": "a", "type": "heliolean", "inputs": ["b"]},
                              {"name": "b", "type": "topflux", "inputs": ["a"]},
                              {"name": "ok", "type": "topflux", "inputs": ["clock"]})"));
    expectFailure(r, "algebraic loop: b -> a -> b (");
    expectFailure(c.run(model(R"({"name": "self", "type": "heliolean", "inputs": ["self"]})")),
                  "algebraic loop: self -> self (");
}

TEST(Errors, MissingCsvFileOrColumn)
{
    Case c;
    std::string missingFile = R"({"start": 0, "stop": 60, "step": 60,
        "sources": [{"name": "w", "type": "csv", "file": "nowhere.csv"}]})";
    expectFailure(c.run(missingFile), "source 'w': cannot open the CSV file '" + native(c.dir.path() + "/nowhere.csv") + "': No such file or directory");
    std::string missingColumn = R"({"start": 0, "stop": 60, "step": 60,
        "sources": [{"name": "w", "type": "csv", "file": "weather.csv", "columns": ["T", "wind"]}]})";
    expectFailure(c.run(missingColumn), "source 'w': '" + native(c.dir.path() + "/weather.csv") + "': no column 'wind' (its columns: hour, T, RH, N)");

    auto csvModel = [](const std::string &file) {
        return R"({"start": 0, "stop": 60, "step": 60, "sources": [{"name": "w", "type": "csv", "file": ")" + file +
               R"("}]})";
    };
    auto csvFile = [&](const std::string &text) {
        writeFile(c.dir / "bad.csv", text);
        return c.run(csvModel("bad.csv"));
    };
    std::string bad = "source 'w': '" + native(c.dir.path() + "/bad.csv") + "': ";
    expectFailure(csvFile("time,T,RH,T\n0,1,2,3\n"), bad + "columns 2 and 4 are both named 'T'");
    expectFailure(csvFile("time,T\n0,1\n60,1e999\n"), bad + "row 3, column 'T': '1e999' is infinite");
    expectFailure(csvFile("time,T\n0,-inf\n"), bad + "row 2, column 'T': '-inf' is infinite");
    expectFailure(csvFile(std::string("time,T\n0,1\n60,2\0" "5\n", 18)), bad + "row 3, column 'T': '2\\x005' is not a number");
    expectFailure(c.run(csvModel(".")), "source 'w': cannot open the CSV file '" + native(c.dir.path() + "/") + "': it is a folder, not a file");
#ifndef _WIN32
    expectFailure(c.run(csvModel("/dev/zero")), "source 'w': cannot open the CSV file '/dev/zero': it is a device, not a regular file");
#endif
}

TEST(Errors, LibrariesThatAreNoBlocks)
{
    // The six plain functions answer the sizes call with anything but a
    // sizes vector (a structure array, an error, nothing at all).
    Case c;
    for (const char *type : {"folderscan", "heliopose", "heliokit", "slopegain", "tiltflux", "weatherread"}) {
        Result r = c.run(model(std::string(R"({"name": "d", "type": ")") + type + R"(", "inputs": ["clock"]})"));
        expectFailure(r, std::string("block 'd' (") + type + "): '");
        expectFailure(r, std::string(type) + SIMBLOCKS_MEX_SUFFIX "' is not a block: its sizes call");
    }
}

TEST(Errors, CsvSinksThatWouldOverwriteEachOtherOrTheirData)
{
    Case c;
    Result r = c.run(model(R"({"name": "d", "type": "heliolean", "inputs": ["clock"]})",
                           R"(, "sinks": [{"type": "csv", "file": "o.csv", "signals": ["d"]},
                                         {"type": "csv", "file": "./o.csv", "signals": ["clock"]}])"));
    expectFailure(r, "sinks[1] ('./o.csv'): the file is written by another CSV sink ('o.csv') too");
    std::string weather = readFile(c.dir / "weather.csv");
    r = c.run(model(R"({"name": "d", "type": "heliolean", "inputs": ["clock"]})",
                    R"(, "sinks": [{"type": "csv", "file": "weather.csv", "signals": ["d"]}])"));
    expectFailure(r, "sinks[0] ('weather.csv'): the file is the data of source 'weather'; writing it would overwrite that data");
    EXPECT_EQ(readFile(c.dir / "weather.csv"), weather);
}

TEST(Errors, ErrorStatusDuringTheRunKeepsTheRowsWrittenBefore)
{
    Case c;
    std::string m = R"({"start": 0, "stop": 600, "step": 60,
        "sources": [{"name": "clock", "type": "clock"}],
        "blocks": [{"name": "doom", "type": "failat", "parameters": [300], "inputs": ["clock"]}],
        "sinks": [{"type": "csv", "file": "rows.csv", "signals": ["doom"]}]})";
    Result r = c.run(m, {"-L", testBlocksDir()});
    expectFailure(r, "simrun: error: block 'doom' (failat) at t = 300 s: failat: the time has come");
    Table t = readTable(c.dir / "rows.csv");
    ASSERT_EQ(t.header, (std::vector<std::string>{"time", "doom"}));
    ASSERT_EQ(t.rows.size(), 5u);  // 0, 60, ..., 240
    for (std::size_t i = 0; i < t.rows.size(); ++i) {
        EXPECT_EQ(t.rows[i][0], 60.0 * static_cast<double>(i));
        EXPECT_EQ(t.rows[i][1], 60.0 * static_cast<double>(i));
    }
    // A real block's report: heliohour with a parameter it cannot read.
    expectFailure(c.run(model(R"({"name": "solar", "type": "heliohour", "parameters": [15, []], "inputs": ["clock"]})")),
                  "block 'solar' (heliohour) at t = 0 s: heliohour:");
}

TEST(Errors, ModelFileProblems)
{
    Case c;
    expectFailure(c.run("{\"start\": 0,, }"), "model.json: not a valid JSON document: parse error at line 1");
    expectFailure(c.run(R"({"start": 0, "stop": 60, "step": 60, "blocks": [{"name": "d", "type": "heliolean", "parameter": []}]})"),
                  "model.json: blocks[0]: unknown key 'parameter'");
    expectFailure(c.run(R"({"start": 0, "stop": 60, "blocks": []})"), "model.json: 'step' is missing");
    expectFailure(c.run(R"({"start": 0, "stop": 60, "step": 60, "blocks": [{"name": "d", "type": "../lib/x"}]})"),
                  "model.json: blocks[0]: the block type '../lib/x' is not a deliverable name");
    expectFailure(c.run(R"({"stop": 60, "step": 60, "sources": [{"name": "c", "type": "clock", "period": 90}]})"),
                  "source 'c': the sample time 90 s is not a multiple of the fixed step 60 s");
    Result r = simrun({"--no-progress", "missing.json"}, c.dir.path());
    expectFailure(r, "simrun: error: missing.json: cannot open the model file");

    // A name or reference of any length gets a message (a recursive matcher
    // overflowed the stack on these).
    std::string longName(50000, 'a');
    expectFailure(c.run(R"({"stop": 60, "step": 60, "sources": [{"name": "1)" + longName + R"(", "type": "clock"}]})"),
                  "model.json: sources[0]: the name '1aaaa");
    expectFailure(c.run(model(R"({"name": "d", "type": "heliolean", "inputs": [")" + longName + R"(["]})")),
                  "is not a signal reference");
    // A number beyond the doubles, placed by line and column.
    std::string huge = "{\"start\": 0,\n  \"stop\": 1e999, \"step\": 60}";
    std::size_t after = huge.find("1e999") + 5 - (huge.find('\n') + 1);
    expectFailure(c.run(huge), "model.json: line 2, column " + std::to_string(after) +
                                   ": the number 1e999 is out of the range of a double");
    // An unclosed comment: said so, without the rest of the file.
    r = c.run("{\"start\": 0, /* open\n \"stop\": 60, \"step\": 60, \"description\": \"TAIL-OF-THE-FILE\"}");
    expectFailure(r, "model.json: not a valid JSON document: parse error at line 2, column ");
    EXPECT_NE(r.err.find("missing closing '*/'"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("TAIL-OF-THE-FILE"), std::string::npos) << r.err;
    // Paths that name no regular file; /dev/zero would be read until memory runs out.
    expectFailure(simrun({"--no-progress", "."}, c.dir.path()), "simrun: error: .: cannot open the model file: it is a folder, not a file");
#ifndef _WIN32
    expectFailure(simrun({"--no-progress", "/dev/zero"}, c.dir.path()),
                  "simrun: error: /dev/zero: cannot open the model file: it is a device, not a regular file");
#endif
}

// Signals, a killed process and a file size limit: POSIX only.
#ifndef _WIN32

// A long run of the clock through heliolean, with a CSV sink and tablogger
// (whose trigger, the clock, is high from t = 1 on) writing every step.
const char kLongRun[] = R"({"start": 0, "stop": 1e9, "step": 1,
  "sources": [{"name": "clock", "type": "clock"}],
  "blocks": [{"name": "d", "type": "heliolean", "inputs": ["clock"]},
             {"name": "log", "type": "tablogger", "parameters": [0, "log.txt"], "inputs": [["clock", "clock"]]}],
  "sinks": [{"type": "csv", "file": "rows.csv", "signals": ["clock", "d"]}]})";

// Starts simrun on the model in the folder and returns its process id.
pid_t startSimrun(const std::string &dir, const std::string &modelText)
{
    writeFile(dir + "/model.json", modelText);
    std::string cmd = "cd " + quote(dir) + " && exec " + quote(SIMRUN_EXE) +
                      " --no-progress model.json >simrun.out 2>simrun.err </dev/null";
    pid_t pid = fork();
    if (pid == 0) {
        execl("/bin/sh", "sh", "-c", cmd.c_str(), static_cast<char *>(nullptr));
        _exit(127);
    }
    return pid;
}

// Waits until the file holds at least 'bytes' bytes (or ten seconds pass).
void awaitSize(const std::string &path, std::uintmax_t bytes)
{
    auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    std::error_code ec;
    while (std::chrono::steady_clock::now() < end) {
        if (std::filesystem::file_size(path, ec) >= bytes && !ec) return;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    ADD_FAILURE() << path << " did not grow";
}

TEST(Errors, StopSignalsKeepEveryComputedRow)
{
    for (int sig : {SIGINT, SIGTERM}) {
        TempDir dir;
        pid_t pid = startSimrun(dir.path(), kLongRun);
        ASSERT_GT(pid, 0);
        awaitSize(dir / "rows.csv", 200000);
        kill(pid, sig);
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
        EXPECT_EQ(WEXITSTATUS(status), 128 + sig);
        // "stopped by SIGINT at t = T s, after step T + 1 of ..."
        std::string err = readFile(dir / "simrun.err");
        std::string said = std::string("simrun: stopped by ") + (sig == SIGINT ? "SIGINT" : "SIGTERM") + " at t = ";
        std::size_t at = err.find(said);
        ASSERT_NE(at, std::string::npos) << err;
        long long last = std::stoll(err.substr(at + said.size()));
        EXPECT_NE(err.find(", after step " + std::to_string(last + 1) + " of 1000000001; every row up to it is written"),
                  std::string::npos) << err;
        checkStoppedLongRun(dir.path(), last + 1);
    }
}

// A block that holds the step (wait, for an hour of the wall clock from the
// start): the first signal cannot stop the run. Another within a second of
// it is the same request (a supervisor such as timeout signals the process
// and then its group) and must not end it either; one a second or more
// after the first ends it at once, with the row of the step under way
// written and the stop message. (The signals of timeout itself:
// stop_timeout.sh.)
TEST(Errors, SecondSignalAfterASecondEndsAtOnce)
{
    TempDir dir;
    pid_t pid = startSimrun(dir.path(), R"({"start": 0, "stop": 1e6, "step": 1,
      "sources": [{"name": "clock", "type": "clock"}],
      "blocks": [{"name": "d", "type": "heliolean", "inputs": ["clock"]},
                 {"name": "w", "type": "wait", "parameters": [0, 0, 0, 0, 0, 3600]}],
      "sinks": [{"type": "csv", "file": "rows.csv", "signals": ["clock", "d"]}]})");
    ASSERT_GT(pid, 0);
    awaitSize(dir / "rows.csv", std::string("time,clock,d\n").size());
    std::this_thread::sleep_for(std::chrono::milliseconds(200));  // the first step under way
    int status = 0;
    kill(pid, SIGINT);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    kill(pid, SIGINT);
    std::this_thread::sleep_for(std::chrono::milliseconds(400));
    ASSERT_EQ(waitpid(pid, &status, WNOHANG), 0) << "ended by the first signals";
    std::this_thread::sleep_for(std::chrono::milliseconds(400));  // 1.1 s after the first
    const auto sent = std::chrono::steady_clock::now();
    kill(pid, SIGINT);
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - sent).count(), 0.5);
    ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status), 130);
    EXPECT_EQ(readFile(dir / "simrun.err"),
              "simrun: stopped by SIGINT at t = 0 s, after step 1 of 1000001; every row up to it is written\n");
    EXPECT_EQ(checkWholeRows(readFile(dir / "rows.csv"), 3), 1u);
}

TEST(Errors, KilledRunLeavesWholeRows)
{
    for (int round = 0; round < 3; ++round) {
        TempDir dir;
        pid_t pid = startSimrun(dir.path(), kLongRun);
        ASSERT_GT(pid, 0);
        awaitSize(dir / "rows.csv", 100000 + 70000 * static_cast<std::uintmax_t>(round));
        kill(pid, SIGKILL);
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFSIGNALED(status));
        EXPECT_GT(checkWholeRows(readFile(dir / "rows.csv"), 3), 0u);
    }
}

TEST(Errors, FileSizeLimitIsAWriteErrorAndTheFileEndsOnAWholeRow)
{
    // The shell's ulimit counts blocks of 512 or 1024 bytes; the limit in
    // bytes is what a plain writer gets to write under it.
    const std::string limit = "ulimit -f 64 &&";
    const std::string tooLarge = std::strerror(EFBIG);
    Case c;
    simrun({}, c.dir.path(), limit + " { head -c 1000000 /dev/zero >probe; } 2>/dev/null;");
    const std::uintmax_t bytes = std::filesystem::file_size(c.dir / "probe");
    ASSERT_TRUE(bytes == 32768 || bytes == 65536) << bytes;
    std::string csvOnly = R"({"start": 0, "stop": 100000, "step": 1,
      "sources": [{"name": "clock", "type": "clock"}],
      "blocks": [{"name": "d", "type": "heliolean", "inputs": ["clock"]}],
      "sinks": [{"type": "csv", "file": "rows.csv", "signals": ["clock", "d"]}]})";
    writeFile(c.dir / "model.json", csvOnly);
    Result r = simrun({"--no-progress", "model.json"}, c.dir.path(), limit);
    expectFailure(r, "simrun: error: cannot write to 'rows.csv': " + tooLarge);
    std::string rows = readFile(c.dir / "rows.csv");
    EXPECT_LE(rows.size(), bytes);
    EXPECT_GT(rows.size(), bytes - 64);  // no more than the part of one row cut off
    checkWholeRows(rows, 3);

    std::string logOnly = R"({"start": 0, "stop": 100000, "step": 1,
      "sources": [{"name": "clock", "type": "clock"}],
      "blocks": [{"name": "log", "type": "tablogger", "parameters": [0, "log.txt"], "inputs": [["clock", "clock"]]}]})";
    writeFile(c.dir / "model.json", logOnly);
    r = simrun({"--no-progress", "model.json"}, c.dir.path(), limit);
    expectFailure(r, "Error in tablogger : Writing to file \"log.txt\" failed: " + tooLarge);
    std::string log = readFile(c.dir / "log.txt");
    EXPECT_LE(log.size(), bytes);
    EXPECT_GT(log.size(), bytes - 64);
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.back(), '\n');
}

#endif  // _WIN32

TEST(Errors, OverridesNameTheirPath)
{
    Case c;
    std::string m = model(R"({"name": "sky", "type": "atmoglow", "parameters": [1], "inputs": ["weather"]})",
                          R"(, "sinks": [{"type": "csv", "file": "o.csv", "signals": ["sky", "weather[T]"]}])");
    auto set = [&](const std::string &override) { return c.run(m, {"--set", override}); };
    expectFailure(set("blocks.sky.parameters[2]=0"), "simrun: error: --set blocks.sky.parameters[2]: block 'sky' has 1 parameter");
    expectFailure(set("blocks.sun.parameters[1]=0"), "--set blocks.sun.parameters[1]: the model has no block named 'sun'");
    expectFailure(set("blocks.sky.parameters[1]=yes"), "--set blocks.sky.parameters[1]: takes a number; the value given is 'yes'");
    expectFailure(set("sources.clock.file=w.csv"), "--set sources.clock.file: source 'clock' is of type \"clock\", which reads no file");
    expectFailure(set("sinks[0].every=60"), "--set sinks[0].every: sinks count from 1");
    expectFailure(set("sky.every=60"), "--set sky.every: not a path of a model (use start, stop, step, blocks.<name>.parameters[i], ");
    expectFailure(set("stop"), "simrun: --set 'stop': give PATH=VALUE", 2);
    EXPECT_FALSE(std::filesystem::exists(c.dir / "o.csv"));  // refused before anything ran
    // Accepted: the run takes the values (a file name in the current folder).
    std::filesystem::create_directories(c.dir / "data");
    writeFile(c.dir / "data/warm.csv", "hour,T,RH,N\n0,30,20,0\n2,30,20,0\n");
    Result r = c.run(m, {"--set", "stop=1200", "--set", "sinks[1].every=600", "--set", "sources.weather.file=data/warm.csv"});
    ASSERT_EQ(r.status, 0) << r.err;
    Table t = readTable(c.dir / "o.csv");
    ASSERT_EQ(t.rows.size(), 3u);  // 0, 600, 1200
    EXPECT_EQ(t.rows[2][0], 1200);
    EXPECT_EQ(t.rows[2][2], 30);  // the air temperature of data/warm.csv
}

// Standard blocks with matrix parameters run and match a closed form; the
// solver key and --solver-stats; bad settings are refused before anything
// runs (no CSV file is made). The oscillator dx/dt = [0 w; -w 0] x with
// x(0) = (1, 0) has x1(t) = cos(w t), x2(t) = -sin(w t) (x1'' = -w^2 x1).
TEST(Errors, StandardBlocksMatricesAndTheSolverKey)
{
    Case c;
    const std::string m = R"({"stop": 10, "step": 0.5, "solver": {"method": "bdf", "rtol": 1e-10, "atol": 1e-12},
      "sources": [{"name": "zero", "type": "constant", "value": 0}],
      "blocks": [{"name": "osc", "type": "statespace", "inputs": ["zero"],
                  "parameters": [[[0, 1], [-1, 0]], [[0], [0]], [[1, 0], [0, 1]], [[0], [0]], [1, 0]]},
                 {"name": "half", "type": "gain", "parameters": [[0.5, -2]], "inputs": ["osc"]}],
      "sinks": [{"type": "csv", "file": "o.csv", "signals": ["osc", "half"]}]})";
    for (double w : {1.0, 2.0}) {
        Result r = c.run(m, {"--solver-stats", "--set", w == 1 ? "stop=10" : "blocks.osc.parameters[1]=[[0, 2], [-2, 0]]"});
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_NE(r.err.find("simrun: solver bdf: "), std::string::npos) << r.err;
        EXPECT_EQ(r.err.find("solver bdf: 0 steps"), std::string::npos) << r.err;
        Table t = readTable(c.dir / "o.csv");
        ASSERT_EQ(t.rows.size(), 21u);
        for (const std::vector<double> &row : t.rows) {
            const double x1 = std::cos(w * row[0]), x2 = -std::sin(w * row[0]);
            EXPECT_NEAR(row[1], x1, 1e-6) << "w " << w << ", t " << row[0];
            EXPECT_NEAR(row[2], x2, 1e-6) << "w " << w << ", t " << row[0];
            EXPECT_NEAR(row[3], 0.5 * x1, 1e-6) << "w " << w << ", t " << row[0];  // a factor per element
            EXPECT_NEAR(row[4], -2 * x2, 1e-6) << "w " << w << ", t " << row[0];
        }
    }
    std::filesystem::remove(c.dir / "o.csv");
    auto refused = [&](const std::string &model, const std::vector<std::string> &args, const std::string &message) {
        expectFailure(c.run(model, args), message);
        EXPECT_FALSE(std::filesystem::exists(c.dir / "o.csv")) << message;  // refused before anything ran
    };
    auto with = [&](const std::string &from, const std::string &to) {
        std::string text = m;
        text.replace(text.find(from), from.size(), to);
        return text;
    };
    refused(m, {"--set", "solver.method=ode45"}, "model.json: solver: unknown method 'ode45' (bdf, adams, rk4, euler)");
    refused(with("\"rtol\": 1e-10", "\"rtol\": 0"), {}, "model.json: solver: rtol must be positive");
    refused(m, {"--set", "solver.atol=-1"}, "model.json: solver: atol must be positive");
    refused(with("\"atol\": 1e-12", "\"max_step\": -1"), {}, "model.json: solver: max_step must be positive (or 0: no limit)");
    refused(m, {"--set", "blocks.osc.parameters[2]=[[0], [0], [1]]"}, "block 'osc' (statespace): parameter 2 (B) has 3 rows, A has 2");
    refused(m, {"--set", "blocks.half.parameters[1]=[1, 2, 3]"}, "block 'half' (gain): parameter 1 (k) has 3 values but the signal has 2");
    refused(m, {"--set", "sinks[1].reduce=mean"}, "sinks[0]: 'reduce' needs 'every'");
}

TEST(Errors, CommandLine)
{
    TempDir dir;
    expectFailure(simrun({}, dir.path()), "simrun: no model file given", 2);
    expectFailure(simrun({"--frobnicate", "m.json"}, dir.path()), "simrun: unknown option '--frobnicate'", 2);
    expectFailure(simrun({"m.json", "-o"}, dir.path()), "simrun: option '-o' needs a value", 2);
    expectFailure(simrun({"--plot-signals", "a", "m.json"}, dir.path()), "--plot-signals needs --plot", 2);
    Result help = simrun({"--help"}, dir.path());
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("Usage: simrun [options] MODEL.json"), std::string::npos);
}

}  // namespace
