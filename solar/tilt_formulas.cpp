#include "solar/tilt_formulas.h"

#include <ctype.h>
#include <math.h>
#include <string.h>

const char *const tilt_model_names[TILT_MODEL_COUNT] = {"isotropic", "haydavies", "perez", "reindl", "klucher"};

/* pi, the double nearest to it. */
static const double kPi = 3.141592653589793;
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
    for (int m = 0; m < TILT_MODEL_COUNT; ++m) {
        const char *known = tilt_model_names[m];
        if (strlen(known) != length) continue;
        size_t i = 0;
        while (i < length && tolower((unsigned char)name[i]) == known[i]) ++i;
        if (i == length) return m;
    }
    return -1;
}

double cos_deg(double x)
{
    const double turns = x / 180;
    const double half = turns + 0.5;
    /* An odd multiple of 90 degrees (a NaN or an infinity is none). */
    if (half - floor(half) == 0) return 0;
    return cos(turns * kPi);
}

double sin_deg(double x)
{
    const double turns = x / 180;
    /* A whole multiple of 180 degrees. */
    if (turns - floor(turns) == 0) return 0;
    return sin(turns * kPi);
}

/* max(x, 0) that keeps a NaN. */
static double at_least_zero(double x) { return x < 0 ? 0 : x; }

/* max(x, low) that keeps a NaN. */
static double at_least(double x, double low) { return x < low ? low : x; }

void tilt_plane_init(struct tilt_plane *plane, double tilt, double azimuth)
{
    const double ct = cos_deg(tilt);
    const double h = sin_deg(tilt / 2);
    plane->azimuth = azimuth;
    plane->cos_tilt = ct;
    plane->sin_tilt = sin_deg(tilt);
    plane->sky_view = (1 + ct) / 2;
    plane->ground_view = (1 - ct) / 2;
    plane->half_tilt_sin3 = h * h * h;
}

/* The Perez clearness bin (0 to 7) of eps, or -1 below the first bin (or NaN). */
static int perez_bin(double eps)
{
    if (!(eps >= 1)) return -1;
    int bin = 0;
    while (bin < 7 && eps >= kPerezBinTop[bin]) ++bin;
    return bin;
}

/* Perez's sky diffuse; cz = cos zen, a = max(cos_aoi, 0). */
static double perez_sky(const struct tilt_plane *plane, double zen, double cz, double a, double dni, double dhi,
                        double dni_extra)
{
    if (!(zen <= 90)) return zen > 90 ? 0 : zen;  /* sun below the horizon; a NaN stays */
    if (dhi == 0 && dni == 0) return 0;           /* no light: the clearness is undefined */
    const double air_mass = 1 / (cz + kAirMassA * pow(kAirMassB + 90 - zen, kAirMassC));
    const double z = zen * kRadPerDeg;
    const double k = kPerezKappa * (z * z * z);
    const double delta = dhi * air_mass / dni_extra;
    const double eps = ((dhi + dni) / dhi + k) / (1 + k);  /* infinite when dhi = 0: the last bin */
    const int bin = perez_bin(eps);
    if (bin < 0) return NAN;
    const double *f = kPerezCoefficients[bin];
    const double f1 = at_least_zero(f[0] + f[1] * delta + f[2] * z);
    const double f2 = f[3] + f[4] * delta + f[5] * z;
    const double b = at_least(cz, kPerezMinCosZenith);
    return at_least_zero(dhi * ((1 - f1) * plane->sky_view + f1 * a / b + f2 * plane->sin_tilt));
}

void tilt_irradiance(enum tilt_model model, const struct tilt_plane *plane, double sun_zenith, double sun_azimuth,
                     double dni, double dhi, double ghi, double dni_extra, double albedo, struct plane_irradiance *out)
{
    const double cz = cos_deg(sun_zenith);
    const double sz = sin_deg(sun_zenith);
    double cos_aoi = plane->cos_tilt * cz + plane->sin_tilt * sz * cos_deg(sun_azimuth - plane->azimuth);
    cos_aoi = cos_aoi > 1 ? 1 : cos_aoi < -1 ? -1 : cos_aoi;
    const double a = at_least_zero(cos_aoi);

    double sky;
    switch (model) {
    case TILT_ISOTROPIC:
        sky = dhi * plane->sky_view;
        break;
    case TILT_HAYDAVIES: {
        const double ai = dni / dni_extra;
        const double rb = a / at_least(cz, kHayDaviesMinCosZenith);
        sky = at_least_zero(dhi * (1 - ai) * plane->sky_view) + at_least_zero(dhi * ai * rb);
        break;
    }
    case TILT_REINDL: {
        const double ai = dni / dni_extra;
        const double rb = a / at_least(cz, kHayDaviesMinCosZenith);
        const double hb = at_least_zero(dni * cz);
        const double f = ghi == 0 ? 0 : hb / ghi;
        sky = dhi * ((1 - ai) * plane->sky_view * (1 + sqrt(f) * plane->half_tilt_sin3) + ai * rb);
        break;
    }
    case TILT_KLUCHER: {
        const double r = dhi / ghi;
        const double f = dhi == 0 && ghi == 0 ? 0 : 1 - r * r;
        sky = dhi * plane->sky_view * (1 + f * plane->half_tilt_sin3) * (1 + f * (a * a) * (sz * sz * sz));
        break;
    }
    case TILT_PEREZ:
        sky = perez_sky(plane, sun_zenith, cz, a, dni, dhi, dni_extra);
        break;
    default:
        sky = NAN;
        break;
    }
    out->beam = at_least_zero(dni * cos_aoi);
    out->sky = sky;
    out->ground = ghi * albedo * plane->ground_view;
    out->total = out->beam + out->sky + out->ground;
}
