/*
 * calendarnow: one field of the local date and time.
 *
 * No input. Output (width 1): the field chosen by parameter 1, truncated
 * toward zero at every call: 1 year (four digits), 2 month (1 to 12), 3 day
 * of month, 4 hour, 5 minute, 6 second. Any other selector writes nothing,
 * so the output keeps its value. The clock is read afresh at every call.
 */
#include "simstruc.h"
#include "time/calendar.h"
#include "time/time_block.h"

/* The selector; no input, output 1; common declaration flags. */
void mdlInitializeSizes(SimStruct *S) { time_block_declare(S, 1, 0, 1, 0, 1); }

void mdlInitializeSampleTimes(SimStruct *S) { time_block_continuous(S); }

void mdlOutputs(SimStruct *S, int_T tid)
{
    (void)tid;
    real_T *y = ssGetOutputPortRealSignal(S, 0);
    struct tm now;
    if (!local_time_now(&now)) {
        ssSetErrorStatus(S, kLocalTimeUnavailable);
        return;
    }
    /* An unreadable selector selects nothing. */
    switch (block_trunc_int32(time_block_param(S, 0))) {
    case 1: y[0] = now.tm_year + 1900; break;
    case 2: y[0] = now.tm_mon + 1; break;
    case 3: y[0] = now.tm_mday; break;
    case 4: y[0] = now.tm_hour; break;
    case 5: y[0] = now.tm_min; break;
    case 6: y[0] = now.tm_sec; break;
    default: break;
    }
}

void mdlTerminate(SimStruct *S) { (void)S; }
