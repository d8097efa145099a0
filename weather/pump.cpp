/*
 * pump: operating flow of a pump in a hydraulic circuit, where two curves
 * quadratic in the flow meet (typically the pump's pressure rise and the
 * circuit's pressure loss).
 *
 * Input (width 7): run signal (negative switches the block off), curve A
 * coefficients a0, a1, a2, curve B coefficients b0, b1, b2 (constant, linear,
 * quadratic). Output: the flow x where A(x) = B(x), never negative and never
 * between 0 and 1e-9.
 */
#include <math.h>

#include "simstruc.h"

static const double kCutOff = 1e-9;

/*
 * Roots of qa x^2 + qb x + qc = 0 in the numerically stable form: the root
 * that needs no cancellation first, its partner from the product of the
 * roots. A linear equation gives its one root twice (0 when qb is 0 too);
 * a negative discriminant is taken as 0, so complex roots become their real
 * part and its partner.
 */
static void pumpRoots(double qa, double qb, double qc, double *x1, double *x2)
{
    if (qa == 0) {
        if (qb == 0) {
            *x1 = 0;
            *x2 = 0;
        } else {
            *x1 = -(qc / qb);
            *x2 = *x1;
        }
        return;
    }
    const double D = qb * qb - (qa * 4) * qc;
    const double h = D > 0 ? sqrt(D) : 0;
    if (qb < 0) *x1 = (h - qb) * 0.5 / qa;
    else *x1 = (-qb - h) * 0.5 / qa;
    /* A double root at 0 (qb = qc = 0) would make the product form 0 / 0. */
    if (qc == 0 && *x1 == 0) *x2 = 0;
    else *x2 = qc / qa / *x1;
}

/* The root the block outputs: the only non-negative one, or by the sign of qb when both are. */
static double pumpSelect(double x1, double x2, double qb)
{
    if (x1 < 0 && x2 < 0) return 0;
    if (x1 < 0) return x2;
    if (x2 < 0) return x1;
    /* A NaN qb fails qb <= 0 and takes the larger root. */
    if (!(qb <= 0)) return x1 > x2 ? x1 : x2;
    return x1 < x2 ? x1 : x2;
}

void mdlInitializeSizes(SimStruct *S)
{
    ssSetNumSFcnParams(S, 0);
    if (ssGetNumSFcnParams(S) != ssGetSFcnParamsCount(S)) return;
    if (!ssSetNumInputPorts(S, 1)) return;
    ssSetInputPortWidth(S, 0, 7);
    ssSetInputPortDirectFeedThrough(S, 0, 1);
    ssSetInputPortRequiredContiguous(S, 0, 0);
    if (!ssSetNumOutputPorts(S, 1)) return;
    ssSetOutputPortWidth(S, 0, 1);
    block_set_common_declaration_flags(S);
    ssSetNumSampleTimes(S, 1);
    ssSetOptions(S, 2);
    ssSupportsMultipleExecInstances(S, 1);
}

void mdlInitializeSampleTimes(SimStruct *S)
{
    ssSetSampleTime(S, 0, -1.0);
    ssSetOffsetTime(S, 0, 0.0);
    ssSetModelReferenceSampleTimeDefaultInheritance(S);
}

void mdlOutputs(SimStruct *S, int_T tid)
{
    (void)tid;
    InputRealPtrsType u = ssGetInputPortRealSignalPtrs(S, 0);
    real_T *y = ssGetOutputPortRealSignal(S, 0);
    if (*u[0] < 0) {
        y[0] = 0;
        return;
    }
    const double qa = *u[6] - *u[3];
    const double qb = *u[5] - *u[2];
    const double qc = *u[4] - *u[1];
    double x1, x2;
    pumpRoots(qa, qb, qc, &x1, &x2);
    const double x = pumpSelect(x1, x2, qb);
    y[0] = x < kCutOff ? 0 : x;
}

void mdlTerminate(SimStruct *S) { (void)S; }
