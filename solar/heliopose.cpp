/*
 * heliopose: the position of the sun for a series of times at one site.
 *
 *   [Declination Altitude Zenith Azimut HourAngle] =
 *       heliopose(time, latitude, longitude, longitude_timezone)
 *
 * time is a scalar, row or column vector of seconds of year; the three site
 * inputs are single elements, in degrees. Longitudes count positive toward
 * the west: the solar time carries the correction 240 s per degree of
 * (longitude_timezone - longitude). The five outputs are column vectors in
 * degrees with one row per time. No angle is wrapped or clamped.
 */
#include "mex.h"
#include "solar/solar_formulas.h"

static const char kUsage[] =
    "[Declination Altitude Zenith Azimut HourAngle] = \n  heliopose(time, latitude, longitude, longitude_timezone)\n";

/* Times evaluated together. */
enum { kBatch = 256 };

/* A real, non-complex double array whose elements can be read as doubles. */
static int is_real_double(const mxArray *a) { return mxIsDouble(a) && !mxIsComplex(a) && !mxIsSparse(a); }

extern "C" void mexFunction(int nlhs, mxArray *plhs[], int nrhs, const mxArray *prhs[])
{
    if (nrhs != 4) {
        mexPrintf("%s", kUsage);
        mexErrMsgIdAndTxt("simblocks:heliopose:wrongInputCount", "Need 4 input arguments\n");
    }
    if (nlhs != 5) {
        mexPrintf("%s", kUsage);
        mexErrMsgIdAndTxt("simblocks:heliopose:wrongOutputCount", "Need 5 output arguments\n");
    }
    const mxArray *time = prhs[0];
    const size_t m = mxGetM(time), n = mxGetN(time);
    if (m > 1 && n > 1)
        mexErrMsgIdAndTxt("simblocks:heliopose:timeIsMatrix", "time must be scalar or vector, not a matrix\n");
    for (int i = 1; i < 4; ++i) {
        if (mxGetM(prhs[i]) * mxGetN(prhs[i]) != 1)
            mexErrMsgIdAndTxt("simblocks:heliopose:siteNotScalar", "inputs exept time must be scalar\n");
    }
    /* Any other class (integer, single, logical, char, complex) would be read as garbage. */
    for (int i = 0; i < 4; ++i) {
        if (!is_real_double(prhs[i]))
            mexErrMsgIdAndTxt("simblocks:heliopose:notRealDouble", "inputs must be real double arrays\n");
    }
    const size_t count = m * n;

    double *out[5];
    for (int k = 0; k < 5; ++k) {
        plhs[k] = mxCreateDoubleMatrix(count, 1, mxREAL);
        out[k] = mxGetPr(plhs[k]);
    }
    if (count == 0) return;

    const double *t = mxGetPr(time);
    struct solar_site site;
    solar_site_init(&site, mxGetPr(prhs[1])[0], mxGetPr(prhs[2])[0], mxGetPr(prhs[3])[0]);
    struct sun_geometry g[kBatch];
    for (size_t base = 0; base < count; base += kBatch) {
        const size_t n = count - base < (size_t)kBatch ? count - base : (size_t)kBatch;
        locate_sun_many(t + base, n, &site, g);
        for (size_t k = 0; k < n; ++k) {
            const size_t i = base + k;
            const double zenith = g[k].zenith * SOLAR_RAD_TO_DEG;
            out[0][i] = g[k].declination * SOLAR_RAD_TO_DEG;
            out[1][i] = 90 - zenith;
            out[2][i] = zenith;
            out[3][i] = g[k].azimuth * SOLAR_RAD_TO_DEG;
            out[4][i] = g[k].hour_angle * SOLAR_RAD_TO_DEG;
        }
    }
}
