/*
 * printer: prints its input vector, with the simulation time and the
 * block's own number, as one line in the command window at every output
 * call, and passes the input through to its output.
 *
 * Line: "--> print <number>, time <t>: " then "<value> " for every element,
 * then a line break.
 *
 * Numbering: the library holds one counter, shared by every printer block of
 * every model run while the library stays loaded. Each block takes the next
 * number when its conditions are initialised (1, 2, ...; a second run of the
 * same model continues the count), unless the model-wide flag word marks the
 * call as a second run of the initialisation, which leaves everything as is.
 * The block keeps its number in its DWork record "DWORK_NPRINTER".
 */
#include "simstruc.h"

/* The one static of the system: numbers handed out since the library was loaded (wraps at 2^32). */
static uint32_T printerCounter = 0;

void mdlInitializeSizes(SimStruct *S)
{
    ssSetNumSFcnParams(S, 0);
    if (ssGetNumSFcnParams(S) != ssGetSFcnParamsCount(S)) return;
    ssSetNumContStates(S, 0);
    ssSetNumDiscStates(S, 0);
    if (!ssSetNumInputPorts(S, 1)) return;
    ssSetInputPortWidth(S, 0, DYNAMICALLY_SIZED);
    ssSetInputPortDirectFeedThrough(S, 0, 1);
    ssSetInputPortRequiredContiguous(S, 0, 0);
    if (!ssSetNumOutputPorts(S, 1)) return;
    ssSetOutputPortWidth(S, 0, DYNAMICALLY_SIZED);
    ssSetNumSampleTimes(S, 1);
    ssSetNumRWork(S, 0);
    ssSetNumIWork(S, 0);
    ssSetNumPWork(S, 0);
    if (block_has_dwork_service(S)) {
        ssSetNumDWork(S, 1);
        ssSetDWorkWidth(S, 0, 1);
        ssSetDWorkDataType(S, 0, SS_UINT32);
        ssSetDWorkName(S, 0, "DWORK_NPRINTER");
        ssSetDWorkUsageType(S, 0, SS_DWORK_USED_AS_DSTATE);
    }
    ssSetNumModes(S, 0);
    ssSetNumNonsampledZCs(S, 0);
    block_set_common_declaration_flags(S);
    ssSupportsMultipleExecInstances(S, 1);
}

void mdlInitializeSampleTimes(SimStruct *S)
{
    ssSetSampleTime(S, 0, 0.0);
    ssSetOffsetTime(S, 0, 0.0);
}

/* The block's number record, or null when the engine gave the block no DWork. */
static uint32_T *printerNumber(const SimStruct *S)
{
    return ssGetNumDWork(S) >= 1 ? (uint32_T *)ssGetDWork(S, 0) : NULL;
}

void mdlInitializeConditions(SimStruct *S)
{
    if (block_model_flags(S) & SS_MDL_FLAG_SECOND_RUN) return;
    printerCounter = printerCounter + 1u;
    uint32_T *number = printerNumber(S);
    if (number != NULL) *number = printerCounter;
}

void mdlOutputs(SimStruct *S, int_T tid)
{
    (void)tid;
    const uint32_T *number = printerNumber(S);
    InputRealPtrsType u = ssGetInputPortRealSignalPtrs(S, 0);
    real_T *y = ssGetOutputPortRealSignal(S, 0);
    const int_T width = ssGetInputPortWidth(S, 0);
    /* The engine gives the output the input's width; never write past a narrower one. */
    const int_T outWidth = ssGetOutputPortWidth(S, 0);

    mexPrintf("--> print %u, time %g: ", (unsigned)(number != NULL ? *number : 0u), ssGetT(S));
    for (int_T i = 0; i < width; ++i) {
        const double v = *u[i];
        mexPrintf("%g ", v);
        if (i < outWidth) y[i] = v;
    }
    mexPrintf("\n");
}

void mdlTerminate(SimStruct *S) { (void)S; }
