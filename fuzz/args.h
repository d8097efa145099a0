// Fuzz data turned into MEX arrays: every class, real and complex, empty and
// huge shapes, special values, odd characters, nested cells and structures.
//
// Memory stays bounded: a budget caps the elements one input may create, and
// huge shapes are made empty (a zero dimension beside the huge one), so they
// cost nothing to create while every dimension query still sees the huge
// number.
#pragma once

#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <vector>

#include "mex.h"

namespace fuzz {

struct Budget {
    std::size_t elements = std::size_t(1) << 21;  // 16 MB of doubles per input at most
    int depth = 3;                                // nesting of cells and structures
};

// What a maker leans towards when it picks a class and a shape.
enum class Lean {
    Any,      // every class and shape alike
    Number,   // mostly real double scalars and short vectors
    Text,     // mostly strings and cells of strings
};

class ArgMaker {
public:
    ArgMaker(FuzzedDataProvider &fdp, Budget &budget) : fdp_(fdp), budget_(budget) {}

    mxArray *make(Lean lean);
    mxArray *any() { return make(Lean::Any); }
    mxArray *number() { return make(Lean::Number); }
    mxArray *text() { return make(Lean::Text); }
    // The fourth argument of a sizes call: mostly a valid flag 0.
    mxArray *flag();
    // The second argument of a sizes call: often two rows.
    mxArray *reference();

    double value();                  // an interesting double
    std::size_t count(std::size_t max) { return fdp_.ConsumeIntegralInRange<std::size_t>(0, max); }
    FuzzedDataProvider &data() { return fdp_; }

private:
    std::vector<mwSize> shape(bool allowLong);
    std::size_t take(std::size_t want);  // elements granted by the budget
    mxArray *numeric(mxClassID cls, bool complex, const std::vector<mwSize> &dims);
    mxArray *chars(const std::vector<mwSize> &dims);
    mxArray *string();
    mxArray *cell(Lean lean);
    mxArray *structure();
    void fillDoubles(double *p, std::size_t n);
    void maybeEmptyData(mxArray *a);

    FuzzedDataProvider &fdp_;
    Budget &budget_;
    int depth_ = 0;
};

// Arrays the harness made for one call, destroyed with it.
class Owned {
public:
    Owned() = default;
    Owned(const Owned &) = delete;
    Owned &operator=(const Owned &) = delete;
    ~Owned();
    mxArray *keep(mxArray *a);
    std::vector<const mxArray *> view() const { return {arrays_.begin(), arrays_.end()}; }
    std::size_t size() const { return arrays_.size(); }
    mxArray *operator[](std::size_t i) const { return arrays_[i]; }

private:
    std::vector<mxArray *> arrays_;
};

// A two-row double array whose second element is the engine's version tag
// reads, to a block's sizes call, as a reference to an engine instance, and
// the protocol has no way to tell a forged one from a real one. The harness
// never passes one: the tag is changed to the next lower number.
void defuseReference(mxArray *a);

// Folder and file names stay inside the sandbox: in every character array
// (cells and structures searched too) a leading '/' and the second '.' of
// ".." become '_'. Characters are judged by their low byte, the byte a
// deliverable sees after mxArrayToString or mxGetString.
void confinePaths(mxArray *a);

// Calls f on every cell element or field value of a (null ones included).
template <class F>
void forEachChild(const mxArray *a, F &&f)
{
    const std::size_t n = mxGetNumberOfElements(a);
    if (mxIsCell(a)) {
        for (std::size_t i = 0; i < n; ++i) f(mxGetCell(a, i));
    } else if (mxIsStruct(a)) {
        const int nf = mxGetNumberOfFields(a);
        for (std::size_t i = 0; i < n; ++i)
            for (int k = 0; k < nf; ++k) f(mxGetFieldByNumber(a, i, k));
    }
}

// Total elements below a, cells and structures included.
std::size_t elementsBelow(const mxArray *a);

// Deep equality of two arrays (class, shape, data, children).
bool sameArray(const mxArray *a, const mxArray *b);

}  // namespace fuzz
