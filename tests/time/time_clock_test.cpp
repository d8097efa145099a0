// calendarnow, clocknow, wait and wallpulse against a controlled clock.
//
// These tests run only under faketime (ctest entries in this folder's
// CMakeLists.txt), with FAKETIME_NO_CACHE=1 and FAKETIME_FMT=%s, so the
// process sets its own clock at any moment through the FAKETIME variable:
// a number of seconds since 1970 freezes the clock there, "@<seconds> i<n>"
// starts it there and moves it on by n seconds at every reading. The blocks
// read the real clock functions; nothing in them knows about the test.
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

#include "support/testutil.h"

namespace {

using testutil::Args;
using testutil::Harness;
using testutil::num;

const std::string kNoLocalTime = "The local time could not be obtained from the system clock";

// Seconds since 1970 of a local date and time whose offset from UTC (hours east) is given.
time_t at(int y, int mo, int d, int h, int mi, int s, int utcOffsetHours)
{
    struct tm t = {};
    t.tm_year = y - 1900;
    t.tm_mon = mo - 1;
    t.tm_mday = d;
    t.tm_hour = h;
    t.tm_min = mi;
    t.tm_sec = s;
    return timegm(&t) - utcOffsetHours * 3600;
}

struct tm localAt(time_t t)
{
    struct tm l;
    localtime_r(&t, &l);
    return l;
}

// Seconds of year of a local moment from the day of the year; without leap
// days, 29 February and the days after it count one day less.
long countAt(time_t t, bool leapDays)
{
    const struct tm l = localAt(t);
    const int y = l.tm_year + 1900;
    const bool leapYear = y % 4 == 0;
    long day = l.tm_yday;
    if (!leapDays && leapYear && day >= 59 + 1) day -= 1;
    return ((day * 24 + l.tm_hour) * 60 + l.tm_min) * 60L + l.tm_sec;
}

class ControlledClock : public ::testing::Test {
protected:
    void SetUp() override
    {
        setenv("FAKETIME", "86400", 1);
        if (time(nullptr) != 86400) GTEST_SKIP() << "runs under faketime only";
        zone("Europe/Berlin");
    }
    // Leave a clock the test machinery can read.
    void TearDown() override { setenv("FAKETIME", "0", 1); }

    static void zone(const char *tz)
    {
        setenv("TZ", tz, 1);
        tzset();
    }

    // The clock stands at t.
    static void freeze(time_t t)
    {
        setenv("FAKETIME", std::to_string(static_cast<long long>(t)).c_str(), 1);
        ASSERT_EQ(time(nullptr), t) << "the clock is not under faketime's control";
    }

    // The clock shows t at its next reading and moves on by `step` seconds at
    // every reading. faketime counts the readings made in this mode over the
    // whole process and adds them to the start, so the start is set back by
    // the readings counted so far.
    static void tick(time_t t, long step)
    {
        auto set = [step](time_t start) {
            setenv("FAKETIME", ("@" + std::to_string(static_cast<long long>(start)) + " i" + std::to_string(step)).c_str(),
                   1);
        };
        set(t);
        const long counted = static_cast<long>(time(nullptr) - t) / step + 1;
        set(t - counted * step);
    }

