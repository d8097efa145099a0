// The runner's parts in-process: signal references, model documents, CSV
// sources (quoting, interpolation, holding, checks), the step counters of
// sample rates.
#include <cmath>
#include <limits>

#include "runner_support.h"
#include "csv_source.h"
#include "model_file.h"
#include "mxhost.h"
#include "runner.h"
#include "simulation.h"

#include <nlohmann/json.hpp>

using namespace runnertest;
using simrun::CsvSignal;
using simrun::ModelError;
using simrun::SignalRef;

namespace {

SignalRef ref(const std::string &text)
{
    SignalRef r;
    std::string why;
    EXPECT_TRUE(simrun::parseSignalRef(text, r, why)) << text << ": " << why;
    return r;
}

std::string refError(const std::string &text)
{
    SignalRef r;
    std::string why;
    EXPECT_FALSE(simrun::parseSignalRef(text, r, why)) << text;
    return why;
}

TEST(SignalRefs, Forms)
{
    SignalRef r = ref("sky");
    EXPECT_EQ(r.node, "sky");
    EXPECT_EQ(r.port, 1);
    EXPECT_EQ(r.selector, SignalRef::kWhole);
    r = ref("date:2[3]");
    EXPECT_EQ(r.node, "date");
    EXPECT_EQ(r.port, 2);
    EXPECT_EQ(r.selector, SignalRef::kRange);
    EXPECT_EQ(r.first, 3);
    EXPECT_EQ(r.last, 3);
    r = ref("elapsed[2..5]");
    EXPECT_EQ(r.first, 2);
    EXPECT_EQ(r.last, 5);
    r = ref("weather[RH]");
    EXPECT_EQ(r.selector, SignalRef::kColumn);
    EXPECT_EQ(r.column, "RH");

    EXPECT_NE(refError("2sky").find("is not a signal reference"), std::string::npos);
    EXPECT_NE(refError("sky:0").find("ports count from 1"), std::string::npos);
    EXPECT_NE(refError("sky[0]").find("elements count from 1"), std::string::npos);
    EXPECT_NE(refError("sky[4..2]").find("runs backwards"), std::string::npos);
    EXPECT_NE(refError("sky[]").find("empty element selector"), std::string::npos);
    EXPECT_NE(refError("sky[99999999]").find("elements count from 1"), std::string::npos);
}

std::string modelError(const std::string &text)
{
    try {
        simrun::parseModel(text, "m.json");
    } catch (const ModelError &e) {
        return e.what();
    }
    ADD_FAILURE() << "accepted: " << text;
    return std::string();
}

TEST(ModelDocuments, ParametersSourcesAndSinks)
{
    simrun::ModelDef m = simrun::parseModel(R"(
      // comments are allowed
      {"start": 10, "stop": 70, "step": 30,
       "sources": [{"name": "c", "type": "constant", "value": [1, 2]},
                   {"name": "w", "type": "csv", "file": "data/w.csv", "time_unit": "h", "interpolation": "hold",
                    "period": 60, "comment": "anything"}],
       "blocks": [{"name": "b", "type": "tablogger", "parameters": [1, [], [1.5, true], "log.txt"],
                   "inputs": [["c[1]", "w"], "c"]}],
       "sinks": [{"type": "table", "every": 60, "signals": ["b", {"signal": "c[2]", "name": "two"}]}]})",
                                             "/models/m.json");
    EXPECT_EQ(m.name, "m");
    EXPECT_EQ(m.start, 10);
    ASSERT_EQ(m.sources.size(), 2u);
    EXPECT_EQ(m.sources[0].value, (std::vector<double>{1, 2}));
    EXPECT_EQ(m.sources[1].file, runnertest::native(std::filesystem::absolute("/models/data/w.csv").string()));
    EXPECT_EQ(m.sources[1].timeScale, 3600);
    EXPECT_FALSE(m.sources[1].linear);
    EXPECT_EQ(m.sources[1].period, 60);
    const auto &p = m.blocks.at(0).params;
    ASSERT_EQ(p.size(), 4u);
    EXPECT_EQ(p[0].values, std::vector<double>{1});
    EXPECT_EQ(p[1].rows * p[1].cols, 0u);
    EXPECT_EQ(p[2].values, (std::vector<double>{1.5, 1}));
    EXPECT_TRUE(p[3].isText);
    EXPECT_EQ(p[3].text, "log.txt");
    ASSERT_EQ(m.blocks[0].inputs.size(), 2u);
    EXPECT_EQ(m.blocks[0].inputs[0].size(), 2u);
    EXPECT_EQ(m.sinks.at(0).columns.at(1).label, "two");

