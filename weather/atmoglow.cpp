/*
 * atmoglow: effective sky temperature from air temperature, relative
 * humidity and cloud cover.
 *
 * Input (width 3): air temperature T (degC), relative humidity RH (%),
 * cloud cover N (0 clear .. 1 overcast). Output: sky temperature (degC).
 * Parameter 1: daily correction switch (> 0 adds the day/night term).
 *
 * With RH > 0 the sky emissivity comes from the dew point (Magnus formula
 * over water or ice), with an optional daily correction and a cloud
 * correction; otherwise a direct relation between the fourth powers of sky
 * and air temperature is used.
 */
#include <math.h>

#include "simstruc.h"
#include "frame/block_util.h"

static const double kKelvin = 273.15;
static const double kSecondsPerDay = 86400;

void mdlInitializeSizes(SimStruct *S)
{
    ssSetNumSFcnParams(S, 1);
    if (ssGetNumSFcnParams(S) != ssGetSFcnParamsCount(S)) return;
    ssSetNumContStates(S, 0);
    ssSetNumDiscStates(S, 0);
    if (!ssSetNumInputPorts(S, 1)) return;
    ssSetInputPortWidth(S, 0, 3);
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
    ssSetOptions(S, 2);
}

void mdlInitializeSampleTimes(SimStruct *S)
{
    ssSetSampleTime(S, 0, 0.0);
    ssSetOffsetTime(S, 0, 0.0);
}

void mdlOutputs(SimStruct *S, int_T tid)
{
    (void)tid;
    InputRealPtrsType u = ssGetInputPortRealSignalPtrs(S, 0);
    real_T *y = ssGetOutputPortRealSignal(S, 0);
    const double T = *u[0];
    const double RH = *u[1];
    const double N = *u[2];
    const double t = ssGetT(S);

    const double s = kKelvin + T;
    const double Tk4 = (s * s) * (s * s);
    const int32_T d = trunc_int32(t / kSecondsPerDay);
    const double tod = t - d * kSecondsPerDay;

    double R;
    if (RH > 0) {
        double a, b;
        if (T >= 0) {
            a = 17.08;
            b = 234.18;
        } else {
            a = 17.84;
            b = 245.43;
        }
        const double Ps = 611 * exp(a * T / (b + T));
        const double Pv = Ps * (RH / 100);
        const double L = log(Pv / 611);
        const double Td = b * L / (a - L);
        double eps = (0.000073 * Td) * Td + (0.0056 * Td + 0.711);
        double sw = 0.0;
        /* An unreadable switch parameter counts as off. */
        if (ssParamFirstDouble(S, 0, &sw) && sw > 0) eps = eps + 0.013 * cos(tod * 7.27220521664304e-05);
        if (!(N < 0.0001)) eps = eps + ((1 - eps) * N) * 0.885191547524961;
        R = eps * Tk4;
    } else if (N < 0.0001) {
        R = Tk4 * 1.2 - 2645642626.5939994;
    } else {
        R = Tk4 * (1.2 - (N * 0.2) * 0.9) - (1 - 0.9 * N) * 2645642626.5939994;
    }
    y[0] = pow(R, 0.25) - kKelvin;
}

void mdlTerminate(SimStruct *S) { (void)S; }
