// A block for testing the frame: it defines every optional callback and
// leaves a trace of each call in its output and integer work vector.
//   output 1: the code of the last callback (102, 104, 105, 117) ...
//   iwork[0]: the tid of the last mdlOutputs / mdlUpdate call
#include "simstruc.h"

void mdlInitializeSizes(SimStruct *S)
{
    ssSetNumSFcnParams(S, 0);
    if (ssGetNumSFcnParams(S) != ssGetSFcnParamsCount(S)) return;
    ssSetNumContStates(S, 0);
    ssSetNumDiscStates(S, 0);
    if (!ssSetNumInputPorts(S, 1)) return;
    ssSetInputPortWidth(S, 0, 1);
    ssSetInputPortDirectFeedThrough(S, 0, 1);
    if (!ssSetNumOutputPorts(S, 1)) return;
    ssSetOutputPortWidth(S, 0, 1);
    ssSetNumSampleTimes(S, 1);
    ssSetNumIWork(S, 1);
    block_set_common_declaration_flags(S);
    ssSupportsMultipleExecInstances(S, 1);
    ssSetOptions(S, 0);
}

void mdlInitializeSampleTimes(SimStruct *S)
{
    ssSetSampleTime(S, 0, 0.0);
    ssSetOffsetTime(S, 0, 0.0);
}

void mdlOutputs(SimStruct *S, int_T tid)
{
    ssGetOutputPortRealSignal(S, 0)[0] = 104;
    ssGetIWork(S)[0] = tid;
}

void mdlTerminate(SimStruct *S) { ssGetOutputPortRealSignal(S, 0)[0] = -107; }

#ifdef MDL_INITIALIZE_CONDITIONS
void mdlInitializeConditions(SimStruct *S) { ssGetOutputPortRealSignal(S, 0)[0] = 102; }
#endif
#ifdef MDL_START
void mdlStart(SimStruct *S) { ssGetOutputPortRealSignal(S, 0)[0] = 117; }
#endif
#ifdef MDL_UPDATE
void mdlUpdate(SimStruct *S, int_T tid)
{
    ssGetOutputPortRealSignal(S, 0)[0] = 105;
    ssGetIWork(S)[0] = tid;
}
#endif
#ifdef MDL_CHECK_PARAMETERS
void mdlCheckParameters(SimStruct *S) { ssGetOutputPortRealSignal(S, 0)[0] = 112; }
#endif