    EXPECT_EQ(modelError(R"({"stop": 1, "step": 0, "blocks": []})"), "m.json: 'step' must be a positive number of seconds");
    EXPECT_EQ(modelError(R"({"stop": 1, "step": 1, "sources": [{"name": "c", "type": "constant", "value": "x"}]})"),
              "m.json: sources[0]: 'value' must be a number or a non-empty list of numbers");
    EXPECT_EQ(modelError(R"({"stop": 1, "step": 1, "sources": [{"name": "c", "type": "noise"}]})"),
              "m.json: sources[0]: unknown source type 'noise' (use \"constant\", \"clock\", \"csv\", \"epw\" or \"matrix\")");
    EXPECT_EQ(modelError(R"({"stop": 1, "step": 1, "blocks": [{"name": "b", "type": "printer", "parameters": [null]}]})"),
              "m.json: blocks[0].parameters[0]: a parameter must be a number, a list of numbers, a list of rows (a matrix), a "
              "string or {\"source\": ..., \"site\": ...}");
    EXPECT_EQ(modelError(R"({"stop": 1, "step": 1, "blocks": [{"name": "b c", "type": "printer"}]})"),
              "m.json: blocks[0]: the name 'b c' must be letters, digits and '_', not starting with a digit");
    EXPECT_EQ(modelError(R"({"stop": 1, "step": 1, "blocks": [{"name": "b", "type": "printer", "inputs": [[]]}]})"),
              "m.json: blocks[0].inputs[0]: an input built from pieces needs at least one");
    EXPECT_EQ(modelError(R"({"stop": 1, "step": 1, "blocks": [], "sinks": [{"type": "csv", "signals": ["x"]}]})"),
              "m.json: sinks[0]: 'file' is missing");
}

