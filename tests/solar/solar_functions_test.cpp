// heliopose and heliokit called through the embedded host: shapes, values,
// every message, and refusal of inputs they cannot read.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "solar/solar_formulas.h"
#include "support/testutil.h"

namespace {

using testutil::Args;
using testutil::callMex;
using testutil::CallOutcome;
using testutil::num;

const double kDeg = 57.29577951308232;
const char kUsage[] =
    "[Declination Altitude Zenith Azimut HourAngle] = \n  heliopose(time, latitude, longitude, longitude_timezone)\n";

mxArray *row(std::vector<double> v)
{
    mxArray *a = mxCreateDoubleMatrix(1, v.size(), mxREAL);
    for (std::size_t i = 0; i < v.size(); ++i) mxGetPr(a)[i] = v[i];
    return a;
}
mxArray *column(std::vector<double> v)
{
    mxArray *a = mxCreateDoubleMatrix(v.size(), 1, mxREAL);
    for (std::size_t i = 0; i < v.size(); ++i) mxGetPr(a)[i] = v[i];
    return a;
}
mxArray *int32Scalar(int32_t v)
{
    mxArray *a = mxCreateNumericMatrix(1, 1, mxINT32_CLASS, mxREAL);
    *static_cast<int32_t *>(mxGetData(a)) = v;
    return a;
}
mxArray *singleScalar(float v)
{
    mxArray *a = mxCreateNumericMatrix(1, 1, mxSINGLE_CLASS, mxREAL);
    *static_cast<float *>(mxGetData(a)) = v;
    return a;
}
mxArray *complexScalar(double re, double im)
{
    mxArray *a = mxCreateDoubleMatrix(1, 1, mxCOMPLEX);
    mxGetPr(a)[0] = re;
    mxGetPi(a)[0] = im;
    return a;
}

// What a call gave, as plain values (assignable, unlike the outcome itself).
struct Result {
    bool ok = true;
    std::string error, id, printed;
    std::vector<std::vector<double>> outs;
    std::vector<std::pair<std::size_t, std::size_t>> shapes;
    const std::vector<double> &values(std::size_t i) const { return outs.at(i); }
};

Result run(const char *name, int nlhs, const Args &args)
{
    CallOutcome c = callMex(name, nlhs, args);
    Result r;
    r.ok = c.ok;
    r.error = c.error;
    r.id = c.id;
    r.printed = c.printed;
    for (std::size_t i = 0; i < c.out.size(); ++i) {
        r.outs.push_back(c.values(i));
        r.shapes.emplace_back(mxGetM(c.out[i]), mxGetN(c.out[i]));
    }
    return r;
}

void expectShape(const Result &r, std::size_t k, std::size_t m, std::size_t n)
{
    ASSERT_LT(k, r.shapes.size());
    EXPECT_EQ(r.shapes[k].first, m);
    EXPECT_EQ(r.shapes[k].second, n);
}

// ---- heliopose ----------------------------------------------------------------

TEST(Heliopose, ExampleSiteAtTheStartOfTheYear)
{
    Result r = run("heliopose", 5, Args{num(0), num(50), num(10), num(15)});
    ASSERT_TRUE(r.ok) << r.error;
    ASSERT_EQ(r.outs.size(), 5u);
    EXPECT_DOUBLE_EQ(r.values(0)[0], -23.057597845229232);
    EXPECT_NEAR(r.values(1)[0], -62.8504, 1e-4);
    EXPECT_NEAR(r.values(2)[0], 152.8504, 1e-4);
    EXPECT_NEAR(r.values(4)[0], -175.7261, 1e-4);
    // Solar seconds 1025.734656: the hour angle in degrees, written out.
    EXPECT_NEAR(r.values(4)[0], (1025.734656 - 43200) / 240, 1e-9);
    EXPECT_EQ(r.values(1)[0], 90 - r.values(2)[0]);
    EXPECT_LT(r.values(3)[0], 0);  // morning: east
    EXPECT_TRUE(r.printed.empty());
}

TEST(Heliopose, EveryRowIsTheSunPositionInDegrees)
{
    std::vector<double> times;
    for (int h = 0; h < 24; ++h) times.push_back(86400.0 * 100 + 3600.0 * h + 0.5);
    for (bool asRow : {true, false}) {
        Result r = run("heliopose", 5, Args{asRow ? row(times) : column(times), num(47.4), num(8.5), num(15)});
        ASSERT_TRUE(r.ok) << r.error;
        for (int k = 0; k < 5; ++k) expectShape(r, k, 24, 1);  // columns also for a row of times
        for (std::size_t i = 0; i < times.size(); ++i) {
            sun_geometry g;
            locate_sun(times[i], 47.4, 8.5, 15, &g);
            EXPECT_EQ(r.values(0)[i], g.declination * kDeg);
            EXPECT_EQ(r.values(1)[i], 90 - g.zenith * kDeg);
            EXPECT_EQ(r.values(2)[i], g.zenith * kDeg);
            EXPECT_EQ(r.values(3)[i], g.azimuth * kDeg);
            EXPECT_EQ(r.values(4)[i], g.hour_angle * kDeg);
        }
    }
}

TEST(Heliopose, ScalarAndEmptyTime)
{
    Result one = run("heliopose", 5, Args{num(3600), num(0), num(0), num(0)});
    ASSERT_TRUE(one.ok) << one.error;
    for (int k = 0; k < 5; ++k) expectShape(one, k, 1, 1);

    for (mxArray *time : {testutil::empty(), mxCreateDoubleMatrix(0, 5, mxREAL), mxCreateDoubleMatrix(1, 0, mxREAL)}) {
        Result r = run("heliopose", 5, Args{time, num(50), num(10), num(15)});
        ASSERT_TRUE(r.ok) << r.error;
        ASSERT_EQ(r.outs.size(), 5u);
        for (int k = 0; k < 5; ++k) expectShape(r, k, 0, 1);
    }
}

TEST(Heliopose, ArgumentCountsPrintTheUsage)
{
    Result r = run("heliopose", 5, Args{num(0), num(50), num(10)});
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.error, "Need 4 input arguments\n");
    EXPECT_EQ(r.id, "simblocks:heliopose:wrongInputCount");
    EXPECT_EQ(r.printed, kUsage);

