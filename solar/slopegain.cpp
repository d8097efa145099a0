/*
 * slopegain: how much solar radiation tilted planes receive compared with the
 * horizontal, at one site and sky clearness, for 37 slopes by 37 orientations.
 *
 *   G = slopegain(month, latitude, longitude, longitude_timezone,
 *                 clearness_index, sky_model, ground_reflectance)
 *
 * Of each input only the first element is read; each must be a non-empty real
 * double. month below 1 selects the whole year, otherwise the month number
 * month truncated toward zero (1 = January; months past 12 run on into the
 * following year, folded back by the year angle). G is 37 x 37: row i is the
 * slope 2.5 * (i - 1) degrees, column j the orientation -5 * (j - 1) degrees
 * (0 faces south, -90 east, -180 north).
 *
 * Each entry is the mean, over the sampled hours with the sun up (days 1 to 28
 * of each month, hours 1 to 23, on a 365-day year), of the hourly ratio P of
 * the irradiance on the plane to the global horizontal irradiance, weighted by
 * the extraterrestrial irradiance on the horizontal; 0 when no sampled hour
 * has the sun up. P takes an isotropic sky: the diffuse share (from the
 * clearness index) scaled by the plane's view of the sky, the beam share by
 * the beam factor, plus the ground-reflected share. sky_model is accepted for
 * compatibility and does not change the table.
 *
 * One progress line per slope is printed before its row is computed.
 *
 * Nothing about the sun depends on the plane, so the sun position and the
 * horizontal irradiances are computed once per sampled hour, the cosine of
 * the sun's azimuth relative to the plane once per hour and orientation, and
 * the planes then run through those tables. Every value is formed by the same
 * operations in the same order as when recomputed for each plane, and the
 * hours are summed in the same order, so the table is the same to the last
 * bit.
 */
#include <math.h>
#include <stdint.h>

#include "mex.h"
#include "solar/solar_formulas.h"
#include "time/calendar.h"

enum { kSteps = 37, kDays = 28, kFirstHour = 1, kLastHour = 23 };

static const double kSlopeStep = 2.5;        /* degrees */
static const double kOrientationStep = -5;   /* degrees */
static const double kSunUp = 1e-5;           /* threshold on the cosine of the zenith angle */
static const double kEpsilon = 2.220446049250313e-16;
/*
 * The largest month whose last sampled hour (day 28, 23:00) is still a
 * second count that a 32-bit integer holds.
 */
static const int32_t kMaxMonth = 815;

#ifdef _WIN32
static const char kSlopeLine[] = "slope %.0f\xB0\n"; /* degree sign in Windows-1252 */
#else
static const char kSlopeLine[] = "slope %.0f\xC2\xB0\n"; /* degree sign in UTF-8 */
#endif

/* Share of the global horizontal irradiance that is diffuse, by clearness index. */
static double diffuse_fraction(double k)
{
    if (k <= 0.3) return 1 - 0.2 * k;
    if (k > 0.3 && k <= 0.79) return 1.423 - 1.612 * k;
    return 0.15; /* also for a NaN index */
}

/* An hour with the sun up, as the planes need it. */
struct sun_hour {
    double w;        /* weight: extraterrestrial irradiance on the horizontal */
    double beam;     /* beam horizontal irradiance B */
    double total;    /* B + D */
    double diffuse_share; /* D / (B + D) */
    double cos_zenith;
    double sin_zenith;
    double azimuth;  /* radians */
    int has_total;   /* |B + D| at least the double epsilon */
};

struct site_inputs {
    double latitude, longitude, longitude_timezone, clearness, reflectance;
};

/*
 * The sampled hours of months first..last with the sun up, in summation
 * order. Returns their count; *weight_sum is the sum of their weights.
 */
static size_t collect_hours(int32_t first, int32_t last, const struct site_inputs *in, struct sun_hour *hours,
                            double *weight_sum)
{
    const double f = diffuse_fraction(in->clearness);
    struct solar_site site;
    solar_site_init(&site, in->latitude, in->longitude, in->longitude_timezone);
    size_t count = 0;
    double W = 0;
    for (int32_t m = first; m <= last; ++m) {
        const int32_t before = days_before_month(m, 0);
        for (int32_t day = 1; day <= kDays; ++day) {
            for (int32_t hour = kFirstHour; hour <= kLastHour; ++hour) {
                const double t = ((before + day - 1) * 24 + hour) * 3600;
                struct sun_geometry g;
                locate_sun_at(t, &site, &g);
                const double w = extraterrestrial_irradiance(t) * cos(g.zenith);
                if (!(w > 0)) continue;
                const double I = in->clearness * w;
                const double D = f * I;
                const double B = I - D;
                const double N = B + D;
                /* Degrees as handed on, then back to radians. */
                const double theta = (g.zenith * SOLAR_RAD_TO_DEG) * SOLAR_DEG_TO_RAD;
                struct sun_hour *h = &hours[count++];
                h->w = w;
                h->beam = B;
                h->total = N;
                h->has_total = !(fabs(N) < kEpsilon);
                h->diffuse_share = h->has_total ? D / N : 0;
                h->cos_zenith = cos(theta);
                h->sin_zenith = sin(theta);
                h->azimuth = (g.azimuth * SOLAR_RAD_TO_DEG) * SOLAR_DEG_TO_RAD;
                W += w;
            }
        }
    }
    *weight_sum = W;
    return count;
}

