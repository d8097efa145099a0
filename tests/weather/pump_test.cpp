// pump through the engine: every root-selection branch, the cut-off, the
// linear, degenerate and complex cases, and its declaration.
#include <gtest/gtest.h>

#include <cmath>

#include "support/testutil.h"

namespace {

using testutil::Args;
using testutil::Harness;

// Run signal, curve A (a0, a1, a2), curve B (b0, b1, b2).
double pump(double run, double a0, double a1, double a2, double b0, double b1, double b2)
{
    Harness h("pump", Args{});
    return h.output1(0, {run, a0, a1, a2, b0, b1, b2});
}

// B - A = qa x^2 + qb x + qc with A = 0.
double solve(double qa, double qb, double qc) { return pump(0, 0, 0, 0, qc, qb, qa); }

TEST(Pump, DocumentedOperatingPoints)
{
    EXPECT_EQ(pump(0, 0, 0, 1, 4, 0, 0), 2.0);        // x^2 = 4: roots 2 and -2
    EXPECT_EQ(pump(1, 1, 1, 5, 3, 0, 5), 2.0);        // 1 + x = 3, equal quadratic terms
    // A realistic pump against a circuit: 50 - 2x^2 = 0.5 x^2 meets at x = sqrt(20).
    EXPECT_NEAR(pump(1, 50, 0, -2, 0, 0, 0.5), std::sqrt(20.0), 1e-12);
}

TEST(Pump, RootSelection)
{
    EXPECT_EQ(solve(1, 3, 2), 0.0);     // roots -1 and -2: both negative
    EXPECT_EQ(solve(1, 1, -2), 1.0);    // roots -2 and 1: the non-negative second
    EXPECT_EQ(solve(1, -1, -2), 2.0);   // roots 2 and -1: the non-negative first
    EXPECT_EQ(solve(1, -3, 2), 1.0);    // roots 2 and 1, qb <= 0: the smaller
    EXPECT_EQ(solve(-1, 3, -2), 2.0);   // the same roots, qb > 0: the larger
    EXPECT_EQ(solve(-1, -3, -2), 0.0);  // roots -1 and -2 again, other signs
    // Both non-negative with qb = 0 needs a double root at 0 (see DoubleRootAtZero).
}

TEST(Pump, RunSignal)
{
    EXPECT_EQ(pump(-1, 0, 0, 1, 4, 0, 0), 0.0);
    EXPECT_EQ(pump(-1e-300, 0, 0, 1, 4, 0, 0), 0.0);
    EXPECT_EQ(pump(0, 0, 0, 1, 4, 0, 0), 2.0);
    EXPECT_EQ(pump(NAN, 0, 0, 1, 4, 0, 0), 2.0);  // NaN does not switch the block off
}

TEST(Pump, LinearAndDegenerateCurves)
{
    EXPECT_EQ(solve(0, -1, 2), 2.0);
    EXPECT_EQ(solve(0, 4, -3), 0.75);
    EXPECT_EQ(solve(0, 1, 2), 0.0);    // single root -2
    EXPECT_EQ(solve(0, 0, 5), 0.0);    // parallel curves
    EXPECT_EQ(solve(0, 0, 0), 0.0);    // equal curves
    EXPECT_EQ(pump(1, 2, 3, 4, 2, 3, 4), 0.0);
}

TEST(Pump, ComplexRootsUseTheirRealPart)
{
    // x^2 - 2x + 5: roots 1 +- 2i; h = 0 gives x1 = 1 and x2 = 5 / 1.
    EXPECT_EQ(solve(1, -2, 5), 1.0);
    // -x^2 + 2x - 5: the same pair x1 = 1, x2 = 5, and qb > 0 picks the larger.
    EXPECT_EQ(solve(-1, 2, -5), 5.0);
    // A double root (D = 0): x^2 - 4x + 4.
    EXPECT_EQ(solve(1, -4, 4), 2.0);
    // Purely imaginary roots: real part 0, partner infinite.
    EXPECT_EQ(solve(1, 0, 5), 0.0);
}

TEST(Pump, DoubleRootAtZero)
{
    // Curves that differ only in their quadratic term meet at flow 0 alone.
    EXPECT_EQ(solve(1, 0, 0), 0.0);
    EXPECT_EQ(solve(-3, 0, 0), 0.0);
    EXPECT_EQ(pump(0, 7, 0, 1, 7, 0, 2), 0.0);
}

TEST(Pump, CutOff)
{
    // Linear roots -(qc / qb), exact in binary for these values.
    EXPECT_EQ(solve(0, -1, 1e-9), 1e-9);
    EXPECT_EQ(solve(0, -1, std::nextafter(1e-9, 0.0)), 0.0);
    EXPECT_EQ(solve(0, -1, 5e-10), 0.0);
    EXPECT_EQ(solve(0, -1, std::nextafter(1e-9, 1.0)), std::nextafter(1e-9, 1.0));
    // A quadratic root of 5e-10: (x - 5e-10)(x + 1) = x^2 + (1 - 5e-10) x - 5e-10.
    EXPECT_EQ(solve(1, 1 - 5e-10, -5e-10), 0.0);
    EXPECT_NEAR(solve(1, 1 - 2e-9, -2e-9), 2e-9, 1e-20);
}

TEST(Pump, NaNCoefficientsGiveNaN)
{
    EXPECT_TRUE(std::isnan(solve(1, NAN, 1)));
    EXPECT_TRUE(std::isnan(solve(NAN, 1, 1)));
}

TEST(Pump, Declaration)
{
    Harness h("pump", Args{});
    engine::Block &b = h.block();
    const std::vector<double> &sizes = b.sizesVector();
    EXPECT_EQ(sizes[7], 0);
    EXPECT_EQ(sizes[0], 0);
    EXPECT_EQ(sizes[1], 0);
    EXPECT_EQ(sizes[2], 1);
    EXPECT_EQ(sizes[3], 1);
    EXPECT_EQ(sizes[6], 1);
    EXPECT_EQ(sizes[23], 2 + 8192);
    EXPECT_EQ(b.inputWidth(0), 7);
    EXPECT_TRUE(b.directFeedThrough(0));
    EXPECT_FALSE(b.requiredContiguous(0));
    EXPECT_EQ(b.outputWidth(0), 1);
    EXPECT_EQ(b.sampleTime(0), -1.0);
    EXPECT_EQ(b.offsetTime(0), 0.0);
    const uint32_T flags = ssGetFlags(h.S());
    EXPECT_EQ(flags & 0x1800u, 0x800u);  // the two-bit field holds 1
    EXPECT_EQ(flags & 0xF80000u, 0x880000u);
    int made197 = 0;
    for (const engine::GenericRequest &r : h.model().requests())
        if (r.code == 197 && r.hasBool && r.boolValue) ++made197;
    EXPECT_EQ(made197, 1);

    // The field is set by the sample-time call: 1 whatever it held before.
    ssSetFlags(h.S(), ssGetFlags(h.S()) | 0x1000u);
    b.request(engine::kSampleTimes);
    EXPECT_EQ(ssGetFlags(h.S()) & 0x1800u, 0x800u);
}

}  // namespace
