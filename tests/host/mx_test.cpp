// The embedded MEX host: arrays, host memory, the call boundary and printing.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "mxhost.h"

namespace {

std::size_t live() { return mxhost::liveArrays(); }

TEST(MxArrays, ShapesAndClasses)
{
    mxArray *d = mxCreateDoubleMatrix(2, 3, mxREAL);
    EXPECT_EQ(mxGetM(d), 2u);
    EXPECT_EQ(mxGetN(d), 3u);
    EXPECT_EQ(mxGetNumberOfElements(d), 6u);
    EXPECT_TRUE(mxIsDouble(d) && mxIsNumeric(d) && !mxIsComplex(d) && !mxIsEmpty(d));
    for (int i = 0; i < 6; ++i) EXPECT_EQ(mxGetPr(d)[i], 0.0);

    mxArray *c = mxCreateDoubleMatrix(1, 1, mxCOMPLEX);
    EXPECT_TRUE(mxIsComplex(c));
    ASSERT_NE(mxGetPi(c), nullptr);

    const mwSize dims[3] = {2, 3, 4};
    mxArray *i32 = mxCreateNumericArray(3, dims, mxINT32_CLASS, mxREAL);
    EXPECT_EQ(mxGetNumberOfDimensions(i32), 3u);
    EXPECT_EQ(mxGetN(i32), 12u);
    EXPECT_TRUE(mxIsInt32(i32) && mxIsNumeric(i32) && !mxIsDouble(i32));
    EXPECT_EQ(mxGetElementSize(i32), 4u);
    EXPECT_STREQ(mxGetClassName(i32), "int32");

    mxArray *l = mxCreateLogicalScalar(true);
    EXPECT_TRUE(mxIsLogical(l) && !mxIsNumeric(l));
    EXPECT_EQ(mxGetScalar(l), 1.0);

    mxArray *e = mxCreateDoubleMatrix(0, 5, mxREAL);
    EXPECT_TRUE(mxIsEmpty(e));

    mxArray *f = mxCreateNumericMatrix(1, 2, mxSINGLE_CLASS, mxREAL);
    EXPECT_TRUE(mxIsSingle(f) && mxIsNumeric(f));
    EXPECT_EQ(mxGetElementSize(f), 4u);
    mxDestroyArray(f);
    for (mxArray *a : {d, c, i32, l, e}) mxDestroyArray(a);
}

TEST(MxArrays, Strings)
{
    mxArray *s = mxCreateString("hello");
    EXPECT_TRUE(mxIsChar(s));
    EXPECT_EQ(mxGetM(s), 1u);
    EXPECT_EQ(mxGetN(s), 5u);
    char buf[4];
    EXPECT_EQ(mxGetString(s, buf, sizeof buf), 1);  // truncated
    EXPECT_STREQ(buf, "hel");
    char big[16];
    EXPECT_EQ(mxGetString(s, big, sizeof big), 0);
    EXPECT_STREQ(big, "hello");
    char *copy = mxArrayToString(s);
    EXPECT_STREQ(copy, "hello");
    mxFree(copy);
    mxArray *d = mxCreateDoubleScalar(1);
    EXPECT_EQ(mxArrayToString(d), nullptr);
    EXPECT_EQ(mxGetString(d, big, sizeof big), 1);
    const char *rows[] = {"ab", "cde"};
    mxArray *m = mxCreateCharMatrixFromStrings(2, rows);
    EXPECT_EQ(mxGetN(m), 3u);
    // Column-major, rows padded with blanks: a c b d ' ' e.
    EXPECT_EQ(mxGetChars(m)[2], 'b');
    EXPECT_EQ(mxGetChars(m)[4], ' ');
    for (mxArray *a : {s, d, m}) mxDestroyArray(a);
}

TEST(MxArrays, CellsAndStructsOwnTheirElements)
{
    std::size_t before = live();
    mxArray *cell = mxCreateCellMatrix(2, 1);
    mxSetCell(cell, 0, mxCreateString("a"));
    mxSetCell(cell, 1, mxCreateDoubleScalar(2));
    EXPECT_EQ(mxGetScalar(mxGetCell(cell, 1)), 2.0);
    EXPECT_EQ(mxGetCell(cell, 2), nullptr);  // out of range

    const char *names[] = {"name", "bytes"};
    mxArray *st = mxCreateStructMatrix(3, 1, 2, names);
    EXPECT_EQ(mxGetNumberOfFields(st), 2);
    EXPECT_STREQ(mxGetFieldNameByNumber(st, 1), "bytes");
    EXPECT_EQ(mxGetFieldNumber(st, "bytes"), 1);
    EXPECT_EQ(mxGetFieldNumber(st, "nope"), -1);
    mxSetFieldByNumber(st, 2, 1, mxCreateDoubleScalar(7));
    mxSetField(st, 0, "name", mxDuplicateArray(cell));
    EXPECT_EQ(mxGetScalar(mxGetField(st, 2, "bytes")), 7.0);
    EXPECT_TRUE(mxIsCell(mxGetField(st, 0, "name")));
    EXPECT_EQ(mxGetField(st, 1, "name"), nullptr);
    // Replacing a value releases the old one.
    mxSetFieldByNumber(st, 2, 1, mxCreateDoubleScalar(8));
    EXPECT_EQ(mxGetScalar(mxGetField(st, 2, "bytes")), 8.0);
    // Shrinking the row count keeps the records beyond it owned, and released with the array.
    mxSetM(st, 1);
    EXPECT_EQ(mxGetNumberOfElements(st), 1u);
    EXPECT_EQ(mxGetFieldByNumber(st, 2, 1), nullptr);
    mxDestroyArray(cell);
    mxDestroyArray(st);
    EXPECT_EQ(live(), before);
}

void leaveThingsBehind(int, mxArray *plhs[], int, const mxArray *[])
{
    mxMalloc(100);
    mxCalloc(10, 10);
    mxCreateDoubleMatrix(10, 10, mxREAL);
    mxArray *kept = mxCreateCellMatrix(1, 1);
    mxSetCell(kept, 0, mxCreateString("x"));
    void *freed = mxMalloc(5);
    mxFree(freed);
    plhs[0] = kept;
}

void raise(int, mxArray *plhs[], int, const mxArray *[])
{
    plhs[0] = mxCreateDoubleScalar(1);
    mxCalloc(1, 64);
    mexPrintf("before %d\n", 1);
    mexErrMsgTxt("it went wrong");
}

TEST(MxHost, CallBoundaryReleasesTemporariesAndKeepsOutputs)
{
    std::size_t before = live();
    mxArray *plhs[1] = {nullptr};
    mxhost::CallResult r = mxhost::call(leaveThingsBehind, 1, plhs, 0, nullptr);
    EXPECT_TRUE(r.ok);
    ASSERT_NE(plhs[0], nullptr);
    EXPECT_EQ(live(), before + 2);  // the cell and its string
    mxDestroyArray(plhs[0]);
    EXPECT_EQ(live(), before);
}

TEST(MxHost, ErrorsUnwindToTheBoundary)
{
    std::size_t before = live();
    mxArray *plhs[1] = {nullptr};
    mxhost::PrintCapture cap;
    mxhost::CallResult r = mxhost::call(raise, 1, plhs, 0, nullptr);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.error, "it went wrong");
    EXPECT_EQ(r.id, "");
    EXPECT_EQ(plhs[0], nullptr);
    EXPECT_EQ(cap.text(), "before 1\n");
    EXPECT_EQ(live(), before);