/* The 37 x 37 table, column-major, for months first..last. */
static void fill_table(int32_t first, int32_t last, const struct site_inputs *in, double *table)
{
    const size_t max_hours = (size_t)(last - first + 1) * kDays * (kLastHour - kFirstHour + 1);
    struct sun_hour *hours = (struct sun_hour *)mxMalloc(max_hours * sizeof *hours);
    double W = 0;
    const size_t H = first <= last ? collect_hours(first, last, in, hours, &W) : 0;

    /* cos(sun azimuth - orientation), per orientation and hour. */
    double *cos_rel = (double *)mxMalloc((size_t)kSteps * (H > 0 ? H : 1) * sizeof(double));
    for (int j = 0; j < kSteps; ++j) {
        const double gp = (kOrientationStep * j) * SOLAR_DEG_TO_RAD;
        for (size_t h = 0; h < H; ++h) cos_rel[j * H + h] = cos(hours[h].azimuth - gp);
    }
    /* Per hour for the current slope: cos(slope) * cos(zenith) and the diffuse term. */
    double *cos_part = (double *)mxMalloc((H > 0 ? H : 1) * sizeof(double));
    double *diffuse_part = (double *)mxMalloc((H > 0 ? H : 1) * sizeof(double));
    double *weighted = (double *)mxMalloc((H > 0 ? H : 1) * sizeof(double));

    for (int i = 0; i < kSteps; ++i) {
        mexPrintf(kSlopeLine, kSlopeStep * i);
        const double beta = (kSlopeStep * i) * SOLAR_DEG_TO_RAD;
        const double sin_b = sin(beta), cos_b = cos(beta);
        const double reflected = in->reflectance * (1 - cos_b) / 2;
        for (size_t h = 0; h < H; ++h) {
            cos_part[h] = cos_b * hours[h].cos_zenith;
            diffuse_part[h] = hours[h].diffuse_share * (1 + cos_b) / 2;
        }
        for (int j = 0; j < kSteps; ++j) {
            const double *cr = &cos_rel[j * H];
            for (size_t h = 0; h < H; ++h) {
                const struct sun_hour *s = &hours[h];
                double Rb = 0;
                if (s->cos_zenith >= kSunUp) {
                    const double ci = sin_b * cr[h] * s->sin_zenith + cos_part[h];
                    Rb = ci / s->cos_zenith;
                }
                double P = 0;
                if (s->has_total) P = diffuse_part[h] + s->beam * Rb / s->total + reflected;
                /* Negative and NaN ratios count as 0. */
                weighted[h] = s->w * (P > 0 ? P : 0);
            }
            double V = 0;
            for (size_t h = 0; h < H; ++h) V += weighted[h];
            table[i + kSteps * j] = W > 0 ? V / W : 0;
        }
    }
    mxFree(weighted);
    mxFree(diffuse_part);
    mxFree(cos_part);
    mxFree(cos_rel);
    mxFree(hours);
}

/* 1 when the array has a first element that reads as a real double. */
static int is_real_double(const mxArray *a)
{
    return mxIsDouble(a) && !mxIsComplex(a) && !mxIsSparse(a) && !mxIsEmpty(a);
}

extern "C" void mexFunction(int nlhs, mxArray *plhs[], int nrhs, const mxArray *prhs[])
{
    (void)nlhs;
    if (nrhs != 7) {
        mexPrintf("error: not 7 arguments\n");
        return;
    }
    for (int k = 0; k < 7; ++k) {
        if (!is_real_double(prhs[k])) {
            mexPrintf("error: argument %d is not a non-empty real double\n", k + 1);
            return;
        }
    }
    const double month = mxGetPr(prhs[0])[0];
    struct site_inputs in;
    in.latitude = mxGetPr(prhs[1])[0];
    in.longitude = mxGetPr(prhs[2])[0];
    in.longitude_timezone = mxGetPr(prhs[3])[0];
    in.clearness = mxGetPr(prhs[4])[0];
    /* prhs[5], the sky model, has no effect on the table. */
    in.reflectance = mxGetPr(prhs[6])[0];

    /* Months 1..12, one month, or none at all for a NaN month. */
    int32_t first = 1, last = 0;
    if (month < 1) {
        first = 1;
        last = 12;
    } else if (month >= 1) {
        if (!(month < kMaxMonth + 1)) {
            mexPrintf("error: month out of range (at most %d)\n", (int)kMaxMonth);
            return;
        }
        first = last = (int32_t)month;
    }

    plhs[0] = mxCreateDoubleMatrix(kSteps, kSteps, mxREAL);
    fill_table(first, last, &in, mxGetPr(plhs[0]));
}
