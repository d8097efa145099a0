// stampin, stampout and yearelapsed through the engine, and the declarations
// of the seven time blocks as the engine sees them (work vectors, DWork
// record, declaration flags, engine request 197, sample times).
#include <gtest/gtest.h>

#include <cmath>
#include <ctime>
#include <string>
#include <vector>

#include "support/testutil.h"

namespace {

using testutil::Args;
using testutil::Harness;
using testutil::num;

using Date = std::vector<double>;

double stampin(Harness &h, const Date &in) { return h.output1(0, in); }

std::vector<double> stampout(Harness &h, double t)
{
    h.setInput(0, {t});
    return h.outputs(0);
}

TEST(Stampin, Examples)
{
    Harness h("stampin", Args{});
    EXPECT_EQ(stampin(h, {2023, 3, 1, 0, 0, 0}), 5097600);
    EXPECT_EQ(stampin(h, {2024, 3, 1, 0, 0, 0}), 5184000);
    EXPECT_EQ(stampin(h, {2024, 12, 31, 23, 59, 59}), 31622399);
    EXPECT_EQ(stampin(h, {2023, 12, 31, 23, 59, 59}), 31535999);
    EXPECT_EQ(stampin(h, {2023, 1, 1, 0, 0, 0}), 0);
    EXPECT_EQ(stampin(h, {2023, 2, 1, 0, 0, 0}), 2678400);
    // The year counts only by its leap status, rounded half up, without a century rule.
    EXPECT_EQ(stampin(h, {2023.5, 3, 1, 0, 0, 0}), 5184000);
    EXPECT_EQ(stampin(h, {2024.49, 3, 1, 0, 0, 0}), 5184000);
    EXPECT_EQ(stampin(h, {2024.5, 3, 1, 0, 0, 0}), 5097600);
    EXPECT_EQ(stampin(h, {1900, 3, 1, 0, 0, 0}), 5184000);
    EXPECT_EQ(stampin(h, {2100, 3, 1, 0, 0, 0}), 5184000);
    EXPECT_EQ(stampin(h, {0, 3, 1, 0, 0, 0}), 5184000);
    EXPECT_EQ(stampin(h, {-1, 3, 1, 0, 0, 0}), 5097600);
    // Fractional months sum like the next whole month; months of 1 or less sum nothing.
    EXPECT_EQ(stampin(h, {2023, 2.5, 1, 0, 0, 0}), stampin(h, {2023, 3, 1, 0, 0, 0}));
    for (double m : {0.0, 0.5, 1.0, -3.0}) EXPECT_EQ(stampin(h, {2023, m, 1, 0, 0, 0}), 0) << m;
    // Fractions and out-of-range values pass through.
    EXPECT_EQ(stampin(h, {2023, 1, 1.5, 0, 0, 0}), 43200);
    EXPECT_EQ(stampin(h, {2023, 3, 0, 0, 0, 0}), 5097600 - 86400);
    EXPECT_EQ(stampin(h, {2023, 1, 1, 24, 0, 0}), 86400);
    EXPECT_EQ(stampin(h, {2023, 1, 1, 0, 0, -1}), -1);
    EXPECT_EQ(stampin(h, {2023, 1, 1, 0, 0, 0.25}), 0.25);
    // Month 13 sums a whole year: 1 January of the next year.
    EXPECT_EQ(stampin(h, {2023, 13, 1, 0, 0, 0}), 31536000);
    EXPECT_EQ(stampin(h, {2024, 13, 1, 0, 0, 0}), 31622400);
}

TEST(Stampin, MonthsThatAreNotOrdinaryNumbers)
{
    Harness h("stampin", Args{});
    // Not a number adds no months.
    EXPECT_EQ(stampin(h, {2023, std::nan(""), 2, 0, 0, 0}), 86400);
    // Months far beyond December return at once: 30 days, plus one for each even month.
    auto beyond = [](double months) { return (365 + 30 * months + std::floor(months / 2)) * 86400; };
    EXPECT_EQ(stampin(h, {2023, 1e9 + 12.5, 1, 0, 0, 0}), beyond(1e9));
    EXPECT_EQ(stampin(h, {2023, 4294967296.0 + 13, 1, 0, 0, 0}), beyond(4294967296.0));
    EXPECT_EQ(stampin(h, {2023, INFINITY, 1, 0, 0, 0}), INFINITY);
    const double huge = stampin(h, {2023, 1e300, 1, 0, 0, 0});
    EXPECT_TRUE(std::isfinite(huge) && huge > 1e306);
    EXPECT_EQ(stampin(h, {2023, -INFINITY, 1, 0, 0, 0}), 0);
}

TEST(Stampout, Examples)
{
    Harness h("stampout", Args{});
    using V = std::vector<double>;
    EXPECT_EQ(stampout(h, 1), (V{1, 1, 0, 0, 1}));
    EXPECT_EQ(stampout(h, 3600.5), (V{1, 1, 1, 0, 0.5}));
    EXPECT_EQ(stampout(h, 86400), (V{1, 1, 24, 0, 0}));  // midnight is hour 24 of the day before
    EXPECT_EQ(stampout(h, 86401), (V{1, 2, 0, 0, 1}));
    EXPECT_EQ(stampout(h, 0), (V{1, 0, 24, 0, 0}));
    EXPECT_EQ(stampout(h, 2678400), (V{1, 31, 24, 0, 0}));
    EXPECT_EQ(stampout(h, 2678399), (V{1, 31, 23, 59, 59}));
    EXPECT_EQ(stampout(h, 2678401), (V{2, 1, 0, 0, 1}));
    EXPECT_EQ(stampout(h, 5097600), (V{2, 28, 24, 0, 0}));
    EXPECT_EQ(stampout(h, 5097601), (V{3, 1, 0, 0, 1}));
    EXPECT_EQ(stampout(h, 31535999), (V{12, 31, 23, 59, 59}));
    EXPECT_EQ(stampout(h, 31536000), (V{12, 31, 24, 0, 0}));
    EXPECT_EQ(stampout(h, 31536001), (V{13, 1, 0, 0, 1}));
    EXPECT_EQ(stampout(h, -1), (V{1, 0, 23, 59, 59}));
    // No year wrap: month 13 with a growing day.
    EXPECT_EQ(stampout(h, 31536000 + 40 * 86400 + 7), (V{13, 41, 0, 0, 7}));
    // 1 March 12:00 of a leap year as stampin counts it: stampout knows no 29 February.
    Harness in("stampin", Args{});
    const double leapMarch = stampin(in, {2024, 3, 1, 12, 0, 0});
    EXPECT_EQ(leapMarch, 5227200);
    EXPECT_EQ(stampout(h, leapMarch), (V{3, 2, 12, 0, 0}));
}

// Every hour of a common year goes out and back in unchanged, and each date
// agrees with the C library's calendar for 2023 (a moment exactly on
// midnight being hour 24 of the day before).
TEST(Stampout, RoundTripOverACommonYear)
{
    Harness out("stampout", Args{});
    Harness in("stampin", Args{});
    struct tm jan1 = {};
    jan1.tm_year = 2023 - 1900;
    jan1.tm_mday = 1;
    const time_t base = timegm(&jan1);
    for (int hour = 0; hour <= 8760; ++hour) {
        const double t = hour * 3600.0;
        const std::vector<double> d = stampout(out, t);
        ASSERT_EQ(stampin(in, {2023, d[0], d[1], d[2], d[3], d[4]}), t) << "hour " << hour;
        if (hour == 0) continue;
        const time_t before = base + static_cast<time_t>(t) - 1;
        struct tm c;
        gmtime_r(&before, &c);
        const bool nextYear = c.tm_year != 2023 - 1900;
        EXPECT_EQ(d[0], nextYear ? 13 : c.tm_mon + 1) << "hour " << hour;
        EXPECT_EQ(d[1], c.tm_mday) << "hour " << hour;
        EXPECT_EQ(d[2], c.tm_hour + 1) << "hour " << hour;
        EXPECT_EQ(d[3], 0);
        EXPECT_EQ(d[4], 0);
    }
}

std::vector<double> yearelapsed(Harness &h, const Date &in)
{
    h.setInput(0, in);
    return h.outputs(0);
}

TEST(Yearelapsed, Examples)
{
    Harness h("yearelapsed", Args{});
    EXPECT_EQ(yearelapsed(h, {2023, 1, 1, 0, 0, 0}), std::vector<double>(6, 0.0));

    std::vector<double> y = yearelapsed(h, {2023, 7, 2, 12, 0, 0});
    EXPECT_EQ(y[0], 0.5);
    EXPECT_EQ(y[1], 6 + 129600.0 / 2678400);
    EXPECT_EQ(y[1], 6.048387096774194);
    EXPECT_EQ(y[2], 182.5);
    EXPECT_EQ(y[3], 4380);
    EXPECT_EQ(y[4], 262800);
    EXPECT_EQ(y[5], 15768000);

    y = yearelapsed(h, {2024, 7, 2, 12, 0, 0});
    EXPECT_EQ(y[5], 15854400);
    EXPECT_EQ(y[2], 183.5);
    EXPECT_EQ(y[0], 15854400.0 / 31622400);

    EXPECT_EQ(yearelapsed(h, {2024, 2, 15, 12, 0, 0})[1], 1.5);
    EXPECT_EQ(yearelapsed(h, {2023, 2, 15, 12, 0, 0})[1], 1.5178571428571428);

    y = yearelapsed(h, {2023, 12, 31, 24, 0, 0});
    EXPECT_EQ(y[0], 1);
    EXPECT_EQ(y[1], 12);
    EXPECT_EQ(y[2], 365);
    y = yearelapsed(h, {2024, 12, 31, 24, 0, 0});
    EXPECT_EQ(y[0], 1);
    EXPECT_EQ(y[1], 12);
    EXPECT_EQ(y[2], 366);

    // Month 2.5: January and February for the days, the length of March, the count from 1.5.
    y = yearelapsed(h, {2023, 2.5, 11, 0, 0, 0});
    EXPECT_EQ(y[2], 59 + 10);
    EXPECT_EQ(y[1], 10 * 86400.0 / (31 * 86400) + 1.5);
    // 2023.5 counts as 2024.
    EXPECT_EQ(yearelapsed(h, {2023.5, 3, 1, 0, 0, 0})[2], 60);
    EXPECT_EQ(yearelapsed(h, {2023.5, 3, 1, 0, 0, 0})[0], 5184000.0 / 31622400);
}

TEST(Yearelapsed, OddYearsAndMonths)
{
    Harness h("yearelapsed", Args{});
    // A negative year that is no multiple of 4: February has 28 days, the year 31622400 s.
    std::vector<double> y = yearelapsed(h, {-3, 3, 1, 0, 0, 0});
    EXPECT_EQ(y[2], 59);
    EXPECT_EQ(y[0], 59 * 86400.0 / 31622400);
    // Months below 1 have 30 days and sum nothing.
    y = yearelapsed(h, {2023, 0, 16, 0, 0, 0});
    EXPECT_EQ(y[2], 15);
    EXPECT_EQ(y[1], 0.5 - 1);
    // Month numbers too large for 32 bits, or not a number, return at once.
    y = yearelapsed(h, {2023, 1e12, 1, 0, 0, 0});
    EXPECT_EQ(y[5], 0);
    EXPECT_EQ(y[1], 1e12 - 1);
    y = yearelapsed(h, {2023, std::nan(""), 1, 0, 0, 0});
    EXPECT_EQ(y[5], 0);
    EXPECT_TRUE(std::isnan(y[1]));
    y = yearelapsed(h, {2023, 2e9, 1, 0, 0, 0});
    EXPECT_EQ(y[2], 365 + 30 * (2e9 - 13) + std::floor((2e9 - 13) / 2));
}

// ---- Declarations ----------------------------------------------------------

bool asked197(const engine::Model &m)
{
    for (const auto &r : m.requests())
        if (r.code == 197) return r.hasBool && r.boolValue && r.intArg == 0;
    return false;
}

TEST(TimeDeclarations, PortsWorkFlagsAndRequests)
{
    struct Case {
        const char *name;
        int params, inputWidth, outputWidth, iwork;
        bool commonFlags;
    };
    const Case cases[] = {
        {"stampin", 0, 6, 1, 0, false},    {"stampout", 0, 1, 5, 0, true},  {"yearelapsed", 0, 6, 6, 0, true},
        {"calendarnow", 1, 0, 1, 0, true}, {"clocknow", 0, 0, 1, 0, true},  {"wait", 6, 0, 0, 0, true},
        {"wallpulse", 2, 1, 1, 2, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        Args params;
        for (int i = 0; i < c.params; ++i) params.arrays.push_back(num(1));
        engine::Model m;
        engine::Block b(m, testutil::library(c.name), c.name, params.view());
        b.initializeSizes();
        const std::vector<double> &sizes = b.sizesVector();
        EXPECT_EQ(sizes.at(7), c.params);
        EXPECT_EQ(b.numInputPorts(), c.inputWidth > 0 ? 1 : 0);
        if (c.inputWidth > 0) {
            EXPECT_EQ(b.inputWidth(0), c.inputWidth);
            EXPECT_TRUE(b.directFeedThrough(0));
            EXPECT_FALSE(b.requiredContiguous(0));
        }
        EXPECT_EQ(b.numOutputPorts(), c.outputWidth > 0 ? 1 : 0);
        if (c.outputWidth > 0) {
            EXPECT_EQ(b.outputWidth(0), c.outputWidth);
        }
        EXPECT_EQ(sizes.at(8), c.iwork);
        EXPECT_EQ(sizes.at(6), 1);
        EXPECT_EQ(sizes.at(23), 8192);  // no options of their own
        EXPECT_EQ(sizes.at(31), c.commonFlags ? (0x880000 | 0x2) : 0x2);
        EXPECT_EQ(asked197(m), c.commonFlags);
        EXPECT_EQ(b.hasInitializeConditions(), std::string(c.name) == "wallpulse");
        EXPECT_EQ(b.hasStart(), std::string(c.name) == "wait");
        EXPECT_EQ(b.hasUpdate(), std::string(c.name) == "wait");
        b.allocate();
        b.request(engine::kSampleTimes);
        EXPECT_EQ(b.sampleTime(0), c.params == 6 ? 1.0 : 0.0);  // wait's period is its step
        EXPECT_EQ(b.offsetTime(0), 0.0);
    }
}

TEST(TimeDeclarations, WaitKeepsItsReferenceInOneDWorkRecord)
{
    Harness w("wait", Args{num(0), num(0), num(0), num(0), num(0), num(2.5)});
    const SimStruct *S = w.S();
    EXPECT_EQ(w.block().sampleTime(0), 2.5);
    ASSERT_EQ(ssGetNumDWork(S), 1);
    EXPECT_STREQ(ssGetDWorkName(S, 0), "DWORK0");
    EXPECT_EQ(ssGetDWorkWidth(S, 0), 1);
    EXPECT_EQ(ssGetDWorkDataType(S, 0), SS_DOUBLE);
    EXPECT_EQ(ssGetDWorkUsageType(S, 0), SS_DWORK_USED_AS_DSTATE);
    EXPECT_EQ(w.block().sizesVector().at(1), 0);  // no discrete states besides the record

    // Without the engine's DWork service the record is not declared.
    Args params{num(0), num(0), num(0), num(0), num(0), num(1)};
    engine::Model m;
    m.offerDWorkService(false);
    engine::Block b(m, testutil::library("wait"), "wait", params.view());
    b.initializeSizes();
    EXPECT_EQ(ssGetNumDWork(b.instance()), 0);
    // With no record to keep the reference in, start and update do nothing.
    b.allocate();
    EXPECT_EQ(b.tryRequest(engine::kStart), "");
    EXPECT_EQ(b.tryRequest(engine::kUpdate), "");
}

// An infinite step is one the clock never reaches: refused when the sample
// time is set, and by the update, which would otherwise hold the run for ever.
TEST(Wait, InfiniteStepIsRefused)
{
    Args params{num(0), num(0), num(0), num(0), num(0), num(INFINITY)};
    engine::Model m;
    engine::Block b(m, testutil::library("wait"), "wait", params.view());
    b.initializeSizes();
    b.allocate();
    const std::string refused = "wait: the step (parameter 6) is infinite; the clock would never reach it";
    EXPECT_EQ(b.tryRequest(engine::kSampleTimes), refused);
    EXPECT_EQ(b.tryRequest(engine::kStart), "");
    EXPECT_EQ(b.tryRequest(engine::kUpdate), refused);
}

// wait with a start moment from its parameters reads no clock at the start.
TEST(Wait, ReferenceFromParameters)
{
    auto start = [](std::vector<double> p) {
        Harness w("wait", Args{num(p[0]), num(p[1]), num(p[2]), num(p[3]), num(p[4]), num(60)});
        w.block().request(engine::kStart);
        return *static_cast<double *>(w.block().dwork(0));
    };
    EXPECT_EQ(start({3, 1, 8, 0, 0}), 5126400);  // day 59 plus 8 hours
    EXPECT_EQ(start({3.9, 1.9, 8.9, 0.9, 0.9}), 5126400);  // each truncated
    EXPECT_EQ(start({2, 29, 8, 0, 0}), 5126400);  // no leap day: 29 February is 1 March
    EXPECT_EQ(start({0.5, 2, 3, 0, 0}), (1 * 24 + 3) * 3600);  // month 0 sums nothing
    EXPECT_EQ(start({12, 31, 23, 59, 59}), 31535999);
    // Parameters too large for the 32-bit count saturate instead of overflowing.
    EXPECT_EQ(start({1, 1e9, 0, 0, 0}), 2147483647);
    EXPECT_EQ(start({2e9, 1, 0, 0, 0}), 2147483647);
    // A month no 32-bit integer holds truncates to the smallest one: no months.
    EXPECT_EQ(start({1e12, 1, 0, 0, 0}), 0);
}

}  // namespace
