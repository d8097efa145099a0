/*
 * Transposition: the solar irradiance on a tilted plane from the sun's
 * position and the irradiance a weather file gives (direct normal, diffuse
 * horizontal, global horizontal), by one of five sky models.
 *
 * Conventions (those of the whole toolbox):
 *   - angles in degrees;
 *   - tilt of the plane from the horizontal: 0 faces up, 90 is vertical,
 *     180 faces down;
 *   - azimuths of the plane's normal and of the sun from south, negative
 *     toward east, positive toward west (heliopose's Azimut);
 *   - sun zenith angle from the vertical, 0 to 180;
 *   - irradiances in W/m2; dni_extra the irradiance outside the atmosphere
 *     on a plane normal to the sun's rays (topflux, extraterrestrial_irradiance);
 *   - albedo: the reflectance of the ground in front of the plane, 0 to 1.
 *
 * The irradiance on the plane is the sum of three parts, in this order:
 *   beam    the direct beam, max(dni cos_aoi, 0), where cos_aoi is the
 *           cosine of the angle of incidence held to [-1, 1];
 *   sky     the diffuse light of the sky, by the model;
 *   ground  the light the ground reflects, ghi albedo (1 - cos tilt) / 2.
 * The sky models, with SVF = (1 + cos tilt) / 2 (the share of the sky the
 * plane sees) and A = max(cos_aoi, 0):
 *   isotropic   dhi SVF: the sky equally bright everywhere.
 *   haydavies   Hay and Davies (1980): a circumsolar share AI = dni / dni_extra
 *               of dhi comes from the sun's direction (factor
 *               Rb = A / max(cos zen, 0.01745)), the rest isotropically; each
 *               part held at 0 or above.
 *   reindl      Reindl et al. (1990): Hay and Davies with a brighter horizon,
 *               (1 + sqrt(HB / ghi) sin^3(tilt / 2)) on the isotropic part,
 *               HB = max(dni cos zen, 0) the beam on the horizontal.
 *   klucher     Klucher (1979): F = 1 - (dhi / ghi)^2 brightens the horizon,
 *               (1 + F sin^3(tilt / 2)), and the circumsolar region,
 *               (1 + F A^2 sin^3 zen).
 *   perez       Perez et al. (1990), the all-sites composite coefficients:
 *               eight bins of sky clearness eps, a circumsolar coefficient
 *               F1 and a horizon coefficient F2 from the brightness delta
 *               and the zenith angle; 0 with the sun below the horizon.
 *
 * A NaN in an input gives NaN in the values that need it, and nothing else
 * is affected. Ratios whose denominator vanishes on a dark sky are taken as
 * follows: reindl HB / ghi = 0 where ghi = 0; klucher F = 0 where
 * dhi = ghi = 0; perez sky 0 where dhi = dni = 0. A row without light
 * (dni = dhi = ghi = 0, every other number finite) gives 0 in every part.
 */
#ifndef SIMBLOCKS_TILT_FORMULAS_H
#define SIMBLOCKS_TILT_FORMULAS_H

#include <stddef.h>

enum tilt_model { TILT_ISOTROPIC, TILT_HAYDAVIES, TILT_PEREZ, TILT_REINDL, TILT_KLUCHER };

/* For messages: the names a model may have. */
#define TILT_MODEL_CHOICES "isotropic, haydavies, perez, reindl or klucher"

/* The model called name (length characters, any case), or -1 for no model. */
int tilt_model_named(const char *name, size_t length);

/*
 * Sine and cosine of an angle in degrees, exact where the angle is a whole
 * multiple of 90 (a vertical plane has cos tilt = 0 and sees exactly half
 * the sky), within a few units in the last place elsewhere; NaN for a NaN
 * or an infinity. Computed here rather than by the C library: in a few
 * arithmetic operations per angle, which is what makes a year of rows
 * cheap, and with the same result on every platform.
 */
void sincos_deg(double x, double *s, double *c);

/* The irradiance on the plane, W/m2; total = (beam + sky) + ground. */
struct plane_irradiance {
    double total;
    double beam;
    double sky;
    double ground;
};

/*
 * The irradiance on a plane (tilt and azimuth of its normal, degrees) for
 * one sun position (degrees) and one row of weather (W/m2), by the model.
 */
void tilt_irradiance(enum tilt_model model, double tilt, double azimuth, double sun_zenith, double sun_azimuth,
                     double dni, double dhi, double ghi, double dni_extra, double albedo, struct plane_irradiance *out);

/* One argument over many rows: row i reads at[i * step] (step 0: one value for every row). */
struct tilt_column {
    const double *at;
    size_t step;
};
struct tilt_rows {
    struct tilt_column tilt, azimuth, sun_zenith, sun_azimuth, dni, dhi, ghi, dni_extra, albedo;
};

/*
 * tilt_irradiance for rows 0 to count - 1 into total[i] and, where the array
 * is not null, beam[i], sky[i] and ground[i]: the same numbers as one call
 * per row, in a fraction of the time (most of all when the plane is the
 * same for every row).
 */
void tilt_irradiance_rows(enum tilt_model model, const struct tilt_rows *rows, size_t count, double *total,
                          double *beam, double *sky, double *ground);

/*
 * The closure guard. The three irradiances of a weather row hold together:
 * ghi = dni cos(zenith) + dhi, within what measuring and modelling leave.
 * Given in another order (the weather file's ghi, dni, dhi where dni, dhi,
 * ghi is meant), they fail it in most rows with the sun up, and the
 * irradiance on a plane comes out wrong by tens of percent with no other
 * sign. The guard tallies rows and names the order the values seem to be in.
 *
 * A row counts when the sun is at least 10 degrees up (cos zenith >=
 * sin 10 degrees), the largest of the three is 50 W/m2 or more and all are
 * numbers; it fails in an order when |ghi - (dni cos zen + dhi)| exceeds
 * 25 W/m2 plus 15 % of the larger of the two sides. On the shipped weather
 * files fewer than 1 % of the rows with the sun up fail in the right order
 * (the sun taken at the middle or the end of the hour), and every other
 * order fails in more than half of them (58 % for dni and dhi swapped, the
 * closest).
 *
 * counts[0] is the number of counted rows, counts[1 + k] those that fail
 * with the three values read in order k of TILT_CLOSURE_ORDERS (order 0 as
 * given). Doubles, so that a block keeps them in its real work vector;
 * whole numbers far below 2^53, exact.
 */
enum { TILT_CLOSURE_ORDERS = 6, TILT_CLOSURE_COUNTS = 1 + TILT_CLOSURE_ORDERS };

/* Adds one row: sun zenith in degrees, the three irradiances as given. */
void tilt_closure_add(double counts[TILT_CLOSURE_COUNTS], double sun_zenith, double dni, double dhi, double ghi);

/*
 * The order the values seem to be in when the given one fails in most of at
 * least min_rows counted rows: 1 to TILT_CLOSURE_ORDERS - 1 (the order that
 * fails least), or TILT_CLOSURE_ORDERS when none fits either; 0 when the
 * given order holds (or too few rows counted).
 */
int tilt_closure_suspect(const double counts[TILT_CLOSURE_COUNTS], double min_rows);

/*
 * The warning's text: names[0..2] name the three values as given (in the
 * order dni, dhi, ghi: "dni", or "input 2 element 2"); order is what
 * tilt_closure_suspect returned (not 0).
 */
void tilt_closure_message(const double counts[TILT_CLOSURE_COUNTS], int order, const char *const names[3], char *text,
                          size_t size);

#endif
