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

static const double kKelvin = 273.15;         /* K at 0 degC */
static const double kSecondsPerDay = 86400;   /* s */

/* Dew point by the Magnus formula, Ps = P0 exp(a T / (b + T)): the pair over
 * water for T >= 0 degC, over ice below. */
static const double kMagnusWaterA = 17.08;    /* - */
static const double kMagnusWaterB = 234.18;   /* degC */
static const double kMagnusIceA = 17.84;      /* - */
static const double kMagnusIceB = 245.43;     /* degC */
static const double kMagnusP0 = 611;          /* Pa, vapour pressure at 0 degC */
static const double kPercent = 100;           /* RH in % to a fraction */

/* Clear-sky emissivity from the dew point Td (degC) with a daily term,
 * e = 0.711 + 0.0056 Td + 0.000073 Td^2 + 0.013 cos(2 pi tod / 86400 s):
 * the correlation of Martin and Berdahl (1984). */
static const double kEmissivity0 = 0.711;                 /* - */
static const double kEmissivity1 = 0.0056;                /* 1/degC */
static const double kEmissivity2 = 0.000073;              /* 1/degC^2 */
static const double kDailyAmplitude = 0.013;              /* - */
static const double kDailyOmega = 7.27220521664304e-05;   /* rad/s, 2 pi / 86400 s */

/* Clouds add (1 - e) N exp(-h / 8.2 km), after the same authors, for a cloud
 * base at h = 1 km; a cover below the threshold counts as a clear sky. */
static const double kCloudClearBelow = 0.0001;            /* - */
static const double kCloudFactor = 0.885191547524961;     /* exp(-1/8.2) */

/* Without humidity: R = (1.2 - 0.2 * 0.9 N) Tk4 - (1 - 0.9 N) 150 W/m2 / sigma,
 * sigma = 5.6697e-8 W/(m2 K4). */
static const double kDryGain = 1.2;                       /* - */
static const double kDryCloudGain = 0.2;                  /* - */
static const double kDryCloudWeight = 0.9;                /* - */
static const double kDryOffset = 2645642626.5939994;      /* K4, 150 W/m2 / sigma */

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
    const int32_T d = block_trunc_int32(t / kSecondsPerDay);
    const double tod = t - d * kSecondsPerDay;

    double R;
    if (RH > 0) {
        double a, b;
        if (T >= 0) {
            a = kMagnusWaterA;
            b = kMagnusWaterB;
        } else {
            a = kMagnusIceA;
            b = kMagnusIceB;
        }
        const double Ps = kMagnusP0 * exp(a * T / (b + T));
        const double Pv = Ps * (RH / kPercent);
        const double L = log(Pv / kMagnusP0);
        const double Td = b * L / (a - L);
        double eps = (kEmissivity2 * Td) * Td + (kEmissivity1 * Td + kEmissivity0);
        double sw = 0.0;
        /* An unreadable switch parameter counts as off. */
        if (block_param_first_double(S, 0, &sw) && sw > 0) eps = eps + kDailyAmplitude * cos(tod * kDailyOmega);
        if (!(N < kCloudClearBelow)) eps = eps + ((1 - eps) * N) * kCloudFactor;
        R = eps * Tk4;
    } else if (N < kCloudClearBelow) {
        R = Tk4 * kDryGain - kDryOffset;
    } else {
        R = Tk4 * (kDryGain - (N * kDryCloudGain) * kDryCloudWeight) - (1 - kDryCloudWeight * N) * kDryOffset;
    }
    y[0] = pow(R, 0.25) - kKelvin;
}

void mdlTerminate(SimStruct *S) { (void)S; }
