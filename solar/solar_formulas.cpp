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

static void year_terms_of(double t, struct year_terms *y)
{
    const double w = year_angle(t);
    y->c1 = cos(w);
    y->s1 = sin(w);
    y->c2 = cos(2 * w);
    y->s2 = sin(2 * w);
    y->c3 = cos(3 * w);
    y->s3 = sin(3 * w);
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
    const double w = year_angle(t);
    return 0.006918 - 0.399912 * cos(w) + 0.070257 * sin(w) - 0.006758 * cos(2 * w) + 0.000907 * sin(2 * w)
           - 0.002679 * cos(3 * w) + 0.00148 * sin(3 * w);
}

double equation_of_time(double t)
{
    const double w = year_angle(t);
    return kEotSeconds * (0.000075 + 0.001868 * cos(w) - 0.032077 * sin(w) - 0.014615 * cos(2 * w)
                          - 0.04089 * sin(2 * w));
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

void locate_sun_at(double t, const struct solar_site *site, struct sun_geometry *out)
{
    struct year_terms y;
    year_terms_of(t, &y);
    const double delta = declination_of(&y);
    const double S = solar_seconds_of(t, eot_of(&y), site->correction);
    const double omega = (S - kSolarNoon) * kHourAngleRate;
    const double sin_delta = sin(delta);
    const double cz = cos(omega) * (cos(delta) * site->cos_phi) + site->sin_phi * sin_delta;
    const double zenith = acos(cz);
    const double q = site->cos_phi * sin(zenith);
    double azimuth = 0;
    /* With the sun in the zenith (or q not a number) the azimuth is 0. */
    if (fabs(q) > kEpsilon) {
        azimuth = acos((site->sin_phi * cz - sin_delta) / q);
        if (omega < 0) azimuth = -azimuth;
    }
    out->zenith = zenith;
    out->azimuth = azimuth;
    out->declination = delta;
    out->hour_angle = omega;
    out->solar_seconds = S;
}

void locate_sun(double t, double latitude, double longitude, double longitude_timezone, struct sun_geometry *out)
{
    struct solar_site site;
    solar_site_init(&site, latitude, longitude, longitude_timezone);
    locate_sun_at(t, &site, out);
}
