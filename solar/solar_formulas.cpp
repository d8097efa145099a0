#include "solar/solar_formulas.h"

#include <math.h>
#include <stdint.h>

/* 2 pi / 31536000: one turn per 365 days, to 16 significant digits. */
static const double kYearAngleRate = 1.992384990861107e-7;
/* 2 pi / 86400: radians of hour angle per second. */
static const double kHourAngleRate = 7.27220521664304e-5;
/* Seconds per radian of the equation-of-time series (229.2 minutes). */
static const double kEotSeconds = 13752;
static const double kSolarConstant = 1367;
static const double kSecondsPerDay = 86400;
static const double kSolarNoon = 43200;
static const double kSecondsPerDegree = 240;
static const double kEpsilon = 2.220446049250313e-16;

/* Sines and cosines of w, 2w and 3w, each evaluated once. */
struct year_terms {
    double c1, s1, c2, s2, c3, s3;
};

/* The terms of w and 2w, and those of 3w when asked. */
static void year_terms_of(double t, int with_third, struct year_terms *y)
{
    const double w = year_angle(t);
    y->c1 = cos(w);
    y->s1 = sin(w);
    y->c2 = cos(2 * w);
    y->s2 = sin(2 * w);
    y->c3 = with_third ? cos(3 * w) : 0;
    y->s3 = with_third ? sin(3 * w) : 0;
}

static double declination_of(const struct year_terms *y)
{
    return 0.006918 - 0.399912 * y->c1 + 0.070257 * y->s1 - 0.006758 * y->c2 + 0.000907 * y->s2
           - 0.002679 * y->c3 + 0.00148 * y->s3;
}

static double eot_of(const struct year_terms *y)
{
    return kEotSeconds * (0.000075 + 0.001868 * y->c1 - 0.032077 * y->s1 - 0.014615 * y->c2 - 0.04089 * y->s2);
}

/*
 * Whole days of t, truncated toward zero. Times whose day count no 32-bit
 * integer holds (millions of years) are outside the domain; they, and NaN,
 * give INT32_MIN instead of an undefined conversion.
 */
static int32_t day_count(double t)
{
    const double d = t / kSecondsPerDay;
    if (!(d > -2147483649.0 && d < 2147483648.0)) return INT32_MIN;
    return (int32_t)d;
}

static double solar_seconds_of(double t, double eot, double correction)
{
    const int32_t n = day_count(t);
    const double time_of_day = t - kSecondsPerDay * n;
    return eot + correction + time_of_day;
}

double year_angle(double t) { return t * kYearAngleRate; }

double declination(double t)
{
    struct year_terms y;
    year_terms_of(t, 1, &y);
    return declination_of(&y);
}

double equation_of_time(double t)
{
    struct year_terms y;
    year_terms_of(t, 0, &y);
    return eot_of(&y);
}

double apparent_solar_seconds(double t, double a, double b)
{
    return solar_seconds_of(t, equation_of_time(t), kSecondsPerDegree * (a - b));
}

double extraterrestrial_irradiance(double t)
{
    const double w = year_angle(t);
    return kSolarConstant * (1.00011 + 0.034221 * cos(w) + 0.00128 * sin(w) + 0.000719 * cos(2 * w)
                             + 0.000077 * sin(2 * w));
}

void solar_site_init(struct solar_site *site, double latitude, double longitude, double longitude_timezone)
{
    const double phi = latitude * SOLAR_DEG_TO_RAD;
    site->sin_phi = sin(phi);
    site->cos_phi = cos(phi);
    site->correction = kSecondsPerDegree * (longitude_timezone - longitude);
}

/*
 * Up to kChunk times at once. Each library function runs in a loop of its
 * own over the chunk (the year-angle terms, then the declination's sine and
 * cosine, the hour angle's cosine, and so on), which keeps the processor's
 * predictions warm; every element still sees exactly the operations of the
 * one-time formula, in the same order.
 */
enum { kChunk = 256 };

static void locate_sun_chunk(const double *t, size_t n, const struct solar_site *site, struct sun_geometry *out)
{
    double c1[kChunk], s1[kChunk], c2[kChunk], s2[kChunk], c3[kChunk], s3[kChunk];
    double sin_delta[kChunk], cos_delta[kChunk], cos_omega[kChunk], cz[kChunk], sin_zenith[kChunk];
    for (size_t k = 0; k < n; ++k) {
        const double w = year_angle(t[k]);
        c1[k] = cos(w);
        s1[k] = sin(w);
    }
    for (size_t k = 0; k < n; ++k) {
        const double w = year_angle(t[k]);
        c2[k] = cos(2 * w);
        s2[k] = sin(2 * w);
    }
    for (size_t k = 0; k < n; ++k) {
        const double w = year_angle(t[k]);
        c3[k] = cos(3 * w);
        s3[k] = sin(3 * w);
    }
    for (size_t k = 0; k < n; ++k) {
        const struct year_terms y = {c1[k], s1[k], c2[k], s2[k], c3[k], s3[k]};
        const double S = solar_seconds_of(t[k], eot_of(&y), site->correction);
        out[k].declination = declination_of(&y);
        out[k].solar_seconds = S;
        out[k].hour_angle = (S - kSolarNoon) * kHourAngleRate;
    }
    for (size_t k = 0; k < n; ++k) {
        sin_delta[k] = sin(out[k].declination);
        cos_delta[k] = cos(out[k].declination);
    }
    for (size_t k = 0; k < n; ++k) cos_omega[k] = cos(out[k].hour_angle);
    for (size_t k = 0; k < n; ++k) cz[k] = cos_omega[k] * (cos_delta[k] * site->cos_phi) + site->sin_phi * sin_delta[k];
    for (size_t k = 0; k < n; ++k) out[k].zenith = acos(cz[k]);
    for (size_t k = 0; k < n; ++k) sin_zenith[k] = sin(out[k].zenith);
    for (size_t k = 0; k < n; ++k) {
        const double q = site->cos_phi * sin_zenith[k];
        double azimuth = 0;
        /* With the sun in the zenith (or q not a number) the azimuth is 0. */
        if (fabs(q) > kEpsilon) {
            azimuth = acos((site->sin_phi * cz[k] - sin_delta[k]) / q);
            if (out[k].hour_angle < 0) azimuth = -azimuth;
        }
        out[k].azimuth = azimuth;
    }
}

void locate_sun_many(const double *t, size_t count, const struct solar_site *site, struct sun_geometry *out)
{
    for (size_t base = 0; base < count; base += kChunk) {
        const size_t n = count - base < (size_t)kChunk ? count - base : (size_t)kChunk;
        locate_sun_chunk(t + base, n, site, out + base);
    }
}

void locate_sun_at(double t, const struct solar_site *site, struct sun_geometry *out)
{
    locate_sun_chunk(&t, 1, site, out);
}

void locate_sun(double t, double latitude, double longitude, double longitude_timezone, struct sun_geometry *out)
{
    struct solar_site site;
    solar_site_init(&site, latitude, longitude, longitude_timezone);
    locate_sun_at(t, &site, out);
}