    // The clock cannot be turned into local time: far beyond any year a struct tm holds.
    static void unreadable() { setenv("FAKETIME", "+3000000000y", 1); }
};

// ---- calendarnow and clocknow -------------------------------------------------

double calendarnow(double selector)
{
    Harness h("calendarnow", Args{num(selector)});
    return h.outputs(0).at(0);
}

double clocknow()
{
    Harness h("clocknow", Args{});
    return h.outputs(0).at(0);
}

using CalendarNow = ControlledClock;

TEST_F(CalendarNow, Fields)
{
    freeze(at(2024, 3, 1, 0, 0, 10, 1));
    const double expected[] = {2024, 3, 1, 0, 0, 10};
    for (int s = 1; s <= 6; ++s) EXPECT_EQ(calendarnow(s), expected[s - 1]) << "selector " << s;

    freeze(at(2025, 1, 15, 14, 30, 45, 1));
    EXPECT_EQ(calendarnow(1), 2025);  // the four-digit year
    EXPECT_EQ(calendarnow(2), 1);     // January is 1
    EXPECT_EQ(calendarnow(3), 15);
    EXPECT_EQ(calendarnow(3.99), 15);  // truncated
    EXPECT_EQ(calendarnow(2.9), 1);
    EXPECT_EQ(calendarnow(4), 14);
    EXPECT_EQ(calendarnow(5), 30);
    EXPECT_EQ(calendarnow(6), 45);

    // Local time, daylight saving included.
    freeze(at(2024, 7, 1, 0, 30, 0, 0));
    EXPECT_EQ(calendarnow(4), 2);
    zone("UTC");
    EXPECT_EQ(calendarnow(4), 0);
    zone("America/New_York");
    EXPECT_EQ(calendarnow(3), 30);
    EXPECT_EQ(calendarnow(2), 6);
}

TEST_F(CalendarNow, OtherSelectorsWriteNothing)
{
    freeze(at(2024, 3, 1, 0, 0, 10, 1));
    for (double s : {0.0, 7.0, -1.0, 0.99, 6.99 + 0.5}) {
        Harness h("calendarnow", Args{num(s)});
        h.block().output(0)[0] = -123.5;
        for (int call = 0; call < 3; ++call) EXPECT_EQ(h.outputs(call).at(0), -123.5) << "selector " << s;
    }
}

using ClockNow = ControlledClock;

TEST_F(ClockNow, LeapAndCommonYears)
{
    freeze(at(2024, 3, 1, 0, 0, 10, 1));
    EXPECT_EQ(clocknow(), 5184010);
    freeze(at(2025, 3, 1, 0, 0, 10, 1));
    EXPECT_EQ(clocknow(), 5097610);
    freeze(at(2024, 1, 1, 0, 0, 0, 1));
    EXPECT_EQ(clocknow(), 0);
    freeze(at(2024, 12, 31, 23, 59, 59, 1));
    EXPECT_EQ(clocknow(), 31622399);
    freeze(at(2023, 12, 31, 23, 59, 59, 1));
    EXPECT_EQ(clocknow(), 31535999);
    freeze(at(2024, 2, 29, 12, 0, 0, 1));
    EXPECT_EQ(clocknow(), 5140800);
    freeze(at(2100, 3, 1, 0, 0, 0, 1));  // every fourth year, 2100 included
    EXPECT_EQ(clocknow(), 5184000);
}

TEST_F(ClockNow, EveryDayOfTwoYears)
{
    Harness h("clocknow", Args{});
    for (int day = 0; day < 731; ++day) {
        const time_t t = at(2024, 1, 1, 13, 37, 11, 0) + day * 86400L;
        freeze(t);
        ASSERT_EQ(h.outputs(0).at(0), countAt(t, true)) << "day " << day;
    }
}

TEST_F(ClockNow, DaylightSavingAndNewYear)
{
    Harness h("clocknow", Args{});
    // Spring: 01:59:59 CET, one second later 03:00:00 CEST.
    freeze(at(2024, 3, 31, 1, 59, 59, 1));
    const double before = h.outputs(0).at(0);
    freeze(at(2024, 3, 31, 1, 59, 59, 1) + 1);
    EXPECT_EQ(h.outputs(1).at(0) - before, 3601);
    EXPECT_EQ(before, (31 + 29 + 30) * 86400.0 + 7199);
    // Autumn: 02:59:59 CEST, one second later 02:00:00 CET.
    freeze(at(2024, 10, 27, 2, 59, 59, 2));
    const double summer = h.outputs(2).at(0);
    freeze(at(2024, 10, 27, 2, 59, 59, 2) + 1);
    EXPECT_EQ(h.outputs(3).at(0) - summer, -3599);
    // Midnight into the new year falls back to 0.
    freeze(at(2024, 12, 31, 23, 59, 59, 1));
    EXPECT_EQ(h.outputs(4).at(0), 31622399);
    freeze(at(2024, 12, 31, 23, 59, 59, 1) + 1);
    EXPECT_EQ(h.outputs(5).at(0), 0);
}

// ---- The local time cannot be obtained -----------------------------------------

using LocalTimeUnavailable = ControlledClock;

TEST_F(LocalTimeUnavailable, ClockBlocksReportAnError)
{
    Harness cal("calendarnow", Args{num(1)});
    Harness clk("clocknow", Args{});
    Harness pulse("wallpulse", Args{num(5), num(1)});
    pulse.block().request(engine::kInitializeConditions);
    pulse.setInput(0, {1});
    Harness w("wait", Args{num(0), num(0), num(0), num(0), num(0), num(1)});

    unreadable();
    cal.block().output(0)[0] = 7;
    EXPECT_EQ(cal.block().tryRequest(engine::kOutputs), kNoLocalTime);
    EXPECT_EQ(cal.block().output(0)[0], 7);
    EXPECT_EQ(clk.block().tryRequest(engine::kOutputs), kNoLocalTime);
    EXPECT_EQ(pulse.block().tryRequest(engine::kOutputs), kNoLocalTime);
    EXPECT_EQ(w.block().tryRequest(engine::kStart), kNoLocalTime);

    // The clock comes back: everything works again; then wait's update fails alone.
    freeze(at(2024, 5, 1, 12, 0, 0, 2));
    EXPECT_EQ(clk.block().tryRequest(engine::kOutputs), "");
    EXPECT_EQ(clk.block().output(0)[0], countAt(time(nullptr), true));
    EXPECT_EQ(pulse.block().tryRequest(engine::kOutputs), "");
    EXPECT_EQ(pulse.block().output(0)[0], 1);
    EXPECT_EQ(w.block().tryRequest(engine::kStart), "");
    unreadable();
    EXPECT_EQ(w.block().tryRequest(engine::kUpdate), kNoLocalTime);
}

// ---- wait -------------------------------------------------------------------------

class Wait : public ControlledClock {
protected:
    std::unique_ptr<Harness> h;

