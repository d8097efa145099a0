// folderscan's result read back into plain records, for the tests that list
// real folder trees: the structure array's shape and field types are
// checked on the way.
#pragma once

#include <algorithm>
#include <cstddef>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/testutil.h"

namespace folderscan_test {

using testutil::Args;

struct Rec {
    std::string name, date;
    double bytes;
    bool isdir;
    double datenum;
};

struct Result {
    bool ok = false;
    std::string printed;
    size_t rows = 0, cols = 0;
    std::vector<std::string> fields;
    std::vector<Rec> recs;

    std::vector<std::string> names() const
    {
        std::vector<std::string> v;
        for (const Rec &r : recs) v.push_back(r.name);
        return v;
    }
    std::vector<std::string> sortedNames() const
    {
        std::vector<std::string> v = names();
        std::sort(v.begin(), v.end());
        return v;
    }
    const Rec *find(const std::string &name) const
    {
        for (const Rec &r : recs)
            if (r.name == name) return &r;
        return nullptr;
    }
};

inline std::string textOf(const mxArray *a)
{
    std::string s;
    const mxChar *c = mxGetChars(a);
    for (size_t i = 0; c != nullptr && i < mxGetNumberOfElements(a); ++i) s += static_cast<char>(c[i]);
    return s;
}

// Calls folderscan and checks the parts of the result every call must get right.
inline Result scan(const Args &args, int nlhs = 1)
{
    Result r;
    testutil::CallOutcome out = testutil::callMex("folderscan", nlhs, args);
    r.ok = out.ok;
    r.printed = out.printed;
    EXPECT_TRUE(out.ok) << out.error;
    if (!out.ok || out.out.empty()) return r;
    const mxArray *s = out.out[0];
    EXPECT_TRUE(mxIsStruct(s));
    r.rows = mxGetM(s);
    r.cols = mxGetN(s);
    for (int f = 0; f < mxGetNumberOfFields(s); ++f) r.fields.push_back(mxGetFieldNameByNumber(s, f));
    EXPECT_EQ(r.fields, (std::vector<std::string>{"name", "date", "bytes", "isdir", "datenum"}));
    EXPECT_EQ(r.cols, 1u);
    if (r.fields.size() != 5) return r;
    for (size_t i = 0; i < mxGetNumberOfElements(s); ++i) {
        const mxArray *name = mxGetFieldByNumber(s, i, 0), *date = mxGetFieldByNumber(s, i, 1);
        const mxArray *bytes = mxGetFieldByNumber(s, i, 2), *isdir = mxGetFieldByNumber(s, i, 3);
        const mxArray *dnum = mxGetFieldByNumber(s, i, 4);
        EXPECT_TRUE(name && mxIsChar(name) && date && mxIsChar(date));
        EXPECT_TRUE(bytes && mxIsDouble(bytes) && mxGetNumberOfElements(bytes) == 1);
        EXPECT_TRUE(isdir && mxIsLogical(isdir) && mxGetNumberOfElements(isdir) == 1);
        EXPECT_TRUE(dnum && mxIsDouble(dnum) && mxGetNumberOfElements(dnum) == 1);
        if (!(name && date && bytes && isdir && dnum)) continue;
        r.recs.push_back({textOf(name), textOf(date), mxGetScalar(bytes), mxGetScalar(isdir) != 0, mxGetScalar(dnum)});
    }
    return r;
}

inline bool isLeap(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

// Serial day number (1 January 2000 is 730486) counted day by day from 2000.
inline double serialDay(int year, int month, int day)
{
    static const int len[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    long days = 730486;
    for (int y = 2000; y < year; ++y) days += isLeap(y) ? 366 : 365;
    for (int m = 1; m < month; ++m) days += len[m - 1] + (m == 2 && isLeap(year) ? 1 : 0);
    return static_cast<double>(days + day - 1);
}

}  // namespace folderscan_test
