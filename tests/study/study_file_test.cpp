// Study files in-process: the order and values of the runs (product, zip,
// ranges, a runs file), every bad input refused before anything runs with
// the entry named, the summary statistics against hand sums, overrides of
// every kind of path, and the manifest's records (a record cut short, an ok
// run whose file went missing).
#include <cmath>
#include <limits>

#include <nlohmann/json.hpp>

#include "runner/runner_support.h"
#include "model_file.h"
#include "overrides.h"
#include "results.h"
#include "study.h"

using namespace runnertest;
using nlohmann::json;

namespace {

const char kModel[] = R"({
  "start": 0, "stop": 3600, "step": 600,
  "sources": [{"name": "weather", "type": "csv", "file": "weather.csv", "time": "hour", "time_unit": "h"},
              {"name": "cloud", "type": "constant", "value": 0.5}],
  "blocks": [{"name": "sky", "type": "atmoglow", "parameters": [1], "inputs": [["weather[T]", "weather[RH]", "cloud"]]},
             {"name": "log", "type": "tablogger", "parameters": [1, "log.txt"], "inputs": [["sky"]]}],
  "sinks": [{"type": "csv", "file": "out.csv", "signals": ["sky"]}]
})";

struct Folder {
    TempDir dir;
    Folder()
    {
        writeFile(dir / "weather.csv", "hour,T,RH\n0,10,80\n1,12,70\n");
        writeFile(dir / "other.csv", "hour,T,RH\n0,20,50\n1,22,40\n");
        writeFile(dir / "model.json", kModel);
    }
    study::Study load(const std::string &text)
    {
        writeFile(dir / "study.json", text);
        return study::loadStudy(dir / "study.json");
    }
    // The message of a study that is refused.
    std::string refused(const std::string &text)
    {
        try {
            load(text);
        } catch (const study::StudyError &e) {
            return e.what();
        }
        ADD_FAILURE() << "accepted: " << text;
        return std::string();
    }
};

std::vector<std::string> texts(const study::Study &s, std::uint64_t run)
{
    std::vector<std::string> out;
    std::vector<std::uint64_t> index = s.choice(run);
    for (std::size_t i = 0; i < s.varied.size(); ++i) out.push_back(s.varied[i].text(index[i]));
    return out;
}

using Row = std::vector<std::string>;

TEST(StudyFile, RunsComeInTheDocumentedOrder)
{
    Folder f;
    // Product: the first entry is the outer loop, the last changes from run to run.
    study::Study s = f.load(R"({"model": "model.json", "vary": [
        {"set": "sources.weather.file", "values": ["weather.csv", "other.csv"]},
        {"set": "blocks.sky.parameters[1]", "values": [0, 1]},
        {"set": "sources.cloud.value", "range": [0, 0.3, 0.1]}]})");
    ASSERT_EQ(s.runs, 16u);
    EXPECT_EQ(texts(s, 1), (Row{"weather.csv", "0", "0"}));
    EXPECT_EQ(texts(s, 2), (Row{"weather.csv", "0", "0.1"}));
    EXPECT_EQ(texts(s, 4), (Row{"weather.csv", "0", "0.3"}));  // 0.3 is on the grid of 0 and 0.1, and exactly 0.3
    EXPECT_EQ(texts(s, 5), (Row{"weather.csv", "1", "0"}));
    EXPECT_EQ(texts(s, 9), (Row{"other.csv", "0", "0"}));
    EXPECT_EQ(texts(s, 16), (Row{"other.csv", "1", "0.3"}));
    // The run's model: file names taken in the study's folder, the rest as given.
    json m = s.runModel(14);
    EXPECT_EQ(m["sources"][0]["file"], std::filesystem::path(f.dir / "other.csv").lexically_normal().string());
    EXPECT_EQ(m["blocks"][0]["parameters"][0], 1);
    EXPECT_EQ(m["sources"][1]["value"], 0.1);

    // Zip: run i takes the i-th value of each; a range whose last value is
    // off the grid stops at the last value on it.
    s = f.load(R"({"model": "model.json", "combine": "zip", "vary": [
        {"set": "stop", "range": [1200, 3000, 800]},
        {"set": "sinks[1].every", "values": [0, 600, 1200]}]})");
    ASSERT_EQ(s.runs, 3u);
    EXPECT_EQ(texts(s, 1), (Row{"1200", "0"}));
    EXPECT_EQ(texts(s, 3), (Row{"2800", "1200"}));
    s = f.load(R"({"model": "model.json", "vary": [{"set": "step", "range": [600, 60, -180]}]})");
    EXPECT_EQ(texts(s, 4), (Row{"60"}));

    // A runs file: its rows in order, cells as written.
    writeFile(f.dir / "runs.csv", "blocks.log.parameters[2],step\nfirst.txt,600\n\"a, b.txt\",300\n");
    s = f.load(R"({"model": "model.json", "runs": "runs.csv"})");
    ASSERT_EQ(s.runs, 2u);
    EXPECT_EQ(texts(s, 2), (Row{"a, b.txt", "300"}));
    EXPECT_EQ(s.runModel(2)["blocks"][1]["parameters"][1], "a, b.txt");
    EXPECT_EQ(s.runModel(2)["step"], 300);
}