    void start(std::vector<double> p)
    {
        h = std::make_unique<Harness>("wait", Args{num(p[0]), num(p[1]), num(p[2]), num(p[3]), num(p[4]), num(p[5])});
        h->block().request(engine::kStart);
    }
    void update() { h->block().request(engine::kUpdate); }
    double reference() const { return *static_cast<const double *>(h->block().dwork(0)); }
};

// From the clock at the start, step 5: update k returns once the clock count
// has reached the start plus 5k, and not much later.
TEST_F(Wait, PacesFromTheStart)
{
    const time_t t0 = at(2023, 6, 1, 12, 0, 0, 2);
    tick(t0, 1);
    start({0, 0, 0, 0, 0, 5});
    EXPECT_EQ(reference(), countAt(t0, false));
    for (int k = 1; k <= 6; ++k) {
        update();
        const time_t after = time(nullptr);
        EXPECT_GE(after, t0 + 5 * k + 1) << "update " << k << " returned early";
        EXPECT_LE(after, t0 + 5 * k + 3) << "update " << k << " returned late";
        EXPECT_EQ(reference(), countAt(t0, false) + 5 * k);
    }
}

// The reference is carried over midnight into the new year: the updates keep
// their pace instead of waiting for the old year's count to come back.
TEST_F(Wait, CarriesOverTheNewYear)
{
    const time_t t0 = at(2024, 12, 31, 23, 59, 50, 1);
    tick(t0, 1);
    start({0, 0, 0, 0, 0, 5});
    EXPECT_EQ(reference(), 31535990);
    for (int k = 1; k <= 6; ++k) {
        update();
        const time_t after = time(nullptr);
        EXPECT_GE(after, t0 + 5 * k + 1) << "update " << k;
        EXPECT_LE(after, t0 + 5 * k + 3) << "update " << k;
        // The reference follows the count of the moment start + 5k, which restarts at 0.
        EXPECT_EQ(reference(), countAt(t0 + 5 * k, false)) << "update " << k;
    }
    EXPECT_EQ(reference(), 20);
}

// Midnight passes between two updates (a slow simulation step): the next
// update finds the count restarted and carries the reference at once.
TEST_F(Wait, CarriesOverTheNewYearBetweenUpdates)
{
    const time_t t0 = at(2024, 12, 31, 23, 59, 50, 1);
    tick(t0, 1);
    start({0, 0, 0, 0, 0, 5});
    update();
    EXPECT_EQ(reference(), 31535995);
    const time_t late = at(2025, 1, 1, 0, 0, 7, 1);
    tick(late, 1);
    update();  // the count 0 (midnight) has passed: no waiting
    EXPECT_EQ(reference(), 0);
    update();
    EXPECT_EQ(reference(), 5);
    EXPECT_LE(time(nullptr), late + 3);
    update();  // 00:00:10 is still ahead
    EXPECT_GE(time(nullptr), at(2025, 1, 1, 0, 0, 11, 1));
    EXPECT_EQ(reference(), 10);
}

// A step longer than half a year, passing the new year inside one update.
TEST_F(Wait, LongStepOverTheNewYear)
{
    zone("UTC");
    const time_t t0 = at(2024, 6, 1, 0, 0, 0, 0);
    tick(t0, 86400);  // a day per reading
    const double step = 250 * 86400.0;
    start({0, 0, 0, 0, 0, step});
    update();
    const time_t after = time(nullptr);
    EXPECT_GE(after, t0 + 251 * 86400L);
    EXPECT_LE(after, t0 + 253 * 86400L);
    // 250 days after 1 June is 6 February: day 36 of the new year.
    EXPECT_EQ(reference(), 36 * 86400.0);
}

// Start 1 March 08:00 (day 59 without leap days), step 60: the first update
// returns at the count 5126460. A leap year's count repeats day 59, so that is
// 08:01 on 29 February and again on 1 March; in a common year on 1 March.
TEST_F(Wait, StartFromParametersInLeapAndCommonYears)
{
    struct Day {
        int year, month, day;
    };
    for (Day d : {Day{2024, 2, 29}, Day{2024, 3, 1}, Day{2023, 3, 1}}) {
        SCOPED_TRACE(std::to_string(d.year) + "-" + std::to_string(d.month) + "-" + std::to_string(d.day));
        tick(at(d.year, d.month, d.day, 8, 0, 55, 1), 1);
        start({3, 1, 8, 0, 0, 60});
        EXPECT_EQ(reference(), 5126400);
        update();
        const time_t after = time(nullptr);
        EXPECT_GE(after, at(d.year, d.month, d.day, 8, 1, 1, 1));
        EXPECT_LE(after, at(d.year, d.month, d.day, 8, 1, 3, 1));
        EXPECT_EQ(reference(), 5126460);
    }
    // On 2 March of the leap year the count is past the reference: no waiting.
    freeze(at(2024, 3, 2, 8, 0, 0, 1));
    start({3, 1, 8, 0, 0, 60});
    for (int k = 1; k <= 3; ++k) update();
    EXPECT_EQ(reference(), 5126400 + 180);
}

TEST_F(Wait, StartBeforeTheClockCatchesUpAtOnce)
{
    // The clock stands still: every update returns only because the reference is behind it.
    freeze(at(2023, 3, 1, 0, 0, 0, 1));
    start({1, 1, 0, 0, 0, 3600});
    for (int k = 1; k <= 24; ++k) update();
    EXPECT_EQ(reference(), 24 * 3600);

    // Step 0: the reference never moves, and once reached no update waits.
    start({0, 0, 0, 0, 0, 0});
    const double r = reference();
    EXPECT_EQ(r, countAt(time(nullptr), false));
    for (int k = 1; k <= 3; ++k) update();
    EXPECT_EQ(reference(), r);

    // Month 0.5 still counts as a start from the parameters.
    start({0.5, 1, 0, 0, 0, 0});
    EXPECT_EQ(reference(), 0);
    update();
    EXPECT_EQ(reference(), 0);
}

TEST_F(Wait, StartAheadHoldsTheFirstUpdate)
{
    const time_t t0 = at(2023, 6, 1, 12, 0, 0, 2);
    tick(t0, 1);
    start({6, 1, 12, 0, 10, 0});
    update();
    const time_t after = time(nullptr);
    EXPECT_GE(after, t0 + 11);
    EXPECT_LE(after, t0 + 13);

    // A start more than half a year ahead belongs to the year before: the clock has passed it.
    freeze(at(2023, 1, 15, 12, 0, 0, 1));
    start({12, 31, 0, 0, 0, 60});
    update();
    EXPECT_EQ(reference(), 364 * 86400.0 - 31536000 + 60);
}

// Clocks set back by an hour hold the updates for that hour; set forward,
// an hour's worth of steps passes without waiting.
TEST_F(Wait, DaylightSaving)
{
    const time_t autumn = at(2024, 10, 27, 2, 59, 50, 2);
    tick(autumn, 60);
    start({0, 0, 0, 0, 0, 5});
    const double r0 = reference();
    update();
    const time_t after = time(nullptr);
    EXPECT_GE(after, autumn + 3600);
    EXPECT_LE(after, autumn + 3600 + 180);
    EXPECT_EQ(reference(), r0 + 5);

    const time_t spring = at(2024, 3, 31, 1, 59, 50, 1);
    tick(spring, 1);
    start({0, 0, 0, 0, 0, 60});
    for (int k = 1; k <= 60; ++k) update();
    EXPECT_LT(time(nullptr), spring + 300);
    EXPECT_EQ(reference(), countAt(spring, false) + 3600);
}

// ---- wallpulse --------------------------------------------------------------------

class Wallpulse : public ControlledClock {
protected:
    std::unique_ptr<Harness> h;

