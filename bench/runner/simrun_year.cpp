// A year of the roof example at 60-second steps (525600 steps): the model
// runner (sources, data-flow schedule, signal routing, requests through each
// library's mexFunction, a CSV row per simulated hour) against the same four
// blocks' output functions called directly in a loop on the same inputs.
// Goal: the runner adds at most 50% to the blocks' own compute.
//
//   build/bin/bench_simrun_year [Google Benchmark options]
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "engine.h"
#include "model_file.h"
#include "runner.h"

namespace {

const long long kSteps = 525600;
const double kStep = 60;
std::string gDir;             // the year's weather and the CSV output
std::vector<double> gHourly;  // T, RH, N per hour of the year

// A year of hourly weather by the formulas of examples/data/make-data.sh,
// with a seasonal swing of the temperature added.
void makeWeather()
{
    const double pi = 3.141592653589793;
    std::ofstream out(gDir + "/weather-year.csv");
    out << "hour,T,RH,N\n";
    for (int h = 0; h <= 8760; ++h) {
        double d = h % 24;
        double s = std::sin(2 * pi * (d - 9) / 24);
        double season = -8 * std::cos(2 * pi * h / 8760.0);
        double T = std::round((9 + season + 8 * s) * 100) / 100;
        double RH = std::round((70 - 25 * s) * 10) / 10;
        double N = std::round((0.5 + 0.4 * std::sin(2 * pi * d / 24)) * 100) / 100;
        out << h << ',' << T << ',' << RH << ',' << N << '\n';
        gHourly.insert(gHourly.end(), {T, RH, N});
    }
}

std::string roofModel()
{
    return R"({"start": 0, "stop": )" + std::to_string((kSteps - 1) * 60) + R"(, "step": 60,
      "sources": [{"name": "clock", "type": "clock"},
                  {"name": "weather", "type": "csv", "file": "weather-year.csv", "time": "hour", "time_unit": "h"}],
      "blocks": [{"name": "declination", "type": "heliolean", "inputs": ["clock"]},
                 {"name": "solar_time", "type": "heliohour", "parameters": [-15, -8.55], "inputs": ["clock"]},
                 {"name": "irradiance", "type": "topflux", "inputs": ["clock"]},
                 {"name": "sky", "type": "atmoglow", "parameters": [1], "inputs": ["weather"]}],
      "sinks": [{"type": "csv", "file": ")" + gDir + R"(/roof-year.csv", "every": 3600,
                 "signals": ["declination", "solar_time", "irradiance", "weather", "sky"]}]})";
}

void BM_RunnerYear(benchmark::State &state)
{
    simrun::ModelDef model = simrun::parseModel(roofModel(), gDir + "/roof-year.json");
    simrun::RunOptions options;
    options.libDirs = {SIMBLOCKS_LIB_DIR};
    options.progress = false;
    long long steps = 0;
    for (auto _ : state) steps += simrun::runModel(model, options).steps;
    state.counters["steps/s"] = benchmark::Counter(static_cast<double>(steps), benchmark::Counter::kIsRate);
}

void BM_DirectYear(benchmark::State &state)
{
    engine::Model m;
    std::vector<std::unique_ptr<engine::Block>> blocks;
    auto add = [&](const char *name, std::vector<const mxArray *> params) {
        auto lib = engine::Library::load(std::string(SIMBLOCKS_LIB_DIR) + "/" + name + ".so");
        blocks.push_back(std::make_unique<engine::Block>(m, lib, name, params));
        blocks.back()->initializeSizes();
        blocks.back()->allocate();
        return blocks.back().get();
    };
    mxArray *zone = mxCreateDoubleScalar(15), *site = mxCreateDoubleScalar(8.55), *on = mxCreateDoubleScalar(1);
    double time = 0, weather[3] = {0, 0, 0};
    for (engine::Block *b : {add("heliolean", {}), add("heliohour", {zone, site}), add("topflux", {})})
        b->connectInput(0, 0, &time);
    engine::Block *sky = add("atmoglow", {on});
    for (int e = 0; e < 3; ++e) sky->connectInput(0, e, &weather[e]);
    mxDestroyArray(zone);
    mxDestroyArray(site);
    mxDestroyArray(on);
    std::vector<std::pair<mdlTidFcn, SimStruct *>> calls;
    for (auto &b : blocks) {
        b->request(engine::kSampleTimes);
        calls.emplace_back(b->instance()->modelMethods.mdlOutputs, b->instance());
    }
    double sink = 0;
    for (auto _ : state) {
        for (long long k = 0; k < kSteps; ++k) {
            time = static_cast<double>(k) * kStep;
            m.setTime(time);
            const double *row = &gHourly[static_cast<std::size_t>(k / 60) * 3];
            weather[0] = row[0];
            weather[1] = row[1];
            weather[2] = row[2];
            for (auto &c : calls) c.first(c.second, 0);
            sink += *sky->output(0);
        }
    }
    benchmark::DoNotOptimize(sink);
    state.counters["steps/s"] = benchmark::Counter(static_cast<double>(state.iterations() * kSteps),
                                                   benchmark::Counter::kIsRate);
}

BENCHMARK(BM_RunnerYear)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_DirectYear)->Unit(benchmark::kMillisecond)->Iterations(3);

// Keeps the processor time per iteration of each benchmark for the summary
// (processor time, not wall-clock time, so that other work on the machine
// does not count).
class Summary : public benchmark::ConsoleReporter {
public:
    std::map<std::string, double> ms;
    void ReportRuns(const std::vector<Run> &runs) override
    {
        for (const Run &r : runs) ms[r.benchmark_name()] = r.GetAdjustedCPUTime();
        ConsoleReporter::ReportRuns(runs);
    }
};

}  // namespace

int main(int argc, char **argv)
{
    benchmark::Initialize(&argc, argv);
    std::string templ = (std::filesystem::temp_directory_path() / "simrun-bench-XXXXXX").string();
    if (mkdtemp(&templ[0]) == nullptr) return 1;
    gDir = templ;
    makeWeather();
    Summary summary;
    benchmark::RunSpecifiedBenchmarks(&summary);
    double runner = 0, direct = 0;
    for (const auto &r : summary.ms) {
        if (r.first.find("BM_RunnerYear") == 0) runner = r.second;
        if (r.first.find("BM_DirectYear") == 0) direct = r.second;
    }
    if (runner > 0 && direct > 0) {
        double perStep = (runner - direct) * 1e6 / static_cast<double>(kSteps);
        std::printf("\nA year of the roof model, %lld steps of 60 s (processor time):\n", kSteps);
        std::printf("  runner  %8.1f ms  (%.0f steps/s)\n", runner, kSteps / runner * 1e3);
        std::printf("  direct  %8.1f ms  (%.0f steps/s)\n", direct, kSteps / direct * 1e3);
        std::printf("  the runner's own cost: %.0f ns per step, %.1f%% on top of the blocks' compute (goal: <= 50%%) %s\n",
                    perStep, (runner / direct - 1) * 100, runner <= 1.5 * direct ? "MET" : "NOT MET");
    }
    std::filesystem::remove_all(gDir);
    return 0;
}