TEST(StudyFile, BadInputIsRefusedNamingTheEntry)
{
    Folder f;
    auto expect = [&](const std::string &study, const std::string &message) {
        std::string got = f.refused(study);
        EXPECT_NE(got.find(message), std::string::npos) << "got: " << got << "\nexpected: " << message;
    };
    const std::string m = R"({"model": "model.json", )";
    expect(m + R"("vary": [{"set": "stop", "values": [1]}], "sweep": 1})", "study.json: unknown key 'sweep'");
    expect(m + R"("vary": [{"set": "stop", "values": [1], "step": 2}]})", "vary[0]: unknown key 'step'");
    for (const char *files : {R"("files": 1,)", R"("files": "some",)"})
        expect(m + files + R"("vary": [{"set": "stop", "values": [1]}]})",
               "study.json: files: must be \"all\", \"failed\" or \"none\"");
    expect(m + R"("vary": [{"set": "blocks.sky.parameters[2]", "values": [1]}]})",
           "vary[0].values[0]: blocks.sky.parameters[2]: block 'sky' has 1 parameter");
    expect(m + R"("vary": [{"set": "blocks.cloud.parameters[1]", "values": [1]}]})", "the model has no block named 'cloud'");
    expect(m + R"("vary": [{"set": "sources.sky.file", "values": ["a.csv"]}]})", "the model has no source named 'sky'");
    expect(m + R"("vary": [{"set": "sources.cloud.file", "values": ["a.csv"]}]})", "source 'cloud' is of type \"constant\", which reads no file");
    expect(m + R"("vary": [{"set": "sinks[2].every", "values": [1]}]})", "vary[0].values[0]: sinks[2].every: the model has 1 sink");
    expect(m + R"("vary": [{"set": "weather.file", "values": [1]}]})", "weather.file: not a path of a model");
    expect(m + R"("vary": [{"set": "blocks.log.parameters[2]", "values": ["a", 7]}]})",
           "vary[0].values[1]: blocks.log.parameters[2]: takes text, as in the model; the value given is a number");
    expect(m + R"("vary": [{"set": "sources.weather.file", "values": ["missing.csv"]}]})",
           "vary[0].values[0]: sources.weather.file: no file '" + (f.dir / "missing.csv") + "'");
    expect(m + R"("vary": [{"set": "stop", "values": []}]})", "vary[0].values: must be a non-empty list");
    expect(m + R"("vary": [{"set": "stop", "range": [0, 3600, 0]}]})", "vary[0].range: the step is 0");
    expect(m + R"("vary": [{"set": "stop", "range": [0, 3600, -600]}]})", "vary[0].range: the step -600 leads away from 3600");
    expect(m + R"("vary": [{"set": "stop", "range": [0, 3600]}]})", "vary[0].range: must be [first, last, step]");
    expect(m + R"("vary": [{"set": "stop", "values": [1]}, {"set": "stop", "values": [2]}]})", "'stop' is varied twice (also by vary[0])");
    expect(m + R"("combine": "zip", "vary": [{"set": "stop", "values": [1, 2]}, {"set": "step", "values": [1, 2, 3]}]})",
           "\"zip\" takes lists of one length, but vary[1] has 3 values and vary[0] has 2");
    expect(m + R"("combine": "cross", "vary": [{"set": "stop", "values": [1]}]})", "combine: must be \"product\" or \"zip\"");
    // More than 10 million runs, also when each list alone is short of it.
    expect(m + R"("vary": [{"set": "stop", "range": [1, 4000, 1]}, {"set": "sources.cloud.value", "range": [0, 0.9999, 0.0001]}]})",
           "the product of 4000 x 10000 values is more than 10 million runs");
    expect(m + R"("vary": [{"set": "stop", "range": [0, 1e15, 1]}]})", "vary[0].range: has more than 10000000 values");
    expect(m + R"("vary": [{"set": "step", "values": [600, 0]}]})", "vary[0].values[1]: step: must be a positive number of seconds");
    expect(m + R"("vary": [{"set": "stop", "values": [1]}], "runs": "runs.csv"})", "'vary' and 'runs' are alternatives");
    expect(m + R"("vary": [{"set": "stop", "values": [1]}], "summary": {"skies": "mean"}})",
           "summary: 'skies': the model has no source or block named 'skies'");
    expect(m + R"("vary": [{"set": "stop", "values": [1]}], "summary": {"sky": ["mean", "median"]}})",
           "summary: 'sky': unknown statistic 'median'");
    // The entry form: a scale must be a finite number (the reader refuses
    // a number beyond the doubles, such as 1e999, itself).
    const std::string v = m + R"("vary": [{"set": "stop", "values": [1]}], )";
    expect(v + R"("summary": [{"signal": "sky", "stats": ["mean"], "scale": "0.1"}]})",
           "summary[1]: 'scale' must be a finite number");
    expect(v + R"("summary": [{"signal": "sky", "stats": ["mean"], "scale": null}]})",
           "summary[1]: 'scale' must be a finite number");
    expect(v + R"("summary": [{"signal": "sky", "stats": ["mean"], "scale": 1e999}]})", "out of the range of a double");
    expect(v + R"("summary": [{"stats": ["mean"]}]})", "summary[1]: 'signal' must be given");
    expect(v + R"("summary": [{"signal": "sky", "stats": "mean", "unit": "K"}]})", "summary[1]: unknown key 'unit'");
    expect(v + R"("summary": [{"signal": "sky", "stats": "mean"}, {"signal": "sky", "stats": "mean"}]})",
           "summary[2]: the column 'sky.mean' is asked for twice");
    writeFile(f.dir / "runs.csv", "stop,step\n3600,600\n7200\n");
    expect(m + R"("runs": "runs.csv"})", "runs 'runs.csv', run 2 (line 3): has 1 cell; the header has 2");
    writeFile(f.dir / "runs.csv", "stop,step\n3600,ten\n");
    expect(m + R"("runs": "runs.csv"})", "runs 'runs.csv', run 1 (line 2): step: takes a number; the value given is 'ten'");
    writeFile(f.dir / "runs.csv", "stop,step\n");
    expect(m + R"("runs": "runs.csv"})", "runs 'runs.csv': has a header but no runs");
    // A sink's file outside the run's folder would be written by every run.
    writeFile(f.dir / "abs.json", std::string(kModel).replace(std::string(kModel).find("\"out.csv\""), 9, "\"/tmp/out.csv\""));
    expect(R"({"model": "abs.json", "vary": [{"set": "stop", "values": [1]}]})",
           "sinks[0]: '/tmp/out.csv' lies outside the run's folder");
    expect(R"({"model": "nothere.json", "vary": [{"set": "stop", "values": [1]}]})", "cannot open the model file");
}

