/*
 * Small helpers shared by the blocks.
 *
 * Reading dialog parameters safely.
 * Blocks read a dialog parameter afresh at every use from the first element
 * of its array, as a double. A parameter that is empty, complex or not a
 * double array has no such element; these helpers say so instead of reading
 * past the array.
 */
#ifndef SIMBLOCKS_FRAME_BLOCK_UTIL_H
#define SIMBLOCKS_FRAME_BLOCK_UTIL_H

#include "simstruc.h"

/* 1 and *out = the first element when parameter i is a non-empty real double array; else 0. */
static inline int block_param_first_double(const SimStruct *S, int_T i, double *out)
{
    if (i < 0 || i >= ssGetSFcnParamsCount(S)) return 0;
    const mxArray *p = ssGetSFcnParam(S, i);
    if (p == NULL || !mxIsDouble(p) || mxIsComplex(p) || mxIsSparse(p) || mxIsEmpty(p) || mxGetPr(p) == NULL) return 0;
    *out = mxGetPr(p)[0];
    return 1;
}

/*
 * Truncation toward zero to a 32-bit signed integer. Values no such integer
 * can hold (and NaN) give INT32_MIN, the value the x86 conversion
 * instruction yields, without the undefined behaviour of a plain cast.
 */
static inline int32_T block_trunc_int32(double x)
{
    if (!(x > -2147483649.0 && x < 2147483648.0)) return INT32_MIN;
    return (int32_T)x;
}

#endif
