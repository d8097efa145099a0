/*
 * heliolean: the solar declination, in degrees, for the time on the input.
 *
 * Input (width 1): time in seconds of year. Output (width 1): declination in
 * degrees. No dialog parameters, no state.
 */
#include "simstruc.h"
#include "solar/solar_block.h"
#include "solar/solar_formulas.h"

void mdlInitializeSizes(SimStruct *S) { solar_block_declare(S, 0); }

void mdlInitializeSampleTimes(SimStruct *S) { solar_block_sample_time(S); }

void mdlOutputs(SimStruct *S, int_T tid)
{
    (void)tid;
    InputRealPtrsType u = ssGetInputPortRealSignalPtrs(S, 0);
    real_T *y = ssGetOutputPortRealSignal(S, 0);
    y[0] = declination(*u[0]) * SOLAR_RAD_TO_DEG;
}

void mdlTerminate(SimStruct *S) { (void)S; }
