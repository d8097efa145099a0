/*
 * weatherread: a weather file in the EnergyPlus weather format (EPW) as
 * arrays, for scripts.
 *
 *   w = weatherread(file)
 *
 * The file is read by the model runner's own reader (host/runner/epw_source,
 * compiled in: readEpw, which also serves the runner's weather sources and
 * the studies' cache of them), so a file the runner accepts is accepted here
 * with the same numbers and a bad file is refused with the same message. w is a 1-by-1 structure:
 *   time            N-by-1, seconds of year at the end of each row's record:
 *                   where the runner places the instantaneous fields
 *                   (temperatures, humidity, wind, sky cover, ...);
 *   interval_time   N-by-1, half a record earlier: the middle of each record,
 *                   where the runner places the interval fields (radiation
 *                   and illuminance, amounts over the record);
 *   <field>         N-by-1 per data field, by the runner's field names, in
 *                   the file's units; a missing-value code becomes NaN;
 *   total_sky_fraction, opaque_sky_fraction
 *                   N-by-1, the two sky covers as fractions from 0 to 1
 *                   (tenths / 10), as atmoglow takes them; NaN where the
 *                   file's cover is missing (99), like the tenths;
 *   units           a structure of the fields' units, as texts;
 *   site            name, region, country, source, wmo (texts), latitude
 *                   (+ north), longitude and longitude_timezone (degrees,
 *                   + west, the blocks' conventions), time_zone (hours,
 *                   + east, as in the file), elevation (m).
 *
 * The reader reports failures as C++ exceptions; they are caught here and
 * raised as the host's errors, with identifiers simblocks:weatherread:<what>,
 * once nothing made in C++ is alive any more.
 */
#include <math.h>
#include <stdarg.h>
#include <stdio.h>
#include <string.h>

#include <new>
#include <string>

#include "mex.h"
#include "host/runner/epw_source.h"
#include "host/runner/model_error.h"

/* A failure of the reading, kept for the host's error. */
struct read_failure {
    const char *id;
    char text[1024];
};

static void fail(struct read_failure *f, const char *id, const char *format, ...)
{
    f->id = id;
    va_list args;
    va_start(args, format);
    vsnprintf(f->text, sizeof f->text, format, args);
    va_end(args);
}

static mxArray *column(const double *v, size_t n, double missing)
{
    mxArray *a = mxCreateDoubleMatrix(n, 1, mxREAL);
    double *out = mxGetPr(a);
    for (size_t i = 0; i < n; ++i) out[i] = v[i] >= missing ? NAN : v[i];
    return a;
}

/* The site in the blocks' conventions. */
static mxArray *siteStruct(const simrun::EpwSite &s)
{
    static const char *const kTexts[5] = {"name", "region", "country", "source", "wmo"};
    const std::string *texts[5] = {&s.city, &s.region, &s.country, &s.source, &s.wmo};
    const char *names[5 + 5];
    for (int k = 0; k < 5; ++k) names[k] = kTexts[k];
    for (int k = 0; k < 5; ++k) names[5 + k] = simrun::kEpwSiteNames[k];
    mxArray *site = mxCreateStructMatrix(1, 1, 10, names);
    for (int k = 0; k < 5; ++k) mxSetFieldByNumber(site, 0, k, mxCreateString(texts[k]->c_str()));
    for (int k = 0; k < 5; ++k) {
        double v = 0;
        simrun::epwSiteValue(s, simrun::kEpwSiteNames[k], v);
        mxSetFieldByNumber(site, 0, 5 + k, mxCreateDoubleScalar(v));
    }
    return site;
}

/* The sky covers as fractions: field name in the file's tenths, and the fraction's name. */
static const char *const kSkyFractions[2][2] = {{"total_sky_cover", "total_sky_fraction"},
                                                {"opaque_sky_cover", "opaque_sky_fraction"}};
enum { kNumFractions = 2 };

/* A tenths column (missing already NaN) as a fraction from 0 to 1. */
static mxArray *fraction(const mxArray *tenths)
{
    const size_t n = mxGetNumberOfElements(tenths);
    mxArray *a = mxCreateDoubleMatrix(n, 1, mxREAL);
    const double *in = mxGetPr(tenths);
    double *out = mxGetPr(a);
    for (size_t i = 0; i < n; ++i) out[i] = in[i] / 10;
    return a;
}

