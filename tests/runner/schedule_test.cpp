// The run as the engine drives it, seen through simrun's request trace: the
// order of the requests, data-flow order, sample hits of a fixed period (the
// wait block under faketime, so that no update has to wait), inherited rates
// that follow their driver, and the progress bar on a terminal only.
#include <algorithm>
#include <cmath>

#include "runner_support.h"

using namespace runnertest;

namespace {

bool haveProgram(const char *name) { return std::system(("command -v " + std::string(name) + " >/dev/null 2>&1").c_str()) == 0; }

// faketime with a fixed moment long after the runs' simulated spans (which
// start at 1 January 00:00), so the wait block's clock is always ahead.
const char *kLateInTheYear = "ASAN_OPTIONS=$ASAN_OPTIONS:verify_asan_link_order=0 faketime '2023-06-01 12:00:00'";

std::vector<double> timesOf(const std::vector<Request> &trace, int flag, const std::string &block)
{
    std::vector<double> out;
    for (const Request &r : trace)
        if (r.flag == flag && r.block == block) out.push_back(r.t);
    return out;
}

std::vector<double> grid(double from, double to, double step)
{
    std::vector<double> out;
    for (double t = from; t <= to; t += step) out.push_back(t);
    return out;
}

TEST(Schedule, RequestOrderAndDataFlow)
{
    if (!haveProgram("faketime")) GTEST_SKIP() << "faketime is not installed";
    TempDir dir;
    // 'later' is listed before the block that drives it; wait with a step of 0
    // has the continuous sample time and runs every step.
    writeFile(dir / "m.json", R"({"start": 0, "stop": 120, "step": 60,
      "sources": [{"name": "clock", "type": "clock"}],
      "blocks": [{"name": "later", "type": "topflux", "inputs": ["first"]},
                 {"name": "first", "type": "heliolean", "inputs": ["clock"]},
                 {"name": "show", "type": "printer", "inputs": ["later"]},
                 {"name": "pace", "type": "wait", "parameters": [1, 1, 0, 0, 0, 0]}]})");
    Result r = simrun({"--no-progress", "--trace", "trace.txt", "m.json"}, dir.path(), kLateInTheYear);
    ASSERT_EQ(r.status, 0) << r.err;

    std::vector<std::pair<int, std::string>> expected;
    const std::vector<std::string> order = {"first", "later", "show", "pace"};
    for (const std::string &b : order) expected.emplace_back(101, b);
    expected.emplace_back(117, "pace");
    expected.emplace_back(102, "show");
    for (int step = 0; step < 3; ++step) {
        for (const std::string &b : order) expected.emplace_back(104, b);
        expected.emplace_back(105, "pace");
    }
    for (const std::string &b : order) expected.emplace_back(107, b);

    std::vector<Request> trace = readTrace(dir / "trace.txt");
    std::vector<std::pair<int, std::string>> seen;
    for (const Request &q : trace) seen.emplace_back(q.flag, q.block);
    EXPECT_EQ(seen, expected);
    EXPECT_EQ(timesOf(trace, 104, "show"), grid(0, 120, 60));
    EXPECT_EQ(lines(r.out).size(), 3u) << r.out;  // the printer's lines
}

TEST(Schedule, FixedPeriodRunsOnItsHitsOnly)
{
    if (!haveProgram("faketime")) GTEST_SKIP() << "faketime is not installed";
    TempDir dir;
    // A 60-second wait, its reference at 1 January 00:00, in a model of 10-second steps.
    writeFile(dir / "m.json", R"({"start": 0, "stop": 600, "step": 10,
      "blocks": [{"name": "pace", "type": "wait", "parameters": [1, 1, 0, 0, 0, 60]}]})");
    Result r = simrun({"--no-progress", "--trace", "trace.txt", "m.json"}, dir.path(), kLateInTheYear);
    ASSERT_EQ(r.status, 0) << r.err;
    std::vector<Request> trace = readTrace(dir / "trace.txt");
    EXPECT_EQ(timesOf(trace, 104, "pace"), grid(0, 600, 60));
    EXPECT_EQ(timesOf(trace, 105, "pace"), grid(0, 600, 60));
    EXPECT_EQ(timesOf(trace, 117, "pace").size(), 1u);

    // Step 0 makes the period 0: the continuous sample time, every step.
    writeFile(dir / "m.json", R"({"start": 0, "stop": 600, "step": 10,
      "blocks": [{"name": "pace", "type": "wait", "parameters": [1, 1, 0, 0, 0, 0]}]})");
    r = simrun({"--no-progress", "--trace", "trace.txt", "m.json"}, dir.path(), kLateInTheYear);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(timesOf(readTrace(dir / "trace.txt"), 105, "pace"), grid(0, 600, 10));

    // A period off the step grid is refused before anything runs.
    writeFile(dir / "m.json", R"({"start": 0, "stop": 600, "step": 60,
      "blocks": [{"name": "pace", "type": "wait", "parameters": [1, 1, 0, 0, 0, 90]}]})");
    r = simrun({"--no-progress", "--trace", "trace.txt", "m.json"}, dir.path(), kLateInTheYear);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("block 'pace' (wait): the sample time 90 s is not a multiple of the fixed step 60 s"),
              std::string::npos)
        << r.err;
    EXPECT_TRUE(timesOf(readTrace(dir / "trace.txt"), 117, "pace").empty());
}