TEST(StudyFile, StatisticsFollowTheirDefinitions)
{
    // A summary entry with a scale and a name: a slot of its own for the
    // signal, columns named after the name; the object form scales by 1.
    {
        Folder f;
        study::Study s = f.load(R"({"model": "model.json", "vary": [{"set": "stop", "values": [1]}],
            "summary": [{"signal": "sky", "stats": ["integral", "max"], "scale": 2.7777777777777776e-07, "name": "sky_kh"},
                        {"signal": "sky", "stats": "mean"}]})");
        EXPECT_EQ(s.columns(), (std::vector<std::string>{"sky_kh.integral", "sky_kh.max", "sky.mean"}));
        EXPECT_EQ(s.signals, (std::vector<std::string>{"sky", "sky"}));
        EXPECT_EQ(s.scales, (std::vector<double>{2.7777777777777776e-07, 1.0}));
    }

    // Rows (t, v): (0, 1), (10, 3), (30, -2), (60, 4).
    study::Accumulator a;
    a.add(0, 1);
    a.add(10, 3);
    a.add(30, -2);
    a.add(60, 4);
    EXPECT_EQ(a.get(study::Statistic::kSum), 6.0);
    EXPECT_EQ(a.get(study::Statistic::kMean), 1.5);
    EXPECT_EQ(a.get(study::Statistic::kMin), -2.0);
    EXPECT_EQ(a.get(study::Statistic::kMax), 4.0);
    // Each value held until the next row: 1 x 10 + 3 x 20 + (-2) x 30; the last row adds nothing.
    EXPECT_EQ(a.get(study::Statistic::kIntegral), 10.0);
    a.add(70, std::numeric_limits<double>::quiet_NaN());
    a.add(80, 5);
    for (study::Statistic s : {study::Statistic::kMean, study::Statistic::kMin, study::Statistic::kMax,
                               study::Statistic::kSum, study::Statistic::kIntegral})
        EXPECT_TRUE(std::isnan(a.get(s))) << study::statisticName(s);
    EXPECT_TRUE(std::isnan(study::Accumulator().get(study::Statistic::kMin)));
}