// Matrices as parameters (one list per row, kept row by row), the solver
// key with its defaults, and the refusals of both and of a sink's reduce.
TEST(ModelDocuments, MatricesSolverAndReduce)
{
    simrun::ModelDef m = simrun::parseModel(R"({"stop": 1, "step": 1,
        "blocks": [{"name": "s", "type": "statespace", "parameters": [[[1, 2, 3], [4, 5, 6]], [[7]], "+-"]}]})",
                                            "m.json");
    const auto &p = m.blocks.at(0).params;
    ASSERT_EQ(p.size(), 3u);
    EXPECT_EQ(p[0].rows, 2u);
    EXPECT_EQ(p[0].cols, 3u);
    EXPECT_EQ(p[0].values, (std::vector<double>{1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(p[1].rows * p[1].cols, 1u);
    EXPECT_EQ(m.solver.method, "bdf");  // the defaults when the key is absent
    EXPECT_EQ(m.solver.rtol, 1e-6);
    EXPECT_EQ(m.solver.atol, 1e-6);
    EXPECT_EQ(m.solver.maxStep, 0);
    m = simrun::parseModel(R"({"stop": 1, "step": 1, "sources": [{"name": "c", "type": "clock"}],
        "solver": {"method": "rk4", "max_step": 0.25},
        "sinks": [{"type": "table", "every": 1, "reduce": "integral", "signals": ["c"]}],
        "plot": {"every": 1, "reduce": "max"}})",
                           "m.json");
    EXPECT_EQ(m.solver.method, "rk4");
    EXPECT_EQ(m.solver.rtol, 1e-6);
    EXPECT_EQ(m.solver.maxStep, 0.25);
    EXPECT_EQ(m.sinks.at(0).reduce, simrun::Reduce::kIntegral);
    EXPECT_EQ(m.plot.reduce, simrun::Reduce::kMax);

    const std::string head = R"({"stop": 1, "step": 1, "sources": [{"name": "c", "type": "clock"}], )";
    EXPECT_EQ(modelError(head + R"("blocks": [{"name": "g", "type": "gain", "parameters": [[[1, 2], [3]]]}]})"),
              "m.json: blocks[0].parameters[0]: a matrix parameter is a list of rows of the same length: row 2 has 1 "
              "numbers, row 1 has 2");
    EXPECT_EQ(modelError(head + R"("blocks": [{"name": "g", "type": "gain", "parameters": [[[1], "x"]]}]})"),
              "m.json: blocks[0].parameters[0]: a matrix parameter is a list of rows of the same length: row 2 is not a list");
    EXPECT_EQ(modelError(head + R"("solver": {"method": "ode45"}})"),
              "m.json: solver: unknown method 'ode45' (bdf, adams, rk4, euler)");
    EXPECT_EQ(modelError(head + R"("solver": {"rtol": 0}})"), "m.json: solver: rtol must be positive");
    EXPECT_EQ(modelError(head + R"("solver": {"atol": -1e-9}})"), "m.json: solver: atol must be positive");
    EXPECT_EQ(modelError(head + R"("solver": {"max_step": -1}})"),
              "m.json: solver: max_step must be positive (or 0: no limit)");
    EXPECT_EQ(modelError(head + R"("solver": {"method": "bdf", "reltol": 1}})"), "m.json: solver: unknown key 'reltol' (keys: method, rtol, atol, max_step, comment)");
    EXPECT_EQ(modelError(head + R"("solver": {"rtol": "1e-6"}})"), "m.json: solver: 'rtol' must be a number");
    EXPECT_EQ(modelError(head + R"("sinks": [{"type": "table", "reduce": "mean", "signals": ["c"]}]})"),
              "m.json: sinks[0]: 'reduce' needs 'every', the seconds of each interval");
    EXPECT_EQ(modelError(head + R"("sinks": [{"type": "table", "every": 1, "reduce": "median", "signals": ["c"]}]})"),
              "m.json: sinks[0]: unknown 'reduce' 'median' (use \"mean\", \"min\", \"max\", \"sum\" or \"integral\")");
    EXPECT_EQ(modelError(head + R"("sinks": [{"type": "workspace", "every": 1, "reduce": "sum", "signals": ["c"]}]})"),
              "m.json: sinks[0]: 'reduce' is for csv and table sinks; a workspace sink returns samples");
    EXPECT_EQ(modelError(head + R"("plot": {"reduce": "mean"}})"), "m.json: plot: 'reduce' needs 'every', the seconds of each interval");
}