TEST(Schedule, InheritedBlocksFollowTheirDriver)
{
    TempDir dir;
    // An hourly clock in a model of 10-minute steps: heliolean and topflux
    // behind it run on the hour only and hold their outputs in between; the
    // same block behind the every-step clock runs every step; a block behind
    // constants alone runs once.
    writeFile(dir / "m.json", R"({"start": 0, "stop": 7200, "step": 600,
      "sources": [{"name": "hourly", "type": "clock", "period": 3600},
                  {"name": "clock", "type": "clock"},
                  {"name": "curves", "type": "constant", "value": [1, 0, 0, 1, 4, 0, 0]}],
      "blocks": [{"name": "decl", "type": "heliolean", "inputs": ["hourly"]},
                 {"name": "chain", "type": "topflux", "inputs": ["decl"]},
                 {"name": "every", "type": "heliolean", "inputs": ["clock"]},
                 {"name": "once", "type": "pump", "inputs": ["curves"]}],
      "sinks": [{"type": "csv", "file": "out.csv", "signals": ["hourly", "decl", "every", "once"]}]})");
    Result r = simrun({"--no-progress", "--trace", "trace.txt", "m.json"}, dir.path());
    ASSERT_EQ(r.status, 0) << r.err;
    std::vector<Request> trace = readTrace(dir / "trace.txt");
    EXPECT_EQ(timesOf(trace, 104, "decl"), grid(0, 7200, 3600));
    EXPECT_EQ(timesOf(trace, 104, "chain"), grid(0, 7200, 3600));
    EXPECT_EQ(timesOf(trace, 104, "every"), grid(0, 7200, 600));
    EXPECT_EQ(timesOf(trace, 104, "once"), std::vector<double>{0});

    Table t = readTable(dir / "out.csv");
    ASSERT_EQ(t.rows.size(), 13u);
    for (const auto &row : t.rows) {
        double hour = std::floor(row[0] / 3600) * 3600;
        const auto &atHour = t.rows[static_cast<std::size_t>(hour / 600)];
        EXPECT_EQ(row[t.col("hourly")], hour);
        EXPECT_EQ(row[t.col("decl")], atHour[t.col("every")]) << "held since the hour, at t = " << row[0];
        EXPECT_EQ(row[t.col("once")], 2.0);  // the curves A = x^2 and B = 4 meet at x = 2
    }
}

TEST(Schedule, ProgressBarOnlyOnATerminalAndForLongRuns)
{
    if (!haveProgram("script")) GTEST_SKIP() << "script (util-linux) is not installed";
    TempDir dir;
    // About two seconds of wall-clock time: wait paces one-second steps
    // against the clock from the moment the run starts.
    writeFile(dir / "slow.json", R"({"start": 0, "stop": 2, "step": 1,
      "blocks": [{"name": "pace", "type": "wait", "parameters": [0, 0, 0, 0, 0, 1]}]})");
    writeFile(dir / "fast.json", R"({"start": 0, "stop": 600, "step": 60,
      "sources": [{"name": "clock", "type": "clock"}],
      "blocks": [{"name": "d", "type": "heliolean", "inputs": ["clock"]}]})");
    auto underTerminal = [&](const std::string &model) {
        std::string cmd = "cd " + quote(dir.path()) + " && script -qec " + quote(quote(SIMRUN_EXE) + " " + model) +
                          " /dev/null >tty.txt 2>&1 </dev/null";
        EXPECT_EQ(std::system(cmd.c_str()), 0);
        return readFile(dir / "tty.txt");
    };
    std::string slow = underTerminal("slow.json");
    EXPECT_NE(slow.find("] 100%  step 3 of 3"), std::string::npos) << slow;
    std::string fast = underTerminal("fast.json");
    EXPECT_EQ(fast.find("step "), std::string::npos) << fast;
    Result piped = simrun({"slow.json"}, dir.path());
    ASSERT_EQ(piped.status, 0);
    EXPECT_EQ(piped.err.find("step "), std::string::npos) << piped.err;
}

}  // namespace
