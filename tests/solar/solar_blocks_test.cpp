// The heliolean, heliohour, topflux and planeflux blocks driven through the
// engine, and their command-line sizes call through the embedded host.
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
const double kPi = 3.141592653589793;

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

// ---- planeflux ------------------------------------------------------------------

// Chicago O'Hare: 41.98 N, 87.92 W in the zone of 90 W.
Args planefluxParams(double tilt, double azimuth, const char *model)
{
    return Args{num(tilt), num(azimuth), num(41.98), num(87.92), num(90), num(0.2), testutil::str(model)};
}

TEST(Planeflux, Declaration)
{
    Harness h("planeflux", planefluxParams(90, 0, "perez"));
    engine::Block &b = h.block();
    const SimStruct *S = h.S();
    EXPECT_EQ(ssGetNumSFcnParams(S), 7);
    ASSERT_EQ(b.numInputPorts(), 2);
    ASSERT_EQ(b.numOutputPorts(), 2);
    EXPECT_EQ(b.inputWidth(0), 1);
    EXPECT_EQ(b.inputWidth(1), 3);
    EXPECT_EQ(b.outputWidth(0), 1);
    EXPECT_EQ(b.outputWidth(1), 3);
    EXPECT_TRUE(b.directFeedThrough(0) && b.directFeedThrough(1));
    ASSERT_EQ(b.numSampleTimes(), 1);
    EXPECT_EQ(b.sampleTime(0), -1.0);  // inherited
    EXPECT_EQ(ssGetNumRWork(S), 8);  // the closure guard: 7 counts and the once-flag
    EXPECT_EQ(ssGetNumIWork(S) + ssGetNumPWork(S) + ssGetNumDWork(S), 0);
    EXPECT_EQ(ssGetOptions(S), 2u | 0x2000u);
    EXPECT_EQ(b.tryRequest(112), "");  // a parameter check on request
}

// The block takes the sun from heliopose's formulas and dni_extra from
// topflux's: its outputs equal tiltflux fed with those, to the bit, for
// each model, over a summer and a winter day and their nights.
TEST(Planeflux, EqualsTiltfluxOnHelioposeAndTopflux)
{
    std::vector<double> times, ghi, dni, dhi;
    for (double day : {171.0, 354.0}) {
        for (int half = 0; half < 48; ++half) {
            const double t = day * 86400 + 1800.0 * half + 900;
            const double light = std::max(std::sin(kPi * (half - 12) / 24), 0.0);  // 06:00 to 18:00
            times.push_back(t);
            dni.push_back(750 * light);
            dhi.push_back(110 * light);
            ghi.push_back(600 * light);
        }
    }
    Harness sun("topflux", Args{});
    std::vector<double> extra;
    for (double t : times) extra.push_back(sun.output1(t, {t}));
    mxArray *timeColumn = mxCreateDoubleMatrix(times.size(), 1, mxREAL);
    std::copy(times.begin(), times.end(), mxGetPr(timeColumn));
    testutil::CallOutcome pose = testutil::callMex("heliopose", 5, Args{timeColumn, num(41.98), num(87.92), num(90)});
    ASSERT_TRUE(pose.ok) << pose.error;

    auto column = [](const std::vector<double> &v) {
        mxArray *a = mxCreateDoubleMatrix(v.size(), 1, mxREAL);
        std::copy(v.begin(), v.end(), mxGetPr(a));
        return a;
    };
    for (const char *model : {"isotropic", "haydavies", "perez", "reindl", "klucher"}) {
        SCOPED_TRACE(model);
        testutil::CallOutcome flux = testutil::callMex(
            "tiltflux", 4,
            Args{testutil::str(model), num(90), num(-90), column(pose.values(2)), column(pose.values(3)), column(dni),
                 column(dhi), column(ghi), column(extra), num(0.2)});
        ASSERT_TRUE(flux.ok) << flux.error;
        Harness h("planeflux", planefluxParams(90, -90, model));
        for (std::size_t i = 0; i < times.size(); ++i) {
            h.setInput(0, {times[i]});
            h.setInput(1, {ghi[i], dni[i], dhi[i]});
            EXPECT_EQ(h.outputs(times[i], 0)[0], flux.values(0)[i]) << "t = " << times[i];
            const double *parts = h.block().output(1);
            for (std::size_t k = 0; k < 3; ++k) EXPECT_EQ(parts[k], flux.values(k + 1)[i]) << "t = " << times[i];
        }
    }
}