// Matrix sources from the document's own lists and from arrays handed over
// aside; workspace sinks; a run that collects them on the embedded host.
TEST(ModelDocuments, MatrixSourcesAndWorkspaceSinks)
{
    simrun::ModelDef m = simrun::parseModel(R"(
      {"stop": 40, "step": 10,
       "sources": [{"name": "w", "type": "matrix", "time": [0, 20], "values": [[1, 10], [3, 30]],
                    "columns": ["a", "b"]},
                   {"name": "h", "type": "matrix", "time": [0, 15, 30], "values": [5, 6, 7], "interpolation": "hold"}],
       "sinks": [{"type": "workspace", "every": 20, "signals": [{"signal": "w[b]", "name": "B"}, "h"]}]})",
                                             "m.json");
    EXPECT_EQ(m.sources.at(0).kind, simrun::SourceDef::kMatrix);
    EXPECT_EQ(m.sources[0].values, (std::vector<std::vector<double>>{{1, 3}, {10, 30}}));
    EXPECT_EQ(m.sources[1].columns, (std::vector<std::string>{"1"}));

    simrun::RunOptions o;
    o.workspace = true;
    simrun::RunReport r = simrun::runModel(m, o);
    // Rows at 0, 20, 40: w[b] linear between (0, 10) and (20, 30), then held;
    // h holds the row at or before the time.
    EXPECT_EQ(r.workspaceTime, (std::vector<double>{0, 20, 40}));
    ASSERT_EQ(r.workspace.size(), 2u);
    EXPECT_EQ(r.workspace[0].name, "B");
    EXPECT_EQ(r.workspace[0].values, (std::vector<double>{10, 30, 30}));
    EXPECT_EQ(r.workspace[1].values, (std::vector<double>{5, 6, 7}));

    // The same source from an array held by the caller (column-major).
    const double tw[] = {0, 20}, vw[] = {1, 3, 10, 30};
    nlohmann::json doc = simrun::readModelDocument(
        R"({"stop": 10, "step": 10, "sources": [{"name": "w", "type": "matrix", "time": {"workspace": 0},
            "values": {"workspace": 1}}]})", "s");
    simrun::ModelDef fromArrays = simrun::parseModelDocument(doc, "s", {{tw, 2, 1}, {vw, 2, 2}});
    EXPECT_EQ(fromArrays.sources.at(0).values, m.sources[0].values);
    EXPECT_EQ(fromArrays.sources[0].time, m.sources[0].time);

    auto src = [](const std::string &fields) {
        return R"({"stop": 1, "step": 1, "sources": [{"name": "w", "type": "matrix", )" + fields + "}]}";
    };
    EXPECT_EQ(modelError(src(R"("time": [0, 1], "values": [1, 2, 3])")),
              "m.json: sources[0]: 'values' has 3 rows but 'time' has 2 times");
    EXPECT_EQ(modelError(src(R"("time": [0, 1], "values": [[1, 2], [3]])")),
              "m.json: sources[0]: 'values': row 2 has 1 numbers, the first row 2");
    EXPECT_EQ(modelError(src(R"("time": [0], "values": [1], "columns": ["a", "b"])")),
              "m.json: sources[0]: 'columns' must be a list of 1 column names, one per column of 'values'");
    EXPECT_EQ(modelError(src(R"("time": [0], "values": [[1, 2]], "columns": ["a", "a"])")),
              "m.json: sources[0]: 'columns' names 'a' twice");
    EXPECT_EQ(modelError(src(R"("time": {"workspace": 0}, "values": [1])")),
              "m.json: sources[0]: 'time' must be a list of rows of numbers");
    EXPECT_EQ(modelError(R"({"stop": 1, "step": 1, "sources": [{"name": "c", "type": "clock"}],
                             "sinks": [{"type": "workspace", "file": "x", "signals": ["c"]}]})"),
              "m.json: sinks[0]: a workspace sink returns its signals to the script and takes no 'file'");
    for (const char *times : {"[0, 0]", "[1, 0]"}) {
        simrun::ModelDef bad = simrun::parseModel(src(std::string(R"("time": )") + times + R"(, "values": [1, 2])"), "m.json");
        try {
            simrun::runModel(bad, o);
            ADD_FAILURE() << times << " accepted";
        } catch (const ModelError &e) {
            EXPECT_EQ(std::string(e.what()), "source 'w': row 2: the time does not increase");
        }
    }
    // A caller's array: empty of any shape refused by its shape alone (an
    // empty array may claim 2^40 columns), infinite values with their place.
    auto fromWorkspace = [](std::vector<simrun::WorkspaceMatrix> arrays) {
        nlohmann::json doc = simrun::readModelDocument(
            R"({"stop": 10, "step": 10, "sources": [{"name": "w", "type": "matrix", "time": {"workspace": 0},
                "values": {"workspace": 1}, "columns": ["a", "b"]}]})", "s");
        return simrun::parseModelDocument(doc, "s", arrays);
    };
    const std::size_t huge = std::size_t{1} << 40;
    for (auto shape : {std::make_pair(std::size_t{0}, huge), std::make_pair(huge, std::size_t{0})}) {
        try {
            fromWorkspace({{tw, 2, 1}, {nullptr, shape.first, shape.second}});
            ADD_FAILURE() << "an empty array accepted";
        } catch (const ModelError &e) {
            EXPECT_EQ(std::string(e.what()), "s: sources[0]: 'values' is empty (" + std::to_string(shape.first) + " x " +
                                                 std::to_string(shape.second) + ")");
        }
    }
    try {
        fromWorkspace({{nullptr, 0, huge}, {vw, 2, 2}});
        ADD_FAILURE() << "empty times accepted";
    } catch (const ModelError &e) {
        EXPECT_EQ(std::string(e.what()), "s: sources[0]: 'time' is empty (0 x 1099511627776)");
    }
    const double inf = std::numeric_limits<double>::infinity();
    const double withInf[] = {1, 3, 10, -inf};
    try {
        simrun::runModel(fromWorkspace({{tw, 2, 1}, {withInf, 2, 2}}), o);
        ADD_FAILURE() << "an infinite value accepted";
    } catch (const ModelError &e) {
        EXPECT_EQ(std::string(e.what()), "source 'w': row 2, column 'b': -Inf is infinite");
    }

    EXPECT_EQ(simrun::fieldName("weather[T]"), "weather_T");
    EXPECT_EQ(simrun::fieldName("date:2[1..3]"), "date_2_1_3");
    EXPECT_EQ(simrun::fieldName("_x"), "x_x");
}

