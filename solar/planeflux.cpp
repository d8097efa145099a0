/*
 * planeflux: the solar irradiance on a tilted plane at a site, for the time
 * and the weather on its inputs.
 *
 * Input 1 (width 1): time in seconds of year. Input 2 (width 3): global
 * horizontal, direct normal and diffuse horizontal irradiance [ghi dni dhi],
 * W/m2. Output 1 (width 1): the total irradiance on the plane, W/m2.
 * Output 2 (width 3): its parts [beam sky ground], W/m2.
 * Parameters: 1 tilt, 2 azimuth of the plane's normal, 3 latitude,
 * 4 longitude, 5 longitude of the time zone's meridian (degrees, the
 * toolbox's conventions), 6 albedo of the ground, 7 the sky model's name
 * (a text: isotropic, haydavies, perez, reindl or klucher).
 *
 * The sun's zenith angle and azimuth at the input's time come from the
 * toolbox's own solar formulas (locate_sun, converted to degrees as
 * heliopose converts them) and dni_extra from extraterrestrial_irradiance
 * (topflux's formula), so the outputs equal tiltflux fed with heliopose's
 * angles and topflux's irradiance at the same times, bit for bit, except
 * within a hair of the meridian (see meridian_safe_azimuth).
 *
 * The closure guard (tilt_formulas.h) watches the weather input over the
 * run: once at least kClosureMinRows rows with the sun up have come and
 * most of them fail ghi = dni cos(zenith) + dhi (the sign of an input in
 * another order than [ghi dni dhi]), the block raises the warning
 * simblocks:tiltflux:closure, once per run, naming the order the values
 * seem to be in; its outputs stay those computed. The tally and the
 * once-flag live in the real work vector, cleared at the run's start.
 *
 * The parameters are checked at declaration and whenever the engine asks
 * for a check of changed parameters, and read afresh at every step: a
 * parameter that has become unreadable is reported then, and nothing is
 * written.
 */
#include <math.h>

#include "simstruc.h"
#include "frame/block_util.h"
#include "solar/solar_formulas.h"
#include "solar/tilt_formulas.h"

static const char kBadNumber[] =
    "planeflux: parameters 1 to 6 (tilt, azimuth, latitude, longitude, longitude_timezone, albedo) must each be a "
    "non-empty real double";
static const char kBadModel[] =
    "planeflux: parameter 7, the sky model, must be the text isotropic, haydavies, perez, reindl or klucher";

enum { kNumNumbers = 6, kModelParam = 6 };

/* Real work: the closure tally, then the flag that the warning was given. */
enum { kClosureWarned = TILT_CLOSURE_COUNTS, kNumRWork = TILT_CLOSURE_COUNTS + 1 };
/* Rows with the sun up before the guard judges: a day's worth of hours. */
static const double kClosureMinRows = 24;

/* The model named by parameter 7, or -1 when it names none (or is no text). */
static int modelParam(const SimStruct *S)
{
    if (ssGetSFcnParamsCount(S) <= kModelParam) return -1;
    const mxArray *p = ssGetSFcnParam(S, kModelParam);
    if (p == NULL || !mxIsChar(p) || mxGetM(p) > 1) return -1;
    char name[24];
    const size_t length = mxGetNumberOfElements(p);
    if (length >= sizeof name) return -1;
    mxGetString(p, name, sizeof name);
    return tilt_model_named(name, length);
}

/* Parameters 1 to 6 into v; 0 when one has no number to read. */
static int numberParams(const SimStruct *S, double v[kNumNumbers])
{
    for (int i = 0; i < kNumNumbers; ++i)
        if (!block_param_first_double(S, i, &v[i])) return 0;
    return 1;
}

void mdlCheckParameters(SimStruct *S)
{
    double v[kNumNumbers];
    if (!numberParams(S, v)) {
        ssSetErrorStatus(S, kBadNumber);
        return;
    }
    if (modelParam(S) < 0) ssSetErrorStatus(S, kBadModel);
}

void mdlInitializeSizes(SimStruct *S)
{
    ssSetNumSFcnParams(S, 7);
    if (ssGetNumSFcnParams(S) != ssGetSFcnParamsCount(S)) return;
    mdlCheckParameters(S);
    if (ssGetErrorStatus(S) != NULL) return;
    ssSetNumContStates(S, 0);
    ssSetNumDiscStates(S, 0);
    if (!ssSetNumInputPorts(S, 2)) return;
    ssSetInputPortWidth(S, 0, 1);
    ssSetInputPortDirectFeedThrough(S, 0, 1);
    ssSetInputPortRequiredContiguous(S, 0, 0);
    ssSetInputPortWidth(S, 1, 3);
    ssSetInputPortDirectFeedThrough(S, 1, 1);
    ssSetInputPortRequiredContiguous(S, 1, 0);
    if (!ssSetNumOutputPorts(S, 2)) return;
    ssSetOutputPortWidth(S, 0, 1);
    ssSetOutputPortWidth(S, 1, 3);
    ssSetNumSampleTimes(S, 1);
    ssSetNumRWork(S, kNumRWork);
    ssSetNumIWork(S, 0);
    ssSetNumPWork(S, 0);
    ssSetNumModes(S, 0);
    ssSetNumNonsampledZCs(S, 0);
    block_set_common_declaration_flags(S);
    ssSupportsMultipleExecInstances(S, 1);
    ssSetOptions(S, SS_OPTION_EXCEPTION_FREE_CODE);
}

