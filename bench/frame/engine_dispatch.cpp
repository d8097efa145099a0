// Cost of one output request through mexFunction (the engine path of the
// frame) against a direct call of the block's own output function, on the
// same instance record, over a day of one-second steps (86400 requests).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>

#include "engine.h"
#include "support/testutil.h"

void mdlOutputs(SimStruct *S, int_T tid);  // compiled into this program from the block's source

namespace {

struct Setup {
    engine::Model model;
    engine::Block block{model, testutil::library("atmoglow"), "sky",
                        testutil::Args{testutil::num(1)}.view()};
    double in[3] = {12.0, 65.0, 0.4};
    Setup()
    {
        block.initializeSizes();
        block.allocate();
        for (int e = 0; e < 3; ++e) block.connectInput(0, e, &in[e]);
        block.request(engine::kSampleTimes);
    }
};

void dayThroughEngine(Setup &s)
{
    for (int t = 0; t < 86400; ++t) {
        s.model.setTime(t);
        s.block.outputs();
    }
}

void dayDirect(Setup &s)
{
    SimStruct *S = s.block.instance();
    for (int t = 0; t < 86400; ++t) {
        s.model.setTime(t);
        mdlOutputs(S, 0);
    }
}

void BM_DayThroughEngine(benchmark::State &state)
{
    Setup s;
    for (auto _ : state) {
        dayThroughEngine(s);
        benchmark::DoNotOptimize(s.block.output(0)[0]);
    }
    state.SetItemsProcessed(state.iterations() * 86400);
}
BENCHMARK(BM_DayThroughEngine)->Unit(benchmark::kMillisecond);

void BM_DayDirect(benchmark::State &state)
{
    Setup s;
    for (auto _ : state) {
        dayDirect(s);
        benchmark::DoNotOptimize(s.block.output(0)[0]);
    }
    state.SetItemsProcessed(state.iterations() * 86400);
}
BENCHMARK(BM_DayDirect)->Unit(benchmark::kMillisecond);

template <class F>
double bestOf(int runs, F f)
{
    double best = 1e300;
    for (int i = 0; i < runs; ++i) {
        auto t0 = std::chrono::steady_clock::now();
        f();
        std::chrono::duration<double> d = std::chrono::steady_clock::now() - t0;
        best = std::min(best, d.count());
    }
    return best;
}

}  // namespace

int main(int argc, char **argv)
{
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();

    Setup s;
    // Interleave the two so that both see the same machine state.
    double engine = 1e300, direct = 1e300;
    for (int round = 0; round < 5; ++round) {
        engine = std::min(engine, bestOf(3, [&] { dayThroughEngine(s); }));
        direct = std::min(direct, bestOf(3, [&] { dayDirect(s); }));
    }
    std::printf("\natmoglow, 86400 output requests: through mexFunction %.1f ns/request, direct %.1f ns/call\n",
                engine / 86400 * 1e9, direct / 86400 * 1e9);
    std::printf("ratio %.3f (goal: at most 1.2)\n", engine / direct);
    return 0;
}
