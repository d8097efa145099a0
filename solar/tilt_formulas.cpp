#include "solar/tilt_formulas.h"

#include <ctype.h>
#include <float.h>
#include <math.h>
#include <stdio.h>
#include <string.h>

/* The models' names, as a user writes them, in the order of enum tilt_model. */
enum { kModelCount = 5 };
static const char *const kModelNames[kModelCount] = {"isotropic", "haydavies", "perez", "reindl", "klucher"};

/* pi / 180 at full double precision, as published implementations convert. */
static const double kRadPerDeg = 0.017453292519943295;

/*
 * The floor on cos zen in the circumsolar factor Rb of Hay and Davies (and
 * Reindl), about cos 89 degrees: keeps Rb finite with the sun at the horizon.
 */
static const double kHayDaviesMinCosZenith = 0.01745;
/* Perez's floor on cos zen: cos 85 degrees, correctly rounded. */
static const double kPerezMinCosZenith = 0.08715574274765817;

/* Kasten and Young's (1989) relative air mass: 1 / (cos zen + a (b + 90 - zen)^c). */
static const double kAirMassA = 0.50572;
static const double kAirMassB = 6.07995;
static const double kAirMassC = -1.6364;
/* Perez's constant in the clearness: kappa z^3, z the zenith angle in radians. */
static const double kPerezKappa = 1.041;

/* Upper bounds of the clearness bins 1 to 7; bin 8 has none. */
static const double kPerezBinTop[7] = {1.065, 1.23, 1.5, 1.95, 2.8, 4.5, 6.2};
/* Per bin: f11, f12, f13 (circumsolar F1), f21, f22, f23 (horizon F2). */
static const double kPerezCoefficients[8][6] = {
    {-0.008, 0.588, -0.062, -0.060, 0.072, -0.022},
    {0.130, 0.683, -0.151, -0.019, 0.066, -0.029},
    {0.330, 0.487, -0.221, 0.055, -0.064, -0.026},
    {0.568, 0.187, -0.295, 0.109, -0.152, -0.014},
    {0.873, -0.392, -0.362, 0.226, -0.462, 0.001},
    {1.132, -1.237, -0.412, 0.288, -0.823, 0.056},
    {1.060, -1.600, -0.359, 0.264, -1.127, 0.131},
    {0.678, -0.327, -0.250, 0.156, -1.377, 0.251},
};

int tilt_model_named(const char *name, size_t length)
{
    for (int m = 0; m < kModelCount; ++m) {
        const char *known = kModelNames[m];
        if (strlen(known) != length) continue;
        size_t i = 0;
        while (i < length && tolower((unsigned char)name[i]) == known[i]) ++i;
        if (i == length) return m;
    }
    return -1;
}

/*
 * Sines and cosines of angles in degrees, computed here rather than by the
 * C library: the same numbers on every platform, exact at whole multiples
 * of 90 degrees, and a few arithmetic operations per angle that the
 * compiler turns into vector instructions (the loop over kLanes angles has
 * a fixed length and no branches), which is what makes a year of rows
 * cheap.
 *
 * An angle x is split as x = 90 q + d with q the nearest whole number of
 * quarter turns: d is exact (x and 90 q lie within a factor 2 of each
 * other), so a whole multiple of 90 gives d = 0. sin d and cos d come from
 * their Taylor series to the terms d^17 and d^16 (d in radians, at most
 * pi/4: the first term left out is below 1e-17), with the coefficients
 * (-1)^k / n! correctly rounded, evaluated in pairs of terms (Estrin's
 * scheme: short chains of dependent operations). The quadrant q then swaps
 * and signs them.
 */
enum { kLanes = 8 };

/* Beyond this many degrees q would not fit an int; whole turns go first. */
static const double kQuarterTurnsLimit = 1e9;

/*
 * With GCC or clang on x86 the lanes are compiled twice: for the baseline
 * instruction set (two angles per vector instruction) and for AVX2 (four),
 * the one taken when the processor has it. The operations are the same
 * (no fused multiply-add: -ffp-contract=off), and so are the results, to
 * the bit.
 */
#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
#define TILT_AVX2 1
#define TILT_ALWAYS_INLINE __attribute__((always_inline))
#else
#define TILT_AVX2 0
#define TILT_ALWAYS_INLINE
#endif

