// slopegain through the embedded host: the table against the plain nesting
// kept with the benchmarks (to the bit), its edge cases, the printed lines and
// the refusals.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "bench/solar/slopegain_naive.h"
#include "support/testutil.h"

namespace {

using testutil::Args;
using testutil::num;

struct Site {
    double month, latitude, longitude, zone, clearness, skyModel, reflectance;
};

struct Table {
    bool made = false;
    std::size_t rows = 0, cols = 0;
    std::vector<double> v;  // column-major
    std::string printed;
    double at(int i, int j) const { return v.at(static_cast<std::size_t>(i + 37 * j)); }  // 0-based
};

Table slopegain(const Args &args)
{
    testutil::CallOutcome r = testutil::callMex("slopegain", 1, args);
    EXPECT_TRUE(r.ok) << r.error;
    Table t;
    t.printed = r.printed;
    if (!r.out.empty()) {
        t.made = true;
        t.rows = mxGetM(r.out[0]);
        t.cols = mxGetN(r.out[0]);
        t.v = r.values(0);
    }
    return t;
}

Table slopegain(const Site &s)
{
    return slopegain(Args{num(s.month), num(s.latitude), num(s.longitude), num(s.zone), num(s.clearness),
                          num(s.skyModel), num(s.reflectance)});
}

std::vector<double> naive(const Site &s)
{
    std::vector<double> t(37 * 37);
    slopegain_naive(s.month, s.latitude, s.longitude, s.zone, s.clearness, s.reflectance, t.data());
    return t;
}

void expectBitIdentical(const std::vector<double> &a, const std::vector<double> &b)
{
    ASSERT_EQ(a.size(), b.size());
    for (std::size_t k = 0; k < a.size(); ++k) {
        // memcmp-like: equal doubles, or both NaN (never expected, but compare honestly).
        if (!(a[k] == b[k] && std::signbit(a[k]) == std::signbit(b[k])))
            ADD_FAILURE() << "entry " << k << ": " << a[k] << " vs " << b[k];
    }
}

TEST(Slopegain, WholeYearTableEqualsThePlainNesting)
{
    const Site s{0, 47.4, 8.5, 15, 0.55, 1, 0.2};
    Table t = slopegain(s);
    ASSERT_TRUE(t.made);
    EXPECT_EQ(t.rows, 37u);
    EXPECT_EQ(t.cols, 37u);
    expectBitIdentical(t.v, naive(s));
}

TEST(Slopegain, SingleMonthTablesEqualThePlainNesting)
{
    const Site sites[] = {
        {6, 47.4, 8.5, 15, 0.55, 1, 0.2},      // middle band of the diffuse share
        {12, -33.9, -18.4, -15, 0.85, 2, 0.7}, // southern site, clear sky
        {3.7, 64.1, 21.9, 0, 0.2, 3, 0},       // low clearness, west of the meridian
        {9, 0.5, 100, 105, 0.3, 1, 0.35},      // tropics, breakpoint 0.3
        {13, 52, 0, 0, 0.79, 1, 0.2},          // into the next year, breakpoint 0.79
        {7, 89.9, 0, 0, 0.5, 1, 0.2},          // polar day
    };
    for (const Site &s : sites) {
        SCOPED_TRACE(s.month);
        Table t = slopegain(s);
        ASSERT_TRUE(t.made);
        expectBitIdentical(t.v, naive(s));
    }
}

TEST(Slopegain, FlatPlaneSeesTheHorizontal)
{
    // Slope 0: beam factor 1, no ground share, so every column is 1 up to
    // rounding (hours with the sun a hair above the horizon carry a negligible weight).
    Table t = slopegain(Site{5, 40, 0, 0, 0.6, 1, 0.5});
    for (int j = 0; j < 37; ++j) EXPECT_NEAR(t.at(0, j), 1.0, 1e-9) << j;
}

TEST(Slopegain, NorthFacingWallGetsLittle)
{
    Table t = slopegain(Site{0, 47.4, 8.5, 15, 0.5, 1, 0.2});
    const double north = t.at(36, 36), south = t.at(36, 0);
    EXPECT_LT(north, 0.5);
    EXPECT_GT(north, 0.1);  // diffuse and reflected shares remain
    EXPECT_GT(south, north);
    // A wall facing east (-90 degrees, column 19) lies in between.
    EXPECT_GT(t.at(36, 18), north);
    EXPECT_LT(t.at(36, 18), south);
}

TEST(Slopegain, AllZeroTables)
{
    // Polar night: no hour with the sun up.
    Table night = slopegain(Site{12, 90, 0, 0, 0.5, 1, 0.2});
    EXPECT_EQ(night.v, std::vector<double>(37 * 37, 0.0));
    // Clearness 0: no irradiance at all.
    Table dark = slopegain(Site{0, 45, 0, 0, 0, 1, 0.2});
    EXPECT_EQ(dark.v, std::vector<double>(37 * 37, 0.0));
    // A NaN month selects no month.
    Table none = slopegain(Site{NAN, 45, 0, 0, 0.5, 1, 0.2});
    ASSERT_TRUE(none.made);
    EXPECT_EQ(none.v, std::vector<double>(37 * 37, 0.0));
}

TEST(Slopegain, MonthSelection)
{
    const Site base{0, 45, 5, 15, 0.5, 1, 0.2};
    auto with = [&](double month) {
        Site s = base;
        s.month = month;
        return slopegain(s).v;
    };
    const std::vector<double> year = with(0);
    EXPECT_EQ(with(0.5), year);
    EXPECT_EQ(with(-3), year);
    EXPECT_EQ(with(-INFINITY), year);
    EXPECT_EQ(with(6.9), with(6));
    EXPECT_NE(with(6), with(7));
    EXPECT_NE(with(6), year);
    // Month 13 runs on past 31 December; the year angle folds it back onto
    // January (day counts differ only by the 365 days before it).
    const std::vector<double> jan = with(1), m13 = with(13);
    for (std::size_t k = 0; k < jan.size(); ++k) EXPECT_NEAR(m13[k], jan[k], 1e-6) << k;
}

TEST(Slopegain, SkyModelDoesNotChangeTheTable)
{
    Site s{4, 50, 0, 0, 0.45, 1, 0.3};
    const std::vector<double> one = slopegain(s).v;
    s.skyModel = 2;
    EXPECT_EQ(slopegain(s).v, one);
    s.skyModel = -7.5;
    EXPECT_EQ(slopegain(s).v, one);
}

// The degree sign: one byte 0xB0 (Windows-1252) on Windows, two bytes in
// UTF-8 elsewhere.
#ifdef _WIN32
const char kDegree[] = "\xB0";
#else
const char kDegree[] = "\xC2\xB0";
#endif

TEST(Slopegain, ProgressLinesEndWithTheDegreeSign)
{
    Table t = slopegain(Site{2, 45, 0, 0, 0.5, 1, 0.2});
    std::string expected;
    for (int i = 0; i < 37; ++i) {
        // 2.5 * i degrees to no decimals; the halves go to the even neighbour.
        const double slope = 2.5 * i;
        long whole = static_cast<long>(slope);
        if (slope - whole == 0.5 && whole % 2 == 1) ++whole;
        expected += "slope " + std::to_string(whole) + kDegree + "\n";
    }
    EXPECT_EQ(t.printed, expected);
#ifdef _WIN32
    EXPECT_EQ(t.printed.substr(0, 9), std::string("slope 0\xB0\n", 9));
#else
    EXPECT_EQ(t.printed.substr(0, 10), "slope 0\xC2\xB0\n");
#endif
}

TEST(Slopegain, WrongArgumentCount)
{
    for (int n : {0, 6, 8}) {
        Args args;
        for (int k = 0; k < n; ++k) args.arrays.push_back(num(1));
        Table t = slopegain(args);
        EXPECT_FALSE(t.made) << n;
        EXPECT_EQ(t.printed, "error: not 7 arguments\n");
    }
}

TEST(Slopegain, RefusesInputsItCannotRead)
{
    std::vector<mxArray *(*)()> bad = {
        [] { return testutil::empty(); },
        [] { return mxCreateDoubleMatrix(0, 3, mxREAL); },
        [] { return mxCreateNumericMatrix(1, 1, mxINT32_CLASS, mxREAL); },
        [] { return mxCreateNumericMatrix(1, 1, mxSINGLE_CLASS, mxREAL); },
        [] { return mxCreateLogicalScalar(true); },
        [] { return testutil::str("6"); },
        [] { return mxCreateDoubleMatrix(1, 1, mxCOMPLEX); },
    };
    for (std::size_t k = 0; k < bad.size(); ++k) {
        for (int position = 0; position < 7; ++position) {
            Args args{num(6), num(45), num(0), num(0), num(0.5), num(1), num(0.2)};
            mxDestroyArray(args.arrays[position]);
            args.arrays[position] = bad[k]();
            Table t = slopegain(args);
            EXPECT_FALSE(t.made);
            EXPECT_EQ(t.printed, "error: argument " + std::to_string(position + 1) + " is not a non-empty real double\n")
                << "kind " << k;
        }
    }
}

// Seconds of year of day 28, 23:00 of a month, in 64 bits, on a 365-day calendar.
int64_t lastSampledSecond(int64_t month)
{
    int64_t days = 0;
    for (int64_t m = 1; m < month; ++m) {
        const bool longMonth = (m <= 7 && m % 2 == 1) || (m >= 8 && m % 2 == 0);
        days += longMonth ? 31 : (m == 2 ? 28 : 30);
    }
    return ((days + 27) * 24 + 23) * 3600;
}

TEST(Slopegain, MonthsBeyondThe32BitSecondCountAreRefused)
{
    // The largest month whose sampled seconds a 32-bit integer holds.
    int64_t limit = 1;
    while (lastSampledSecond(limit + 1) <= INT32_MAX) ++limit;
    Site s{static_cast<double>(limit), 45, 0, 0, 0.5, 1, 0.2};
    Table ok = slopegain(s);
    EXPECT_TRUE(ok.made);
    for (double month : {static_cast<double>(limit + 1), 1e12, static_cast<double>(INFINITY)}) {
        s.month = month;
        Table t = slopegain(s);
        EXPECT_FALSE(t.made) << month;
        EXPECT_EQ(t.printed, "error: month out of range (at most " + std::to_string(limit) + ")\n");
    }
}

}  // namespace
