/*
 * The declaration most time blocks share: no states, at most one input port
 * (direct feedthrough, read through element pointers) and one output port,
 * one continuous sample time, no real or pointer work, no modes, no
 * nonsampled zero crossings, no options of their own. They differ in the
 * number of dialog parameters, the port widths (0: no such port), the
 * integer work and whether they make the common declaration flags and the
 * request for multiple execution instances.
 */
#ifndef SIMBLOCKS_TIME_BLOCK_H
#define SIMBLOCKS_TIME_BLOCK_H

#include "simstruc.h"
#include "frame/block_util.h"

static inline void time_block_declare(SimStruct *S, int_T num_params, int_T input_width, int_T output_width,
                                      int_T num_iwork, int common_flags)
{
    ssSetNumSFcnParams(S, num_params);
    if (ssGetNumSFcnParams(S) != ssGetSFcnParamsCount(S)) return;
    ssSetNumContStates(S, 0);
    ssSetNumDiscStates(S, 0);
    if (!ssSetNumInputPorts(S, input_width > 0 ? 1 : 0)) return;
    if (input_width > 0) {
        ssSetInputPortWidth(S, 0, input_width);
        ssSetInputPortDirectFeedThrough(S, 0, 1);
        ssSetInputPortRequiredContiguous(S, 0, 0);
    }
    if (!ssSetNumOutputPorts(S, output_width > 0 ? 1 : 0)) return;
    if (output_width > 0) ssSetOutputPortWidth(S, 0, output_width);
    ssSetNumSampleTimes(S, 1);
    ssSetNumRWork(S, 0);
    ssSetNumIWork(S, num_iwork);
    ssSetNumPWork(S, 0);
    ssSetNumModes(S, 0);
    ssSetNumNonsampledZCs(S, 0);
    if (common_flags) {
        block_set_common_declaration_flags(S);
        ssSupportsMultipleExecInstances(S, 1);
    }
}

/* First element of dialog parameter i, read afresh; 0 when it has none. */
static inline double time_block_param(const SimStruct *S, int_T i)
{
    double v = 0.0;
    block_param_first_double(S, i, &v);
    return v;
}

static inline void time_block_continuous(SimStruct *S)
{
    ssSetSampleTime(S, 0, CONTINUOUS_SAMPLE_TIME);
    ssSetOffsetTime(S, 0, 0.0);
}

#endif