static inline TILT_ALWAYS_INLINE void sincos_lanes(const double *__restrict x, double *__restrict s,
                                                   double *__restrict c)
{
    for (int k = 0; k < kLanes; ++k) {
        const double v = x[k];
        const int q = (int)(v * (1.0 / 90) + (v < 0 ? -0.5 : 0.5));
        const double d = (v - 90 * (double)q) * kRadPerDeg;
        const double z = d * d, z2 = z * z, z4 = z2 * z2;
        const double s01 = -0.16666666666666666 + 0.008333333333333333 * z;
        const double s23 = -0.0001984126984126984 + 2.7557319223985893e-06 * z;
        const double s45 = -2.505210838544172e-08 + 1.6059043836821613e-10 * z;
        const double s67 = -7.647163731819816e-13 + 2.8114572543455206e-15 * z;
        const double c01 = 0.041666666666666664 + -0.001388888888888889 * z;
        const double c23 = 2.48015873015873e-05 + -2.755731922398589e-07 * z;
        const double c45 = 2.08767569878681e-09 + -1.1470745597729725e-11 * z;
        const double sd = d + d * z * ((s01 + s23 * z2) + (s45 + s67 * z2) * z4);
        const double cd = 1 - 0.5 * z + z2 * ((c01 + c23 * z2) + (c45 + 4.779477332387385e-14 * z2) * z4);
        const double a = (q & 1) ? cd : sd;
        const double b = (q & 1) ? sd : cd;
        /* + 0.0 turns a negative zero into 0: cos 90 is 0, not -0. */
        s[k] = ((q & 2) ? -a : a) + 0.0;
        c[k] = (((q + 1) & 2) ? -b : b) + 0.0;
    }
}

/* The lanes over padded angles (a multiple of kLanes). */
static void sincos_padded_baseline(const double *x, size_t padded, double *s, double *c)
{
    for (size_t k = 0; k < padded; k += kLanes) sincos_lanes(x + k, s + k, c + k);
}

#if TILT_AVX2
__attribute__((target("avx2"))) static void sincos_padded_avx2(const double *x, size_t padded, double *s, double *c)
{
    for (size_t k = 0; k < padded; k += kLanes) sincos_lanes(x + k, s + k, c + k);
}
#endif

/* Rows evaluated together: each stage runs over the whole batch. */
enum { kBatch = 256 };

/*
 * Sines and cosines of the angles x[0 .. count - 1], count at most kBatch,
 * into s and c. x, s and c have room for count rounded up to a multiple of
 * kLanes; x is scratch: its angles are changed (reduced, padded). A NaN or
 * infinite angle gives NaN.
 */
static void sincos_deg_many(double *x, size_t count, double *s, double *c)
{
    const size_t padded = (count + kLanes - 1) / kLanes * kLanes;
    size_t bad[kBatch], nbad = 0; /* angles without a sine: NaN or infinite */
    for (size_t k = 0; k < count; ++k) {
        if (fabs(x[k]) <= kQuarterTurnsLimit) continue;
        x[k] = fmod(x[k], 360.0);
        if (x[k] != x[k]) {
            x[k] = 0; /* the lanes must not convert a NaN to an int */
            bad[nbad++] = k;
        }
    }
    for (size_t k = count; k < padded; ++k) x[k] = 0;
#if TILT_AVX2
    if (__builtin_cpu_supports("avx2"))
        sincos_padded_avx2(x, padded, s, c);
    else
#endif
        sincos_padded_baseline(x, padded, s, c);
    for (size_t j = 0; j < nbad; ++j) s[bad[j]] = c[bad[j]] = NAN;
}

void sincos_deg(double x, double *s, double *c)
{
    double xv[kLanes] = {x}, sv[kLanes], cv[kLanes];
    sincos_deg_many(xv, 1, sv, cv);
    *s = sv[0];
    *c = cv[0];
}

/* max(x, 0) that keeps a NaN; -0 (a zero times a negative) becomes 0. */
static double at_least_zero(double x) { return x < 0 ? 0 : x + 0.0; }

/* max(x, low) that keeps a NaN. */
static double at_least(double x, double low) { return x < low ? low : x; }

/*
 * What depends on the plane alone: its tilt's cosine and sine, and the
 * horizon-brightening weight sin^3(tilt / 2).
 */
struct plane {
    double cos_tilt, sin_tilt, half_tilt_sin3;
};

/*
 * The Perez clearness bin (0 to 7) of eps, or -1 below the first bin (or
 * NaN). Counted without branches: eps varies from row to row, and jumps on
 * it would be mispredicted.
 */
