// The solar formulas against the same series written out independently in
// long double, and their boundary cases: t = 0, negative t, one year later,
// the sun in the zenith, solar noon, hour angles past +-pi.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "solar/solar_formulas.h"

namespace {

const long double kRate = 1.992384990861107e-7L;  // year angle per second
const double kDeg = 57.29577951308232;

// The series of the declination, the equation of time and the eccentricity
// correction, with cos and sin of the multiples of w taken in long double.
long double refDeclination(long double t)
{
    const long double w = t * kRate;
    const long double c[4] = {0, cosl(w), cosl(2 * w), cosl(3 * w)}, s[4] = {0, sinl(w), sinl(2 * w), sinl(3 * w)};
    const long double a[4] = {0.006918L, -0.399912L, -0.006758L, -0.002679L}, b[4] = {0, 0.070257L, 0.000907L, 0.00148L};
    long double sum = a[0];
    for (int k = 1; k < 4; ++k) sum += a[k] * c[k] + b[k] * s[k];
    return sum;
}
long double refEquationOfTime(long double t)
{
    const long double w = t * kRate;
    return 13752.0L * (0.000075L + 0.001868L * cosl(w) - 0.032077L * sinl(w) - 0.014615L * cosl(2 * w)
                       - 0.04089L * sinl(2 * w));
}
long double refIrradiance(long double t)
{
    const long double w = t * kRate;
    return 1367.0L * (1.00011L + 0.034221L * cosl(w) + 0.00128L * sinl(w) + 0.000719L * cosl(2 * w)
                      + 0.000077L * sinl(2 * w));
}
long double refSolarSeconds(long double t, long double a, long double b)
{
    const long double tod = fmodl(t, 86400.0L);  // keeps the sign of t
    return tod + refEquationOfTime(t) + 240.0L * (a - b);
}

TEST(SolarFormulas, ValuesAtTheStartOfTheYear)
{
    EXPECT_EQ(year_angle(0), 0.0);
    // Sums of the constant and cosine coefficients.
    EXPECT_NEAR(declination(0), 0.006918 - 0.399912 - 0.006758 - 0.002679, 1e-16);
    EXPECT_DOUBLE_EQ(declination(0) * kDeg, -23.057597845229232);
    EXPECT_NEAR(equation_of_time(0), 13752 * (0.000075 + 0.001868 - 0.014615), 1e-12);
    EXPECT_NEAR(equation_of_time(0), -174.265344, 1e-10);
    EXPECT_NEAR(extraterrestrial_irradiance(0), 1414.91335, 1e-10);
    // Equal longitudes: not wrapped into the day.
    EXPECT_NEAR(apparent_solar_seconds(0, 12, 12), -174.265344, 1e-10);
}

TEST(SolarFormulas, SeriesFollowTheirDefinitionOverTheYear)
{
    for (double t = -5e6; t < 4e7; t += 123456.7) {
        SCOPED_TRACE(t);
        EXPECT_NEAR(year_angle(t), static_cast<double>(t * kRate), 1e-15 * (1 + std::fabs(t * 2e-7)));
        EXPECT_NEAR(declination(t), static_cast<double>(refDeclination(t)), 1e-15);
        EXPECT_NEAR(equation_of_time(t), static_cast<double>(refEquationOfTime(t)), 1e-11);
        EXPECT_NEAR(extraterrestrial_irradiance(t), static_cast<double>(refIrradiance(t)), 1e-11);
        EXPECT_NEAR(apparent_solar_seconds(t, 15, 7.5), static_cast<double>(refSolarSeconds(t, 15, 7.5)), 1e-9);
    }
}

TEST(SolarFormulas, TimeOfDayTruncatesTowardZero)
{
    // One hour before the start of the year is -3600 s of day, not 82800 s.
    EXPECT_NEAR(apparent_solar_seconds(-3600, 0, 0) - equation_of_time(-3600), -3600, 1e-9);
    EXPECT_NEAR(apparent_solar_seconds(-86400 - 60, 0, 0) - equation_of_time(-86460), -60, 1e-9);
    // Days are whole: 2.5 days in, the time of day is 43200 s.
    EXPECT_NEAR(apparent_solar_seconds(216000, 1, 0) - equation_of_time(216000), 43200 + 240, 1e-9);
}

TEST(SolarFormulas, AYearLaterGivesTheSameSeries)
{
    EXPECT_NEAR(declination(31536000), declination(0), 1e-9);
    EXPECT_NEAR(equation_of_time(31536000), equation_of_time(0), 1e-6);
    EXPECT_NEAR(extraterrestrial_irradiance(31536000), extraterrestrial_irradiance(0), 1e-6);
    // The time of day restarts with the day count.
    EXPECT_NEAR(apparent_solar_seconds(31536000, 0, 0), apparent_solar_seconds(0, 0, 0), 1e-6);
}

// locate_sun against the geometry written out in long double.
TEST(SolarFormulas, SunPositionFollowsTheGeometry)
{
    const double sites[][3] = {{50, 10, 15}, {-33.9, -18.4, -15}, {0, 0, 0}, {64.1, 21.9, 15}, {23.4, 0, 0}};
    for (const auto &site : sites) {
        for (double t = 3600 * 5.5; t < 31536000; t += 86400 * 7.3 + 1234) {
            SCOPED_TRACE(t);
            sun_geometry g;
            locate_sun(t, site[0], site[1], site[2], &g);
            const long double phi = site[0] * 0.017453292519943L;
            const long double delta = refDeclination(t);
            const long double S = refSolarSeconds(t, site[2], site[1]);
            const long double omega = (S - 43200) * 7.27220521664304e-5L;
            const long double cz = cosl(omega) * cosl(delta) * cosl(phi) + sinl(phi) * sinl(delta);
            const long double zenith = acosl(cz);
            long double azimuth = acosl((sinl(phi) * cz - sinl(delta)) / (cosl(phi) * sinl(zenith)));
            if (omega < 0) azimuth = -azimuth;
            EXPECT_NEAR(g.declination, static_cast<double>(delta), 1e-15);
            EXPECT_NEAR(g.solar_seconds, static_cast<double>(S), 1e-9);
            EXPECT_NEAR(g.hour_angle, static_cast<double>(omega), 1e-12);
            EXPECT_NEAR(g.zenith, static_cast<double>(zenith), 1e-9);
            EXPECT_NEAR(g.azimuth, static_cast<double>(azimuth), 1e-6);
        }
    }
}

TEST(SolarFormulas, HeliposeExampleSite)
{
    // t = 0 at latitude 50, longitude 10, zone meridian 15.
    sun_geometry g;
    locate_sun(0, 50, 10, 15, &g);
    // The equation of time at t = 0 (-174.265344 s) plus 240 s a degree
    // times 15 - 10.
    EXPECT_NEAR(g.solar_seconds, -174.265344 + 1200, 1e-9);
    // 15 degrees an hour from solar noon: (1025.734656 - 43200) / 240.
    const double omega = (1025.734656 - 43200) / 240;  // -175.72610560 degrees
    EXPECT_NEAR(g.hour_angle * kDeg, omega, 1e-9);
    const double delta = (0.006918 - 0.399912 - 0.006758 - 0.002679) * kDeg;  // -23.0575978 degrees, as above
    EXPECT_DOUBLE_EQ(g.declination * kDeg, delta);
    // The zenith from the spherical triangle of pole, zenith and sun:
    // cos z = sin 50 sin delta + cos 50 cos delta cos omega = -0.889818, z = 152.8504 degrees.
    const double r = M_PI / 180;
    EXPECT_NEAR(g.zenith * kDeg,
                std::acos(std::sin(50 * r) * std::sin(delta * r) + std::cos(50 * r) * std::cos(delta * r) * std::cos(omega * r)) / r, 1e-9);
    EXPECT_NEAR(g.zenith * kDeg, 152.8504, 1e-4);
    EXPECT_LT(g.azimuth, 0);  // before solar noon
}

TEST(SolarFormulas, ManyTimesAtOneSiteAreBitIdenticalToLocateSun)
{
    // More times than one batch, with the awkward ones mixed in.
    std::vector<double> times;
    for (double t = -86400; t < 32e6; t += 53987.25) times.push_back(t);
    times.insert(times.begin() + 300, {NAN, INFINITY, -1e15, 0, -3600, 43200});
    for (double latitude : {47.3, 90.0, -23.4}) {
        solar_site site;
        solar_site_init(&site, latitude, 8.5, 15);
        std::vector<sun_geometry> many(times.size());
        locate_sun_many(times.data(), times.size(), &site, many.data());
        for (std::size_t i = 0; i < times.size(); ++i) {
            sun_geometry one, at;
            locate_sun(times[i], latitude, 8.5, 15, &one);
            locate_sun_at(times[i], &site, &at);
            ASSERT_EQ(0, std::memcmp(&one, &many[i], sizeof one)) << times[i];
            ASSERT_EQ(0, std::memcmp(&one, &at, sizeof one)) << times[i];
            if (!std::isfinite(times[i])) continue;
            // The fields equal the single-quantity functions to the bit.
            ASSERT_EQ(one.declination, declination(times[i]));
            ASSERT_EQ(one.solar_seconds, apparent_solar_seconds(times[i], 15, 8.5));
        }
    }
}

// Longitude of the zone meridian that puts time t of day 0 at solar noon
// (site longitude 0), stepped to the double that makes the hour angle exactly 0.
double noonZone(double t)
{
    double zone = (43200 - apparent_solar_seconds(t, 0, 0) + t) / 240;
    for (int k = 0; k < 200; ++k) {
        const double S = apparent_solar_seconds(t, zone, 0);
        if (S == 43200) return zone;
        zone = std::nextafter(zone, S < 43200 ? 1e9 : -1e9);
    }
    return NAN;
}

TEST(SolarFormulas, SolarNoonKeepsThePositiveSign)
{
    int exactNoons = 0, nans = 0, finite = 0;
    for (double t : {0.0, 3600.0, 7200.0, 11000.0, 20000.0, 30000.0}) {
        const double zone = noonZone(t);
        if (std::isnan(zone)) continue;
        ++exactNoons;
        const double delta = declination(t) * kDeg;
        for (double latitude = -75; latitude < 80; latitude += 0.731) {
            sun_geometry g;
            locate_sun(t, latitude, 0, zone, &g);
            ASSERT_EQ(g.hour_angle, 0.0);
            // The acos argument is +-1 in exact arithmetic: the azimuth is 0
            // (sun due south) or pi (due north, latitude below the
            // declination) up to rounding, or NaN where rounding carries the
            // argument past 1; never negative.
            if (std::isnan(g.azimuth)) {
                ++nans;
                continue;
            }
            ++finite;
            const double expected = latitude > delta ? 0 : M_PI;
            EXPECT_GE(g.azimuth, 0) << "t " << t << " latitude " << latitude;
            EXPECT_NEAR(g.azimuth, expected, 1e-3) << "t " << t << " latitude " << latitude;
        }
        // Just before and after noon the sign follows the hour angle.
        sun_geometry before, after;
        locate_sun(t, 40, 0.01, zone, &before);
        locate_sun(t, 40, -0.01, zone, &after);
        EXPECT_LT(before.hour_angle, 0);
        EXPECT_LT(before.azimuth, 0);
        EXPECT_GT(after.azimuth, 0);
    }
    EXPECT_GT(exactNoons, 0);
    EXPECT_GT(finite, 0);
    // Not clamped: some noon azimuths come out NaN.
    EXPECT_GT(nans, 0);
}

TEST(SolarFormulas, SunInTheZenithHasAzimuthZero)
{
    // At solar noon the sun stands in the zenith where the latitude equals the
    // declination. Step the latitude through neighbouring doubles: where the
    // zenith angle is exactly 0, so is the azimuth; where rounding carries the
    // cosine past 1, the zenith is NaN (not clamped) and the azimuth again 0.
    const double t = 0;
    const double zone = noonZone(t);
    ASSERT_FALSE(std::isnan(zone));
    double latitude = declination(t) / 0.017453292519943;
    for (int k = 0; k < 40; ++k) latitude = std::nextafter(latitude, -90.0);
    int zeros = 0;
    for (int k = 0; k < 80; ++k, latitude = std::nextafter(latitude, 90.0)) {
        sun_geometry g;
        locate_sun(t, latitude, 0, zone, &g);
        if (g.zenith == 0 || std::isnan(g.zenith)) {
            zeros += g.zenith == 0;
            EXPECT_EQ(g.azimuth, 0.0) << "zenith " << g.zenith;
        }
    }
    EXPECT_GT(zeros, 0);
}

TEST(SolarFormulas, PoleLatitudeIsShortOfAQuarterTurn)
{
    // 90 degrees times the cut constant falls short of pi/2 by
    // 90 x (0.0174532925199432958 - 0.017453292519943) = 90 x 2.958e-16
    // = 2.66e-14, so the site's cosine of the latitude is about that (the
    // cosine of pi/2 - e is e), not 0: above the threshold, so the azimuth
    // follows the hour angle instead of being 0.
    solar_site pole;
    solar_site_init(&pole, 90, 0, 0);
    EXPECT_NEAR(pole.cos_phi, 2.66e-14, 0.05e-14);
    int nonzero = 0;
    for (double t = 3600; t < 86400; t += 3600 * 2.5) {
        sun_geometry g;
        locate_sun(t + 172 * 86400, 90, 0, 0, &g);
        if (g.azimuth != 0) ++nonzero;
        if (!std::isnan(g.azimuth) && g.azimuth != 0) {
            EXPECT_EQ(g.azimuth < 0, g.hour_angle < 0);
        }
    }
    EXPECT_GT(nonzero, 0);
}

TEST(SolarFormulas, HourAngleIsNotWrapped)
{
    // Shortly after midnight at a site west of its zone meridian the
    // correction is negative and the hour angle falls below -pi.
    sun_geometry g;
    locate_sun(600, 45, 20, 0, &g);
    EXPECT_NEAR(g.solar_seconds, 600 + equation_of_time(600) - 4800, 1e-9);
    EXPECT_LT(g.hour_angle, -M_PI);
    EXPECT_EQ(g.hour_angle, (g.solar_seconds - 43200) * 7.27220521664304e-5);
    EXPECT_LT(g.azimuth, 0);  // the sign follows the unwrapped hour angle
    // Late in the evening east of the meridian it rises above pi.
    locate_sun(86000, 45, -10, 0, &g);
    EXPECT_GT(g.hour_angle, M_PI);
    EXPECT_GT(g.azimuth, 0);
}

}  // namespace
