/*
 * Calendar rules behind the seconds of year: Gregorian month lengths with a
 * simplified leap rule (every fourth year, no century rule). Every deliverable
 * that needs them compiles this module in; the variants differ only in
 * whether leap years count and whether the arithmetic runs in 32-bit
 * integers or doubles.
 */
#ifndef SIMBLOCKS_TIME_CALENDAR_H
#define SIMBLOCKS_TIME_CALENDAR_H

#include <stdint.h>

/* Days of month m (months above 12 continue the odd/even rule); February has 29 when leap is nonzero. */
int32_t days_in_month(int32_t m, int leap);

/* Divisible by 4, with truncating division: 0 and -4 are leap years, -1 is not. */
int is_leap_year(int32_t year);

/* Sum of the lengths of months 1, 2, ... below the bound; 0 for a bound of 1 or less. */
int32_t days_before_month(int32_t bound, int leap);

/* Seconds since 1 January 00:00:00, in 32-bit integers. */
int32_t seconds_of_year(int32_t month, int32_t day, int32_t hour, int32_t minute, int32_t second, int leap);

#endif