TEST(Overrides, EveryKindOfPath)
{
    json doc = simrun::readModelDocument(kModel, "model.json");
    simrun::applyOverride(doc, "start", 600);
    simrun::applyOverride(doc, "sources.weather.file", "data/w.csv", "/base");
    EXPECT_EQ(doc["sources"][0]["file"], "/base/data/w.csv");  // a relative name is taken in the folder given
    simrun::applyOverride(doc, "sources.weather.file", "/abs/w.csv", "/base");
    simrun::applyOverride(doc, "blocks.log.parameters[2]", simrun::overrideValue(doc, "blocks.log.parameters[2]", "1e3"));
    simrun::applyOverride(doc, "blocks.sky.parameters[1]", simrun::overrideValue(doc, "blocks.sky.parameters[1]", "1e3"));
    EXPECT_EQ(doc["blocks"][0]["parameters"][0], 1000.0);  // a number where the model has a number
    simrun::applyOverride(doc, "blocks.sky.parameters[1]", json{{"source", "weather"}, {"site", "latitude"}});
    simrun::applyOverride(doc, "sources.cloud.value", simrun::overrideValue(doc, "sources.cloud.value", "[0.1, 0.2]"));
    simrun::applyOverride(doc, "sinks[1].every", 1200);
    EXPECT_EQ(doc["start"], 600);
    EXPECT_EQ(doc["sources"][0]["file"], "/abs/w.csv");
    EXPECT_EQ(doc["blocks"][1]["parameters"][1], "1e3");  // text where the model has text
    EXPECT_EQ(doc["blocks"][0]["parameters"][0]["site"], "latitude");
    EXPECT_EQ(doc["sources"][1]["value"], json::array({0.1, 0.2}));
    EXPECT_EQ(doc["sinks"][0]["every"], 1200);
    json before = doc;
    EXPECT_THROW(simrun::applyOverride(doc, "sinks[0].every", 1), simrun::ModelError);  // lists count from 1
    EXPECT_THROW(simrun::applyOverride(doc, "stop", "3600"), simrun::ModelError);
    EXPECT_THROW(simrun::applyOverride(doc, "sinks[1].every", -1), simrun::ModelError);
    EXPECT_THROW(simrun::overrideValue(doc, "sources.cloud.value", "[]"), simrun::ModelError);
    EXPECT_EQ(doc, before);  // a refused override changes nothing
}

