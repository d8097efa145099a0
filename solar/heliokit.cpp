/*
 * heliokit: one of three solar quantities over a vector of times or of
 * longitudes, chosen by a mode.
 *
 *   y = heliokit(time, unused, longitude, longitude_timezone, mode)
 *
 * All five inputs are real, non-empty doubles. At most one of the first three
 * may hold more than one element, as a row or column vector; y has its shape
 * (1 x 1 when all are scalars) and the other inputs contribute their first
 * element to every element of y. Of longitude_timezone and mode only the first
 * element is read. The mode is rounded half up:
 *   1  extraterrestrial irradiance at time, W/m2
 *   2  solar declination at time, degrees
 *   3  apparent solar time, seconds: time of day + equation of time
 *      + 240 * (longitude_timezone - longitude)
 *   any other mode leaves y all zero.
 * The second input enters no formula; as the vector input it only gives y
 * its shape, every element then holding the all-scalar result.
 */
#include <stdint.h>

#include "mex.h"
#include "solar/solar_formulas.h"

static int32_t mode_of(double x)
{
    const double r = x + 0.5;
    /* Modes beyond any int (and NaN) select nothing. */
    if (!(r > -2147483649.0 && r < 2147483648.0)) return 0;
    return (int32_t)r;
}

extern "C" void mexFunction(int nlhs, mxArray *plhs[], int nrhs, const mxArray *prhs[])
{
    (void)nlhs;
    if (nrhs != 5) mexErrMsgIdAndTxt("simblocks:heliokit:wrongInputCount", "ERROR in heliokit: 5 inputs required.");
    for (int i = 0; i < 5; ++i) {
        const mxArray *a = prhs[i];
        if (!mxIsNumeric(a) || !mxIsDouble(a) || mxIsEmpty(a) || mxIsComplex(a) || mxIsSparse(a))
            mexErrMsgIdAndTxt("simblocks:heliokit:notANumber", "ERROR in heliokit: input must be a number");
    }

    /* The vector input: at most one of the first three, a row or a column. */
    size_t rows = 1, cols = 1, count = 0;
    int vector_input = -1;
    for (int i = 0; i < 3; ++i) {
        const size_t m = mxGetM(prhs[i]), n = mxGetN(prhs[i]);
        if ((m * n > 1 && vector_input >= 0) || (m > 1 && n > 1))
            mexErrMsgIdAndTxt("simblocks:heliokit:tooManyVectors", "ERROR in heliokit: only one input can be a vector");
        if (m > 1 || n > 1) vector_input = i;
        if (m > count) count = m;
        if (n > count) count = n;
        if (m > rows) rows = m;
        if (n > cols) cols = n;
    }

    plhs[0] = mxCreateDoubleMatrix(rows, cols, mxREAL);
    double *y = mxGetPr(plhs[0]);
    const double *time = mxGetPr(prhs[0]);
    const double *longitude = mxGetPr(prhs[2]);
    const double zone = mxGetPr(prhs[3])[0];
    const size_t time_step = vector_input == 0 ? 1 : 0;
    const size_t longitude_step = vector_input == 2 ? 1 : 0;

    switch (mode_of(mxGetPr(prhs[4])[0])) {
    case 1:
        for (size_t k = 0; k < count; ++k) y[k] = extraterrestrial_irradiance(time[k * time_step]);
        break;
    case 2:
        for (size_t k = 0; k < count; ++k) y[k] = declination(time[k * time_step]) * SOLAR_RAD_TO_DEG;
        break;
    case 3:
        for (size_t k = 0; k < count; ++k)
            y[k] = apparent_solar_seconds(time[k * time_step], zone, longitude[k * longitude_step]);
        break;
    default:
        break;
    }
}