static int perez_bin(double eps)
{
    if (!(eps >= 1)) return -1;
    int bin = 0;
    for (int k = 0; k < 7; ++k) bin += eps >= kPerezBinTop[k];
    return bin;
}

/* Kasten and Young's relative air mass for the sun at zen <= 90 degrees; cz = cos zen. */
static double air_mass(double zen, double cz) { return 1 / (cz + kAirMassA * pow(kAirMassB + 90 - zen, kAirMassC)); }

/* Perez's sky diffuse; cz = cos zen, a = max(cos_aoi, 0), am the air mass (zen <= 90). */
static double perez_sky(const struct plane *p, double zen, double cz, double a, double am, double dni, double dhi,
                        double dni_extra)
{
    if (!(zen <= 90)) return zen > 90 ? 0 : zen;  /* sun below the horizon; a NaN stays */
    if (dhi == 0 && dni == 0) return 0;           /* no light: the clearness is undefined */
    const double z = zen * kRadPerDeg;
    const double k = kPerezKappa * (z * z * z);
    const double delta = dhi * am / dni_extra;
    const double eps = ((dhi + dni) / dhi + k) / (1 + k);  /* infinite when dhi = 0: the last bin */
    const int bin = perez_bin(eps);
    if (bin < 0) return NAN;
    const double *f = kPerezCoefficients[bin];
    const double f1 = at_least_zero(f[0] + f[1] * delta + f[2] * z);
    const double f2 = f[3] + f[4] * delta + f[5] * z;
    const double b = at_least(cz, kPerezMinCosZenith);
    return at_least_zero(dhi * ((1 - f1) * ((1 + p->cos_tilt) / 2) + f1 * a / b + f2 * p->sin_tilt));
}

/*
 * The sky diffuse of one row; cz, sz: cos and sin of the zenith angle, am
 * the air mass (Perez's model alone uses it).
 */
static inline double sky_of(enum tilt_model model, const struct plane *p, double zen, double cz, double sz, double am,
                            double cos_aoi, double dni, double dhi, double ghi, double dni_extra)
{
    const double a = at_least_zero(cos_aoi);
    const double svf = (1 + p->cos_tilt) / 2; /* the share of the sky the plane sees */
    switch (model) {
    case TILT_ISOTROPIC:
        return dhi * svf;
    case TILT_HAYDAVIES: {
        const double ai = dni / dni_extra;
        const double rb = a / at_least(cz, kHayDaviesMinCosZenith);
        return at_least_zero(dhi * (1 - ai) * svf) + at_least_zero(dhi * ai * rb);
    }
    case TILT_REINDL: {
        const double ai = dni / dni_extra;
        const double rb = a / at_least(cz, kHayDaviesMinCosZenith);
        const double hb = at_least_zero(dni * cz);
        const double f = ghi == 0 ? 0 : hb / ghi;
        return dhi * ((1 - ai) * svf * (1 + sqrt(f) * p->half_tilt_sin3) + ai * rb);
    }
    case TILT_KLUCHER: {
        const double r = dhi / ghi;
        const double f = dhi == 0 && ghi == 0 ? 0 : 1 - r * r;
        return dhi * svf * (1 + f * p->half_tilt_sin3) * (1 + f * (a * a) * (sz * sz * sz));
    }
    case TILT_PEREZ:
        return perez_sky(p, zen, cz, a, am, dni, dhi, dni_extra);
    }
    return NAN;
}

static inline double value(struct tilt_column c, size_t i) { return c.at[i * c.step]; }

/*
 * A row without light: no irradiance of any kind, and every other number
 * of the row finite (dni_extra not 0 either). Every model gives 0 for each
 * part then, so such rows (the nights of a weather file, half a year) skip
 * the formulas. Light is looked for first: rows come in runs of day and
 * night, so the jump is well predicted, and the rest is tested only at
 * night, without further jumps.
 */
static inline int dark(double tilt, double azimuth, double zen, double saz, double dni, double dhi, double ghi,
                       double dni_extra, double albedo)
{
    if (dni != 0 || dhi != 0 || ghi != 0) return 0;
    return (dni_extra != 0) & (fabs(tilt) <= DBL_MAX) & (fabs(azimuth) <= DBL_MAX) & (fabs(zen) <= DBL_MAX) &
           (fabs(saz) <= DBL_MAX) & (fabs(dni_extra) <= DBL_MAX) & (fabs(albedo) <= DBL_MAX);
}