    r = run("heliopose", 1, Args{num(0), num(50), num(10), num(15)});
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.error, "Need 5 output arguments\n");
    EXPECT_EQ(r.id, "simblocks:heliopose:wrongOutputCount");
    EXPECT_EQ(r.printed, kUsage);
    EXPECT_TRUE(r.outs.empty());

    // The input count is checked first.
    r = run("heliopose", 2, Args{num(0), num(50), num(10), num(15), num(0)});
    EXPECT_EQ(r.error, "Need 4 input arguments\n");
    EXPECT_EQ(r.printed, kUsage);
}

TEST(Heliopose, ShapeMessages)
{
    mxArray *matrix = mxCreateDoubleMatrix(2, 2, mxREAL);
    Result r = run("heliopose", 5, Args{matrix, num(50), num(10), num(15)});
    EXPECT_EQ(r.error, "time must be scalar or vector, not a matrix\n");
    EXPECT_EQ(r.id, "simblocks:heliopose:timeIsMatrix");
    EXPECT_TRUE(r.printed.empty());
    EXPECT_TRUE(r.outs.empty());
    // The time shape comes before the other inputs.
    r = run("heliopose", 5, Args{mxCreateDoubleMatrix(3, 2, mxREAL), row({1, 2}), num(10), num(15)});
    EXPECT_EQ(r.error, "time must be scalar or vector, not a matrix\n");

    for (int bad = 1; bad < 4; ++bad) {
        Args args{num(0), num(50), num(10), num(15)};
        mxDestroyArray(args.arrays[bad]);
        args.arrays[bad] = bad == 2 ? testutil::empty() : row({1, 2});
        r = run("heliopose", 5, args);
        EXPECT_EQ(r.error, "inputs exept time must be scalar\n") << bad;
        EXPECT_EQ(r.id, "simblocks:heliopose:siteNotScalar") << bad;
        EXPECT_TRUE(r.outs.empty());
    }
}

