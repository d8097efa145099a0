/*
 * wait: paces a simulation against the local wall clock.
 *
 * No ports. Parameters: 1 start month, 2 start day, 3 start hour, 4 start
 * minute, 5 start second, 6 step in seconds (also the sample time). At each
 * sample hit the update holds the simulation until the local clock, read as
 * seconds of year without leap days, has reached the reference plus one step,
 * then moves the reference on by the step. The reference starts at the clock
 * count of the simulation start, or at the moment of the year given by
 * parameters 1 to 5 when parameter 1 is above 0 (each truncated toward zero).
 * The clock has whole seconds, so a step below one second lets several
 * updates pass together each time the count moves on.
 *
 * The clock count restarts at 0 every new year. When a reading lies more than
 * half a year behind the reference, or behind the previous reading of the
 * same update, the clock has passed into a new year and the reference moves
 * back by whole years of the count, so pacing carries on across midnight of
 * 31 December. (A start moment more than half a year ahead of the clock
 * therefore counts as last year's.) A daylight-saving change, at most an hour
 * or two, is no such jump: the updates hold or pass by its size.
 *
 * Between readings the update pauses for a couple of milliseconds instead of
 * spinning, far below the clock's one-second resolution. It also stops
 * waiting when the host has an interrupt pending (Ctrl-C in Octave), so that
 * the engine driving the block can end the run; the reference then stays
 * where it was.
 *
 * An infinite step can never be reached by the clock: it would hold the
 * simulation for ever, so the block reports it instead, when its sample
 * time is set and at every update.
 */
#include <math.h>
#ifdef _WIN32
#include <windows.h>
#else
#include <time.h>
#endif

#include "host_flavour.h"
#include "simstruc.h"
#include "time/calendar.h"
#include "time/time_block.h"

static const double kYear = CALENDAR_COMMON_YEAR_SECONDS;
static const double kHalfYear = CALENDAR_COMMON_YEAR_SECONDS / 2;
static const char kInfiniteStep[] = "wait: the step (parameter 6) is infinite; the clock would never reach it";

static void pause_between_readings(void)
{
#ifdef _WIN32
    Sleep(2);
#else
    struct timespec pause = {0, 2000000};
    nanosleep(&pause, NULL);
#endif
}

void mdlInitializeSizes(SimStruct *S)
{
    ssSetNumSFcnParams(S, 6);
    if (ssGetNumSFcnParams(S) != ssGetSFcnParamsCount(S)) return;
    ssSetNumContStates(S, 0);
    ssSetNumDiscStates(S, 0);
    if (!ssSetNumInputPorts(S, 0)) return;
    if (!ssSetNumOutputPorts(S, 0)) return;
    ssSetNumSampleTimes(S, 1);
    ssSetNumRWork(S, 0);
    ssSetNumIWork(S, 0);
    ssSetNumPWork(S, 0);
    ssSetNumModes(S, 0);
    ssSetNumNonsampledZCs(S, 0);
    if (block_has_dwork_service(S)) {
        ssSetNumDWork(S, 1);
        ssSetDWorkWidth(S, 0, 1);
        ssSetDWorkDataType(S, 0, SS_DOUBLE);
        ssSetDWorkName(S, 0, "DWORK0");
        ssSetDWorkUsageType(S, 0, SS_DWORK_USED_AS_DSTATE);
    }
    block_set_common_declaration_flags(S);
    ssSupportsMultipleExecInstances(S, 1);
}

/* 1 when the step (parameter 6) is one the clock can reach; else reported. */
static int step_reachable(SimStruct *S)
{
    if (time_block_param(S, 5) != INFINITY) return 1;
    ssSetErrorStatus(S, kInfiniteStep);
    return 0;
}

void mdlInitializeSampleTimes(SimStruct *S)
{
    ssSetSampleTime(S, 0, time_block_param(S, 5));
    ssSetOffsetTime(S, 0, 0.0);
    step_reachable(S);
}

/*
 * The reference record, which exists only where the engine offers DWork
 * records; without it there is nothing to pace by.
 */
static real_T *reference_record(SimStruct *S)
{
    return ssGetNumDWork(S) >= 1 ? (real_T *)ssGetDWork(S, 0) : NULL;
}

void mdlStart(SimStruct *S)
{
    real_T *reference = reference_record(S);
    if (reference == NULL) return;
    if (time_block_param(S, 0) > 0) {
        int32_T start[5];
        for (int_T i = 0; i < 5; ++i) start[i] = block_trunc_int32(time_block_param(S, i));
        *reference = seconds_of_year(start[0], start[1], start[2], start[3], start[4], 0);
        return;
    }
    int32_T now;
    if (!clock_seconds_of_year(CLOCK_LEAP_NEVER, &now)) {
        ssSetErrorStatus(S, kLocalTimeUnavailable);
        return;
    }
    *reference = now;
}

void mdlOutputs(SimStruct *S, int_T tid)
{
    (void)S;
    (void)tid;
}

void mdlUpdate(SimStruct *S, int_T tid)
{
    (void)tid;
    real_T *stored = reference_record(S);
    if (stored == NULL || !step_reachable(S)) return;
    double reference = *stored;
    double previous = NAN;
    for (;;) {
        int32_T count;
        if (!clock_seconds_of_year(CLOCK_LEAP_NEVER, &count)) {
            ssSetErrorStatus(S, kLocalTimeUnavailable);
            return;
        }
        const double now = count;
        /* The count restarted with a new year since the reference, or since the last reading. */
        if (reference - now > kHalfYear) {
            reference -= ceil((reference - now - kHalfYear) / kYear) * kYear;
        } else if (previous - now > kHalfYear) {
            reference -= kYear;
        }
        previous = now;
        *stored = reference;
        /* The step is read at every pass, so a change takes effect at once. */
        if (!(reference + time_block_param(S, 5) > now)) break;
        if (host_interrupt_pending()) return;
        pause_between_readings();
    }
    *stored = reference + time_block_param(S, 5);
}

void mdlTerminate(SimStruct *S) { (void)S; }
