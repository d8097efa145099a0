/*
 * wallpulse: a one-shot pulse timed by the local wall clock.
 *
 * Input (width 1): the trigger signal, meant as 0 and 1. Output (width 1):
 * 1.0 while a pulse runs, else 0.0. Parameters: 1 pulse length in seconds of
 * wall-clock time (truncated toward zero), 2 trigger mode (value + 0.1
 * truncated: 1 rising edge, 2 falling edge, 3 any change; any other mode
 * never triggers).
 *
 * Integer work: [0] the clock count (seconds of year without leap days) at
 * which the running pulse ends, 0 when idle; [1] the previous input,
 * truncated toward zero. The edge tests compare the present input as it comes
 * with the stored, truncated previous input (0.5 is stored as 0). A pulse
 * cannot be retriggered while it runs, and the previous input is stored at
 * every call, so a change during a pulse is forgotten after it.
 *
 * The clock count restarts at 0 every new year. A running pulse ends at most
 * its length ahead of the clock; when its end lies more than halfway from
 * there to a whole year ahead, the clock has passed into a new year and the
 * end moves back by whole years of the count, so a pulse keeps its length
 * across midnight of 31 December. The clock count knows no year, so a pulse
 * lasts one year at most.
 */
#include "simstruc.h"
#include "time/calendar.h"
#include "time/time_block.h"

static const int64_t kYear = CALENDAR_COMMON_YEAR_SECONDS;

enum { kPulseEnd = 0, kLastInput = 1 };

static int32_T clamp_int32(int64_t v)
{
    if (v > INT32_MAX) return INT32_MAX;
    if (v < INT32_MIN) return INT32_MIN;
    return (int32_T)v;
}

/* The end of a running pulse carried into the clock's current year. */
static int64_t carried_end(int64_t end, int64_t now, int32_T length)
{
    const int64_t len = length < 0 ? 0 : (length > kYear ? kYear : length);
    const int64_t threshold = (len + kYear) / 2;
    const int64_t ahead = end - now;
    if (ahead > threshold) end -= (ahead - threshold + kYear - 1) / kYear * kYear;
    return end;
}

/* Length and mode; input 1, output 1; two integer work elements; no common declaration flags. */
void mdlInitializeSizes(SimStruct *S) { time_block_declare(S, 2, 1, 1, 2, 0); }

void mdlInitializeSampleTimes(SimStruct *S) { time_block_continuous(S); }

void mdlInitializeConditions(SimStruct *S)
{
    int_T *w = ssGetIWork(S);
    w[kPulseEnd] = 0;
    w[kLastInput] = 0;
}

void mdlOutputs(SimStruct *S, int_T tid)
{
    (void)tid;
    int_T *w = ssGetIWork(S);
    const double u = *ssGetInputPortRealSignalPtrs(S, 0)[0];
    real_T *y = ssGetOutputPortRealSignal(S, 0);

    int32_T count;
    if (!clock_seconds_of_year(CLOCK_LEAP_NEVER, &count)) {
        ssSetErrorStatus(S, kLocalTimeUnavailable);
        return;
    }
    const int64_t now = count;
    const int idle = w[kPulseEnd] == 0;
    int64_t end = idle ? 0 : carried_end(w[kPulseEnd], now, block_trunc_int32(time_block_param(S, 0)));

    /* A NaN input differs from any stored input. */
    if (idle && u != (double)w[kLastInput]) {
        const int32_T mode = block_trunc_int32(time_block_param(S, 1) + 0.1);
        const double last = w[kLastInput];
        int trigger = 0;
        if (mode == 3) trigger = 1;
        else if (mode == 2) trigger = u < 0.1 && last > 0.9;
        else if (mode == 1) trigger = u > 0.9 && last < 0.1;
        if (trigger) end = now + block_trunc_int32(time_block_param(S, 0));
    }

    y[0] = now < end ? 1.0 : 0.0;
    if (!(now < end)) end = 0;
    w[kPulseEnd] = clamp_int32(end);
    w[kLastInput] = block_trunc_int32(u);
}

void mdlTerminate(SimStruct *S) { (void)S; }