struct CsvFile {
    TempDir dir;
    std::string path;
    explicit CsvFile(const std::string &text) : path(dir / "data.csv") { writeFile(path, text); }
};

std::vector<double> at(CsvSignal &s, double t)
{
    std::vector<double> v(static_cast<std::size_t>(s.width()));
    s.fill(t, v.data());
    return v;
}

TEST(CsvSources, InterpolateHoldAndClamp)
{
    // Quoted names, a byte-order mark, CRLF line ends and spaces around numbers.
    CsvFile f("\xEF\xBB\xBF\"time\",\"air, outside\",rh\r\n0, 10 ,50\r\n10,20,60\r\n30,0,70\r\n");
    CsvSignal linear("src", f.path, "", {}, 1.0, true);
    EXPECT_EQ(linear.columnNames(), (std::vector<std::string>{"air, outside", "rh"}));
    EXPECT_EQ(at(linear, -5), (std::vector<double>{10, 50}));  // before the first row: the first row
    EXPECT_EQ(at(linear, 0), (std::vector<double>{10, 50}));
    EXPECT_EQ(at(linear, 2.5), (std::vector<double>{12.5, 52.5}));
    EXPECT_EQ(at(linear, 20), (std::vector<double>{10, 65}));
    EXPECT_EQ(at(linear, 5), (std::vector<double>{15, 55}));  // going back in time still works
    EXPECT_EQ(at(linear, 30), (std::vector<double>{0, 70}));
    EXPECT_EQ(at(linear, 99), (std::vector<double>{0, 70}));  // after the last row: the last row

    CsvSignal held("src", f.path, "time", {"rh"}, 1.0, false);
    EXPECT_EQ(at(held, 9.99), std::vector<double>{50});
    EXPECT_EQ(at(held, 10), std::vector<double>{60});
    EXPECT_EQ(at(held, 29), std::vector<double>{60});

    CsvSignal minutes("src", f.path, "time", {"rh"}, 60.0, true);  // the time column in minutes
    EXPECT_EQ(at(minutes, 300), std::vector<double>{55});
}

std::string csvError(const std::string &text, const std::string &time = "", std::vector<std::string> cols = {})
{
    CsvFile f(text);
    try {
        CsvSignal s("source 'w'", f.path, time, cols, 1.0, true);
    } catch (const ModelError &e) {
        std::string what = e.what();
        std::size_t at = what.find(f.path);
        return at == std::string::npos ? what : what.replace(at, f.path.size(), "F");
    }
    ADD_FAILURE() << "accepted: " << text;
    return std::string();
}