    // With an identifier: the message is formatted printf-style, both reach the caller.
    r = mxhost::call(
        [](int, mxArray *[], int, const mxArray *[]) {
            mexErrMsgIdAndTxt("simblocks:test:badValue", "value %d of %s is %.1f%%", 3, "x", 12.5);
        },
        0, plhs, 0, nullptr);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.error, "value 3 of x is 12.5%");
    EXPECT_EQ(r.id, "simblocks:test:badValue");
    EXPECT_EQ(live(), before);

    // A warning with an identifier returns: the call goes on and succeeds,
    // and the output names the warning's identifier.
    cap.clear();
    r = mxhost::call(
        [](int, mxArray *[], int, const mxArray *[]) {
            mexWarnMsgIdAndTxt("simblocks:test:odd", "row %d looks %s", 7, "odd");
            mexPrintf("after");
        },
        0, plhs, 0, nullptr);
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(cap.text(), "Warning: row 7 looks odd [simblocks:test:odd]\nafter");
}

TEST(MxHost, PrintCapturesNest)
{
    mxhost::PrintCapture outer;
    mexPrintf("a");
    {
        mxhost::PrintCapture inner;
        mexPrintf("b");
        EXPECT_EQ(inner.text(), "b");
    }
    // The outer capture takes the output again once the inner one is gone.
    mexPrintf("c");
    EXPECT_EQ(outer.text(), "ac");

    // setPrintSink hands back the sink it replaces.
    std::string seen;
    mxhost::PrintSink previous = mxhost::setPrintSink([&seen](const char *t, std::size_t n) { seen.append(t, n); });
    mexPrintf("d");
    ASSERT_TRUE(static_cast<bool>(previous));
    mxhost::setPrintSink(std::move(previous));
    mexPrintf("e");
    EXPECT_EQ(seen, "d");
    EXPECT_EQ(outer.text(), "ace");
}

TEST(MxHost, PrintCaptureTakesLongLines)
{
    mxhost::PrintCapture cap;
    std::string long_(2000, 'z');
    mexPrintf("%s|%g|%u\n", long_.c_str(), 0.5, 7u);
    EXPECT_EQ(cap.text(), long_ + "|0.5|7\n");
}

TEST(MxHost, EnginePathLeavesPlhsAlone)
{
    // With nlhs < 0 plhs carries no arrays: the boundary must not treat its slots as outputs.
    int marker = 0;
    mxArray *plhs[2] = {nullptr, reinterpret_cast<mxArray *>(&marker)};
    mxhost::CallResult r = mxhost::call([](int, mxArray *[], int, const mxArray *[]) {}, -1, plhs, 0, nullptr);
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(plhs[1], reinterpret_cast<mxArray *>(&marker));
}

}  // namespace
