/*
 * heliohour: the apparent solar time, in seconds, for the time on the input.
 *
 * Input (width 1): time in seconds of year. Output (width 1): apparent solar
 * time in seconds, not wrapped into one day.
 * Parameter 1: longitude of the time zone's meridian, degrees.
 * Parameter 2: longitude of the site, degrees.
 * The longitude correction is 240 s per degree of (parameter 1 - parameter 2).
 * Both parameters are read afresh at every step, so a change during the
 * simulation takes effect at the next one.
 */
#include "simstruc.h"
#include "frame/block_util.h"
#include "solar/solar_block.h"
#include "solar/solar_formulas.h"

static const char kBadParameter[] = "heliohour: each dialog parameter must be a non-empty real double (a longitude in degrees)";

void mdlInitializeSizes(SimStruct *S) { solar_block_declare(S, 2); }

void mdlInitializeSampleTimes(SimStruct *S) { solar_block_sample_time(S); }

void mdlOutputs(SimStruct *S, int_T tid)
{
    (void)tid;
    double site = 0, zone = 0;
    /* A parameter with no first element is reported, never read past. */
    if (!block_param_first_double(S, 1, &site) || !block_param_first_double(S, 0, &zone)) {
        ssSetErrorStatus(S, kBadParameter);
        return;
    }
    InputRealPtrsType u = ssGetInputPortRealSignalPtrs(S, 0);
    real_T *y = ssGetOutputPortRealSignal(S, 0);
    y[0] = apparent_solar_seconds(*u[0], zone, site);
}

void mdlTerminate(SimStruct *S) { (void)S; }