TEST(CsvSources, Checks)
{
    EXPECT_EQ(csvError(""), "source 'w': 'F' is empty");
    EXPECT_EQ(csvError("t,a\n"), "source 'w': 'F' has a header but no rows");
    EXPECT_EQ(csvError("t\n1\n"), "source 'w': 'F': it has no column besides the time");
    EXPECT_EQ(csvError("t,a\n0,1\n1,x\n"), "source 'w': 'F': row 3, column 'a': 'x' is not a number");
    EXPECT_EQ(csvError("t,a\n0,1\n1,\n"), "source 'w': 'F': row 3, column 'a': '' is not a number");
    EXPECT_EQ(csvError("t,a\n0,1\n1,2,3\n"), "source 'w': 'F': row 3 has 3 fields, the header has 2");
    EXPECT_EQ(csvError("t,a\n0,1\n0,2\n"), "source 'w': 'F': row 3: the time does not increase");
    EXPECT_EQ(csvError("t,a\n0,1\n", "time"), "source 'w': 'F': no time column 'time' (its columns: t, a)");
    EXPECT_EQ(csvError("t,a\n0,\"1\n"), "source 'w': 'F' is not well-formed CSV: error parsing data while strict checking enabled");
}

// A Ticker walked through the steps answers as the rate's own test does,
// also when the walk skips steps.
TEST(Rates, TickerAgreesWithTheRate)
{
    std::vector<engine::Rate> rates(4);
    rates[0].everyStep = true;
    rates[1].hits = {{6, 0}};
    rates[2].hits = {{4, 3}};
    rates[3].firstStep = true;
    rates[3].hits = {{5, 2}, {3, 1}};
    for (const engine::Rate &r : rates) {
        engine::Ticker walk(r), jumpy(r);
        for (long long k = 0; k < 40; ++k) EXPECT_EQ(walk.due(k), engine::hits(r, k)) << k;
        for (long long k : {0LL, 1LL, 7LL, 8LL, 9LL, 3LL, 4LL, 5LL, 100LL, 101LL, 103LL})
            EXPECT_EQ(jumpy.due(k), engine::hits(r, k)) << k;
    }
    // The hits themselves: every 6th step from 0; every 4th from 3.
    EXPECT_TRUE(engine::hits(rates[1], 12));
    EXPECT_FALSE(engine::hits(rates[1], 13));
    EXPECT_TRUE(engine::hits(rates[2], 7));
    EXPECT_FALSE(engine::hits(rates[2], 8));
}

// A period's hits are the times offset + j * period on the run's grid.
TEST(Rates, PeriodsOnTheStepGrid)
{
    engine::Simulation sim;
    sim.prepare(30, 10, 300);  // t = 30 + 10 k
    engine::Rate r = sim.periodicRate(60, 0, "x");  // t = 60, 120, ... : k = 3, 9, ...
    ASSERT_EQ(r.hits.size(), 1u);
    EXPECT_EQ(r.hits[0], (std::pair<long long, long long>{6, 3}));
    r = sim.periodicRate(60, 20, "x");  // t = 80, 140, ... : k = 5, 11, ...
    EXPECT_EQ(r.hits[0], (std::pair<long long, long long>{6, 5}));
    EXPECT_EQ(sim.periodicRate(10, 0, "x").hits[0], (std::pair<long long, long long>{1, 0}));
    EXPECT_EQ(sim.numSteps(), 28);
    EXPECT_THROW(sim.periodicRate(60, 5, "x"), engine::EngineError);   // off the grid
    EXPECT_THROW(sim.periodicRate(25, 0, "x"), engine::EngineError);   // not a multiple of the step
    EXPECT_THROW(sim.periodicRate(-1, 0, "x"), engine::EngineError);
}

// What the blocks print goes to the run's stream while the run lasts; the
// print sink set before the run (here a capture) is back afterwards.
TEST(Runs, RestoreTheCallersPrintSink)
{
    TempDir dir;
    simrun::ModelDef m = simrun::parseModel(R"({"stop": 1, "step": 1,
        "sources": [{"name": "c", "type": "constant", "value": 5}],
        "blocks": [{"name": "p", "type": "printer", "inputs": ["c"]}]})",
                                            dir / "m.json");
    simrun::RunOptions o;
    o.libDirs = {SIMBLOCKS_LIB_DIR};
    o.progress = false;
    std::string runOut = dir / "out.txt";
    std::FILE *out = std::fopen(runOut.c_str(), "wb");
    ASSERT_NE(out, nullptr);
    o.out = out;

    mxhost::PrintCapture caller;
    simrun::runModel(m, o);
    std::fclose(out);
    mexPrintf("after the run");
    EXPECT_EQ(caller.text(), "after the run");
    std::string printed = readFile(runOut);
    EXPECT_NE(printed.find(", time 0: 5 \n"), std::string::npos) << printed;
    EXPECT_NE(printed.find(", time 1: 5 \n"), std::string::npos) << printed;
}

