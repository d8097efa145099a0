#include "time/calendar.h"

#include <errno.h>
#include <math.h>

#include "frame/block_util.h"

int32_t days_in_month(int32_t m, int leap)
{
    if ((m <= 7 && m % 2 == 1) || (m >= 8 && m % 2 == 0)) return 31;
    if (m == 2) return leap ? 29 : 28;
    return 30;
}

int is_leap_year(int32_t year) { return year % 4 == 0; }

/*
 * Total length of months 1 to n, n a whole number >= 0. The first twelve are
 * summed month by month; beyond December the rule alternates 30 (odd months)
 * and 31 days (even months), 61 days a pair, so the rest is counted in pairs
 * and never loops more than twelve times.
 */
static double length_of_first_months(double n, int leap)
{
    double sum = 0;
    for (int32_t i = 1; i <= 12 && i <= n; ++i) sum += days_in_month(i, leap);
    if (n <= 12) return sum;
    const double rest = n - 12;
    const double pairs = floor(rest / 2);
    return sum + pairs * 61 + (rest - pairs * 2) * 30;
}

int32_t days_before_month(int32_t bound, int leap)
{
    if (bound <= 1) return 0;
    const double sum = length_of_first_months((double)bound - 1, leap);
    return sum > (double)INT32_MAX ? INT32_MAX : (int32_t)sum;
}

double days_before_month_real(double bound, int leap)
{
    if (!(bound > 1)) return 0;
    if (isinf(bound)) return bound;
    /* The months summed are the whole numbers 1 .. ceil(bound) - 1. */
    return length_of_first_months(ceil(bound) - 1, leap);
}

int32_t seconds_of_year(int32_t month, int32_t day, int32_t hour, int32_t minute, int32_t second, int leap)
{
    const int64_t B = days_before_month(month, leap);
    /* At most about 2^32 days times 86400: far inside 64 bits. */
    const int64_t s = (((B + day - 1) * 24 + hour) * 60 + minute) * 60 + second;
    if (s > INT32_MAX) return INT32_MAX;
    if (s < INT32_MIN) return INT32_MIN;
    return (int32_t)s;
}

double seconds_of_year_real(double month_bound, double day, double hour, double minute, double second, int leap)
{
    const double B = days_before_month_real(month_bound, leap);
    return ((((B + day) - 1) * 24 + hour) * 60 + minute) * 60 + second;
}

int32_t calendar_year_half_up(double year) { return block_trunc_int32(floor(year + 0.5)); }

int local_time_now(struct tm *out)
{
#ifdef _WIN32
    __time64_t now = _time64(NULL);
    if (now == -1) return 0;
    const struct tm *local = _localtime64(&now);
    if (local == NULL) return 0;
    *out = *local;
    return 1;
#else
    /* time() gives -1 both for failure and for the last second of 1969: errno tells them apart. */
    errno = 0;
    const time_t now = time(NULL);
    if (now == (time_t)-1 && errno != 0) return 0;
    /* localtime_r need not look at TZ again; tzset makes it follow TZ as localtime does. */
    tzset();
    return localtime_r(&now, out) != NULL;
#endif
}

int clock_seconds_of_year(int leap_setting, int32_t *out)
{
    struct tm t;
    if (!local_time_now(&t)) return 0;
    const int leap = leap_setting == CLOCK_LEAP_FROM_YEAR && is_leap_year(t.tm_year);
    *out = seconds_of_year(t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec, leap);
    return 1;
}
