/*
 * failat: a block for the runner's tests. Its output is its input; once the
 * simulation time reaches its dialog parameter it reports an error instead.
 */
#include "simstruc.h"
#include "frame/block_util.h"

static const char kTimeHasCome[] = "failat: the time has come";

void mdlInitializeSizes(SimStruct *S)
{
    ssSetNumSFcnParams(S, 1);
    if (ssGetNumSFcnParams(S) != ssGetSFcnParamsCount(S)) return;
    if (!ssSetNumInputPorts(S, 1)) return;
    ssSetInputPortWidth(S, 0, 1);
    ssSetInputPortDirectFeedThrough(S, 0, 1);
    if (!ssSetNumOutputPorts(S, 1)) return;
    ssSetOutputPortWidth(S, 0, 1);
    ssSetNumSampleTimes(S, 1);
}

void mdlInitializeSampleTimes(SimStruct *S)
{
    ssSetSampleTime(S, 0, 0.0);
    ssSetOffsetTime(S, 0, 0.0);
}

void mdlOutputs(SimStruct *S, int_T tid)
{
    (void)tid;
    double limit = 0;
    if (!block_param_first_double(S, 0, &limit) || ssGetT(S) >= limit) {
        ssSetErrorStatus(S, kTimeHasCome);
        return;
    }
    ssGetOutputPortRealSignal(S, 0)[0] = *ssGetInputPortRealSignalPtrs(S, 0)[0];
}

void mdlTerminate(SimStruct *S) { (void)S; }