static mxArray *weatherStruct(const simrun::EpwData &d)
{
    const int nf = simrun::kEpwNumFields;
    const char *names[2 + simrun::kEpwNumFields + kNumFractions + 2];
    names[0] = "time";
    names[1] = "interval_time";
    for (int f = 0; f < nf; ++f) names[2 + f] = simrun::kEpwFields[f].name;
    for (int k = 0; k < kNumFractions; ++k) names[2 + nf + k] = kSkyFractions[k][1];
    const int nc = nf + kNumFractions; /* the columns */
    names[2 + nc] = "units";
    names[3 + nc] = "site";
    mxArray *w = mxCreateStructMatrix(1, 1, nc + 4, names);

    const size_t n = d.time.size();
    mxArray *time = mxCreateDoubleMatrix(n, 1, mxREAL);
    mxArray *middle = mxCreateDoubleMatrix(n, 1, mxREAL);
    const double half = d.recordLength() / 2;
    for (size_t i = 0; i < n; ++i) {
        mxGetPr(time)[i] = d.time[i];
        mxGetPr(middle)[i] = d.time[i] - half;
    }
    mxSetFieldByNumber(w, 0, 0, time);
    mxSetFieldByNumber(w, 0, 1, middle);
    for (int f = 0; f < nf; ++f)
        mxSetFieldByNumber(w, 0, 2 + f, column(d.values[(size_t)f].data(), n, simrun::kEpwFields[f].missing));
    for (int k = 0; k < kNumFractions; ++k)
        mxSetFieldByNumber(w, 0, 2 + nf + k, fraction(mxGetField(w, 0, kSkyFractions[k][0])));

    mxArray *units = mxCreateStructMatrix(1, 1, nc, names + 2);
    for (int f = 0; f < nf; ++f) mxSetFieldByNumber(units, 0, f, mxCreateString(simrun::kEpwFields[f].unit));
    for (int k = 0; k < kNumFractions; ++k) mxSetFieldByNumber(units, 0, nf + k, mxCreateString("fraction"));
    mxSetFieldByNumber(w, 0, 2 + nc, units);
    mxSetFieldByNumber(w, 0, 3 + nc, siteStruct(d.site));
    return w;
}

/*
 * Reads and parses the file, then builds the structure; null with the
 * failure filled in when the file cannot be read. The host's own errors
 * (an allocation it refuses while the structure is built) unwind through
 * here as they come: only the reader's exceptions are caught.
 */
static mxArray *readWeather(const char *path, struct read_failure *failure)
{
    simrun::EpwData data;
    try {
        data = simrun::readEpw(path);
    } catch (const simrun::EpwOpenError &e) {
        fail(failure, "simblocks:weatherread:cannotOpen", "%s", e.what());
        return NULL;
    } catch (const simrun::ModelError &e) {
        fail(failure, "simblocks:weatherread:badFile", "%s", e.what());
        return NULL;
    } catch (const std::bad_alloc &) {
        fail(failure, "simblocks:weatherread:memory", "out of memory reading '%s'", path);
        return NULL;
    } catch (...) {
        fail(failure, "simblocks:weatherread:badFile", "reading '%s' failed", path);
        return NULL;
    }
    return weatherStruct(data);
}

extern "C" void mexFunction(int nlhs, mxArray *plhs[], int nrhs, const mxArray *prhs[])
{
    if (nrhs != 1)
        mexErrMsgIdAndTxt("simblocks:weatherread:wrongInputCount",
                          "Need 1 input argument: the name of a weather file (EPW)");
    if (nlhs > 1) mexErrMsgIdAndTxt("simblocks:weatherread:wrongOutputCount", "One output at most: the weather");
    const mxArray *file = prhs[0];
    if (!mxIsChar(file) || mxGetNumberOfDimensions(file) != 2 || (mxGetM(file) != 1 && mxGetNumberOfElements(file) != 0))
        mexErrMsgIdAndTxt("simblocks:weatherread:notText", "the file name must be a text (a row of characters)");
    char *path = mxArrayToString(file);
    /* A zero character would end the name early: another file would be read. */
    if (path == NULL || strlen(path) < mxGetNumberOfElements(file))
        mexErrMsgIdAndTxt("simblocks:weatherread:notText", "the file name must not hold a zero character");

    struct read_failure failure;
    mxArray *w = readWeather(path, &failure);
    mxFree(path);
    if (w == NULL) mexErrMsgIdAndTxt(failure.id, "%s", failure.text);
    plhs[0] = w;
}