TEST(Heliopose, RefusesInputsThatAreNotRealDoubles)
{
    std::vector<mxArray *(*)()> makers = {
        [] { return int32Scalar(3600); }, [] { return singleScalar(3600); },
        [] { return mxCreateLogicalScalar(true); }, [] { return testutil::str("a"); },
        [] { return complexScalar(3600, 1); }};
    for (std::size_t m = 0; m < makers.size(); ++m) {
        for (int position = 0; position < 4; ++position) {
            Args args{num(3600), num(50), num(10), num(15)};
            mxDestroyArray(args.arrays[position]);
            args.arrays[position] = makers[m]();
            Result r = run("heliopose", 5, args);
            EXPECT_FALSE(r.ok);
            EXPECT_EQ(r.error, "inputs must be real double arrays\n") << "kind " << m << " at " << position;
            EXPECT_EQ(r.id, "simblocks:heliopose:notRealDouble");
            EXPECT_TRUE(r.outs.empty());
        }
    }
    // An int32 vector of times is refused too, rather than read as doubles past its end.
    mxArray *times = mxCreateNumericMatrix(1, 8, mxINT32_CLASS, mxREAL);
    Result r = run("heliopose", 5, Args{times, num(50), num(10), num(15)});
    EXPECT_EQ(r.error, "inputs must be real double arrays\n");
}

// ---- heliokit -----------------------------------------------------------------

Result heliokit(mxArray *time, mxArray *unused, mxArray *longitude, mxArray *zone, mxArray *mode)
{
    return run("heliokit", 1, Args{time, unused, longitude, zone, mode});
}

TEST(Heliokit, ThreeQuantities)
{
    Result r = heliokit(num(0), num(50), num(10), num(15), num(1));
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_NEAR(r.values(0)[0], 1414.91335, 1e-9);
    r = heliokit(num(0), num(50), num(10), num(15), num(2));
    EXPECT_DOUBLE_EQ(r.values(0)[0], -23.057597845229232);
    r = heliokit(num(0), num(50), num(10), num(15), num(3));
    EXPECT_NEAR(r.values(0)[0], -174.265344 + 240 * 5, 1e-9);
    EXPECT_NEAR(r.values(0)[0], 1025.734656, 1e-9);
}

TEST(Heliokit, ModeIsRoundedHalfUp)
{
    const double t = 86400 * 40 + 5000;
    const double irradiance = extraterrestrial_irradiance(t), decl = declination(t) * kDeg,
                 solar = apparent_solar_seconds(t, 15, 10);
    const std::vector<std::pair<double, double>> cases = {
        {2.4, decl}, {2.5, solar}, {0.5, irradiance}, {1.49, irradiance}, {0.49, 0}, {3.5, 0}, {-0.6, 0},
        {4, 0}, {NAN, 0}, {1e300, 0}, {-1e300, 0}};
    for (const auto &c : cases) {
        Result r = heliokit(num(t), num(50), num(10), num(15), num(c.first));
        ASSERT_TRUE(r.ok) << r.error;
        EXPECT_EQ(r.values(0)[0], c.second) << "mode " << c.first;
    }
}

