#include "time/calendar.h"

int32_t days_in_month(int32_t m, int leap)
{
    if ((m <= 7 && m % 2 == 1) || (m >= 8 && m % 2 == 0)) return 31;
    if (m == 2) return leap ? 29 : 28;
    return 30;
}

int is_leap_year(int32_t year) { return year % 4 == 0; }

int32_t days_before_month(int32_t bound, int leap)
{
    int32_t sum = 0;
    for (int32_t i = 1; i < bound; ++i) sum += days_in_month(i, leap);
    return sum;
}

int32_t seconds_of_year(int32_t month, int32_t day, int32_t hour, int32_t minute, int32_t second, int leap)
{
    const int32_t B = days_before_month(month, leap);
    return (((B + day - 1) * 24 + hour) * 60 + minute) * 60 + second;
}
