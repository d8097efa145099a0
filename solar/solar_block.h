/*
 * The declaration the three solar blocks share: one input and one output of
 * width 1 (time in, value out), direct feedthrough, no states, no work
 * vectors, the common declaration flags, the request for multiple execution
 * instances, options 2 and an inherited sample time. Only the number of
 * dialog parameters differs.
 */
#ifndef SIMBLOCKS_SOLAR_BLOCK_H
#define SIMBLOCKS_SOLAR_BLOCK_H

#include "simstruc.h"

static inline void solar_block_declare(SimStruct *S, int_T num_params)
{
    ssSetNumSFcnParams(S, num_params);
    if (ssGetNumSFcnParams(S) != ssGetSFcnParamsCount(S)) return;
    ssSetNumContStates(S, 0);
    ssSetNumDiscStates(S, 0);
    if (!ssSetNumInputPorts(S, 1)) return;
    ssSetInputPortWidth(S, 0, 1);
    ssSetInputPortDirectFeedThrough(S, 0, 1);
    ssSetInputPortRequiredContiguous(S, 0, 0);
    if (!ssSetNumOutputPorts(S, 1)) return;
    ssSetOutputPortWidth(S, 0, 1);
    ssSetNumSampleTimes(S, 1);
    ssSetNumRWork(S, 0);
    ssSetNumIWork(S, 0);
    ssSetNumPWork(S, 0);
    ssSetNumModes(S, 0);
    ssSetNumNonsampledZCs(S, 0);
    block_set_common_declaration_flags(S);
    ssSupportsMultipleExecInstances(S, 1);
    ssSetOptions(S, 2);
}

static inline void solar_block_sample_time(SimStruct *S)
{
    ssSetSampleTime(S, 0, INHERITED_SAMPLE_TIME);
    ssSetOffsetTime(S, 0, 0.0);
}

#endif
