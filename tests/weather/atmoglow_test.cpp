// atmoglow through the engine: the documented values and the boundaries of
// each branch.
#include <gtest/gtest.h>

#include <cmath>

#include "support/testutil.h"

namespace {

using testutil::Args;
using testutil::Harness;
using testutil::num;

double sky(double sw, double t, double T, double RH, double N)
{
    Harness h("atmoglow", Args{num(sw)});
    return h.output1(t, {T, RH, N});
}

// The model's constants and where they come from: the Magnus formula's
// pairs for the saturation vapour pressure over water (17.08, 234.18 degC)
// and over ice (17.84, 245.43 degC) at 611 Pa; the clear-sky emissivity
// quadratic in the dew point (0.711, 0.0056, 0.000073); the cloud factor
// e^(-1/8.2), which the block holds to 15 digits; and the no-humidity
// model's 150 W/m2 over the Stefan-Boltzmann constant 5.6697e-8.
const double kCloudFactor = 0.885191547524961;
const double kNoHumidityOffset = 150 / 5.6697e-8;  // 2645642626.59 K^4

// The humidity model written out step by step, for bit-exact comparison.
double humidityModel(double T, double RH, double N, double a, double b, double correction)
{
    double s = 273.15 + T;
    double Tk4 = (s * s) * (s * s);
    double L = std::log(611 * std::exp(a * T / (b + T)) * (RH / 100) / 611);
    double Td = b * L / (a - L);
    double eps = (0.000073 * Td) * Td + (0.0056 * Td + 0.711) + correction;
    if (!(N < 0.0001)) eps = eps + ((1 - eps) * N) * kCloudFactor;
    return std::pow(eps * Tk4, 0.25) - 273.15;
}

TEST(Atmoglow, NoHumidityModelDocumentedValues)
{
    EXPECT_NEAR(kCloudFactor, std::exp(-1 / 8.2), 1e-15);
    // By hand: 293.15^4 = 7.38515e9 K^4; 1.2 x that - 2.64564e9 = 6.21654e9;
    // its fourth root 280.794 K, 7.64 degC.
    const double Tk4 = std::pow(293.15, 4);
    EXPECT_NEAR(sky(0, 0, 20, 0, 0), 7.64, 0.005);
    EXPECT_NEAR(sky(0, 0, 20, 0, 0), std::pow(1.2 * Tk4 - kNoHumidityOffset, 0.25) - 273.15, 1e-9);
    // Overcast: 1.2 - 0.2 x 0.9 = 1.02 of Tk4, less (1 - 0.9) of the offset.
    EXPECT_NEAR(sky(0, 0, 20, 0, 1), std::pow(Tk4 * 1.02 - 0.1 * kNoHumidityOffset, 0.25) - 273.15, 1e-9);
    // The switch and the time of day play no part without humidity.
    EXPECT_EQ(sky(1, 43200, 20, 0, 0), sky(0, 0, 20, 0, 0));
    EXPECT_EQ(sky(1, 43200, 20, -5, 0.5), sky(0, 0, 20, -5, 0.5));
    // NaN humidity selects the no-humidity model.
    EXPECT_EQ(sky(1, 0, 20, std::nan(""), 0), sky(0, 0, 20, 0, 0));
    // Cold enough that the sky term goes negative: NaN, the fourth root of a negative number.
    EXPECT_TRUE(std::isnan(sky(0, 0, -60, 0, 0)));
    EXPECT_FALSE(std::isnan(sky(0, 0, -56, 0, 0)));
}

TEST(Atmoglow, HumidityModelDocumentedValues)
{
    // By hand: L = ln(Pv / 611) = 17.08 x 20 / 254.18 + ln 0.5 = 0.650782;
    // dew point 234.18 x 0.650782 / (17.08 - 0.650782) = 9.27617 degC;
    // emissivity 0.000073 x 9.27617^2 + 0.0056 x 9.27617 + 0.711 = 0.769228;
    // (0.769228 x 293.15^4)^0.25 = 274.5388 K, 1.389 degC.
    double y = sky(0, 0, 20, 50, 0);
    EXPECT_NEAR(y, 1.389, 0.0005);
    EXPECT_EQ(y, humidityModel(20, 50, 0, 17.08, 234.18, 0));
    // RH 100: the dew point is the air temperature itself.
    double s = 273.15 + 15;
    double eps = (0.000073 * 15) * 15 + (0.0056 * 15 + 0.711);
    EXPECT_NEAR(sky(0, 0, 15, 100, 0), std::pow(eps * s * s * s * s, 0.25) - 273.15, 1e-9);
}

TEST(Atmoglow, MagnusPairChangesAtZero)
{
    EXPECT_EQ(sky(0, 0, 0, 60, 0), humidityModel(0, 60, 0, 17.08, 234.18, 0));
    EXPECT_EQ(sky(0, 0, -0.01, 60, 0), humidityModel(-0.01, 60, 0, 17.84, 245.43, 0));
    EXPECT_NE(sky(0, 0, -0.01, 60, 0), humidityModel(-0.01, 60, 0, 17.08, 234.18, 0));
}

TEST(Atmoglow, CloudThreshold)
{
    EXPECT_EQ(sky(0, 0, 10, 70, 0.00009), sky(0, 0, 10, 70, 0));
    EXPECT_EQ(sky(0, 0, 10, 70, 0.0001), humidityModel(10, 70, 0.0001, 17.08, 234.18, 0));
    EXPECT_GT(sky(0, 0, 10, 70, 0.0001), sky(0, 0, 10, 70, 0));
    EXPECT_EQ(sky(0, 0, 10, 0, 0.00009), sky(0, 0, 10, 0, 0));
    EXPECT_NE(sky(0, 0, 10, 0, 0.0001), sky(0, 0, 10, 0, 0));
    EXPECT_TRUE(std::isnan(sky(0, 0, 10, 70, std::nan(""))));
    EXPECT_TRUE(std::isnan(sky(0, 0, std::nan(""), 70, 0)));
}

TEST(Atmoglow, DailyCorrection)
{
    // +0.013 at midnight, -0.013 at noon.
    EXPECT_EQ(sky(1, 0, 20, 50, 0), humidityModel(20, 50, 0, 17.08, 234.18, 0.013 * std::cos(0.0)));
    EXPECT_NEAR(sky(1, 43200, 20, 50, 0), humidityModel(20, 50, 0, 17.08, 234.18, -0.013), 1e-9);
    EXPECT_EQ(sky(1, 0, 20, 50, 0), sky(1, 86400, 20, 50, 0));
    EXPECT_EQ(sky(1, 5 * 86400 + 7200, 20, 50, 0), sky(1, 7200, 20, 50, 0));
    // Before the start: truncation toward zero keeps -3600 within day 0, and the cosine is even.
    EXPECT_EQ(sky(1, -3600, 20, 50, 0), sky(1, 3600, 20, 50, 0));
    // Any positive switch is on; zero, negative and NaN are off.
    EXPECT_EQ(sky(0.5, 0, 20, 50, 0), sky(1, 0, 20, 50, 0));
    EXPECT_EQ(sky(-1, 0, 20, 50, 0), sky(0, 0, 20, 50, 0));
    EXPECT_EQ(sky(std::nan(""), 0, 20, 50, 0), sky(0, 0, 20, 50, 0));
}

TEST(Atmoglow, UnreadableSwitchParameterCountsAsOff)
{
    for (mxArray *p : {testutil::empty(), testutil::str("1"), mxCreateCellMatrix(1, 1)}) {
        Harness h("atmoglow", Args{p});
        EXPECT_EQ(h.output1(0, {20, 50, 0}), sky(0, 0, 20, 50, 0));
    }
}

TEST(Atmoglow, ParameterIsReadAfreshAtEveryStep)
{
    Harness h("atmoglow", Args{num(0)});
    double off = h.output1(0, {20, 50, 0});
    mxGetPr(const_cast<mxArray *>(ssGetSFcnParam(h.S(), 0)))[0] = 1;
    EXPECT_NE(h.output1(0, {20, 50, 0}), off);
    EXPECT_EQ(h.output1(0, {20, 50, 0}), sky(1, 0, 20, 50, 0));
}

}  // namespace
