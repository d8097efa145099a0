// degreeswap through the engine: conversions, truncation of the unit codes,
// the two check messages from the declaration and from the check request.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "support/testutil.h"

namespace {

using testutil::Args;
using testutil::Harness;
using testutil::num;

const std::string kBadInitial = "Error in degreeswap : The initial unit must be : C, K or F.";
const std::string kBadFinal = "Error in degreeswap : The final unit must be : C, K or F.";
const int kCheckParameters = 112;

double convert(double from, double to, double x)
{
    Harness h("degreeswap", Args{num(from), num(to)});
    return h.output1(0, {x});
}

// The message the declaration reports for these parameters ("" when none).
std::string declarationError(mxArray *from, mxArray *to)
{
    engine::Model m;
    Args params{from, to};
    engine::Block b(m, testutil::library("degreeswap"), "degreeswap", params.view());
    try {
        b.initializeSizes();
    } catch (const engine::EngineError &e) {
        // Nothing is declared after a failed check.
        EXPECT_EQ(b.sizesVector().at(3), 0) << "input ports";
        const std::string what = e.what();
        const std::size_t colon = what.find("): ");
        return colon == std::string::npos ? what : what.substr(colon + 3);
    }
    return "";
}

TEST(Degreeswap, Conversions)
{
    EXPECT_NEAR(convert(1, 3, 100), 212, 1e-12);
    EXPECT_NEAR(convert(3, 1, 32), 0, 1e-12);
    EXPECT_NEAR(convert(2, 1, 0), -273.15, 1e-12);
    EXPECT_NEAR(convert(2, 3, 0), -459.67, 1e-12);
    EXPECT_NEAR(convert(1, 2, -300), -26.85, 1e-12);  // below absolute zero, not limited
    EXPECT_NEAR(convert(3, 2, 212), 373.15, 1e-12);
    EXPECT_NEAR(convert(1, 3, -40), -40, 1e-12);
    EXPECT_EQ(convert(2, 2, 12.5), 12.5);
    // Equal codes still go through kelvin.
    const double x = 0.1;
    const double k = x + 273.15;
    EXPECT_EQ(convert(1, 1, x), k - 273.15);
    EXPECT_NE(k - 273.15, x);  // the round trip shows in the last bits here
}

TEST(Degreeswap, CodesAreTruncated)
{
    EXPECT_EQ(convert(2.9, 2, 300), 300);                 // 2.9 is kelvin
    EXPECT_NEAR(convert(3.999, 1, 212), 100, 1e-12);      // 3.999 is Fahrenheit
    EXPECT_NEAR(convert(1.5, 3.7, 100), 212, 1e-12);
}

TEST(Degreeswap, DeclarationChecksTheCodes)
{
    EXPECT_EQ(declarationError(num(1), num(3)), "");
    EXPECT_EQ(declarationError(num(3.999), num(1)), "");
    for (double bad : {0.5, -0.5, 0.0, 4.0, -3.0, 1e10, std::nan("")})
        EXPECT_EQ(declarationError(num(bad), num(1)), kBadInitial) << "initial " << bad;
    for (double bad : {0.0, -1.0, 4.0})
        EXPECT_EQ(declarationError(num(2), num(bad)), kBadFinal) << "final " << bad;
    // Both bad: only the first message.
    EXPECT_EQ(declarationError(num(0), num(9)), kBadInitial);
    // Parameters with no number to read are invalid units, never read past their end.
    EXPECT_EQ(declarationError(testutil::empty(), num(1)), kBadInitial);
    EXPECT_EQ(declarationError(testutil::str("C"), num(1)), kBadInitial);
    EXPECT_EQ(declarationError(num(1), testutil::empty()), kBadFinal);
    EXPECT_EQ(declarationError(num(1), mxCreateDoubleMatrix(1, 1, mxCOMPLEX)), kBadFinal);
}

class DegreeswapChange : public ::testing::Test {
protected:
    Harness h{"degreeswap", Args{num(1), num(3)}};
    std::vector<mxArray *> made;
    ~DegreeswapChange() override
    {
        for (mxArray *a : made) mxDestroyArray(a);
    }
    // Replaces dialog parameter i as the engine does when the user edits it.
    void set(int i, mxArray *value)
    {
        made.push_back(value);
        h.S()->sfcnParams.params[i] = value;
    }
    std::string check() { return h.block().tryRequest(kCheckParameters); }
};

TEST_F(DegreeswapChange, CheckRequestReportsBadCodes)
{
    EXPECT_EQ(check(), "");
    set(0, num(4));
    EXPECT_EQ(check(), kBadInitial);
    set(1, num(-2));
    EXPECT_EQ(check(), kBadInitial);
    set(0, num(2));
    EXPECT_EQ(check(), kBadFinal);
    set(1, testutil::str("F"));
    EXPECT_EQ(check(), kBadFinal);
    set(1, num(3));
    EXPECT_EQ(check(), "");
    EXPECT_NEAR(h.output1(0, {0}), -459.67, 1e-12);
}

TEST_F(DegreeswapChange, OutputsReadTheCodesAtEveryStep)
{
    EXPECT_NEAR(h.output1(0, {100}), 212, 1e-12);
    set(1, num(2));
    EXPECT_NEAR(h.output1(1, {100}), 373.15, 1e-12);
    // A code left invalid (the check was not asked for) gives minus one million.
    set(1, num(7));
    EXPECT_EQ(h.output1(2, {100}), -1000000);
    set(1, num(2));
    set(0, testutil::empty());
    EXPECT_EQ(h.output1(3, {100}), -1000000);
}

TEST(Degreeswap, Declaration)
{
    Harness h("degreeswap", Args{num(1), num(2)});
    engine::Block &b = h.block();
    const std::vector<double> &sizes = b.sizesVector();
    EXPECT_EQ(sizes[7], 2);
    EXPECT_EQ(sizes[2], 1);
    EXPECT_EQ(sizes[3], 1);
    EXPECT_EQ(sizes[6], 1);
    EXPECT_EQ(sizes[23], 8192);  // options 0
    EXPECT_EQ(b.inputWidth(0), 1);
    EXPECT_TRUE(b.requiredContiguous(0));
    EXPECT_TRUE(b.directFeedThrough(0));
    EXPECT_EQ(b.outputWidth(0), 1);
    EXPECT_EQ(b.sampleTime(0), 0.0);
    EXPECT_EQ(b.offsetTime(0), 0.0);
    EXPECT_NE(h.S()->modelMethods.mdlCheckParameters, nullptr);
    EXPECT_EQ(ssGetFlags(h.S()) & 0xF80000u, 0x880000u);
    int made197 = 0;
    for (const engine::GenericRequest &r : h.model().requests())
        if (r.code == 197 && r.hasBool && r.boolValue) ++made197;
    EXPECT_EQ(made197, 1);
    // No conditions to initialise.
    EXPECT_EQ(b.tryRequest(engine::kInitializeConditions), "Invalid flag encountered in simulink");
}

}  // namespace
