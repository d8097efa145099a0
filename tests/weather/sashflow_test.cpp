// sashflow through the engine: the documented flows, symmetry, the zero and
// NaN cases, and its declaration.
#include <gtest/gtest.h>

#include <cmath>

#include "support/testutil.h"

namespace {

using testutil::Args;
using testutil::Harness;
using testutil::num;

double flow(double A, double H, double W, double T1, double T2, double u)
{
    Harness h("sashflow", Args{num(A), num(H), num(W)});
    return h.output1(0, {T1, T2, u});
}

// The closed form: k(a) (W (0.4116 + 0.0174 a) - 0.0928 H) H sqrt(1.09 H |T1 - T2| / Tmean).
double closedForm(double A, double H, double W, double T1, double T2, double u)
{
    const double a = u * A;
    const double k = a * (0.0186 + a * (-0.000119 + a * 2.6e-07));
    const double mean = (T1 + T2) / 2 + 273.15;
    return k * (W * (0.4116 + 0.0174 * a) - 0.0928 * H) * H * std::sqrt(1.09 * H * std::fabs(T1 - T2) / mean);
}

// Two flows by hand, the closed form's terms worked out in decimals, with
// T1 = 20 and T2 = 0 degC (mean 283.15 K):
//   A 10, u 1: a = 10, k = 0.186 - 0.0119 + 0.00026 = 0.17436,
//   H 1.2, W 0.8: width term 0.8 x (0.4116 + 0.174) - 0.11136 = 0.35712,
//   stack term sqrt(1.09 x 1.2 x 20 / 283.15) = sqrt(26.16 / 283.15);
//   flow 0.17436 x 0.35712 x 1.2 x sqrt(26.16 / 283.15) = 0.0227118686 m3/s.
//   A 30, u 0.5: a = 15, k = 0.279 - 0.026775 + 0.0008775 = 0.2531025,
//   H 1, W 1: width term 0.4116 + 0.261 - 0.0928 = 0.5798,
//   flow 0.2531025 x 0.5798 x sqrt(21.8 / 283.15) = 0.0407187662 m3/s.
const double kFlow1 = 0.17436 * 0.35712 * 1.2 * std::sqrt(26.16 / 283.15);
const double kFlow2 = 0.2531025 * 0.5798 * std::sqrt(21.8 / 283.15);

TEST(Sashflow, DocumentedFlows)
{
    EXPECT_NEAR(flow(10, 1.2, 0.8, 20, 0, 1), kFlow1, 1e-12 * kFlow1);
    EXPECT_NEAR(flow(30, 1.0, 1.0, 20, 0, 0.5), kFlow2, 1e-12 * kFlow2);
    for (double u : {0.1, 0.7, 2.5}) {
        const double expected = closedForm(15, 1.5, 0.6, 24, -3, u);
        EXPECT_NEAR(flow(15, 1.5, 0.6, 24, -3, u), expected, 1e-12 * std::fabs(expected)) << "u = " << u;
    }
}

TEST(Sashflow, SidesAreInterchangeable)
{
    EXPECT_EQ(flow(10, 1.2, 0.8, 20, 0, 1), flow(10, 1.2, 0.8, 0, 20, 1));
    EXPECT_EQ(flow(25, 2.0, 0.5, -7.3, 31.9, 0.4), flow(25, 2.0, 0.5, 31.9, -7.3, 0.4));
}

TEST(Sashflow, ZeroFlow)
{
    EXPECT_EQ(flow(10, 1.2, 0.8, 20, 0, 0), 0.0);    // closed window
    EXPECT_EQ(flow(10, 1.2, 0.8, -40, 60, 0), 0.0);
    EXPECT_EQ(flow(10, 1.2, 0.8, 20, 20, 1), 0.0);   // no temperature difference
    EXPECT_EQ(flow(10, 1.2, 0.8, -5.5, -5.5, 0.3), 0.0);
}

TEST(Sashflow, NaNAndUnclampedCases)
{
    EXPECT_TRUE(std::isnan(flow(10, -1.2, 0.8, 20, 0, 1)));            // negative height
    EXPECT_TRUE(std::isnan(flow(10, 1.2, 0.8, -273.15, -273.15, 1)));  // 0 / 0
    EXPECT_TRUE(std::isnan(flow(10, 1.2, 0.8, NAN, 0, 1)));
    // A negative opening gives a negative flow; angles beyond 90 degrees are not limited.
    const double back = flow(10, 1.2, 0.8, 20, 0, -1);
    EXPECT_LT(back, 0.0);
    EXPECT_NEAR(back, closedForm(10, 1.2, 0.8, 20, 0, -1), 1e-12);
    EXPECT_NEAR(flow(10, 1.2, 0.8, 20, 0, 12), closedForm(10, 1.2, 0.8, 20, 0, 12), 1e-12);
    // A tall narrow window makes the width term negative.
    EXPECT_LT(flow(10, 3.0, 0.1, 20, 0, 1), 0.0);
}

TEST(Sashflow, ParametersAreReadAtEveryStep)
{
    Harness h("sashflow", Args{num(10), num(1.2), num(0.8)});
    EXPECT_NEAR(h.output1(0, {20, 0, 1}), kFlow1, 1e-12 * kFlow1);
    mxArray *height = mxCreateDoubleScalar(1.0);
    mxArray *none = mxCreateDoubleMatrix(0, 0, mxREAL);
    const mxArray **params = h.S()->sfcnParams.params;
    const mxArray *saved = params[1];
    params[1] = height;
    EXPECT_NEAR(h.output1(1, {20, 0, 1}), closedForm(10, 1.0, 0.8, 20, 0, 1), 1e-12);
    // A parameter with no number in it is never read past its end: the flow is NaN.
    params[1] = none;
    EXPECT_TRUE(std::isnan(h.output1(2, {20, 0, 1})));
    params[1] = saved;
    mxDestroyArray(height);
    mxDestroyArray(none);
}

TEST(Sashflow, Declaration)
{
    Harness h("sashflow", Args{num(10), num(1.2), num(0.8)});
    engine::Block &b = h.block();
    const std::vector<double> &sizes = b.sizesVector();
    EXPECT_EQ(sizes[7], 3);   // dialog parameters
    EXPECT_EQ(sizes[2], 1);   // output ports
    EXPECT_EQ(sizes[3], 1);   // input ports
    EXPECT_EQ(sizes[6], 1);   // sample times
    EXPECT_EQ(sizes[23], 8192);  // no options of its own
    EXPECT_EQ(b.inputWidth(0), 3);
    EXPECT_TRUE(b.directFeedThrough(0));
    EXPECT_FALSE(b.requiredContiguous(0));
    EXPECT_EQ(b.outputWidth(0), 1);
    EXPECT_EQ(b.sampleTime(0), 0.0);
    EXPECT_EQ(b.offsetTime(0), 0.0);
    EXPECT_EQ(ssGetNumDWork(h.S()), 0);
    const uint32_T flags = ssGetFlags(h.S());
    EXPECT_EQ(flags & 0xF80000u, 0x880000u);
    bool made197 = false;
    for (const engine::GenericRequest &r : h.model().requests())
        if (r.code == 197) made197 = r.hasBool && r.boolValue && r.intArg == 0;
    EXPECT_TRUE(made197);
}

}  // namespace
