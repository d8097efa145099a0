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

void mdlInitializeSizes(SimStruct *S)
{
    ssSetNumSFcnParams(S, 0);
    if (ssGetNumSFcnParams(S) != ssGetSFcnParamsCount(S)) return;
    ssSetNumContStates(S, 0);
    ssSetNumDiscStates(S, 0);
    if (!ssSetNumInputPorts(S, 0)) return;
    if (!ssSetNumOutputPorts(S, 1)) return;
    ssSetOutputPortWidth(S, 0, 1);
    ssSetNumSampleTimes(S, 1);
    ssSetNumRWork(S, 0);
    ssSetNumIWork(S, 0);
    ssSetNumPWork(S, 0);
    ssSetNumModes(S, 0);
    ssSetNumNonsampledZCs(S, 0);
    ssSetCommonDeclarationFlags(S);
    ssSupportsMultipleExecInstances(S, 1);
}

void mdlInitializeSampleTimes(SimStruct *S)
{
    ssSetSampleTime(S, 0, 0.0);
    ssSetOffsetTime(S, 0, 0.0);
}

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
