/*
 * stampout: seconds of year to month, day, hour, minute and second.
 *
 * Input (width 1): t, seconds of year. Output (width 5): month, day of month,
 * hour, minute, second (fractions kept). The calendar has 365 days (February
 * always 28) and knows no year: times beyond day 365 continue as month 13
 * with a growing day, times of 0 or less give month 1 with day 0 or below.
 *
 * The day of year is rounded up, so a moment exactly at midnight shows as
 * hour 24 of the day before (t = 86400 is 1 January 24:00:00).
 */
#include <math.h>

#include "simstruc.h"
#include "time/calendar.h"
#include "time/time_block.h"

static const double kSecondsPerDay = 86400;

/* No parameters; input 1, output 5; common declaration flags. */
void mdlInitializeSizes(SimStruct *S) { time_block_declare(S, 0, 1, 5, 0, 1); }

void mdlInitializeSampleTimes(SimStruct *S) { time_block_continuous(S); }

void mdlOutputs(SimStruct *S, int_T tid)
{
    (void)tid;
    InputRealPtrsType u = ssGetInputPortRealSignalPtrs(S, 0);
    real_T *y = ssGetOutputPortRealSignal(S, 0);
    const double t = *u[0];

    const double D = ceil(t / kSecondsPerDay);
    const double r = t - (D - 1) * kSecondsPerDay;
    const double h = floor(r / 3600);
    const double r2 = r - h * 3600;
    const double m = floor(r2 / 60);
    const double s = r2 - m * 60;

    /* Walk back from the year's end to the last month whose first day is not after day D. */
    double e = 365;
    int32_T n = 12;
    double month, day;
    if (D <= 365) {
        while (n > 0) {
            e -= days_in_month(n, 0);
            --n;
            if (e < D) break;
        }
        month = n + 1;
        day = D - e;
    } else {
        month = 13;
        day = D - 365;
    }
    y[0] = month;
    y[1] = day;
    y[2] = h;
    y[3] = m;
    y[4] = s;
}

void mdlTerminate(SimStruct *S) { (void)S; }