    void make(double length, double mode)
    {
        h = std::make_unique<Harness>("wallpulse", Args{num(length), num(mode)});
        h->block().request(engine::kInitializeConditions);
    }
    // The output of a call at clock time t with input u.
    double call(time_t t, double u)
    {
        freeze(t);
        return h->output1(0, {u});
    }
    int pulseEnd() const { return ssGetIWork(h->S())[0]; }
    int lastInput() const { return ssGetIWork(h->S())[1]; }
};

const time_t T0 = at(2023, 5, 10, 10, 0, 0, 2);

TEST_F(Wallpulse, RisingEdge)
{
    make(10, 1);
    EXPECT_EQ(call(T0, 0), 0);
    EXPECT_EQ(call(T0 + 1, 1), 1);
    EXPECT_EQ(pulseEnd(), countAt(T0 + 1, false) + 10);
    EXPECT_EQ(call(T0 + 5, 0), 1);  // falling back during the pulse changes nothing
    EXPECT_EQ(call(T0 + 10, 0), 1);
    EXPECT_EQ(call(T0 + 11, 0), 0);
    EXPECT_EQ(pulseEnd(), 0);
    EXPECT_EQ(call(T0 + 12, 0), 0);

    // High from the first call: the previous input counts as 0.
    make(10, 1);
    EXPECT_EQ(call(T0, 1), 1);
    // 0.5 is stored as 0, so 0.5 then 1 is a rising edge.
    make(10, 1);
    EXPECT_EQ(call(T0, 0.5), 0);
    EXPECT_EQ(lastInput(), 0);
    EXPECT_EQ(call(T0 + 1, 1), 1);
    // Mode 0.95 acts as mode 1, length 2.9 as 2 seconds.
    make(2.9, 0.95);
    EXPECT_EQ(call(T0, 1), 1);
    EXPECT_EQ(call(T0 + 1, 1), 1);
    EXPECT_EQ(call(T0 + 2, 1), 0);
}

TEST_F(Wallpulse, FallingEdgeAndAnyChange)
{
    make(10, 2);
    EXPECT_EQ(call(T0, 0), 0);  // low from the start: no pulse
    EXPECT_EQ(call(T0 + 1, 0), 0);
    EXPECT_EQ(call(T0 + 2, 1), 0);
    EXPECT_EQ(call(T0 + 3, 0.05), 1);
    make(10, 2);
    EXPECT_EQ(call(T0, 0.95), 0);  // stored as 0: nothing falls from it
    EXPECT_EQ(call(T0 + 1, 0), 0);

    // Mode 3 with a constant 0.5: stored as 0, it differs again after every pulse,
    // so the output drops for exactly one call between pulses.
    make(3, 3);
    std::vector<double> seen;
    for (int s = 0; s <= 7; ++s) seen.push_back(call(T0 + s, 0.5));
    EXPECT_EQ(seen, (std::vector<double>{1, 1, 1, 0, 1, 1, 1, 0}));
    // Mode 3 on a constant 0 never fires.
    make(3, 3);
    for (int s = 0; s < 3; ++s) EXPECT_EQ(call(T0 + s, 0), 0);
}

TEST_F(Wallpulse, NoRetriggerAndNoPulse)
{
    make(5, 1);
    EXPECT_EQ(call(T0, 1), 1);
    EXPECT_EQ(call(T0 + 1, 0), 1);
    EXPECT_EQ(call(T0 + 2, 1), 1);  // rises again during the pulse
    EXPECT_EQ(call(T0 + 4, 1), 1);
    EXPECT_EQ(call(T0 + 5, 1), 0);
    EXPECT_EQ(call(T0 + 6, 1), 0);  // still high: no second pulse
    EXPECT_EQ(call(T0 + 7, 0), 0);
    EXPECT_EQ(call(T0 + 8, 1), 1);

    for (double length : {0.0, -5.0, 0.9}) {
        make(length, 1);
        EXPECT_EQ(call(T0, 1), 0) << length;
        EXPECT_EQ(pulseEnd(), 0);
    }
    for (double mode : {0.0, 4.0, -1.0, 0.85}) {
        make(5, mode);
        EXPECT_EQ(call(T0, 0), 0);
        EXPECT_EQ(call(T0 + 1, 1), 0) << mode;
        EXPECT_EQ(call(T0 + 2, 0), 0) << mode;
    }
}

// A pulse running over midnight into the new year keeps its length.
TEST_F(Wallpulse, OverTheNewYear)
{
    const time_t t = at(2024, 12, 31, 23, 59, 58, 1);
    make(5, 1);
    EXPECT_EQ(call(t, 1), 1);
    EXPECT_EQ(call(t + 1, 1), 1);
    EXPECT_EQ(call(t + 2, 1), 1);  // 00:00:00
    EXPECT_EQ(pulseEnd(), countAt(t + 5, false));
    EXPECT_EQ(call(t + 4, 1), 1);
    EXPECT_EQ(call(t + 5, 1), 0);

    // A pulse that ended before midnight without a call to see it.
    make(5, 1);
    EXPECT_EQ(call(t - 8, 1), 1);
    EXPECT_EQ(call(t + 12, 1), 0);
    EXPECT_EQ(pulseEnd(), 0);

    // A long pulse: 200 days from 1 December.
    zone("UTC");
    const time_t dec1 = at(2022, 12, 1, 12, 0, 0, 0);
    const time_t end = dec1 + 200 * 86400L;
    make(200 * 86400.0, 1);
    EXPECT_EQ(call(dec1, 1), 1);
    EXPECT_EQ(call(at(2022, 12, 31, 23, 59, 59, 0), 1), 1);
    EXPECT_EQ(call(at(2023, 1, 5, 0, 0, 0, 0), 1), 1);
    EXPECT_EQ(call(end - 1, 1), 1);
    EXPECT_EQ(call(end, 1), 0);
}

// Clocks set back by an hour during a pulse: it ends by the count, an hour later.
TEST_F(Wallpulse, DaylightSavingBack)
{
    const time_t t = at(2024, 10, 27, 2, 59, 30, 2);
    make(60, 1);
    EXPECT_EQ(call(t, 1), 1);
    EXPECT_EQ(call(t + 29, 1), 1);  // 02:59:59 CEST
    EXPECT_EQ(call(t + 30, 1), 1);  // 02:00:00 CET
    EXPECT_EQ(call(t + 3629, 1), 1);
    EXPECT_EQ(call(t + 3660, 1), 0);  // 03:00:30 CET
}

}  // namespace
