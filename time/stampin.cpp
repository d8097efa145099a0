/*
 * stampin: calendar date and time of day to seconds of year.
 *
 * Input (width 6): year, month, day, hour, minute, second. Output: seconds
 * since 1 January 00:00:00 of that year, counting 29 February in leap years
 * (every fourth year, no century rule).
 *
 * The year is rounded half up and serves only its leap status. Months
 * 1, 2, ... are summed while the month number is below the month input, so a
 * fractional month 2.5 sums as month 3 does and a month that is not a number
 * sums nothing; the day, hour, minute and second are used as they come,
 * fractions kept. No range is checked.
 */
#include "simstruc.h"
#include "time/calendar.h"
#include "time/time_block.h"

/* No parameters; input 6, output 1; no common declaration flags. */
void mdlInitializeSizes(SimStruct *S) { time_block_declare(S, 0, 6, 1, 0, 0); }

void mdlInitializeSampleTimes(SimStruct *S) { time_block_continuous(S); }

void mdlOutputs(SimStruct *S, int_T tid)
{
    (void)tid;
    InputRealPtrsType u = ssGetInputPortRealSignalPtrs(S, 0);
    real_T *y = ssGetOutputPortRealSignal(S, 0);
    const int leap = is_leap_year(calendar_year_half_up(*u[0]));
    y[0] = seconds_of_year_real(*u[1], *u[2], *u[3], *u[4], *u[5], leap);
}

void mdlTerminate(SimStruct *S) { (void)S; }
