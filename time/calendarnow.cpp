/*
 * calendarnow: one field of the local date and time.
 *
 * No input. Output (width 1): the field chosen by parameter 1, truncated
 * toward zero at every call: 1 year (four digits), 2 month (1 to 12), 3 day
 * of month, 4 hour, 5 minute, 6 second. Any other selector writes nothing,
 * so the output keeps its value. The clock is read afresh at every call.
 */
#include "simstruc.h"
#include "frame/block_util.h"
#include "time/calendar.h"

void mdlInitializeSizes(SimStruct *S)
{
    ssSetNumSFcnParams(S, 1);
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
    struct tm now;
    if (!local_time_now(&now)) {
        ssSetErrorStatus(S, kLocalTimeUnavailable);
        return;
    }
    /* An unreadable selector selects nothing. */
    double selector = 0.0;
    ssParamFirstDouble(S, 0, &selector);
    switch (trunc_int32(selector)) {
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
