/*
 * sashflow: volume flow of air through a tilted (bottom-hung) window driven
 * by the temperature difference across it (stack effect).
 *
 * Input (width 3): temperature on one side T1 (degC), on the other side T2
 * (degC), opening signal u (the opening angle is u times the angle scale).
 * Output: the air volume flow (m3/s for metres), a magnitude without
 * direction. Parameters: 1 angle scale A (degrees per unit of u), 2 window
 * height H (m), 3 window width W (m).
 *
 * The flow grows with the square root of the relative temperature difference
 * and of the height, times a cubic polynomial in the opening angle and a
 * width term. Nothing is clamped: equal temperatures give 0, a negative
 * height NaN, a negative opening a negative flow.
 */
#include <math.h>

#include "simstruc.h"
#include "frame/block_util.h"

static const double kKelvin = 273.15;   /* K at 0 degC */

/* Stack term sqrt(|2 (K1 - K2) / (K1 + K2)| * 1.09 * H): the temperature
 * difference relative to the mean absolute temperature, times the height. */
static const double kStackFactor = 1.09;   /* - */

/* Opening-angle coefficient, cubic in the angle alpha (degrees),
 * k = 0.0186 alpha - 0.000119 alpha^2 + 2.6e-07 alpha^3, fitted to
 * measurements on bottom-hung windows. */
static const double kAngle1 = 0.0186;     /* 1/deg */
static const double kAngle2 = 0.000119;   /* 1/deg^2 */
static const double kAngle3 = 2.6e-07;    /* 1/deg^3 */

/* Width term w = (0.4116 + 0.0174 alpha) W - 0.0928 H, in metres. */
static const double kWidthBase = 0.4116;       /* - */
static const double kWidthPerDegree = 0.0174;  /* 1/deg */
static const double kHeightShare = 0.0928;     /* - */

/* Parameter i, or NaN (which then shows on the output) when it has no number to read. */
static double paramOrNaN(const SimStruct *S, int_T i)
{
    double v;
    return block_param_first_double(S, i, &v) ? v : NAN;
}

void mdlInitializeSizes(SimStruct *S)
{
    ssSetNumSFcnParams(S, 3);
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
    ssSetNumDWork(S, 0);
    ssSetNumRWork(S, 0);
    ssSetNumIWork(S, 0);
    ssSetNumPWork(S, 0);
    block_set_common_declaration_flags(S);
    ssSupportsMultipleExecInstances(S, 1);
}

void mdlInitializeSampleTimes(SimStruct *S)
{
    ssSetSampleTime(S, 0, 0.0);
    ssSetOffsetTime(S, 0, 0.0);
}

void mdlOutputs(SimStruct *S, int_T tid)
{
    (void)tid;
    const double A = paramOrNaN(S, 0);
    const double H = paramOrNaN(S, 1);
    const double W = paramOrNaN(S, 2);
    InputRealPtrsType u = ssGetInputPortRealSignalPtrs(S, 0);
    real_T *y = ssGetOutputPortRealSignal(S, 0);
    const double T1 = *u[0];
    const double T2 = *u[1];
    const double open = *u[2];

    const double K1 = T1 + kKelvin;
    const double K2 = kKelvin + T2;
    const double alpha = open * A;
    const double s = sqrt(fabs(2 * (K1 - K2) / (K1 + K2)) * kStackFactor * H);
    const double k = (kAngle1 * alpha - (kAngle2 * alpha) * alpha) + ((kAngle3 * alpha) * alpha) * alpha;
    const double w = ((kWidthPerDegree * alpha) * W - kHeightShare * H) + kWidthBase * W;
    y[0] = s * (H * (w * k));
}

void mdlTerminate(SimStruct *S) { (void)S; }
