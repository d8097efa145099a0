/*
 * Solar formulas: the position of the sun and the radiation outside the
 * atmosphere as pure functions of time.
 *
 * Time t is in seconds of year (seconds since 1 January 00:00) on a year of
 * 365 days of 86400 s; it is not reduced to one year. Angles are radians
 * inside these functions; latitudes and longitudes are passed in degrees.
 * Two longitudes always enter as a difference, at 240 s per degree.
 *
 * The arithmetic is fixed to the last bit: every deliverable that compiles
 * this module in must give the same numbers, so constants are used exactly
 * as written below and operations keep their order. Arc-cosine arguments are
 * not clamped: one that rounding carries past +-1 yields NaN.
 */
#ifndef SIMBLOCKS_SOLAR_FORMULAS_H
#define SIMBLOCKS_SOLAR_FORMULAS_H

#include <stddef.h>

/* Radians to degrees (180/pi at full double precision). */
#define SOLAR_RAD_TO_DEG 57.29577951308232
/* Degrees to radians: pi/180 cut to 15 decimals, on purpose. */
#define SOLAR_DEG_TO_RAD 0.017453292519943

/* Where the sun stands; filled completely by locate_sun. */
struct sun_geometry {
    double zenith;        /* zenith angle, radians, 0 to pi */
    double azimuth;       /* radians; 0 due south at solar noon, negative before noon (east) */
    double declination;   /* radians */
    double hour_angle;    /* radians; 0 at solar noon, not wrapped into +-pi */
    double solar_seconds; /* apparent solar time, seconds, not wrapped into one day */
};

/* The time-of-year angle, radians: one turn per 365 days, 0 at t = 0. */
double year_angle(double t);
/* Solar declination, radians. */
double declination(double t);
/* Equation of time, seconds. */
double equation_of_time(double t);
/*
 * Apparent solar time in seconds: time of day (negative for negative t) +
 * equation of time + 240 * (a - b), a and b longitudes in degrees.
 */
double apparent_solar_seconds(double t, double a, double b);
/* Irradiance on a plane normal to the sun's rays outside the atmosphere, W/m2. */
double extraterrestrial_irradiance(double t);
/* Sun position at time t for a site; degrees in, radians out. */
void locate_sun(double t, double latitude, double longitude, double longitude_timezone, struct sun_geometry *out);

/*
 * The same computation for callers that evaluate many times at one site:
 * what depends only on the site is prepared once, and each year-angle sine
 * and cosine is evaluated once per time. Results are bit-identical to
 * locate_sun.
 */
struct solar_site {
    double sin_phi;    /* sine and cosine of the latitude */
    double cos_phi;
    double correction; /* 240 * (longitude_timezone - longitude), seconds */
};
void solar_site_init(struct solar_site *site, double latitude, double longitude, double longitude_timezone);
void locate_sun_at(double t, const struct solar_site *site, struct sun_geometry *out);
/* locate_sun_at for count times t[0..count-1] into out[0..count-1]. */
void locate_sun_many(const double *t, size_t count, const struct solar_site *site, struct sun_geometry *out);

#endif
