#include "args.h"

#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>

namespace fuzz {

namespace {

const double kSpecial[] = {
    0.0, -0.0, 1.0, -1.0, 0.5, -0.5, 0.1, 0.9, 2.0, 3.0, 4.0, 6.0, 7.0, 12.0, 13.0, 24.0, 59.0, 60.0,
    365.0, 366.0, 1e-9, 1e-5, 273.15, -273.15, -459.67, 86400.0, 3600.0, 31536000.0, 31622400.0,
    15768000.0, -15768001.0, 2147483647.0, 2147483648.0, -2147483648.0, -2147483649.0, 4294967296.0,
    9007199254740992.0, 1e300, -1e300, DBL_MAX, -DBL_MAX, DBL_MIN, -DBL_MIN, 4.9406564584124654e-324,
    std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity(),
    std::numeric_limits<double>::quiet_NaN(), -std::numeric_limits<double>::quiet_NaN(),
    std::numeric_limits<double>::signaling_NaN(), 5200229.0, 5200228.0, 32767.0, 32768.0, 32769.0,
    100.0, 101.0, 101.9, 104.0, 146.0, 2000.0, 2024.0, 1601.0, 30828.0, -90.0, 90.0, 180.0, -180.0, 360.0,
};

// Huge dimensions, given beside a zero one so that nothing is allocated.
const mwSize kHuge[] = {
    mwSize(1) << 31, (mwSize(1) << 31) - 1, mwSize(1) << 32, (mwSize(1) << 32) + 1, mwSize(1) << 40,
    mwSize(1) << 62, std::numeric_limits<mwSize>::max(), std::numeric_limits<mwSize>::max() / 2 + 1,
};

// Words that mean something to one deliverable or another.
const char *const kWords[] = {
    "*", "-r", "?", ".", "..", "/", "\\", "*.txt", "*.TXT", "a*", "?.*", "sub", "sub/*", "sub\\*", "-", "r",
    "-R", "*/*", "**", "a.txt", "log.txt", "x", "", " ", "%s%n%d", "%%", "empty", "link_to_sub", "loop",
    "dangling", "deep", "*-r*", "sub/deeper", "sub/*.dat",
};

const mxClassID kNumericClasses[] = {
    mxDOUBLE_CLASS, mxSINGLE_CLASS, mxINT8_CLASS, mxUINT8_CLASS, mxINT16_CLASS, mxUINT16_CLASS,
    mxINT32_CLASS, mxUINT32_CLASS, mxINT64_CLASS, mxUINT64_CLASS, mxLOGICAL_CLASS,
};

std::size_t product(const std::vector<mwSize> &dims)
{
    std::size_t n = 1;
    for (mwSize d : dims) {
        if (d == 0) return 0;
        n *= d;  // the harness only makes non-empty shapes within its budget
    }
    return n;
}

}  // namespace

// ---- values and shapes ------------------------------------------------------

double ArgMaker::value()
{
    switch (fdp_.ConsumeIntegralInRange<int>(0, 7)) {
    case 0: case 1: case 2:
        return fdp_.PickValueInArray(kSpecial);
    case 3: {  // any bit pattern
        uint64_t bits = fdp_.ConsumeIntegral<uint64_t>();
        double d;
        std::memcpy(&d, &bits, sizeof d);
        return d;
    }
    case 4:
        return fdp_.ConsumeIntegralInRange<int>(-20, 400);
    case 5:
        return fdp_.ConsumeFloatingPointInRange<double>(-1e8, 1e8);
    case 6:
        return fdp_.ConsumeIntegralInRange<int>(0, 40) + fdp_.PickValueInArray({0.0, 0.1, 0.4999999999, 0.5, 0.9});
    default:
        return fdp_.ConsumeFloatingPoint<double>();
    }
}

std::size_t ArgMaker::take(std::size_t want)
{
    if (want > budget_.elements) want = budget_.elements;
    budget_.elements -= want;
    return want;
}

std::vector<mwSize> ArgMaker::shape(bool allowLong)
{
    auto small = [this](int max) { return static_cast<mwSize>(fdp_.ConsumeIntegralInRange<int>(0, max)); };
    std::vector<mwSize> dims;
    switch (fdp_.ConsumeIntegralInRange<int>(0, 11)) {
    case 0: case 1: case 2: dims = {1, 1}; break;
    case 3: dims = {0, 0}; break;
    case 4: dims = {1, small(64)}; break;
    case 5: dims = {small(64), 1}; break;
    case 6: dims = {small(12), small(12)}; break;
    case 7: dims = {2, small(4)}; break;
    case 8: {  // empty, with a huge dimension
        mwSize h = fdp_.PickValueInArray(kHuge);
        switch (fdp_.ConsumeIntegralInRange<int>(0, 3)) {
        case 0: dims = {0, h}; break;
        case 1: dims = {h, 0}; break;
        case 2: dims = {1, 0, h}; break;
        default: dims = {0, h, h}; break;
        }
        return dims;
    }
    case 9: {  // three or four dimensions
        int nd = fdp_.ConsumeIntegralInRange<int>(3, 4);
        for (int i = 0; i < nd; ++i) dims.push_back(small(3));
        break;
    }
    case 10:
        if (allowLong) {  // a long vector, now and then up to a million elements
            const int bits = fdp_.ConsumeIntegralInRange<int>(0, 15) == 15 ? 20 : 12;
            dims = {1, mwSize(1) << fdp_.ConsumeIntegralInRange<int>(6, bits)};
            if (fdp_.ConsumeBool()) std::swap(dims[0], dims[1]);
            break;
        }
        dims = {1, 2};
        break;
    default: dims = {1, small(3)}; break;
    }
    // Within the budget: a shape that does not fit becomes empty.
    std::size_t n = product(dims);
    if (n > 0 && take(n) < n) dims[0] = 0;
    return dims;
}

void ArgMaker::fillDoubles(double *p, std::size_t n)
{
    // The first elements come from the data, the rest repeat them (cheap for long arrays).
    std::size_t own = n < 64 ? n : 64;
    for (std::size_t i = 0; i < own; ++i) p[i] = value();
    for (std::size_t i = own; i < n; ++i) p[i] = p[i % own];
}

// ---- classes -------------------------------------------------------------------

// Some hosts give an empty array a data block of no elements instead of a
// null pointer; reading an element of it is then a read past the block.
void ArgMaker::maybeEmptyData(mxArray *a)
{
    if (mxGetNumberOfElements(a) == 0 && fdp_.ConsumeBool()) mxSetData(a, mxMalloc(0));
}

mxArray *ArgMaker::numeric(mxClassID cls, bool complex, const std::vector<mwSize> &dims)
{
    mxArray *a = mxCreateNumericArray(dims.size(), dims.data(), cls, complex ? mxCOMPLEX : mxREAL);
    const std::size_t n = mxGetNumberOfElements(a);
    if (n == 0) {
        maybeEmptyData(a);
        return a;
    }
    if (cls == mxDOUBLE_CLASS) {
        fillDoubles(mxGetPr(a), n);
        if (complex) fillDoubles(mxGetPi(a), n);
        return a;
    }
    if (cls == mxSINGLE_CLASS) {
        for (int part = 0; part < (complex ? 2 : 1); ++part) {
            float *f = static_cast<float *>(part == 0 ? mxGetData(a) : mxGetImagData(a));
            for (std::size_t i = 0; i < n; ++i) f[i] = i < 64 ? static_cast<float>(value()) : f[i % 64];
        }
        return a;
    }
    const std::size_t esize = mxGetElementSize(a);
    for (int part = 0; part < (complex ? 2 : 1); ++part) {
        unsigned char *bytes = static_cast<unsigned char *>(part == 0 ? mxGetData(a) : mxGetImagData(a));
        if (bytes == nullptr) continue;
        std::vector<unsigned char> src = fdp_.ConsumeBytes<unsigned char>(esize * (n < 64 ? n : 64));
        if (src.empty()) continue;
        for (std::size_t i = 0; i < n * esize; ++i) bytes[i] = src[i % src.size()];
    }
    return a;
}

mxArray *ArgMaker::chars(const std::vector<mwSize> &dims)
{
    mxArray *a = mxCreateNumericArray(dims.size(), dims.data(), mxCHAR_CLASS, mxREAL);
    const std::size_t n = mxGetNumberOfElements(a);
    maybeEmptyData(a);
    mxChar *c = mxGetChars(a);
    for (std::size_t i = 0; i < n; ++i) {
        if (i >= 64) {
            c[i] = c[i % 64];
            continue;
        }
        switch (fdp_.ConsumeIntegralInRange<int>(0, 5)) {
        case 0: c[i] = fdp_.ConsumeIntegral<mxChar>(); break;
        case 1: c[i] = fdp_.PickValueInArray({'*', '?', '.', '/', '\\', '-', 'r', '%', ' '}); break;
        case 2: c[i] = static_cast<mxChar>(fdp_.PickValueInArray({0x00, 0x01, 0x7f, 0x80, 0xb0, 0xff, 0x100 + '/',
                                                                   0x100 + '.', 0x100, 0xd800, 0xffff})); break;
        default: c[i] = static_cast<mxChar>(fdp_.ConsumeIntegralInRange<int>('a', 'z')); break;
        }
    }
    return a;
}

mxArray *ArgMaker::string()
{
    // A word, a word with a random tail, or random characters.
    std::string s = fdp_.PickValueInArray(kWords);
    switch (fdp_.ConsumeIntegralInRange<int>(0, 3)) {
    case 0: break;
    case 1: s += fdp_.PickValueInArray(kWords); break;
    case 2: s += fdp_.ConsumeRandomLengthString(48); break;
    default: {
        std::vector<mwSize> dims = {1, static_cast<mwSize>(fdp_.ConsumeIntegralInRange<int>(0, 48))};
        take(dims[1]);
        return chars(dims);
    }
    }
    take(s.size());
    // Bytes keep their value (mxCreateString would stop at a zero byte).
    mxArray *a = mxCreateNumericMatrix(s.empty() ? 0 : 1, s.size(), mxCHAR_CLASS, mxREAL);
    mxChar *c = mxGetChars(a);
    for (std::size_t i = 0; i < s.size(); ++i) c[i] = static_cast<unsigned char>(s[i]);
    return a;
}

mxArray *ArgMaker::cell(Lean lean)
{
    std::vector<mwSize> dims;
    switch (fdp_.ConsumeIntegralInRange<int>(0, 4)) {
    case 0: dims = {1, 1}; break;
    case 1: dims = {0, fdp_.ConsumeBool() ? 0 : fdp_.PickValueInArray(kHuge)}; break;
    case 2: dims = {static_cast<mwSize>(fdp_.ConsumeIntegralInRange<int>(1, 6)), 1}; break;
    case 3: dims = {2, 2, 2}; break;
    default: dims = {1, static_cast<mwSize>(fdp_.ConsumeIntegralInRange<int>(0, 6))}; break;
    }
    mxArray *a = mxCreateNumericArray(dims.size(), dims.data(), mxCELL_CLASS, mxREAL);
    const std::size_t n = mxGetNumberOfElements(a);
    take(n);
    ++depth_;
    for (std::size_t i = 0; i < n; ++i) {
        if (fdp_.ConsumeIntegralInRange<int>(0, 7) == 7) continue;  // an element never set reads as null
        mxSetCell(a, i, make(lean));
    }
    --depth_;
    return a;
}

mxArray *ArgMaker::structure()
{
    const char *names[] = {"name", "date", "bytes", "a", "value"};
    const int nfields = fdp_.ConsumeIntegralInRange<int>(0, 3);
    std::vector<mwSize> dims = {1, static_cast<mwSize>(fdp_.ConsumeIntegralInRange<int>(0, 3))};
    if (fdp_.ConsumeIntegralInRange<int>(0, 7) == 7) dims = {0, fdp_.PickValueInArray(kHuge)};
    mxArray *a = mxCreateStructMatrix(dims[0], dims[1], nfields, names);
    const std::size_t n = mxGetNumberOfElements(a);
    take(n * static_cast<std::size_t>(nfields));
    ++depth_;
    for (std::size_t i = 0; i < n; ++i)
        for (int f = 0; f < nfields; ++f)
            if (fdp_.ConsumeBool()) mxSetFieldByNumber(a, i, f, make(Lean::Any));
    --depth_;
    return a;
}

mxArray *ArgMaker::make(Lean lean)
{
    const bool nest = depth_ < budget_.depth;
    int pick = fdp_.ConsumeIntegralInRange<int>(0, 15);
    if (lean == Lean::Number && pick < 10) {
        std::vector<mwSize> dims = pick < 7 ? std::vector<mwSize>{1, 1} : shape(true);
        return numeric(mxDOUBLE_CLASS, false, dims);
    }
    if (lean == Lean::Text && pick < 10) {
        if (pick < 7 || !nest) return string();
        return cell(Lean::Text);
    }
    switch (fdp_.ConsumeIntegralInRange<int>(0, 9)) {
    case 0: case 1: case 2:
        return numeric(mxDOUBLE_CLASS, false, shape(true));
    case 3:
        return numeric(mxDOUBLE_CLASS, true, shape(true));
    case 4: {
        mxClassID cls = fdp_.PickValueInArray(kNumericClasses);
        return numeric(cls, cls != mxLOGICAL_CLASS && fdp_.ConsumeBool(), shape(false));
    }
    case 5:
        return string();
    case 6:
        return chars(shape(false));
    case 7:
        if (nest) return cell(lean);
        return string();
    case 8:
        if (nest) return structure();
        return numeric(mxDOUBLE_CLASS, false, {0, 0});
    default:
        return numeric(mxDOUBLE_CLASS, false, {1, 1});
    }
}

mxArray *ArgMaker::flag()
{
    switch (fdp_.ConsumeIntegralInRange<int>(0, 7)) {
    case 5: return any();
    case 6: return mxCreateDoubleScalar(value());
    case 7: {
        mxClassID cls = fdp_.PickValueInArray(kNumericClasses);
        return numeric(cls, fdp_.ConsumeBool() && cls != mxLOGICAL_CLASS, {1, 1});
    }
    default: return mxCreateDoubleScalar(0.0);
    }
}

mxArray *ArgMaker::reference()
{
    switch (fdp_.ConsumeIntegralInRange<int>(0, 3)) {
    case 3: {
        // Two rows that look like a reference: an address and a tag near the real one.
        mxArray *a = mxCreateDoubleMatrix(2, fdp_.ConsumeIntegralInRange<int>(0, 3), mxREAL);
        if (mxGetNumberOfElements(a) >= 2) {
            mxGetPr(a)[0] = value();
            mxGetPr(a)[1] = fdp_.PickValueInArray({5200228.0, 5200230.0, 5200229.5, -5200229.0, 0.0});
        }
        maybeEmptyData(a);  // two rows and no column
        return a;
    }
    case 2: return any();
    default: return mxCreateDoubleMatrix(0, 0, mxREAL);
    }
}

// ---- ownership and filters ------------------------------------------------

Owned::~Owned()
{
    for (mxArray *a : arrays_) mxDestroyArray(a);
}

mxArray *Owned::keep(mxArray *a)
{
    arrays_.push_back(a);
    return a;
}

void defuseReference(mxArray *a)
{
    if (a == nullptr || !mxIsDouble(a) || mxGetM(a) != 2 || mxGetNumberOfElements(a) < 2) return;
    double *p = mxGetPr(a);
    if (p != nullptr && p[1] == 5200229.0) p[1] = 5200228.0;
}

void confinePaths(mxArray *a)
{
    if (a == nullptr) return;
    if (mxIsChar(a)) {
        const std::size_t n = mxGetNumberOfElements(a);
        mxChar *c = mxGetChars(a);
        for (std::size_t i = 0; i < n; ++i) {
            const unsigned char low = static_cast<unsigned char>(c[i]);
            if ((i == 0 && low == '/') || (i > 0 && low == '.' && static_cast<unsigned char>(c[i - 1]) == '.'))
                c[i] = '_';
        }
    }
    forEachChild(a, [](const mxArray *child) { confinePaths(const_cast<mxArray *>(child)); });
}

std::size_t elementsBelow(const mxArray *a)
{
    if (a == nullptr) return 0;
    std::size_t total = mxGetNumberOfElements(a);
    forEachChild(a, [&total](const mxArray *child) { total += elementsBelow(child); });
    return total;
}

bool sameArray(const mxArray *a, const mxArray *b)
{
    if (a == nullptr || b == nullptr) return a == b;
    if (mxGetClassID(a) != mxGetClassID(b) || mxIsComplex(a) != mxIsComplex(b)) return false;
    const mwSize nd = mxGetNumberOfDimensions(a);
    if (nd != mxGetNumberOfDimensions(b)) return false;
    if (std::memcmp(mxGetDimensions(a), mxGetDimensions(b), nd * sizeof(mwSize)) != 0) return false;
    const std::size_t n = mxGetNumberOfElements(a);
    if (mxIsCell(a)) {
        for (std::size_t i = 0; i < n; ++i)
            if (!sameArray(mxGetCell(a, i), mxGetCell(b, i))) return false;
        return true;
    }
    if (mxIsStruct(a)) {
        const int nf = mxGetNumberOfFields(a);
        if (nf != mxGetNumberOfFields(b)) return false;
        for (int f = 0; f < nf; ++f)
            if (std::strcmp(mxGetFieldNameByNumber(a, f), mxGetFieldNameByNumber(b, f)) != 0) return false;
        for (std::size_t i = 0; i < n; ++i)
            for (int f = 0; f < nf; ++f)
                if (!sameArray(mxGetFieldByNumber(a, i, f), mxGetFieldByNumber(b, i, f))) return false;
        return true;
    }
    if (n == 0) return true;
    const std::size_t bytes = n * mxGetElementSize(a);
    if (std::memcmp(mxGetData(a), mxGetData(b), bytes) != 0) return false;
    return !mxIsComplex(a) || std::memcmp(mxGetImagData(a), mxGetImagData(b), bytes) == 0;
}

}  // namespace fuzz
