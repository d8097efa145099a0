/*
 * topflux: the extraterrestrial solar irradiance, in W/m2 on a plane normal
 * to the sun's rays, for the time on the input.
 *
 * Input (width 1): time in seconds of year. Output (width 1): irradiance,
 * between about 1321 and 1415 W/m2 over the year. No dialog parameters, no
 * state.
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
    y[0] = extraterrestrial_irradiance(*u[0]);
}

void mdlTerminate(SimStruct *S) { (void)S; }
