// The frame's command-line path: the sizes call from a script, its six
// messages and the sizes vector of a stand-alone instance.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "support/testutil.h"

namespace {

using testutil::Args;
using testutil::callMex;
using testutil::empty;
using testutil::num;

const std::string kId = "MEX level2 S-function \"atmoglow\"";

std::vector<double> expectedSizes(std::initializer_list<std::pair<int, double>> set)
{
    std::vector<double> v(38, 0.0);
    for (const auto &p : set) v[p.first] = p.second;
    return v;
}

TEST(CommandLine, ArgumentMessages)
{
    for (int nlhs : {0, 1, 3}) {
        auto r = callMex("atmoglow", nlhs, Args{empty(), empty(), empty()});
        EXPECT_FALSE(r.ok);
        EXPECT_EQ(r.error, kId + " must be called with at least 4 right hand arguments") << nlhs;
        EXPECT_EQ(r.id, "simblocks:atmoglow:tooFewInputs");
    }
    auto two = callMex("atmoglow", 2, Args{empty(), empty(), empty(), num(0), num(7)});
    EXPECT_EQ(two.error, kId + " called with too many left hand arguments");
    EXPECT_EQ(two.id, "simblocks:atmoglow:tooManyOutputs");

    const std::string flagMsg = "The 4th right hand argument, FLAG, passed to " + kId + " must be an integer";
    std::vector<Args> badFlags;
    badFlags.push_back(Args{empty(), empty(), empty(), mxhost::rowVector({0, 0})});
    badFlags.push_back(Args{empty(), empty(), empty(), mxCreateDoubleMatrix(1, 1, mxCOMPLEX)});
    badFlags.push_back(Args{empty(), empty(), empty(), testutil::str("0")});
    badFlags.push_back(Args{empty(), empty(), empty(), mxCreateCellMatrix(1, 1)});
    badFlags.push_back(Args{empty(), empty(), empty(), num(0.5)});
    badFlags.push_back(Args{empty(), empty(), empty(), num(std::nan(""))});
    badFlags.push_back(Args{empty(), empty(), empty(), num(1e300)});
    badFlags.push_back(Args{empty(), empty(), empty(), empty()});
    for (const Args &a : badFlags) {
        auto r = callMex("atmoglow", 1, a);
        EXPECT_FALSE(r.ok);
        EXPECT_EQ(r.error, flagMsg);
        EXPECT_EQ(r.id, "simblocks:atmoglow:flagNotInteger");
        EXPECT_TRUE(r.out.empty());
    }
    for (double f : {3.0, -1.0, 101.0}) {
        auto r = callMex("atmoglow", 1, Args{empty(), empty(), empty(), num(f)});
        EXPECT_EQ(r.error, "Invalid flag passed to " + kId) << f;
        EXPECT_EQ(r.id, "simblocks:atmoglow:invalidFlag");
    }
}

TEST(CommandLine, SizesVectorOfAStandAloneInstance)
{
    auto r = callMex("atmoglow", 1, Args{empty(), empty(), empty(), num(0), num(7)});
    ASSERT_TRUE(r.ok) << r.error;
    ASSERT_EQ(mxGetM(r.out[0]), 38u);
    ASSERT_EQ(mxGetN(r.out[0]), 1u);
    EXPECT_EQ(r.values(0), expectedSizes({{2, 1}, {3, 1}, {6, 1}, {7, 1}, {19, 5200229}, {23, 8194}, {31, 2}}));

    // nlhs 0 still hands the vector back in the first slot.
    auto zero = callMex("atmoglow", 0, Args{empty(), empty(), empty(), num(0), num(7)});
    ASSERT_TRUE(zero.ok);
    ASSERT_EQ(zero.out.size(), 1u);

    // Without the parameter the count check stops the declaration early.
    auto none = callMex("atmoglow", 1, Args{empty(), empty(), empty(), num(0)});
    ASSERT_TRUE(none.ok) << none.error;
    EXPECT_EQ(none.values(0), expectedSizes({{7, 1}, {19, 5200229}, {23, 8192}}));
}

TEST(CommandLine, IntegerClassFlagIsReadByValue)
{
    mxArray *f = mxCreateNumericMatrix(1, 1, mxINT32_CLASS, mxREAL);
    auto r = callMex("atmoglow", 1, Args{empty(), empty(), empty(), f, num(1)});
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.values(0)[19], 5200229.0);
    mxArray *three = mxCreateNumericMatrix(1, 1, mxUINT8_CLASS, mxREAL);
    static_cast<uint8_t *>(mxGetData(three))[0] = 3;
    auto bad = callMex("atmoglow", 1, Args{empty(), empty(), empty(), three});
    EXPECT_EQ(bad.error, "Invalid flag passed to " + kId);
}

TEST(CommandLine, ReferencesThatAreNoEngineInstanceMakeAStandAloneOne)
{
    // A wrong version tag, a two-row array of another class, two rows without data:
    // each gives a stand-alone instance, so the sizes are those of atmoglow's own declaration.
    std::vector<mxArray *> refs;
    refs.push_back(mxhost::columnVector({12345, 5200228}));
    mxArray *ints = mxCreateNumericMatrix(2, 1, mxINT32_CLASS, mxREAL);
    refs.push_back(ints);
    refs.push_back(mxCreateDoubleMatrix(2, 0, mxREAL));
    mxArray *cplx = mxCreateDoubleMatrix(2, 1, mxCOMPLEX);
    mxGetPr(cplx)[0] = 1;
    mxGetPr(cplx)[1] = 5200229;
    refs.push_back(cplx);
    refs.push_back(mxhost::columnVector({1, 5200229, 3}));  // three rows
    for (mxArray *ref : refs) {
        auto r = callMex("atmoglow", 1, Args{empty(), ref, empty(), num(0), num(7)});
        ASSERT_TRUE(r.ok) << r.error;
        EXPECT_EQ(r.values(0)[23], 8194.0);
        EXPECT_EQ(r.values(0)[31], 2.0);
    }
}

TEST(CommandLine, TwoRowsWithoutAColumnAreNoReference)
{
    // A host may keep the data block of an array emptied to two rows and no
    // column: what it still holds is no element, never an address and a tag.
    SimStruct other{};
    other.modelName = "other";
    mxArray *ref = mxhost::columnVector({static_cast<double>(reinterpret_cast<std::uintptr_t>(&other)), 5200229});
    mxSetN(ref, 0);
    auto r = callMex("atmoglow", 1, Args{empty(), ref, empty(), num(0), num(7)});
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.values(0), expectedSizes({{2, 1}, {3, 1}, {6, 1}, {7, 1}, {19, 5200229}, {23, 8194}, {31, 2}}));
}

TEST(CommandLine, NothingIsLeftBehind)
{
    std::size_t before = mxhost::liveArrays();
    {
        auto r = callMex("atmoglow", 1, Args{empty(), empty(), empty(), num(0), num(7)});
        ASSERT_TRUE(r.ok);
        auto bad = callMex("atmoglow", 1, Args{empty(), empty(), empty(), num(2)});
        ASSERT_FALSE(bad.ok);
    }
    EXPECT_EQ(mxhost::liveArrays(), before);
}

}  // namespace