void tilt_irradiance_rows(enum tilt_model model, const struct tilt_rows *rows, size_t count, double *total,
                          double *beam, double *sky, double *ground)
{
    /* Local copies: the outputs cannot overlap them, so they stay in registers. */
    const struct tilt_column tilt = rows->tilt, azimuth = rows->azimuth, zen = rows->sun_zenith,
                             saz = rows->sun_azimuth, dni = rows->dni, dhi = rows->dhi, ghi = rows->ghi,
                             ext = rows->dni_extra, albedo = rows->albedo;
    if (count == 0) return;
    /* One plane for all rows (the common case): prepared once. */
    const int one_plane = tilt.step == 0 && azimuth.step == 0;
    struct plane fixed = {0, 0, 0};
    if (one_plane) {
        double h, unused;
        sincos_deg(tilt.at[0], &fixed.sin_tilt, &fixed.cos_tilt);
        sincos_deg(tilt.at[0] / 2, &h, &unused);
        fixed.half_tilt_sin3 = h * h * h;
    }
    /* Per batch: the rows with light, then for each of them the plane, the
       sine and cosine of the zenith angle and the cosine of incidence, then
       the parts. */
    size_t lit[kBatch];
    double angle[kBatch], sz[kBatch], cz[kBatch], sa[kBatch], ca[kBatch], st[kBatch], ct[kBatch], sh[kBatch],
        ch[kBatch], cos_aoi[kBatch], am[kBatch];
    if (one_plane) {
        for (size_t k = 0; k < kBatch; ++k) {
            st[k] = fixed.sin_tilt;
            ct[k] = fixed.cos_tilt;
            sh[k] = fixed.half_tilt_sin3;
        }
    }
    for (size_t base = 0; base < count; base += kBatch) {
        const size_t n = count - base < (size_t)kBatch ? count - base : (size_t)kBatch;
        size_t m = 0;
        for (size_t i = base; i < base + n; ++i) {
            if (dark(value(tilt, i), value(azimuth, i), value(zen, i), value(saz, i), value(dni, i), value(dhi, i),
                     value(ghi, i), value(ext, i), value(albedo, i))) {
                total[i] = 0;
                if (beam != NULL) beam[i] = 0;
                if (sky != NULL) sky[i] = 0;
                if (ground != NULL) ground[i] = 0;
            } else {
                lit[m++] = i;
            }
        }
        if (!one_plane) {
            for (size_t k = 0; k < m; ++k) angle[k] = value(tilt, lit[k]);
            sincos_deg_many(angle, m, st, ct);
            for (size_t k = 0; k < m; ++k) angle[k] = value(tilt, lit[k]) / 2;
            sincos_deg_many(angle, m, sh, ch);
            for (size_t k = 0; k < m; ++k) sh[k] = sh[k] * sh[k] * sh[k];
        }
        for (size_t k = 0; k < m; ++k) angle[k] = value(zen, lit[k]);
        sincos_deg_many(angle, m, sz, cz);
        for (size_t k = 0; k < m; ++k) angle[k] = value(saz, lit[k]) - value(azimuth, lit[k]);
        sincos_deg_many(angle, m, sa, ca);
        for (size_t k = 0; k < m; ++k) {
            const double v = ct[k] * cz[k] + st[k] * sz[k] * ca[k];
            cos_aoi[k] = v > 1 ? 1 : v < -1 ? -1 : v;
        }
        /* Perez's air mass in a loop of its own: its power function is the
           costliest step of a row, and calls one after another overlap. */
        if (model == TILT_PEREZ) {
            for (size_t k = 0; k < m; ++k) {
                const double z = value(zen, lit[k]);
                am[k] = z <= 90 ? air_mass(z, cz[k]) : 0;
            }
        }
        for (size_t k = 0; k < m; ++k) {
            const size_t i = lit[k];
            const struct plane p = {ct[k], st[k], sh[k]};
            const double n_i = value(dni, i), g_i = value(ghi, i);
            const double b = at_least_zero(n_i * cos_aoi[k]);
            const double d = sky_of(model, &p, value(zen, i), cz[k], sz[k], model == TILT_PEREZ ? am[k] : 0,
                                    cos_aoi[k], n_i, value(dhi, i), g_i, value(ext, i));
            const double g = g_i * value(albedo, i) * ((1 - ct[k]) / 2);
            total[i] = b + d + g;
            if (beam != NULL) beam[i] = b;
            if (sky != NULL) sky[i] = d;
            if (ground != NULL) ground[i] = g;
        }
    }
}

