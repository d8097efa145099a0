// simrun's failures: each names the block, source or place in the model and
// what is wrong, and ends with exit status 1 (2 for a wrong command line).
#include "app_support.h"

using namespace apptest;

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
    // Two blocks that take their widths from each other leave both open.
    expectFailure(c.run(model(R"({"name": "p1", "type": "printer", "inputs": ["p2"]},
                                 {"name": "p2", "type": "printer", "inputs": ["p1"]})")),
                  "block 'p1' (printer): the width of input port 1 cannot be resolved from its connections");
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
    expectFailure(r, "algebraic loop: blocks 'b' -> 'a' -> 'b' drive each other through inputs with direct feedthrough");
    expectFailure(c.run(model(R"({"name": "self", "type": "heliolean", "inputs": ["self"]})")),
                  "algebraic loop: blocks 'self' -> 'self'");
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
