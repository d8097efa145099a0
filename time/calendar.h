/*
 * Calendar rules behind the seconds of year: Gregorian month lengths with a
 * simplified leap rule (every fourth year, no century rule). Every deliverable
 * that needs them compiles this module in; the variants differ only in
 * whether leap years count, whether the arithmetic runs in 32-bit integers or
 * doubles, and how the month bound of the day sum is formed (the caller forms
 * it and passes it in).
 *
 * Seconds of year: 1 January 00:00:00 is 0; 60 s a minute, 3600 s an hour,
 * 86400 s a day. Nothing here checks ranges: a day 0 lands on the last day
 * before the month, hour 24 on the next day, month numbers above 12 continue
 * the month-length rule (13 has 30 days, 14 has 31, and so on by parity).
 *
 * The local wall clock is read through local_time_now, the one place that
 * talks to the runtime's clock (time/localtime_r, or _time64/_localtime64 on
 * Windows).
 */
#ifndef SIMBLOCKS_TIME_CALENDAR_H
#define SIMBLOCKS_TIME_CALENDAR_H

#include <stdint.h>
#include <time.h>

/* Year lengths in seconds. */
#define CALENDAR_COMMON_YEAR_SECONDS 31536000
#define CALENDAR_LEAP_YEAR_SECONDS 31622400

/* The error report of a clock block whose local time cannot be obtained. */
static const char kLocalTimeUnavailable[] = "The local time could not be obtained from the system clock";

/* Days of month m (months above 12 continue the odd/even rule); February has 29 when leap is nonzero. */
int32_t days_in_month(int32_t m, int leap);

/* Divisible by 4, with truncating division: 0 and -4 are leap years, -1 is not. */
int is_leap_year(int32_t year);

/*
 * Sum of the lengths of months 1, 2, ... below the bound; 0 for a bound of 1
 * or less. A sum beyond the 32-bit range (bounds above about 70 million)
 * saturates at INT32_MAX.
 */
int32_t days_before_month(int32_t bound, int leap);

/*
 * The same sum for a bound given as a double: months i = 1, 2, ... are summed
 * while i is less than the bound, so 2.5 sums January and February. NaN and
 * bounds of 1 or less give 0, +Inf gives +Inf. Computed without a loop over
 * the months, so any bound returns at once.
 */
double days_before_month_real(double bound, int leap);

/*
 * Seconds since 1 January 00:00:00, (((B + day - 1) * 24 + hour) * 60 + minute)
 * * 60 + second with B = days_before_month(month), in 32-bit integers.
 * Results beyond the 32-bit range saturate at INT32_MIN or INT32_MAX.
 */
int32_t seconds_of_year(int32_t month, int32_t day, int32_t hour, int32_t minute, int32_t second, int leap);

/*
 * The same in doubles: the day sum runs below month_bound as in
 * days_before_month_real, day to second are used as they come (fractions
 * kept), evaluated in the same nesting order.
 */
double seconds_of_year_real(double month_bound, double day, double hour, double minute, double second, int leap);

/*
 * A year input rounded half up (floor of value + 0.5) and truncated to a
 * 32-bit integer; values outside that range (and NaN) give INT32_MIN.
 */
int32_t calendar_year_half_up(double year);

/*
 * The current local broken-down time. Returns 1 and fills *out, or 0 when the
 * system cannot give it (the clock cannot be read or the time cannot be
 * converted to local time); *out is then unspecified.
 */
int local_time_now(struct tm *out);

/* Leap settings of clock_seconds_of_year. */
enum { CLOCK_LEAP_NEVER = 0, CLOCK_LEAP_FROM_YEAR = 1 };

/*
 * The local wall clock as seconds of year, a whole number of seconds: month
 * tm_mon + 1, day tm_mday, hour, minute and second of local_time_now, in
 * 32-bit integers. February has 29 days only with CLOCK_LEAP_FROM_YEAR and a
 * tm_year divisible by 4. The count restarts at 0 at local midnight into
 * 1 January and jumps by the size of a daylight-saving change. Returns 1 and
 * stores the count in *out, or 0 when the local time cannot be obtained.
 */
int clock_seconds_of_year(int leap_setting, int32_t *out);

#endif