// Sinks that summarise, on the clock (its value is t): steps of 1 s from 0
// to 25, rows every 10 s. By hand, over [0, 10], [10, 20] and the last,
// shorter interval [20, 25]: the integral of t is (b^2 - a^2) / 2, which the
// trapezoid rule gives exactly for a straight line: 50, 150, 112.5; the mean
// is that over the length: 5, 15, 22.5; min and max are the ends; the sum
// takes each step once: 0 + 1 + ... + 10 = 55, 11 + ... + 20 = 155,
// 21 + ... + 25 = 115. A hit at the start ends no interval: no row at 0.
// The same clock with a period of 5 s holds its hits: 0 at steps 0..4, 5 at
// 5..9, 10 at 10..14, ... Over [0, 10] its trapezoids are 0 (0..4), 2.5
// (4..5), 20 (5..9), 7.5 (9..10): 30, mean 3; its sum 5 * 5 + 10 = 35.
// Over [10, 20]: 40 + 12.5 + 60 + 17.5 = 130, sum 4 * 10 + 5 * 15 + 20 =
// 135. Over [20, 25]: 80 + 22.5 = 102.5, mean 20.5, sum 4 * 20 + 25 = 105.
TEST(Runs, SinksThatSummariseTheClock)
{
    TempDir dir;
    std::string text = R"({"stop": 25, "step": 1,
        "sources": [{"name": "t", "type": "clock"}, {"name": "held", "type": "clock", "period": 5}],
        "sinks": [)";
    const char *kinds[] = {"mean", "min", "max", "sum", "integral"};
    for (const char *k : kinds)
        text += std::string("{\"type\": \"csv\", \"file\": ") + nlohmann::json(dir / k).dump() +
                ", \"every\": 10, \"reduce\": \"" + k + "\", \"signals\": [\"t\", \"held\"]},";
    text += R"({"type": "csv", "file": )" + nlohmann::json(dir / "samples").dump() + R"(, "every": 10, "signals": ["t"]}]})";
    simrun::RunOptions o;
    o.progress = false;
    // A study's summary of 'held' takes the rows of the first sink that writes it (the means).
    std::vector<std::vector<double>> summary;
    o.summary = {"held"};
    o.summaryRow = [&](std::size_t, double t, double v) { summary.push_back({t, v}); };
    simrun::runModel(simrun::parseModel(text, dir / "m.json"), o);
    EXPECT_EQ(summary, (std::vector<std::vector<double>>{{10, 3}, {20, 13}, {25, 20.5}}));

    const std::vector<std::vector<double>> expected[] = {
        {{10, 5, 3}, {20, 15, 13}, {25, 22.5, 20.5}},       // mean
        {{10, 0, 0}, {20, 10, 10}, {25, 20, 20}},           // min
        {{10, 10, 10}, {20, 20, 20}, {25, 25, 25}},         // max
        {{10, 55, 35}, {20, 155, 135}, {25, 115, 105}},     // sum
        {{10, 50, 30}, {20, 150, 130}, {25, 112.5, 102.5}}, // integral
    };
    for (std::size_t i = 0; i < 5; ++i) {
        Table t = readTable(dir / kinds[i]);
        EXPECT_EQ(t.header, (std::vector<std::string>{"time", "t", "held"})) << kinds[i];
        EXPECT_EQ(t.rows, expected[i]) << kinds[i];
    }
    Table samples = readTable(dir / "samples");  // a sampling sink keeps its row at the start
    EXPECT_EQ(samples.rows, (std::vector<std::vector<double>>{{0, 0}, {10, 10}, {20, 20}}));
}

}  // namespace
