/*
 * tiltflux: the solar irradiance on a tilted plane, for many rows at once.
 *
 *   [poa, beam, sky, ground] = tiltflux(model, tilt, azimuth, sun_zenith, sun_azimuth,
 *                                       dni, dhi, ghi, dni_extra, albedo)
 *
 * model is the name of a sky model (solar/tilt_formulas.h gives them and
 * the conventions). Every other argument is a real double scalar or vector;
 * the vectors all have one length N, and a scalar stands for every row. The
 * outputs are N-by-1 columns in W/m2 (1-by-1 when every argument is a
 * scalar): the total on the plane and its beam, sky diffuse and
 * ground-reflected parts.
 *
 * The values are not checked: a NaN gives NaN in the rows and outputs that
 * need it. The arguments are: their count, the outputs' count, the model's
 * name, the class and shape of each array and the lengths; each failure
 * raises an error with the identifier simblocks:tiltflux:<what>.
 */

#include "mex.h"
#include "solar/tilt_formulas.h"

/* The numeric arguments, from the second on, as the messages name them. */
static const char *const kArgNames[9] = {"tilt", "azimuth", "sun_zenith", "sun_azimuth", "dni",
                                         "dhi",  "ghi",     "dni_extra",  "albedo"};
enum { kNumArgs = 9 };

/* A real, non-complex, dense double array whose elements can be read as doubles. */
static int is_real_double(const mxArray *a) { return mxIsDouble(a) && !mxIsComplex(a) && !mxIsSparse(a); }

/* The model named by the first argument; raises an error for anything else. */
static enum tilt_model model_of(const mxArray *a)
{
    if (!mxIsChar(a) || mxGetNumberOfDimensions(a) != 2 || mxGetM(a) > 1)
        mexErrMsgIdAndTxt("simblocks:tiltflux:modelNotText",
                          "the model must be a text: " TILT_MODEL_CHOICES);
    /* Longer than any model's name: unknown, and shown cut short. */
    char name[24];
    const size_t length = mxGetNumberOfElements(a);
    mxGetString(a, name, sizeof name);
    for (char *c = name; *c != '\0'; ++c)
        if ((unsigned char)*c < 32 || (unsigned char)*c > 126) *c = '?';
    const int m = length < sizeof name ? tilt_model_named(name, length) : -1;
    if (m < 0)
        mexErrMsgIdAndTxt("simblocks:tiltflux:unknownModel", "unknown model '%s%s': the model is " TILT_MODEL_CHOICES,
                          name, length < sizeof name ? "" : "...");
    return (enum tilt_model)m;
}

extern "C" void mexFunction(int nlhs, mxArray *plhs[], int nrhs, const mxArray *prhs[])
{
    if (nrhs != 10)
        mexErrMsgIdAndTxt("simblocks:tiltflux:wrongInputCount",
                          "Need 10 input arguments: model, tilt, azimuth, sun_zenith, sun_azimuth, dni, dhi, ghi, "
                          "dni_extra, albedo");
    if (nlhs > 4)
        mexErrMsgIdAndTxt("simblocks:tiltflux:wrongOutputCount", "At most 4 outputs: poa, beam, sky, ground");
    const enum tilt_model model = model_of(prhs[0]);

    /* Each argument's data and its step from row to row (0 for a scalar). */
    const double *data[kNumArgs];
    size_t step[kNumArgs];
    size_t rows = 1;
    int lengthFrom = -1; /* the first argument that is not a scalar */
    for (int k = 0; k < kNumArgs; ++k) {
        const mxArray *a = prhs[k + 1];
        if (!is_real_double(a))
            mexErrMsgIdAndTxt("simblocks:tiltflux:notRealDouble", "argument %d (%s) must be a real double array",
                              k + 2, kArgNames[k]);
        if (mxGetNumberOfDimensions(a) != 2 || (mxGetM(a) > 1 && mxGetN(a) > 1))
            mexErrMsgIdAndTxt("simblocks:tiltflux:notVector",
                              "argument %d (%s) must be a scalar or a vector, not a matrix", k + 2, kArgNames[k]);
        const size_t n = mxGetNumberOfElements(a);
        data[k] = mxGetPr(a);
        step[k] = n == 1 ? 0 : 1;
        if (n == 1) continue;
        if (lengthFrom < 0) {
            lengthFrom = k;
            rows = n;
        } else if (n != rows) {
            mexErrMsgIdAndTxt("simblocks:tiltflux:lengthMismatch",
                              "arguments %d (%s) and %d (%s) differ in length (%.0f and %.0f): the vectors must "
                              "have one length, and a scalar stands for every row",
                              lengthFrom + 2, kArgNames[lengthFrom], k + 2, kArgNames[k],
                              (double)rows, (double)n);
        }
    }

    double *out[4] = {NULL, NULL, NULL, NULL};
    const int outputs = nlhs < 1 ? 1 : nlhs;
    for (int k = 0; k < outputs; ++k) {
        plhs[k] = mxCreateDoubleMatrix(rows, 1, mxREAL);
        out[k] = mxGetPr(plhs[k]);
    }
    if (rows == 0) return;

    const struct tilt_rows columns = {{data[0], step[0]}, {data[1], step[1]}, {data[2], step[2]},
                                      {data[3], step[3]}, {data[4], step[4]}, {data[5], step[5]},
                                      {data[6], step[6]}, {data[7], step[7]}, {data[8], step[8]}};
    tilt_irradiance_rows(model, &columns, rows, out[0], out[1], out[2], out[3]);
}