void mdlInitializeSampleTimes(SimStruct *S)
{
    ssSetSampleTime(S, 0, INHERITED_SAMPLE_TIME);
    ssSetOffsetTime(S, 0, 0.0);
}

/*
 * The sun's azimuth, defined at solar noon too. The solar formulas take it
 * as acos((sin(phi) cos(z) - sin(delta)) / (cos(phi) sin(z))): at solar
 * noon the argument is +1 (-1 where the sun culminates north of the
 * zenith), and rounding carries it past that within microseconds of noon,
 * giving NaN, which would make the plane's irradiance NaN. Within 1e-6 rad
 * (0.2 arc seconds) of the meridian (and where that form gives NaN) the
 * azimuth is taken as
 *     atan2(cos(delta) sin(omega), sin(phi) cos(delta) cos(omega) - cos(phi) sin(delta)),
 * the same angle written with the sine and cosine of the azimuth times
 * sin(z), which is defined and accurate there: exactly 0 (due south) or
 * pi (due north) at omega = 0. The arc cosine near +-1 is also where that
 * form loses precision (an error of about 1.5e-8 rad for one rounding of
 * its argument), so the two differ by no more than that. Everywhere else
 * the formulas' own value is kept, bit for bit the azimuth heliopose gives.
 */
static double meridian_safe_azimuth(const struct sun_geometry *sun, double latitude)
{
    static const double kNearMeridian = 1e-6;
    static const double kPi = 3.141592653589793;
    const double a = fabs(sun->azimuth);
    if (a > kNearMeridian && a < kPi - kNearMeridian) return sun->azimuth;
    const double phi = latitude * SOLAR_DEG_TO_RAD;
    const double delta = sun->declination, omega = sun->hour_angle;
    return atan2(cos(delta) * sin(omega), sin(phi) * cos(delta) * cos(omega) - cos(phi) * sin(delta));
}

void mdlInitializeConditions(SimStruct *S)
{
    real_T *w = ssGetRWork(S);
    for (int k = 0; k < kNumRWork; ++k) w[k] = 0;
}

/* Tallies the row and warns once when the input's order looks wrong. */
static void watchClosure(SimStruct *S, double zenith, double dni, double dhi, double ghi)
{
    real_T *w = ssGetRWork(S);
    if (w[kClosureWarned] != 0) return;
    tilt_closure_add(w, zenith, dni, dhi, ghi);
    const int order = tilt_closure_suspect(w, kClosureMinRows);
    if (order == 0) return;
    static const char *const kNames[3] = {"input 2 element 2 (dni)", "input 2 element 3 (dhi)",
                                          "input 2 element 1 (ghi)"};
    char text[400];
    tilt_closure_message(w, order, kNames, text, sizeof text);
    mexWarnMsgIdAndTxt("simblocks:tiltflux:closure", "planeflux '%s': %s", ssGetPath(S), text);
    w[kClosureWarned] = 1;
}

void mdlOutputs(SimStruct *S, int_T tid)
{
    (void)tid;
    double p[kNumNumbers];
    if (!numberParams(S, p)) {
        ssSetErrorStatus(S, kBadNumber);
        return;
    }
    const int model = modelParam(S);
    if (model < 0) {
        ssSetErrorStatus(S, kBadModel);
        return;
    }
    InputRealPtrsType time = ssGetInputPortRealSignalPtrs(S, 0);
    InputRealPtrsType weather = ssGetInputPortRealSignalPtrs(S, 1);
    const double t = *time[0];

    struct sun_geometry sun;
    locate_sun(t, p[2], p[3], p[4], &sun);
    struct plane_irradiance e;
    const double azimuth = meridian_safe_azimuth(&sun, p[2]);
    tilt_irradiance((enum tilt_model)model, p[0], p[1], sun.zenith * SOLAR_RAD_TO_DEG, azimuth * SOLAR_RAD_TO_DEG,
                    *weather[1], *weather[2], *weather[0], extraterrestrial_irradiance(t), p[5], &e);
    watchClosure(S, sun.zenith * SOLAR_RAD_TO_DEG, *weather[1], *weather[2], *weather[0]);

    real_T *total = ssGetOutputPortRealSignal(S, 0);
    real_T *parts = ssGetOutputPortRealSignal(S, 1);
    total[0] = e.total;
    parts[0] = e.beam;
    parts[1] = e.sky;
    parts[2] = e.ground;
}

void mdlTerminate(SimStruct *S) { (void)S; }
