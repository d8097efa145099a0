// Models with standard blocks and continuous states, driven through the
// engine as the runner drives it (sources filled at each step, outputs,
// sinks read, updates), checked against closed forms.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "simulation.h"
#include "support/testutil.h"

namespace {

using engine::EngineError;
using engine::Simulation;
using engine::StdParam;

StdParam num(double v) { return StdParam{false, "", 1, 1, {v}}; }
StdParam row(std::vector<double> v)
{
    const int n = static_cast<int>(v.size());
    return StdParam{false, "", 1, n, std::move(v)};
}
StdParam mat(int rows, int cols, std::vector<double> v) { return StdParam{false, "", rows, cols, std::move(v)}; }
StdParam text(const std::string &s) { return StdParam{true, s, 0, 0, {}}; }

// A model under test: sources, blocks (standard or library) wired by name,
// and a run loop like the runner's.
struct Model {
    Simulation sim;
    std::vector<std::function<void(double)>> fills;

    explicit Model(const std::string &method = "bdf", double rtol = 1e-6, double atol = 1e-6, double maxStep = 0)
    {
        engine::SolverOptions o;
        o.method = method;
        o.rtol = rtol;
        o.atol = atol;
        o.maxStep = maxStep;
        sim.setSolver(o);
    }
    void constant(const std::string &name, std::vector<double> v)
    {
        int node = sim.addSource(name, static_cast<int>(v.size()), engine::kConstantPeriod);
        std::copy(v.begin(), v.end(), sim.sourceData(node));
    }
    // A scalar source that is a function of time.
    void timed(const std::string &name, std::function<double(double)> f)
    {
        int node = sim.addSource(name, 1);
        double *d = sim.sourceData(node);
        auto fill = [d, f](double t) { *d = f(t); };
        fills.push_back(fill);
        sim.setSourceFunction(node, fill);
    }
    void block(const std::string &name, const std::string &type, std::vector<StdParam> params,
               std::vector<std::string> inputs)
    {
        int node = sim.addStandardBlock(name, type, params);
        wire(node, inputs);
    }
    void wire(int node, const std::vector<std::string> &inputs)
    {
        for (std::size_t p = 0; p < inputs.size(); ++p) {
            int from = sim.find(inputs[p]);
            ASSERT_GE(from, 0) << inputs[p];
            sim.connect(node, static_cast<int>(p), {engine::SignalPiece{from, 0, 0, -1}});
        }
    }
    double value(const std::string &name, int element = 0) { return *sim.signal(sim.find(name), 0, element); }
    // Runs start..stop; 'each' reads the signals at every step.
    void run(double start, double step, double stop, const std::function<void(long long, double)> &each = nullptr)
    {
        sim.prepare(start, step, stop);
        sim.start();
        for (long long k = 0; k < sim.numSteps(); ++k) {
            const double t = sim.timeAt(k);
            for (auto &f : fills) f(t);
            sim.outputs(k);
            if (each) each(k, t);
            sim.updates(k);
        }
        sim.terminate();
    }
};

std::string errorOf(const std::function<void()> &f)
{
    try {
        f();
    } catch (const EngineError &e) {
        return e.what();
    }
    return "(no error)";
}

// x' = 2 from x0 = 1 gives 1 + 2t; x' = t from 0 gives t^2/2. RK4 and Euler
// integrate a constant exactly, RK4 a ramp too (its quadrature is exact for
// polynomials of degree 3); CVODE within its tolerance.
TEST(EngineSystems, IntegratorOfConstantAndRamp)
{
    for (const char *method : {"rk4", "euler", "bdf", "adams"}) {
        Model m(method, 1e-10, 1e-10);
        m.constant("two", {2});
        m.timed("clock", [](double t) { return t; });
        m.block("c", "integrator", {num(1)}, {"two"});
        m.block("r", "integrator", {num(0)}, {"clock"});
        const std::string mth = method;
        m.run(0, 0.5, 10, [&](long long, double t) {
            EXPECT_NEAR(m.value("c"), 1 + 2 * t, mth == "rk4" || mth == "euler" ? 1e-12 : 1e-8) << mth << " t=" << t;
            if (mth != "euler") {
                EXPECT_NEAR(m.value("r"), t * t / 2, mth == "rk4" ? 1e-12 : 1e-7) << mth << " t=" << t;
            }
        });
    }
}

// Step responses against their closed forms, on bdf and adams:
//   1/(10 s + 1):          1 - exp(-t/10)
//   1/(s^2 + 3 s + 2):     1/2 - exp(-t) + exp(-2t)/2   (partial fractions, poles -1, -2)
//   (s + 3)/(s + 1):       3 - 2 exp(-t)                (1 + 2/(s + 1): direct feedthrough)
//   dx/dt = [-2 1; 1 -2] x + [1; 0] u, x(0) = 0, u = 1: eigenvalues -1 ([1 1]) and -3 ([1 -1]),
//   steady state [2/3 1/3], so x1 = 2/3 - exp(-t)/2 - exp(-3t)/6, x2 = 1/3 - exp(-t)/2 + exp(-3t)/6.
TEST(EngineSystems, StepResponsesMatchClosedForms)
{
    for (const char *method : {"bdf", "adams"}) {
        Model m(method, 1e-9, 1e-9);
        m.constant("one", {1});
        m.block("first", "transfer", {row({1}), row({10, 1})}, {"one"});
        m.block("second", "transfer", {row({1}), row({1, 3, 2})}, {"one"});
        m.block("lead", "transfer", {row({1, 3}), row({1, 1})}, {"one"});
        m.block("ss", "statespace", {mat(2, 2, {-2, 1, 1, -2}), mat(2, 1, {1, 0}), mat(2, 2, {1, 0, 0, 1}), mat(2, 1, {0, 0}), row({0, 0})},
                {"one"});
        double worst = 0;
        m.run(0, 0.25, 20, [&](long long, double t) {
            const double expect[] = {1 - std::exp(-t / 10), 0.5 - std::exp(-t) + std::exp(-2 * t) / 2, 3 - 2 * std::exp(-t),
                                     2.0 / 3 - std::exp(-t) / 2 - std::exp(-3 * t) / 6, 1.0 / 3 - std::exp(-t) / 2 + std::exp(-3 * t) / 6};
            const double got[] = {m.value("first"), m.value("second"), m.value("lead"), m.value("ss", 0), m.value("ss", 1)};
            for (int i = 0; i < 5; ++i) worst = std::max(worst, std::fabs(got[i] - expect[i]));
        });
        EXPECT_LT(worst, 1e-6) << method;
        EXPECT_GT(m.sim.solverStats().steps, 0) << method;
        EXPECT_GT(m.sim.solverStats().rhsEvaluations, m.sim.solverStats().steps) << method;
    }
}

// Each formula against the C library's value of the same expression.
TEST(EngineSystems, ExpressionMatchesCMaths)
{
    const double a = 0.7, b = 2.5, t = 3;
    const struct {
        const char *formula;
        double expect;
    } cases[] = {
        {"sin(u1) + cos(u2) * tan(u1)", std::sin(a) + std::cos(b) * std::tan(a)},
        {"asin(u1) - acos(u1) + atan(u2)", std::asin(a) - std::acos(a) + std::atan(b)},
        {"atan2(u1, -u2)", std::atan2(a, -b)},
        {"sinh(u1) * cosh(u2) / tanh(u1)", std::sinh(a) * std::cosh(b) / std::tanh(a)},
        {"exp(u2)", std::exp(b)},
        {"log(u2)", std::log(b)},  // natural, as C's
        {"log10(u2) + log2(u2)", std::log10(b) + std::log2(b)},
        {"sqrt(u2) + abs(-u1) + fabs(-u2)", std::sqrt(b) + std::fabs(-a) + std::fabs(-b)},
        {"min(u1, u2) + max(u1, u2)", std::fmin(a, b) + std::fmax(a, b)},
        {"pow(u2, u1) + u2^3", std::pow(b, a) + std::pow(b, 3)},
        {"floor(u2) + ceil(u1) + trunc(-u2)", std::floor(b) + std::ceil(a) + std::trunc(-b)},
        {"round(u2) + round(-u2)", std::round(b) + std::round(-b)},  // halves away from zero: 3 - 3
        {"rint(u2)", std::rint(b)},                                  // to even: 2
        {"fmod(u2, u1) + hypot(u1, u2)", std::fmod(b, a) + std::hypot(a, b)},
        {"u1 > u2 ? t : -t", -t},
        {"(u1 <= u2) + (u1 == u2) + (u1 != u2) && 1", 1},
        {"-u1^2 + 2*t", -(a * a) + 2 * t},
    };
    Model m;
    m.timed("clock", [](double s) { return s; });
    m.constant("ab", {a, b});
    int i = 0;
    for (const auto &c : cases) m.block("f" + std::to_string(i++), "expression", {text(c.formula)}, {"ab"});
    m.block("one", "expression", {text("2 * u + t")}, {"clock"});  // u: the input when it has one element
    m.run(t, 1, t, [&](long long, double) {
        int j = 0;
        for (const auto &c : cases) EXPECT_DOUBLE_EQ(m.value("f" + std::to_string(j++)), c.expect) << c.formula;
        EXPECT_DOUBLE_EQ(m.value("one"), 9);
    });
}

// Breakpoints [0 1 3], values [10 20 0], by hand:
//   u         -1    0   0.5   1    2    3    4
//   linear    10   10   15   20   10    0    0     (clamp)
//   extrap.    0   10   15   20   10    0  -10     (end segments continued: slope 10, then -10)
//   hold      10   10   10   20   20    0    0
TEST(EngineSystems, LookupAtAndBetweenBreakpoints)
{
    Model m;
    m.constant("u", {-1, 0, 0.5, 1, 2, 3, 4});
    m.block("lin", "lookup", {row({0, 1, 3}), row({10, 20, 0})}, {"u"});
    m.block("ext", "lookup", {row({0, 1, 3}), row({10, 20, 0}), text("linear"), text("extrapolate")}, {"u"});
    m.block("hold", "lookup", {row({0, 1, 3}), row({10, 20, 0}), text("hold"), text("clamp")}, {"u"});
    const std::vector<double> lin = {10, 10, 15, 20, 10, 0, 0}, ext = {0, 10, 15, 20, 10, 0, -10}, hold = {10, 10, 10, 20, 20, 0, 0};
    m.run(0, 1, 0, [&](long long, double) {
        for (int e = 0; e < 7; ++e) {
            EXPECT_DOUBLE_EQ(m.value("lin", e), lin[static_cast<std::size_t>(e)]) << e;
            EXPECT_DOUBLE_EQ(m.value("ext", e), ext[static_cast<std::size_t>(e)]) << e;
            EXPECT_DOUBLE_EQ(m.value("hold", e), hold[static_cast<std::size_t>(e)]) << e;
        }
    });
}

// Located switching. The relay's input x = t rises through its on point 2.5 at t = 2.5 and,
// turning at t = 6 (x = 12 - t), falls to its off point 1.25 at t = 10.75;
// its output (1 when on) integrated is z = t - 2.5 while on, so z(6) = 3.5
// and z(12) = 10.75 - 2.5 = 8.25 whatever the model's step, because the
// crossings are located (switching at the next step would be up to a step
// late).
TEST(EngineSystems, RelaySwitchesWhereTheInputCrosses)
{
    for (const char *method : {"bdf", "adams", "rk4", "euler"})
        for (double step : {0.5, 1.0, 2.0, 3.0}) {
            Model m(method, 1e-10, 1e-10);
            m.timed("clock", [](double t) { return t; });
            m.block("x", "expression", {text("u < 6 ? u : 12 - u")}, {"clock"});
            m.block("on", "relay", {num(2.5), num(1.25), num(1), num(0)}, {"x"});
            m.block("z", "integrator", {num(0)}, {"on"});
            // An integrator of x (rate 1 up to t = 6, then -1) held within
            // [0, 2]: it reaches 2 at t = 2, leaves it at t = 6, falls to 0
            // at t = 8 and stays there: min(t, 2), then max(2 - (t - 6), 0).
            m.block("rate", "expression", {text("u < 6 ? 1 : -1")}, {"clock"});
            m.block("held", "integrator", {num(0), num(0), num(2)}, {"rate"});
            const std::string where = std::string(method) + " step " + std::to_string(step);
            m.run(0, step, 12, [&](long long, double t) {
                if (t == 6) {
                    EXPECT_NEAR(m.value("z"), 3.5, 1e-7) << where;
                }
                if (t == 12) {
                    EXPECT_NEAR(m.value("z"), 8.25, 1e-7) << where;
                }
                EXPECT_NEAR(m.value("held"), t <= 6 ? std::min(t, 2.0) : std::max(2 - (t - 6), 0.0), 1e-7) << where << " t=" << t;
            });
            // The relay twice; the integrator reaching 2, leaving it, reaching 0.
            EXPECT_EQ(m.sim.solverStats().events, 5) << where;
        }
}

// Loops: through an integrator (x' = -x: exp(-t)), through a delay
// (d_k = 0.5 d_(k-1), d_0 = 1: 0.5^k) and through a library block closed by
// a state (x' = -(degreeswap C->K of x - 273.15)/10 with the library's
// output held over each step of 1: x_k = 0.9^k exactly). A loop of
// feedthrough blocks is refused, naming its blocks in order.
TEST(EngineSystems, LoopsThroughStatesRunAndAlgebraicLoopsAreRefused)
{
    {
        Model m("bdf", 1e-10, 1e-10);
        m.sim.addStandardBlock("x", "integrator", {num(1)});
        m.block("g", "gain", {num(-1)}, {"x"});
        m.wire(m.sim.find("x"), {"g"});
        m.sim.addStandardBlock("d", "delay", {num(1)});
        m.block("h", "gain", {num(0.5)}, {"d"});
        m.wire(m.sim.find("d"), {"h"});
        m.run(0, 0.5, 5, [&](long long k, double t) {
            EXPECT_NEAR(m.value("x"), std::exp(-t), 1e-8) << t;
            EXPECT_DOUBLE_EQ(m.value("d"), std::pow(0.5, static_cast<double>(k))) << k;
        });
    }
    {
        Model m;
        m.constant("ice", {273.15});
        m.sim.addStandardBlock("x", "integrator", {num(1)});
        const int k = m.sim.addBlock("kelvin", testutil::library("degreeswap"), testutil::Args{testutil::num(1), testutil::num(2)}.view());
        m.wire(k, {"x"});
        m.block("dev", "sum", {text("+-")}, {"kelvin", "ice"});
        m.block("rate", "gain", {num(-0.1)}, {"dev"});
        m.wire(m.sim.find("x"), {"rate"});
        m.run(0, 1, 10, [&](long long n, double) { EXPECT_NEAR(m.value("x"), std::pow(0.9, static_cast<double>(n)), 1e-9) << n; });
    }
    {
        Model m;
        m.constant("one", {1});
        m.sim.addStandardBlock("a", "gain", {num(2)});
        m.block("b", "sum", {text("+-")}, {"a", "one"});
        m.wire(m.sim.find("a"), {"b"});
        const std::string e = errorOf([&] { m.sim.prepare(0, 1, 1); });
        EXPECT_TRUE(e.rfind("algebraic loop: a -> b -> a", 0) == 0 || e.rfind("algebraic loop: b -> a -> b", 0) == 0) << e;
    }
    {
        // (s + 3)/(s + 1) passes its input through at once: no loop breaker.
        Model m;
        m.sim.addStandardBlock("lead", "transfer", {row({1, 3}), row({1, 1})});
        m.block("back", "gain", {num(-1)}, {"lead"});
        m.wire(m.sim.find("lead"), {"back"});
        const std::string e = errorOf([&] { m.sim.prepare(0, 1, 1); });
        EXPECT_TRUE(e.rfind("algebraic loop: lead -> back -> lead", 0) == 0 || e.rfind("algebraic loop: back -> lead -> back", 0) == 0) << e;
    }
}

// Each bad parameter is refused with the block, the parameter and what is wrong.
TEST(EngineSystems, BadParametersAreRefused)
{
    const struct {
        const char *type;
        std::vector<StdParam> params;
        const char *message;
    } cases[] = {
        {"statespace", {mat(2, 2, {-1, 0, 0, -1}), mat(3, 1, {1, 0, 0}), mat(1, 2, {1, 0}), num(0), row({0, 0})},
         "block 'b' (statespace): parameter 2 (B) has 3 rows, A has 2"},
        {"statespace", {mat(2, 3, {-1, 0, 0, 0, -1, 0}), mat(2, 1, {1, 0}), mat(1, 2, {1, 0}), num(0), row({0, 0})},
         "block 'b' (statespace): parameter 1 (A) must be square, not 2x3"},
        {"statespace", {mat(2, 2, {-1, 0, 0, -1}), mat(2, 1, {1, 0}), mat(1, 3, {1, 0, 0}), num(0), row({0, 0})},
         "block 'b' (statespace): parameter 3 (C) has 3 columns, A has 2"},
        {"statespace", {mat(2, 2, {-1, 0, 0, -1}), mat(2, 1, {1, 0}), mat(1, 2, {1, 0}), row({0, 0}), row({0, 0})},
         "block 'b' (statespace): parameter 4 (D) is 1x2, it must be rows(C) x columns(B) = 1x1"},
        {"transfer", {row({1, 0, 0}), row({1, 1})},
         "block 'b' (transfer): parameter 1 (numerator) has degree 2, above the denominator's 1: the transfer function is improper"},
        {"relay", {num(0), num(1), num(1), num(0)},
         "block 'b' (relay): parameter 1 (on_point) 0 is below parameter 2 (off_point) 1"},
        {"lookup", {row({0, 2, 1}), row({1, 2, 3})},
         "block 'b' (lookup): parameter 1 (breakpoints) must increase: breakpoint 3 (1) is not above breakpoint 2 (2)"},
        {"lookup", {row({0, 1, 2}), row({1, 2})},
         "block 'b' (lookup): parameter 2 (values) has 2 values but parameter 1 (breakpoints) has 3"},
        {"sum", {text("+-x")}, "block 'b' (sum): parameter 1 (signs) '+-x' has 'x' at character 3 (only '+' and '-')"},
        {"product", {text("*+")}, "block 'b' (product): parameter 1 (ops) '*+' has '+' at character 2"},
        {"expression", {text("u1 + * 2")},
         "block 'b' (expression): parameter 1 (formula) 'u1 + * 2' does not parse: Unexpected operator \"*\" found at position 5"},
        {"expression", {text("u1 + x")}, "block 'b' (expression): parameter 1 (formula) names an unknown variable 'x'"},
        {"gain", {text("2")}, "block 'b' (gain): parameter 1 (k) must be numbers, not the text '2'"},
        {"relay", {num(1), num(0)}, "block 'b' (relay): expects 4 parameters (on_point, off_point, on_value, off_value), got 2"},
    };
    for (const auto &c : cases) {
        Simulation sim;
        const std::string e = errorOf([&] { sim.addStandardBlock("b", c.type, c.params); });
        EXPECT_EQ(e.rfind(c.message, 0), 0u) << e << "\nexpected: " << c.message;
    }
    // What only the wiring tells: a statespace's input of the wrong width, a
    // formula naming an element the input does not have.
    {
        Model m;
        m.constant("uv", {1, 2});
        m.block("b", "statespace", {mat(1, 1, {-1}), mat(1, 1, {1}), mat(1, 1, {1}), num(0), num(0)}, {"uv"});
        EXPECT_EQ(errorOf([&] { m.sim.prepare(0, 1, 1); }),
                  "block 'b' (statespace): input port 1 has width 1 but is connected to a signal of width 2");
    }
    {
        Model m;
        m.constant("uv", {1, 2});
        m.block("b", "expression", {text("u1 + u3")}, {"uv"});
        EXPECT_EQ(errorOf([&] { m.sim.prepare(0, 1, 1); }), "block 'b' (expression): parameter 1 (formula) names 'u3' but the input has 2 elements");
    }
    engine::SolverOptions o;
    o.method = "foo";
    EXPECT_EQ(errorOf([&] { engine::checkSolverOptions(o); }), "solver: unknown method 'foo' (bdf, adams, rk4, euler)");
    o.method = "bdf";
    o.rtol = 0;
    EXPECT_EQ(errorOf([&] { engine::checkSolverOptions(o); }), "solver: rtol must be positive");
    o.rtol = 1e-6;
    o.atol = -1;
    EXPECT_EQ(errorOf([&] { engine::checkSolverOptions(o); }), "solver: atol must be positive");
}

// dx/dt = x^2, x(0) = 1 is x = 1/(1 - t): it goes to infinity at t = 1. The
// run stops there with the solver's reason and the time; the steps before
// were computed.
TEST(EngineSystems, SolverFailureNamesTheTime)
{
    for (const char *method : {"bdf", "rk4"}) {
        Model m(method);
        m.sim.addStandardBlock("x", "integrator", {num(1)});
        m.block("sq", "product", {text("**")}, {"x", "x"});
        m.wire(m.sim.find("x"), {"sq"});
        long long rows = 0;
        const std::string e = errorOf([&] { m.run(0, 0.25, 3, [&](long long, double) { ++rows; }); });
        const std::string prefix = "solver (" + std::string(method) + ") failed at t = ";
        ASSERT_EQ(e.rfind(prefix, 0), 0u) << e;
        const double at = std::strtod(e.c_str() + prefix.size(), nullptr);
        if (std::string(method) == "bdf") EXPECT_NEAR(at, 1.0, 1e-3) << e;  // CVODE gives up at the singularity
        else EXPECT_GE(at, 1.0) << e;                                        // RK4 steps over it and overflows after
        EXPECT_GE(rows, 4) << e;  // t = 0, 0.25, 0.5, 0.75 at least
        EXPECT_NE(e.find(" s: "), std::string::npos) << e;
    }
}

}  // namespace