TEST(StudyResults, RecordsCountOnlyWhenWholeAndTheirFilesAreThere)
{
    Folder f;
    study::Study s = f.load(R"({"model": "model.json", "vary": [{"set": "stop", "values": [600, 1200, 1800]}]})");
    study::Results results(f.dir / "out", s);
    auto record = [&](std::uint64_t run, study::Status status, double finished) {
        study::RunRecord r;
        r.run = run;
        r.status = status;
        r.finished = finished;
        std::filesystem::create_directories(results.runDir(run));
        writeFile(results.runDir(run) + "/out.csv", "time\n0\n");
        r.files = study::folderFiles(results.runDir(run));
        return r;
    };
    {
        study::RecordLog log(results.manifestDir());
        log.append(record(1, study::Status::kFailed, 2));
        log.append(record(1, study::Status::kOk, 1));      // ok counts before failed, whatever the time
        log.append(record(2, study::Status::kStopped, 1));
        log.append(record(2, study::Status::kFailed, 2));
        log.append(record(3, study::Status::kOk, 3));
    }
    // A record cut short by a process that died while writing it.
    std::string line = study::recordLine(record(2, study::Status::kOk, 9));
    writeFile(results.manifestDir() + "/cut.records", line.substr(0, line.size() / 2));
    results.scan();
    EXPECT_EQ(results.status(1), study::Status::kOk);
    EXPECT_EQ(results.status(2), study::Status::kFailed);
    EXPECT_EQ(results.status(3), study::Status::kOk);
    // Run 3's file is gone: its record no longer counts.
    std::filesystem::remove(results.runDir(3) + "/out.csv");
    results.scan();
    EXPECT_EQ(results.status(3), study::Status::kNone);
    EXPECT_EQ(results.changedFiles(), 1u);

    // A folder made before run folders were spread by thousands keeps its
    // runs/<run>/, so that a resumed study finds its files where they are.
    std::string manifest = readFile(results.manifestDir() + "/study.json");
    EXPECT_EQ(results.runDir(3), results.dir() + "/runs/0000/003");
    nlohmann::json old = nlohmann::json::parse(manifest);
    old.erase("layout");
    writeFile(results.manifestDir() + "/study.json", old.dump());
    study::Results before(f.dir / "out", s);
    EXPECT_EQ(before.runDir(1234), before.dir() + "/runs/1234");
    std::filesystem::create_directories(before.runDir(1));
    std::filesystem::rename(results.runDir(1) + "/out.csv", before.runDir(1) + "/out.csv");
    before.scan();
    EXPECT_EQ(before.status(1), study::Status::kOk);

    // The folder belongs to this study: another one is refused.
    study::Study other = f.load(R"({"model": "model.json", "vary": [{"set": "stop", "values": [600, 1200]}]})");
    try {
        study::Results again(f.dir / "out", other);
        ADD_FAILURE() << "another study's folder was accepted";
    } catch (const study::StudyError &e) {
        EXPECT_NE(std::string(e.what()).find("holds the results of another study"), std::string::npos) << e.what();
    }
}

}  // namespace
