/*
 * clocknow: the local wall clock as seconds of year.
 *
 * No input. Output (width 1): whole seconds since local 1 January 00:00:00 of
 * the current year, counting 29 February in leap years (every fourth year).
 * The count falls back to 0 at local midnight into the new year and jumps by
 * the size of a daylight-saving change. The clock is read afresh at every
 * call.
 */
#include "simstruc.h"
#include "time/calendar.h"
#include "time/time_block.h"

/* No parameters; no input, output 1; common declaration flags. */
void mdlInitializeSizes(SimStruct *S) { time_block_declare(S, 0, 0, 1, 0, 1); }

void mdlInitializeSampleTimes(SimStruct *S) { time_block_continuous(S); }

void mdlOutputs(SimStruct *S, int_T tid)
{
    (void)tid;
    real_T *y = ssGetOutputPortRealSignal(S, 0);
    int32_T now;
    if (!clock_seconds_of_year(CLOCK_LEAP_FROM_YEAR, &now)) {
        ssSetErrorStatus(S, kLocalTimeUnavailable);
        return;
    }
    y[0] = now;
}

void mdlTerminate(SimStruct *S) { (void)S; }
