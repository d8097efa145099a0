// The calendar rules on their own: month lengths, the leap test, the day sum
// in its 32-bit and double forms, seconds of year in each variant, and the
// bounds that keep huge month numbers and dates from looping or overflowing.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>

#include "time/calendar.h"

namespace {

const int kCommon[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};

// Month lengths written out for the months of the year; beyond December odd
// months have 30 days and even months 31.
int lengthOf(long long m, bool leap)
{
    if (m >= 1 && m <= 12) return (m == 2 && leap) ? 29 : kCommon[m - 1];
    if (m > 12) return m % 2 == 0 ? 31 : 30;
    return 30;
}

// The day sum as a plain loop over the months below the bound.
double loopSum(double bound, bool leap)
{
    double sum = 0;
    for (long long i = 1; static_cast<double>(i) < bound; ++i) sum += lengthOf(i, leap);
    return sum;
}

// Seconds of year of a date, counting days of the year from a table.
long long secondsOf(int month, int day, int h, int mi, int s, bool leap)
{
    long long days = 0;
    for (int m = 1; m < month; ++m) days += lengthOf(m, leap);
    return (days + day - 1) * 86400LL + h * 3600LL + mi * 60LL + s;
}

TEST(Calendar, MonthLengths)
{
    for (int m = 1; m <= 12; ++m) {
        EXPECT_EQ(days_in_month(m, 0), kCommon[m - 1]) << m;
        EXPECT_EQ(days_in_month(m, 1), m == 2 ? 29 : kCommon[m - 1]) << m;
    }
    EXPECT_EQ(days_in_month(13, 0), 30);
    EXPECT_EQ(days_in_month(14, 0), 31);
    EXPECT_EQ(days_in_month(15, 1), 30);
    // Zero and negative months are never odd by the truncating remainder.
    for (int m : {0, -1, -2, -7, INT32_MIN}) EXPECT_EQ(days_in_month(m, 1), 30) << m;
    EXPECT_EQ(days_in_month(INT32_MAX, 0), 30);
}

TEST(Calendar, LeapYearsEveryFourthYear)
{
    for (int y : {2024, 2000, 1900, 2100, 0, -4, -400, INT32_MIN}) EXPECT_TRUE(is_leap_year(y)) << y;
    for (int y : {2001, 2023, 2025, 1, -1, -3, -5, INT32_MAX}) EXPECT_FALSE(is_leap_year(y)) << y;
}

TEST(Calendar, DaysBeforeMonth)
{
    for (int leap = 0; leap <= 1; ++leap) {
        for (int b = -3; b <= 40; ++b) {
            EXPECT_EQ(days_before_month(b, leap), loopSum(b, leap)) << b << " leap " << leap;
            EXPECT_EQ(days_before_month_real(b, leap), loopSum(b, leap)) << b << " leap " << leap;
        }
    }
    EXPECT_EQ(days_before_month(13, 0), 365);
    EXPECT_EQ(days_before_month(13, 1), 366);
    EXPECT_EQ(days_before_month(3, 1), 60);
}

TEST(Calendar, DaysBeforeMonthRealBound)
{
    // Months are summed while their number is below the bound.
    EXPECT_EQ(days_before_month_real(2.5, 0), 59);
    EXPECT_EQ(days_before_month_real(3.0, 0), 59);
    EXPECT_EQ(days_before_month_real(3.0000001, 0), 90);
    EXPECT_EQ(days_before_month_real(2.5, 1), 60);
    for (double b : {1.0, 0.5, 0.0, -0.0, -2.5, -HUGE_VAL, std::nan("")}) EXPECT_EQ(days_before_month_real(b, 1), 0) << b;
    for (double b : {13.5, 99.25, 1000.5, 123456.7}) EXPECT_EQ(days_before_month_real(b, 0), loopSum(b, false)) << b;
    EXPECT_EQ(days_before_month_real(INFINITY, 0), INFINITY);
}

TEST(Calendar, HugeBoundsNeitherLoopNorOverflow)
{
    // Months past December add 30 each plus one for every even month.
    auto expected = [](double n, bool leap) {
        const double beyond = n - 12;
        return (leap ? 366 : 365) + 30 * beyond + std::floor(beyond / 2);
    };
    EXPECT_EQ(days_before_month_real(4e9 + 1, 0), expected(4e9, false));
    EXPECT_EQ(days_before_month_real(1e15 + 0.5, 1), expected(1e15, true));
    const double big = days_before_month_real(1e300, 0);
    EXPECT_TRUE(std::isfinite(big));
    EXPECT_GT(big, 3e301);

    // The 32-bit sum saturates once the total no longer fits.
    int32_t fits = 12 + static_cast<int32_t>((2147483647.0 - 365) / 30.5) - 10;
    EXPECT_EQ(days_before_month(fits + 1, 0), expected(fits, false));
    EXPECT_LT(expected(fits, false), 2147483647.0);
    EXPECT_EQ(days_before_month(INT32_MAX, 0), INT32_MAX);
    EXPECT_EQ(days_before_month(INT32_MAX, 1), INT32_MAX);
}

// The edge cases of the seconds of year, for each variant: 32-bit or double,
// leap years counted or not.
TEST(Calendar, SecondsOfYearVariants)
{
    for (int leap = 0; leap <= 1; ++leap) {
        SCOPED_TRACE(leap ? "leap" : "common");
        const int32_t lastSecond = leap ? 31622399 : 31535999;
        const int32_t march = leap ? 5184000 : 5097600;
        EXPECT_EQ(seconds_of_year(1, 1, 0, 0, 0, leap), 0);
        EXPECT_EQ(seconds_of_year_real(1, 1, 0, 0, 0, leap), 0);
        EXPECT_EQ(seconds_of_year(12, 31, 23, 59, 59, leap), lastSecond);
        EXPECT_EQ(seconds_of_year_real(12, 31, 23, 59, 59, leap), lastSecond);
        EXPECT_EQ(seconds_of_year(3, 1, 0, 0, 0, leap), march);
        EXPECT_EQ(seconds_of_year_real(3, 1, 0, 0, 0, leap), march);
        EXPECT_EQ(seconds_of_year(2, 1, 0, 0, 0, leap), 2678400);
        EXPECT_EQ(seconds_of_year_real(2, 1, 0, 0, 0, leap), 2678400);
    }
    // Without leap years 29 February and 1 March are the same day.
    EXPECT_EQ(seconds_of_year(2, 29, 12, 0, 0, 0), 5140800);
    EXPECT_EQ(seconds_of_year(3, 1, 12, 0, 0, 0), 5140800);
    EXPECT_EQ(seconds_of_year_real(2, 29, 12, 0, 0, 0), 5140800);

    // A sweep of dates against the table.
    for (int leap = 0; leap <= 1; ++leap)
        for (int m = 1; m <= 13; ++m)
            for (int d : {0, 1, 15, 31})
                for (int h : {0, 7, 24}) {
                    EXPECT_EQ(seconds_of_year(m, d, h, 59, 30, leap), secondsOf(m, d, h, 59, 30, leap));
                    EXPECT_EQ(seconds_of_year_real(m, d, h, 59, 30, leap), secondsOf(m, d, h, 59, 30, leap));
                }
}

TEST(Calendar, SecondsOfYearOutOfRange)
{
    // Out-of-range values enter as they come.
    EXPECT_EQ(seconds_of_year(3, 0, 0, 0, 0, 0), 5097600 - 86400);
    EXPECT_EQ(seconds_of_year(1, 1, -1, 0, 0, 0), -3600);
    EXPECT_EQ(seconds_of_year(1, 1, 0, 0, -5, 1), -5);
    // Fractions pass through the double form in its nesting order.
    EXPECT_EQ(seconds_of_year_real(1, 1.5, 0, 0, 0, 0), 43200);
    EXPECT_EQ(seconds_of_year_real(2.5, 1, 0.25, 0, 0, 0), 59 * 86400 + 900);
    EXPECT_EQ(seconds_of_year_real(INFINITY, 1, 0, 0, 0, 0), INFINITY);
    EXPECT_EQ(seconds_of_year_real(std::nan(""), 2, 0, 0, 0, 0), 86400);
    // 32-bit results that would overflow saturate.
    EXPECT_EQ(seconds_of_year(1, INT32_MAX, 0, 0, 0, 0), INT32_MAX);
    EXPECT_EQ(seconds_of_year(1, INT32_MIN, 0, 0, 0, 0), INT32_MIN);
    EXPECT_EQ(seconds_of_year(INT32_MAX, INT32_MAX, INT32_MAX, INT32_MAX, INT32_MAX, 1), INT32_MAX);
    EXPECT_EQ(seconds_of_year(1, 1, 0, 0, INT32_MIN, 0), INT32_MIN);
    EXPECT_EQ(seconds_of_year(1, 1, 596524, 0, 0, 0), INT32_MAX);  // 596524 h is just past 2^31 s
    EXPECT_EQ(seconds_of_year(1, 1, 596523, 0, 0, 0), 596523LL * 3600);
}

TEST(Calendar, YearRoundedHalfUp)
{
    EXPECT_EQ(calendar_year_half_up(2023.5), 2024);
    EXPECT_EQ(calendar_year_half_up(2024.49), 2024);
    EXPECT_EQ(calendar_year_half_up(-0.5), 0);
    EXPECT_EQ(calendar_year_half_up(-0.51), -1);
    EXPECT_EQ(calendar_year_half_up(-4.5), -4);
    EXPECT_EQ(calendar_year_half_up(std::nan("")), INT32_MIN);
    EXPECT_EQ(calendar_year_half_up(1e10), INT32_MIN);
    EXPECT_EQ(calendar_year_half_up(2147483647.4), INT32_MAX);
}

}  // namespace
