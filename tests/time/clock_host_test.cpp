// calendarnow, clocknow, wait and wallpulse against the host's own clock, read here
// through another door than the blocks use: on Windows the system call
// GetLocalTime (the blocks read _time64 and _localtime64), elsewhere
// clock_gettime (or gettimeofday) and localtime_r. Runs on every platform, under Wine too, where
// faketime cannot control the clock: each reading is bracketed by readings
// of the host clock and retried when a second boundary falls in between.
#include <gtest/gtest.h>

#include <array>
#include <memory>
#include <string>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/time.h>
#include <time.h>
#include <unistd.h>
#endif

#include "support/testutil.h"

namespace {

using testutil::Args;
using testutil::Harness;
using testutil::num;

// Local year, month, day, hour, minute, second.
using Fields = std::array<int, 6>;

Fields hostNow()
{
    static const bool zone = (followSystemTimeZone(), true);
    (void)zone;
#ifdef _WIN32
    SYSTEMTIME t;
    GetLocalTime(&t);
    return {t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond};
#else
#ifdef CLOCK_REALTIME_COARSE
    // Linux's time(), behind the blocks' clock, reads the coarse clock, which
    // may lag the precise one by a tick just after a second begins: read the
    // same one, or a reading here could be a second ahead of the block's.
    struct timespec ts;
    clock_gettime(CLOCK_REALTIME_COARSE, &ts);
    time_t s = ts.tv_sec;
#else
    struct timeval tv;
    gettimeofday(&tv, nullptr);
    time_t s = tv.tv_sec;
#endif
    struct tm l;
    localtime_r(&s, &l);
    return {l.tm_year + 1900, l.tm_mon + 1, l.tm_mday, l.tm_hour, l.tm_min, l.tm_sec};
#endif
}

// Seconds of year of local fields, counted by hand: 29 February counts in
// every fourth year when leapDays is set, never otherwise.
long secondsOfYear(const Fields &f, bool leapDays)
{
    static const int len[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    long day = f[2] - 1;
    for (int m = 1; m < f[1]; ++m) day += len[m - 1] + (m == 2 && leapDays && f[0] % 4 == 0 ? 1 : 0);
    return ((day * 24 + f[3]) * 60 + f[4]) * 60L + f[5];
}

// Runs read() between two readings of the host clock until both readings
// agree, and returns that reading.
template <class Read>
Fields bracketed(Read read)
{
    for (int attempt = 0; attempt < 5; ++attempt) {
        const Fields before = hostNow();
        read();
        if (hostNow() == before) return before;
    }
    ADD_FAILURE() << "the host clock never stood still for a reading";
    return Fields{};
}

TEST(HostClock, CalendarnowAndClocknowShowTheLocalClock)
{
    // One calendarnow per field (selectors 1 to 6), and a clocknow.
    std::vector<std::unique_ptr<Harness>> fields;
    for (int s = 1; s <= 6; ++s) fields.push_back(std::make_unique<Harness>("calendarnow", Args{num(s)}));
    Harness clock("clocknow", Args{});
    std::array<double, 6> shown{};
    double count = -1;
    const Fields now = bracketed([&] {
        for (std::size_t i = 0; i < 6; ++i) shown[i] = fields[i]->outputs(0).at(0);
        count = clock.outputs(0).at(0);
    });
    for (std::size_t i = 0; i < 6; ++i) EXPECT_EQ(shown[i], now[i]) << "selector " << i + 1;
    EXPECT_EQ(count, secondsOfYear(now, true));
}

// wait with a step of one second from the clock at the start: each update
// returns once the clock count has moved one second on.
TEST(HostClock, WaitPacesAgainstTheLocalClock)
{
    Harness w("wait", Args{num(0), num(0), num(0), num(0), num(0), num(1)});
    const Fields start = bracketed([&] { w.block().request(engine::kStart); });
    const double first = *static_cast<const double *>(w.block().dwork(0));
    EXPECT_EQ(first, secondsOfYear(start, false));
    for (int k = 1; k <= 2; ++k) {
        w.block().request(engine::kUpdate);
        const long after = secondsOfYear(hostNow(), false);
        EXPECT_GE(after, first + k) << "update " << k << " returned early";
        EXPECT_LE(after, first + k + 1) << "update " << k << " returned late";
        EXPECT_EQ(*static_cast<const double *>(w.block().dwork(0)), first + k);
    }
}

// wallpulse, one second long, triggered on a rising edge: high until the
// clock count reaches the trigger's count plus one.
TEST(HostClock, WallpulseLastsItsLengthOnTheLocalClock)
{
    Harness p("wallpulse", Args{num(1), num(1)});
    p.block().request(engine::kInitializeConditions);
    EXPECT_EQ(p.output1(0, {0}), 0);
    double out = -1;
    const Fields start = bracketed([&] { out = p.output1(0, {1}); });
    EXPECT_EQ(out, 1);
    const long end = secondsOfYear(start, false) + 1;
    EXPECT_EQ(ssGetIWork(p.S())[0], end);
    // Poll for up to four seconds: high while the count is below the end.
    long counted = secondsOfYear(start, false);
    for (int i = 0; i < 400 && out == 1; ++i) {
        const long before = secondsOfYear(hostNow(), false);
        out = p.output1(0, {1});
        counted = secondsOfYear(hostNow(), false);
        if (out == 1) {
            EXPECT_LT(before, end);
        }
#ifdef _WIN32
        Sleep(10);
#else
        usleep(10000);
#endif
    }
    EXPECT_EQ(out, 0) << "the pulse never ended";
    EXPECT_GE(counted, end);
}

}  // namespace
