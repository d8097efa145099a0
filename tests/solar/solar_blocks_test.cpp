// The heliolean, heliohour and topflux blocks driven through the engine, and
// their command-line sizes call through the embedded host.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "solar/solar_formulas.h"
#include "support/testutil.h"

namespace {

using testutil::Args;
using testutil::Harness;
using testutil::num;

const double kDeg = 57.29577951308232;

// Everything the three blocks declare alike.
void expectSolarDeclaration(Harness &h, int numParams)
{
    engine::Block &b = h.block();
    const SimStruct *S = h.S();
    EXPECT_EQ(ssGetNumSFcnParams(S), numParams);
    EXPECT_EQ(ssGetNumContStates(S), 0);
    EXPECT_EQ(ssGetNumDiscStates(S), 0);
    ASSERT_EQ(b.numInputPorts(), 1);
    ASSERT_EQ(b.numOutputPorts(), 1);
    EXPECT_EQ(b.inputWidth(0), 1);
    EXPECT_EQ(b.outputWidth(0), 1);
    EXPECT_TRUE(b.directFeedThrough(0));
    EXPECT_FALSE(b.requiredContiguous(0));
    ASSERT_EQ(b.numSampleTimes(), 1);
    EXPECT_EQ(b.sampleTime(0), -1.0);  // inherited
    EXPECT_EQ(b.offsetTime(0), 0.0);
    EXPECT_EQ(ssGetNumRWork(S) + ssGetNumIWork(S) + ssGetNumPWork(S) + ssGetNumModes(S) + ssGetNumNonsampledZCs(S), 0);
    EXPECT_EQ(ssGetNumDWork(S), 0);
    // Common declaration flags: 0x80000 and 0x800000 set, 0x700000 clear.
    EXPECT_EQ(ssGetFlags(S) & 0xF80000u, 0x880000u);
    // Options 2, plus the bit the frame adds.
    EXPECT_EQ(ssGetOptions(S), 2u | 0x2000u);
    bool asked197 = false;
    for (const engine::GenericRequest &r : h.model().requests())
        if (r.code == 197) asked197 = r.intArg == 0 && r.hasBool && r.boolValue;
    EXPECT_TRUE(asked197);
    // No optional callbacks.
    EXPECT_FALSE(b.hasStart());
    EXPECT_FALSE(b.hasUpdate());
    EXPECT_FALSE(b.hasInitializeConditions());
    EXPECT_EQ(b.tryRequest(engine::kUpdate), "Invalid flag encountered in simulink");
    EXPECT_EQ(b.tryRequest(engine::kStart), "Invalid flag encountered in simulink");
    EXPECT_EQ(b.tryRequest(112), "Unexpected call to mdlCheckParameters");
}

TEST(Heliolean, DeclarationAndOutputs)
{
    Harness h("heliolean", Args{});
    expectSolarDeclaration(h, 0);
    EXPECT_DOUBLE_EQ(h.output1(0, {0}), -23.057597845229232);
    EXPECT_NEAR(h.output1(0, {31536000}), -23.057597845229232, 1e-7);
    // The input, not the simulation time, is what counts; negative times run
    // through the series unchanged.
    for (double u : {-86400.0 * 10, 86400.0 * 172, 1e7, 2.5e7}) {
        const double w = u * 1.992384990861107e-7;
        const double expected = (0.006918 - 0.399912 * std::cos(w) + 0.070257 * std::sin(w) - 0.006758 * std::cos(2 * w)
                                 + 0.000907 * std::sin(2 * w) - 0.002679 * std::cos(3 * w) + 0.00148 * std::sin(3 * w))
                                * kDeg;
        EXPECT_NEAR(h.output1(12345, {u}), expected, 1e-12) << u;
    }
    // Around the June solstice the declination is near +23.4 degrees.
    EXPECT_NEAR(h.output1(0, {86400.0 * 171.5}), 23.4, 0.1);
}

TEST(Topflux, DeclarationAndOutputs)
{
    Harness h("topflux", Args{});
    expectSolarDeclaration(h, 0);
    EXPECT_NEAR(h.output1(0, {0}), 1414.91335, 1e-9);
    EXPECT_NEAR(h.output1(0, {31536000}), 1414.91335, 1e-6);
    EXPECT_EQ(h.output1(0, {-5e6}), extraterrestrial_irradiance(-5e6));
    double lo = 1e9, hi = 0;
    for (double u = 0; u < 31536000; u += 86400) {
        const double y = h.output1(u, {u});
        lo = std::min(lo, y);
        hi = std::max(hi, y);
    }
    EXPECT_NEAR(lo, 1321.3, 0.1);
    EXPECT_NEAR(hi, 1415.0, 0.1);
}

TEST(Heliohour, DeclarationAndOutputs)
{
    Harness h("heliohour", Args{num(15), num(15)});
    expectSolarDeclaration(h, 2);
    // Equal longitudes at t = 0: the equation of time alone, not wrapped.
    EXPECT_NEAR(h.output1(0, {0}), -174.265344, 1e-9);
    // An hour before the year starts the time of day is -3600 s.
    EXPECT_NEAR(h.output1(0, {-3600}), -3600 + equation_of_time(-3600), 1e-9);
}

TEST(Heliohour, LongitudeCorrectionIsFirstMinusSecond)
{
    Harness east("heliohour", Args{num(25), num(10)});
    EXPECT_NEAR(east.output1(0, {43200}), 43200 + 3600 + equation_of_time(43200), 1e-9);
    Harness west("heliohour", Args{num(10), num(25)});
    EXPECT_NEAR(west.output1(0, {43200}), 43200 - 3600 + equation_of_time(43200), 1e-9);
}

TEST(Heliohour, ParametersAreReadAtEveryStep)
{
    Harness h("heliohour", Args{num(0), num(0)});
    EXPECT_NEAR(h.output1(0, {1000}), 1000 + equation_of_time(1000), 1e-9);
    // Change the first parameter's value in place, as a tuned dialog would.
    mxGetPr(ssGetSFcnParam(h.S(), 0))[0] = 1;
    EXPECT_NEAR(h.output1(0, {1000}), 1240 + equation_of_time(1000), 1e-9);
}

TEST(Heliohour, UnreadableParameterIsReportedNotRead)
{
    const char *expected = "heliohour: each dialog parameter must be a non-empty real double (a longitude in degrees)";
    auto check = [&](mxArray *p1, mxArray *p2) {
        Harness h("heliohour", Args{p1, p2});
        h.setInput(0, {500});
        h.model().setTime(0);
        EXPECT_EQ(h.block().tryRequest(engine::kOutputs), expected);
        EXPECT_EQ(h.block().output(0)[0], 0.0);  // nothing written
    };
    check(testutil::empty(), num(10));
    check(num(10), testutil::empty());
    check(testutil::str("15"), num(10));
    check(num(10), mxCreateNumericMatrix(1, 1, mxINT32_CLASS, mxREAL));
    check(mxCreateDoubleMatrix(1, 1, mxCOMPLEX), num(10));
    check(mxCreateLogicalScalar(true), num(10));
    // A vector parameter is fine: its first element is the longitude.
    Harness h("heliohour", Args{mxhost::rowVector({20, 99}), num(10)});
    EXPECT_NEAR(h.output1(0, {0}), equation_of_time(0) + 2400, 1e-9);
}

// The command-line path: the 38-element sizes vector.
TEST(SolarBlocks, CommandLineSizes)
{
    using testutil::callMex;
    using testutil::empty;
    for (const char *name : {"heliolean", "topflux", "heliohour"}) {
        SCOPED_TRACE(name);
        const bool twoParams = std::string(name) == "heliohour";
        Args args = twoParams ? Args{empty(), empty(), empty(), num(0), num(15), num(10)}
                              : Args{empty(), empty(), empty(), num(0)};
        testutil::CallOutcome r = callMex(name, 1, args);
        ASSERT_TRUE(r.ok) << r.error;
        std::vector<double> v = r.values(0);
        ASSERT_EQ(v.size(), 38u);
        std::vector<double> expected(38, 0.0);
        expected[2] = 1;  // output ports
        expected[3] = 1;  // input ports
        expected[6] = 1;  // sample times
        expected[7] = twoParams ? 2 : 0;
        expected[19] = 5200229;
        expected[23] = 2 + 8192;
        expected[31] = 0x880000 + 0x2;  // common declaration flags and port registration
        EXPECT_EQ(v, expected);

        // A wrong parameter count stops the declaration after the expected count.
        Args wrong = twoParams ? Args{empty(), empty(), empty(), num(0), num(15)}
                               : Args{empty(), empty(), empty(), num(0), num(7)};
        testutil::CallOutcome w = callMex(name, 1, wrong);
        ASSERT_TRUE(w.ok) << w.error;
        std::vector<double> partial(38, 0.0);
        partial[7] = twoParams ? 2 : 0;
        partial[19] = 5200229;
        partial[23] = 8192;
        EXPECT_EQ(w.values(0), partial);
    }
}

}  // namespace