TEST(Heliokit, VectorInputGivesTheShape)
{
    std::vector<double> times;
    for (int h = 0; h < 24; ++h) times.push_back(3600.0 * h + 86400 * 200);
    Result r = heliokit(row(times), num(0), num(10), num(15), num(3));
    ASSERT_TRUE(r.ok) << r.error;
    expectShape(r, 0, 1, 24);
    for (int h = 0; h < 24; ++h) EXPECT_EQ(r.values(0)[h], apparent_solar_seconds(times[h], 15, 10));
    r = heliokit(column(times), num(0), num(10), num(15), num(2));
    expectShape(r, 0, 24, 1);
    for (int h = 0; h < 24; ++h) EXPECT_EQ(r.values(0)[h], declination(times[h]) * kDeg);

    // Longitudes as the vector input.
    r = heliokit(num(5000), num(0), column({0, 7.5, -30}), num(15), num(3));
    expectShape(r, 0, 3, 1);
    EXPECT_EQ(r.values(0), (std::vector<double>{apparent_solar_seconds(5000, 15, 0), apparent_solar_seconds(5000, 15, 7.5),
                                                apparent_solar_seconds(5000, 15, -30)}));
    // The unused input as the vector input: every element holds the scalar result.
    r = heliokit(num(5000), row({1, 2, 3, 4}), num(10), num(15), num(1));
    expectShape(r, 0, 1, 4);
    EXPECT_EQ(r.values(0), std::vector<double>(4, extraterrestrial_irradiance(5000)));
    // Vectors in inputs 4 and 5 are not vector inputs: only their first elements count.
    r = heliokit(num(5000), num(0), num(10), row({15, 99, 99}), row({3, 1}));
    expectShape(r, 0, 1, 1);
    EXPECT_EQ(r.values(0)[0], apparent_solar_seconds(5000, 15, 10));
    // A mode outside 1..3 leaves the whole vector at 0.
    r = heliokit(row(times), num(0), num(10), num(15), num(7));
    EXPECT_EQ(r.values(0), std::vector<double>(24, 0.0));
}

TEST(Heliokit, Messages)
{
    Result r = run("heliokit", 1, Args{num(0), num(0), num(0), num(0)});
    EXPECT_EQ(r.error, "ERROR in heliokit: 5 inputs required.");
    EXPECT_EQ(r.id, "simblocks:heliokit:wrongInputCount");
    r = run("heliokit", 1, Args{num(0), num(0), num(0), num(0), num(1), num(1)});
    EXPECT_EQ(r.error, "ERROR in heliokit: 5 inputs required.");

    std::vector<mxArray *(*)()> bad = {[] { return testutil::empty(); }, [] { return complexScalar(1, 1); },
                                       [] { return int32Scalar(1); }, [] { return testutil::str("1"); },
                                       [] { return mxCreateLogicalScalar(true); }, [] { return singleScalar(1); },
                                       [] { return mxCreateCellMatrix(1, 1); }};
    for (std::size_t k = 0; k < bad.size(); ++k) {
        for (int position = 0; position < 5; ++position) {
            Args args{num(0), num(0), num(0), num(0), num(1)};
            mxDestroyArray(args.arrays[position]);
            args.arrays[position] = bad[k]();
            r = run("heliokit", 1, args);
            EXPECT_EQ(r.error, "ERROR in heliokit: input must be a number") << k << " at " << position;
            EXPECT_EQ(r.id, "simblocks:heliokit:notANumber");
            EXPECT_TRUE(r.outs.empty());
        }
    }

    const char *vectorMessage = "ERROR in heliokit: only one input can be a vector";
    r = heliokit(row({1, 2}), num(0), row({1, 2}), num(0), num(1));
    EXPECT_EQ(r.error, vectorMessage);
    EXPECT_EQ(r.id, "simblocks:heliokit:tooManyVectors");
    r = heliokit(row({1, 2}), num(0), column({1, 2}), num(0), num(1));
    EXPECT_EQ(r.error, vectorMessage);
    r = heliokit(num(1), column({1, 2, 3}), row({1, 2}), num(0), num(1));
    EXPECT_EQ(r.error, vectorMessage);
    r = heliokit(mxCreateDoubleMatrix(3, 3, mxREAL), num(0), num(0), num(0), num(1));
    EXPECT_EQ(r.error, vectorMessage);
    r = heliokit(num(0), num(0), mxCreateDoubleMatrix(2, 2, mxREAL), num(0), num(1));
    EXPECT_EQ(r.error, vectorMessage);
}

}  // namespace