// At the instant of solar noon the azimuth of the solar formulas is an arc
// cosine of +-1 that rounding carries past it (NaN at 45 N on 21 June, and
// a few microseconds either side of noon anywhere). planeflux must stay
// finite there and give what tiltflux gives with the sun on the meridian:
// due south (0) where it culminates south of the zenith (45 N, declination
// +23.4), due north (180) where it culminates north of it (10 N, the same
// day). The plane faces south, tilted 30 degrees. The instant is the double
// nearest noon, found by halving on the sign of the hour angle; there the
// true azimuth is below 1e-12 rad, which moves the irradiance on a
// south-facing plane by less than 1e-9 W/m2 (the cosine of the angle
// between sun and plane azimuths is 1 to the last bit).
TEST(Planeflux, FiniteAtSolarNoonAndEqualToTheSunOnTheMeridian)
{
    const double day = 171 * 86400.0;
    for (double latitude : {45.0, 10.0}) {
        SCOPED_TRACE(latitude);
        double before = day + 9 * 3600, after = day + 15 * 3600;
        sun_geometry sun;
        while (true) {
            const double mid = before + (after - before) / 2;
            if (mid == before || mid == after) break;
            locate_sun(mid, latitude, 87.92, 90, &sun);
            (sun.hour_angle < 0 ? before : after) = mid;
        }
        sun_geometry a, b;
        locate_sun(before, latitude, 87.92, 90, &a);
        locate_sun(after, latitude, 87.92, 90, &b);
        const double noon = std::fabs(a.hour_angle) < std::fabs(b.hour_angle) ? before : after;
        ASSERT_LT(std::fabs((noon == before ? a : b).hour_angle), 1e-12);

        const double sunAzimuth = latitude > 23.44 ? 0.0 : 180.0;
        testutil::CallOutcome pose = testutil::callMex("heliopose", 5, Args{num(noon), num(latitude), num(87.92), num(90)});
        ASSERT_TRUE(pose.ok) << pose.error;
        const double zenith = pose.values(2)[0];
        for (const char *model : {"isotropic", "haydavies", "perez", "reindl", "klucher"}) {
            SCOPED_TRACE(model);
            testutil::CallOutcome flux =
                testutil::callMex("tiltflux", 4,
                                  Args{testutil::str(model), num(30), num(0), num(zenith), num(sunAzimuth), num(700),
                                       num(120), num(800), num(extraterrestrial_irradiance(noon)), num(0.2)});
            ASSERT_TRUE(flux.ok) << flux.error;
            Harness h("planeflux", Args{num(30), num(0), num(latitude), num(87.92), num(90), num(0.2), testutil::str(model)});
            h.setInput(0, {noon});
            h.setInput(1, {800, 700, 120});
            const double total = h.outputs(noon, 0)[0];
            ASSERT_TRUE(std::isfinite(total)) << total;
            EXPECT_NEAR(total, flux.values(0)[0], 1e-9);
            const double *parts = h.block().output(1);
            for (std::size_t k = 0; k < 3; ++k) EXPECT_NEAR(parts[k], flux.values(k + 1)[0], 1e-9) << k;
        }
    }
}

TEST(Planeflux, UnreadableParametersAreReported)
{
    const char *badNumber = "planeflux: parameters 1 to 6 (tilt, azimuth, latitude, longitude, longitude_timezone, "
                            "albedo) must each be a non-empty real double";
    const char *badModel =
        "planeflux: parameter 7, the sky model, must be the text isotropic, haydavies, perez, reindl or klucher";
    // At declaration, through the engine's sizes call.
    auto declare = [](Args params) {
        engine::Model model;
        engine::Block b(model, testutil::library("planeflux"), "planeflux", params.view());
        try {
            b.initializeSizes();
        } catch (const std::exception &e) {
            return std::string(e.what());
        }
        return std::string();
    };
    for (int bad = 0; bad < 6; ++bad) {
        Args p = planefluxParams(90, 0, "perez");
        mxDestroyArray(p.arrays[static_cast<std::size_t>(bad)]);
        p.arrays[static_cast<std::size_t>(bad)] = bad % 2 ? testutil::empty() : testutil::str("90");
        EXPECT_NE(declare(std::move(p)).find(badNumber), std::string::npos) << bad;
    }
    for (mxArray *model : {testutil::str("sunny"), num(3), testutil::str("")}) {
        Args p = planefluxParams(90, 0, "perez");
        mxDestroyArray(p.arrays[6]);
        p.arrays[6] = model;
        EXPECT_NE(declare(std::move(p)).find(badModel), std::string::npos);
    }
    // Changed during a run: reported at the next step, nothing written.
    Harness h("planeflux", planefluxParams(90, 0, "Perez"));
    h.setInput(0, {86400 * 171 + 43200.0});
    h.setInput(1, {600, 700, 100});
    EXPECT_GT(h.outputs(86400 * 171 + 43200.0)[0], 0.0);
    mxChar *c = mxGetChars(ssGetSFcnParam(h.S(), 6));
    c[0] = 'Q';
    EXPECT_EQ(h.block().tryRequest(engine::kOutputs), badModel);
    EXPECT_EQ(h.block().tryRequest(112), badModel);
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
