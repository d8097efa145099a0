/*
 * yearelapsed: time elapsed since 1 January 00:00:00 of a given year, in six
 * units at once.
 *
 * Input (width 6): year, month, day, hour, minute, second. Output (width 6):
 * elapsed years, months, days, hours, minutes and seconds.
 *
 * Days, hours, minutes and seconds rescale one count of seconds. Years divide
 * it by the length of the given year. Months count the whole months before
 * the given one plus the fraction of the given month that has passed, so each
 * month counts as one unit whatever its length. Leap years are every fourth
 * year; the year is rounded half up, the month rounded half up for the day
 * sum and the month length and used unrounded in the month count.
 */
#include <math.h>

#include "simstruc.h"
#include "frame/block_util.h"
#include "time/calendar.h"
#include "time/time_block.h"

/* No parameters; input 6, output 6; common declaration flags. */
void mdlInitializeSizes(SimStruct *S) { time_block_declare(S, 0, 6, 6, 0, 1); }

void mdlInitializeSampleTimes(SimStruct *S) { time_block_continuous(S); }

void mdlOutputs(SimStruct *S, int_T tid)
{
    (void)tid;
    InputRealPtrsType u = ssGetInputPortRealSignalPtrs(S, 0);
    real_T *y = ssGetOutputPortRealSignal(S, 0);
    const double month = *u[1], day = *u[2], hour = *u[3], minute = *u[4], second = *u[5];

    const int32_T R = calendar_year_half_up(*u[0]) % 4;
    const int leap = R == 0;

    const int32_T bound = block_trunc_int32(month + 0.5);
    const double E = seconds_of_year_real(bound, day, hour, minute, second, leap);
    y[5] = E;
    y[4] = E / 60;
    y[3] = E / 3600;
    y[2] = E / 86400;

    const int32_T L = days_in_month(block_trunc_int32(floor(month + 0.5)), leap);
    /* Seconds into the month: the same count with no months before it. */
    const double into = seconds_of_year_real(1, day, hour, minute, second, leap);
    y[1] = into / (double)(L * 86400) + (month - 1);
    y[0] = R <= 0 ? E / CALENDAR_LEAP_YEAR_SECONDS : E / CALENDAR_COMMON_YEAR_SECONDS;
}

void mdlTerminate(SimStruct *S) { (void)S; }
