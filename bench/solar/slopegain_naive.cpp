#include "slopegain_naive.h"

#include <cmath>
#include <cstdint>

#include "solar/solar_formulas.h"
#include "time/calendar.h"

namespace {

double diffuseFraction(double k)
{
    if (k <= 0.3) return 1 - 0.2 * k;
    if (k > 0.3 && k <= 0.79) return 1.423 - 1.612 * k;
    return 0.15;
}

// Ratio P of one hour for one plane and its weight w.
void hourRatio(double t, double latitude, double longitude, double longitude_timezone, double k, double rho,
               double slopeDeg, double orientationDeg, double *v, double *w)
{
    sun_geometry g;
    locate_sun(t, latitude, longitude, longitude_timezone, &g);
    const double zenithDeg = g.zenith * 57.29577951308232;
    const double azimuthDeg = g.azimuth * 57.29577951308232;
    *w = extraterrestrial_irradiance(t) * std::cos(g.zenith);
    const double I = k * *w;
    const double D = diffuseFraction(k) * I;
    const double B = I - D;

    const double theta = zenithDeg * 0.017453292519943;
    const double gamma = azimuthDeg * 0.017453292519943;
    const double beta = slopeDeg * 0.017453292519943;
    const double gammaP = orientationDeg * 0.017453292519943;
    double Rb = 0;
    if (std::cos(theta) >= 1e-5) {
        const double ci = std::sin(beta) * std::cos(gamma - gammaP) * std::sin(theta) + std::cos(beta) * std::cos(theta);
        Rb = ci / std::cos(theta);
    }
    const double N = B + D;
    double P = 0;
    if (!(std::fabs(N) < 2.220446049250313e-16))
        P = (D / N) * (1 + std::cos(beta)) / 2 + B * Rb / N + rho * (1 - std::cos(beta)) / 2;
    *v = P > 0 ? P : 0;
}

}  // namespace

void slopegain_naive(double month, double latitude, double longitude, double longitude_timezone,
                     double clearness_index, double ground_reflectance, double *table)
{
    int32_t first = 1, last = 0;
    if (month < 1) {
        last = 12;
    } else if (month >= 1) {
        first = last = static_cast<int32_t>(month);
    }
    for (int i = 0; i < 37; ++i) {
        for (int j = 0; j < 37; ++j) {
            double V = 0, W = 0;
            for (int32_t m = first; m <= last; ++m) {
                for (int32_t day = 1; day <= 28; ++day) {
                    for (int32_t hour = 1; hour <= 23; ++hour) {
                        const int32_t t = ((days_before_month(m, 0) + day - 1) * 24 + hour) * 3600;
                        double v, w;
                        hourRatio(t, latitude, longitude, longitude_timezone, clearness_index, ground_reflectance,
                                  2.5 * i, -5.0 * j, &v, &w);
                        if (w > 0) {
                            V += w * v;
                            W += w;
                        }
                    }
                }
            }
            table[i + 37 * j] = W > 0 ? V / W : 0;
        }
    }
}