void tilt_irradiance(enum tilt_model model, double tilt, double azimuth, double sun_zenith, double sun_azimuth,
                     double dni, double dhi, double ghi, double dni_extra, double albedo, struct plane_irradiance *out)
{
    const struct tilt_rows row = {{&tilt, 0}, {&azimuth, 0}, {&sun_zenith, 0}, {&sun_azimuth, 0}, {&dni, 0},
                                  {&dhi, 0},  {&ghi, 0},     {&dni_extra, 0},  {&albedo, 0}};
    tilt_irradiance_rows(model, &row, 1, &out->total, &out->beam, &out->sky, &out->ground);
}

/* The closure guard. */

static const double kClosureMinCosZenith = 0.17364817766693033; /* sin 10 degrees */
static const double kClosureMinLight = 50;                     /* W/m2 */
static const double kClosureSlack = 25;                        /* W/m2 */
static const double kClosureShare = 0.15;

/* Order k reads the three values given (dni, dhi, ghi) as value[kClosureOrder[k][j]] for dni, dhi, ghi. */
static const int kClosureOrder[TILT_CLOSURE_ORDERS][3] = {{0, 1, 2}, {2, 0, 1}, {1, 0, 2},
                                                          {2, 1, 0}, {0, 2, 1}, {1, 2, 0}};

static int closure_fails(double cz, double dni, double dhi, double ghi)
{
    const double sum = dni * cz + dhi;
    const double larger = ghi > sum ? ghi : sum;
    return fabs(ghi - sum) > kClosureSlack + kClosureShare * larger;
}

void tilt_closure_add(double counts[TILT_CLOSURE_COUNTS], double sun_zenith, double dni, double dhi, double ghi)
{
    double s, cz;
    sincos_deg(sun_zenith, &s, &cz);
    const double v[3] = {dni, dhi, ghi};
    /* A NaN fails every comparison: such a row is not counted. */
    if (!(cz >= kClosureMinCosZenith) || !(cz <= 1)) return;
    if (!(v[0] >= 0 && v[1] >= 0 && v[2] >= 0 && v[0] < HUGE_VAL && v[1] < HUGE_VAL && v[2] < HUGE_VAL)) return;
    if (!(v[0] >= kClosureMinLight || v[1] >= kClosureMinLight || v[2] >= kClosureMinLight)) return;
    counts[0] += 1;
    for (int k = 0; k < TILT_CLOSURE_ORDERS; ++k) {
        const int *o = kClosureOrder[k];
        if (closure_fails(cz, v[o[0]], v[o[1]], v[o[2]])) counts[1 + k] += 1;
    }
}

int tilt_closure_suspect(const double counts[TILT_CLOSURE_COUNTS], double min_rows)
{
    if (counts[0] < min_rows || counts[0] < 1 || !(2 * counts[1] > counts[0])) return 0;
    int best = TILT_CLOSURE_ORDERS;
    for (int k = 1; k < TILT_CLOSURE_ORDERS; ++k)
        if (2 * counts[1 + k] < counts[0] && (best == TILT_CLOSURE_ORDERS || counts[1 + k] < counts[1 + best])) best = k;
    return best;
}

void tilt_closure_message(const double counts[TILT_CLOSURE_COUNTS], int order, const char *const names[3], char *text,
                          size_t size)
{
    static const char *const kRole[3] = {"dni", "dhi", "ghi"};
    int n = snprintf(text, size,
                     "the irradiances fail ghi = dni cos(zenith) + dhi in %.0f of %.0f rows with the sun up",
                     counts[1], counts[0]);
    if (n < 0 || (size_t)n >= size) return;
    /* Appends a piece, keeping n within the text. */
#define CLOSURE_APPEND(...)                                                        \
    do {                                                                           \
        int m_ = snprintf(text + n, size - (size_t)n, __VA_ARGS__);                \
        if (m_ < 0 || (size_t)(n + m_) >= size) return;                            \
        n += m_;                                                                   \
    } while (0)
    if (order > 0 && order < TILT_CLOSURE_ORDERS) {
        const int *o = kClosureOrder[order];
        CLOSURE_APPEND("; it holds with");
        for (int j = 0, first = 1; j < 3; ++j) {
            if (o[j] == j) continue;
            CLOSURE_APPEND("%s the value given as %s taken for %s", first ? "" : ",", names[o[j]], kRole[j]);
            first = 0;
        }
        CLOSURE_APPEND(": were they swapped?");
    } else {
        CLOSURE_APPEND(", in any order of the three.");
    }
    CLOSURE_APPEND(" The results are as computed.");
#undef CLOSURE_APPEND
}
