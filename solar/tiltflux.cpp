/*
 * tiltflux: the solar irradiance on a tilted plane, for many rows at once.
 *
 *   [poa, beam, sky, ground] = tiltflux(model, tilt, azimuth, sun_zenith, sun_azimuth,
 *                                       dni, dhi, ghi, dni_extra, albedo)
 *   [poa, beam, sky, ground] = tiltflux(model, tilt, azimuth, sun_zenith, sun_azimuth,
 *                                       weather, dni_extra, albedo)
 *
 * model is the name of a sky model (solar/tilt_formulas.h gives them and
 * the conventions). Every other argument is a real double scalar or vector;
 * the vectors all have one length N, and a scalar stands for every row. The
 * outputs are N-by-1 columns in W/m2 (1-by-1 when every argument is a
 * scalar): the total on the plane and its beam, sky diffuse and
 * ground-reflected parts.
 *
 * In the second form the three irradiances come from a 1-by-1 structure by
 * name, so that no order is to be remembered: fields dni, dhi and ghi, or
 * weatherread's names for them (direct_normal_radiation,
 * diffuse_horizontal_radiation, global_horizontal_radiation); other fields
 * are ignored. The messages then name the fields.
 *
 * The values are not checked: a NaN gives NaN in the rows and outputs that
 * need it. The arguments are: their count, the outputs' count, the model's
 * name, the class and shape of each array and the lengths; each failure
 * raises an error with the identifier simblocks:tiltflux:<what>. After the
 * computation, rows whose three irradiances fail their closure in most rows
 * with the sun up (tilt_formulas.h, the closure guard: the sign of values
 * given in the wrong order) raise the warning simblocks:tiltflux:closure,
 * once per call, naming the order they seem to be in; the outputs are those
 * computed.
 */

#include "mex.h"
#include "solar/tilt_formulas.h"

/* The numeric arguments, from the second on, as the messages name them. */
static const char *const kArgNames[9] = {"tilt", "azimuth", "sun_zenith", "sun_azimuth", "dni",
                                         "dhi",  "ghi",     "dni_extra",  "albedo"};
enum { kNumArgs = 9, kDni = 4 };

/* The structure form's fields, each with weatherread's name beside it. */
static const char *const kFieldNames[3][2] = {{"dni", "direct_normal_radiation"},
                                              {"dhi", "diffuse_horizontal_radiation"},
                                              {"ghi", "global_horizontal_radiation"}};

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

/*
 * The structure form: args[] becomes the positional arguments, the three
 * irradiances taken from the structure's fields; names[] the field names used.
 */
static void from_struct(const mxArray *prhs[], const mxArray *args[10], const char *names[3])
{
    const mxArray *w = prhs[5];
    if (mxGetNumberOfElements(w) != 1)
        mexErrMsgIdAndTxt("simblocks:tiltflux:notScalarStruct",
                          "argument 6 (weather) must be a 1-by-1 structure with fields dni, dhi and ghi");
    for (int k = 0; k < 5; ++k) args[k] = prhs[k];
    for (int j = 0; j < 3; ++j) {
        const mxArray *f = NULL;
        for (int alt = 0; alt < 2 && f == NULL; ++alt) {
            f = mxGetField(w, 0, kFieldNames[j][alt]);
            names[j] = kFieldNames[j][alt];
        }
        if (f == NULL)
            mexErrMsgIdAndTxt("simblocks:tiltflux:missingField",
                              "the weather structure has no field %s (nor %s): it needs dni, dhi and ghi in W/m2",
                              kFieldNames[j][0], kFieldNames[j][1]);
        args[5 + j] = f;
    }
    args[8] = prhs[6];
    args[9] = prhs[7];
}

extern "C" void mexFunction(int nlhs, mxArray *plhs[], int nrhs, const mxArray *prhs[])
{
    const int structForm = nrhs == 8 && mxIsStruct(prhs[5]);
    if (nrhs != 10 && !structForm)
        mexErrMsgIdAndTxt("simblocks:tiltflux:wrongInputCount",
                          "Need 10 input arguments: model, tilt, azimuth, sun_zenith, sun_azimuth, dni, dhi, ghi, "
                          "dni_extra, albedo (or 8, with a structure of fields dni, dhi, ghi in place of the three)");
    if (nlhs > 4)
        mexErrMsgIdAndTxt("simblocks:tiltflux:wrongOutputCount", "At most 4 outputs: poa, beam, sky, ground");
    const mxArray *args[10];
    const char *names[3] = {kArgNames[kDni], kArgNames[kDni + 1], kArgNames[kDni + 2]};
    if (structForm) {
        from_struct(prhs, args, names);
        prhs = args;
    }
    const enum tilt_model model = model_of(prhs[0]);

    /* Each argument's data and its step from row to row (0 for a scalar). */
    const double *data[kNumArgs];
    size_t step[kNumArgs];
    size_t rows = 1;
    int lengthFrom = -1; /* the first argument that is not a scalar */
    const char *argName[kNumArgs];
    int argNumber[kNumArgs]; /* as the caller counts them: the structure is argument 6 */
    for (int k = 0; k < kNumArgs; ++k) {
        argName[k] = k >= kDni && k < kDni + 3 ? names[k - kDni] : kArgNames[k];
        argNumber[k] = !structForm || k < kDni ? k + 2 : k < kDni + 3 ? kDni + 2 : k;
    }
    for (int k = 0; k < kNumArgs; ++k) {
        const mxArray *a = prhs[k + 1];
        if (!is_real_double(a))
            mexErrMsgIdAndTxt("simblocks:tiltflux:notRealDouble", "argument %d (%s) must be a real double array",
                              argNumber[k], argName[k]);
        if (mxGetNumberOfDimensions(a) != 2 || (mxGetM(a) > 1 && mxGetN(a) > 1))
            mexErrMsgIdAndTxt("simblocks:tiltflux:notVector",
                              "argument %d (%s) must be a scalar or a vector, not a matrix", argNumber[k], argName[k]);
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
                              argNumber[lengthFrom], argName[lengthFrom], argNumber[k], argName[k],
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

    /* The closure guard, over every row. */
    double counts[TILT_CLOSURE_COUNTS] = {0};
    for (size_t i = 0; i < rows; ++i)
        tilt_closure_add(counts, data[2][i * step[2]], data[4][i * step[4]], data[5][i * step[5]],
                         data[6][i * step[6]]);
    const int order = tilt_closure_suspect(counts, 1);
    if (order != 0) {
        char text[400];
        tilt_closure_message(counts, order, names, text, sizeof text);
        mexWarnMsgIdAndTxt("simblocks:tiltflux:closure", "%s", text);
    }
}
