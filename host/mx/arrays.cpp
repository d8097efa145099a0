// Arrays of the embedded MEX host.
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>

#include "internal.h"
#include "mxhost.h"

using mxhost::detail::noteCreated;
using mxhost::detail::noteReleased;

namespace {

std::size_t classElementSize(mxClassID c)
{
    switch (c) {
    case mxDOUBLE_CLASS: case mxINT64_CLASS: case mxUINT64_CLASS: return 8;
    case mxSINGLE_CLASS: case mxINT32_CLASS: case mxUINT32_CLASS: return 4;
    case mxINT16_CLASS: case mxUINT16_CLASS: case mxCHAR_CLASS: return 2;
    case mxINT8_CLASS: case mxUINT8_CLASS: case mxLOGICAL_CLASS: return 1;
    case mxCELL_CLASS: case mxSTRUCT_CLASS: return sizeof(mxArray *);
    default: return 0;
    }
}

bool isNumericClass(mxClassID c)
{
    return c == mxDOUBLE_CLASS || c == mxSINGLE_CLASS || (c >= mxINT8_CLASS && c <= mxUINT64_CLASS);
}

// Product of the dimensions, or SIZE_MAX when it does not fit.
std::size_t countOf(const std::vector<mwSize> &dims)
{
    std::size_t n = 1;
    for (mwSize d : dims) {
        if (d != 0 && n > std::numeric_limits<std::size_t>::max() / d) return std::numeric_limits<std::size_t>::max();
        n *= d;
    }
    return n;
}

void *zeroBlock(std::size_t count, std::size_t elem)
{
    if (count == 0 || elem == 0) return nullptr;
    void *p = std::calloc(count, elem);
    if (p == nullptr) throw std::bad_alloc();
    return p;
}

std::size_t slots(const mxArray *a)
{
    return a->cls == mxSTRUCT_CLASS ? a->capacity * a->fields.size() : a->capacity;
}

mxArray *make(mxClassID cls, std::vector<mwSize> dims, bool complex, std::size_t nfields = 0)
{
    while (dims.size() < 2) dims.push_back(dims.empty() ? 0 : 1);
    // Trailing singleton dimensions beyond the second are dropped, as hosts do.
    while (dims.size() > 2 && dims.back() == 1) dims.pop_back();
    std::size_t n = countOf(dims);
    if (n == std::numeric_limits<std::size_t>::max()) throw std::bad_alloc();
    // A structure holds n * nfields field slots: refuse a count that wraps.
    if (cls == mxSTRUCT_CLASS && nfields != 0 && n > std::numeric_limits<std::size_t>::max() / nfields)
        throw std::bad_alloc();
    auto *a = new mxArray_tag;
    a->cls = cls;
    a->dims = std::move(dims);
    a->capacity = n;
    std::size_t elems = cls == mxSTRUCT_CLASS ? n * nfields : n;
    a->pr = zeroBlock(elems, classElementSize(cls));
    a->complex = complex && isNumericClass(cls);
    if (a->complex) a->pi = zeroBlock(n, classElementSize(cls));
    noteCreated(a);
    return a;
}

void destroyTree(mxArray *a)
{
    if (a == nullptr) return;
    if (a->cls == mxCELL_CLASS || a->cls == mxSTRUCT_CLASS) {
        auto **kids = static_cast<mxArray **>(a->pr);
        std::size_t k = slots(a);
        for (std::size_t i = 0; i < k && kids != nullptr; ++i) {
            if (kids[i] != nullptr) {
                kids[i]->owned = false;
                destroyTree(kids[i]);
            }
        }
    }
    std::free(a->pr);
    std::free(a->pi);
    noteReleased(a);
    delete a;
}

void adopt(mxArray *parent, mxArray **slot, mxArray *value)
{
    (void)parent;
    if (*slot != nullptr && *slot != value) {
        (*slot)->owned = false;
        destroyTree(*slot);
    }
    *slot = value;
    if (value != nullptr) {
        value->owned = true;
        noteReleased(value);
    }
}

}  // namespace

extern "C" {

size_t mxGetM(const mxArray *pa) { return pa->dims[0]; }

size_t mxGetN(const mxArray *pa)
{
    std::size_t n = 1;
    for (std::size_t i = 1; i < pa->dims.size(); ++i) n *= pa->dims[i];
    return n;
}

void mxSetM(mxArray *pa, mwSize m) { pa->dims[0] = m; }

void mxSetN(mxArray *pa, mwSize n)
{
    pa->dims.resize(2);
    pa->dims[1] = n;
}

size_t mxGetNumberOfElements(const mxArray *pa) { return countOf(pa->dims); }
mwSize mxGetNumberOfDimensions(const mxArray *pa) { return pa->dims.size(); }
const mwSize *mxGetDimensions(const mxArray *pa) { return pa->dims.data(); }
size_t mxGetElementSize(const mxArray *pa) { return classElementSize(pa->cls); }
mxClassID mxGetClassID(const mxArray *pa) { return pa->cls; }

const char *mxGetClassName(const mxArray *pa)
{
    switch (pa->cls) {
    case mxCELL_CLASS: return "cell";
    case mxSTRUCT_CLASS: return "struct";
    case mxLOGICAL_CLASS: return "logical";
    case mxCHAR_CLASS: return "char";
    case mxDOUBLE_CLASS: return "double";
    case mxSINGLE_CLASS: return "single";
    case mxINT8_CLASS: return "int8";
    case mxUINT8_CLASS: return "uint8";
    case mxINT16_CLASS: return "int16";
    case mxUINT16_CLASS: return "uint16";
    case mxINT32_CLASS: return "int32";
    case mxUINT32_CLASS: return "uint32";
    case mxINT64_CLASS: return "int64";
    case mxUINT64_CLASS: return "uint64";
    default: return "unknown";
    }
}

bool mxIsNumeric(const mxArray *pa) { return isNumericClass(pa->cls); }
bool mxIsDouble(const mxArray *pa) { return pa->cls == mxDOUBLE_CLASS; }
bool mxIsSingle(const mxArray *pa) { return pa->cls == mxSINGLE_CLASS; }
bool mxIsInt8(const mxArray *pa) { return pa->cls == mxINT8_CLASS; }
bool mxIsUint8(const mxArray *pa) { return pa->cls == mxUINT8_CLASS; }
bool mxIsInt16(const mxArray *pa) { return pa->cls == mxINT16_CLASS; }
bool mxIsUint16(const mxArray *pa) { return pa->cls == mxUINT16_CLASS; }
bool mxIsInt32(const mxArray *pa) { return pa->cls == mxINT32_CLASS; }
bool mxIsUint32(const mxArray *pa) { return pa->cls == mxUINT32_CLASS; }
bool mxIsInt64(const mxArray *pa) { return pa->cls == mxINT64_CLASS; }
bool mxIsUint64(const mxArray *pa) { return pa->cls == mxUINT64_CLASS; }
bool mxIsComplex(const mxArray *pa) { return pa->complex; }
bool mxIsEmpty(const mxArray *pa) { return mxGetNumberOfElements(pa) == 0; }
bool mxIsChar(const mxArray *pa) { return pa->cls == mxCHAR_CLASS; }
bool mxIsCell(const mxArray *pa) { return pa->cls == mxCELL_CLASS; }
bool mxIsStruct(const mxArray *pa) { return pa->cls == mxSTRUCT_CLASS; }
bool mxIsLogical(const mxArray *pa) { return pa->cls == mxLOGICAL_CLASS; }
bool mxIsSparse(const mxArray *pa) { (void)pa; return false; }
bool mxIsClass(const mxArray *pa, const char *name) { return std::strcmp(mxGetClassName(pa), name) == 0; }

double *mxGetPr(const mxArray *pa)
{
    if (pa->cls == mxCELL_CLASS || pa->cls == mxSTRUCT_CLASS) return nullptr;
    return static_cast<double *>(pa->pr);
}

double *mxGetPi(const mxArray *pa) { return pa->complex ? static_cast<double *>(pa->pi) : nullptr; }
void *mxGetData(const mxArray *pa) { return pa->pr; }
void *mxGetImagData(const mxArray *pa) { return pa->pi; }

void mxSetData(mxArray *pa, void *data)
{
    if (data == pa->pr) return;
    mxhost::detail::untrackMemory(data);
    std::free(pa->pr);
    pa->pr = data;
    pa->capacity = mxGetNumberOfElements(pa);
}

mxLogical *mxGetLogicals(const mxArray *pa)
{
    return pa->cls == mxLOGICAL_CLASS ? static_cast<mxLogical *>(pa->pr) : nullptr;
}

mxChar *mxGetChars(const mxArray *pa)
{
    return pa->cls == mxCHAR_CLASS ? static_cast<mxChar *>(pa->pr) : nullptr;
}

double mxGetScalar(const mxArray *pa)
{
    if (mxIsEmpty(pa) || pa->pr == nullptr) return 0.0;
    switch (pa->cls) {
    case mxDOUBLE_CLASS: return *static_cast<double *>(pa->pr);
    case mxSINGLE_CLASS: return *static_cast<float *>(pa->pr);
    case mxINT8_CLASS: return *static_cast<int8_t *>(pa->pr);
    case mxUINT8_CLASS: return *static_cast<uint8_t *>(pa->pr);
    case mxINT16_CLASS: return *static_cast<int16_t *>(pa->pr);
    case mxUINT16_CLASS: return *static_cast<uint16_t *>(pa->pr);
    case mxINT32_CLASS: return *static_cast<int32_t *>(pa->pr);
    case mxUINT32_CLASS: return *static_cast<uint32_t *>(pa->pr);
    case mxINT64_CLASS: return static_cast<double>(*static_cast<int64_t *>(pa->pr));
    case mxUINT64_CLASS: return static_cast<double>(*static_cast<uint64_t *>(pa->pr));
    case mxCHAR_CLASS: return *static_cast<mxChar *>(pa->pr);
    case mxLOGICAL_CLASS: return *static_cast<mxLogical *>(pa->pr) ? 1.0 : 0.0;
    default: return 0.0;
    }
}

mxArray *mxGetCell(const mxArray *pa, mwIndex i)
{
    if (pa->cls != mxCELL_CLASS || i >= mxGetNumberOfElements(pa) || i >= pa->capacity) return nullptr;
    return static_cast<mxArray **>(pa->pr)[i];
}

void mxSetCell(mxArray *pa, mwIndex i, mxArray *value)
{
    if (pa->cls != mxCELL_CLASS || i >= mxGetNumberOfElements(pa) || i >= pa->capacity) return;
    adopt(pa, &static_cast<mxArray **>(pa->pr)[i], value);
}

int mxGetNumberOfFields(const mxArray *pa)
{
    return pa->cls == mxSTRUCT_CLASS ? static_cast<int>(pa->fields.size()) : 0;
}

const char *mxGetFieldNameByNumber(const mxArray *pa, int n)
{
    if (pa->cls != mxSTRUCT_CLASS || n < 0 || static_cast<std::size_t>(n) >= pa->fields.size()) return nullptr;
    return pa->fields[n].c_str();
}

int mxGetFieldNumber(const mxArray *pa, const char *name)
{
    if (pa->cls != mxSTRUCT_CLASS || name == nullptr) return -1;
    for (std::size_t i = 0; i < pa->fields.size(); ++i)
        if (pa->fields[i] == name) return static_cast<int>(i);
    return -1;
}

mxArray *mxGetFieldByNumber(const mxArray *pa, mwIndex i, int fieldnum)
{
    if (pa->cls != mxSTRUCT_CLASS || fieldnum < 0 || static_cast<std::size_t>(fieldnum) >= pa->fields.size()
        || i >= mxGetNumberOfElements(pa) || i >= pa->capacity)
        return nullptr;
    return static_cast<mxArray **>(pa->pr)[i * pa->fields.size() + fieldnum];
}

mxArray *mxGetField(const mxArray *pa, mwIndex i, const char *fieldname)
{
    return mxGetFieldByNumber(pa, i, mxGetFieldNumber(pa, fieldname));
}

void mxSetFieldByNumber(mxArray *pa, mwIndex i, int fieldnum, mxArray *value)
{
    if (pa->cls != mxSTRUCT_CLASS || fieldnum < 0 || static_cast<std::size_t>(fieldnum) >= pa->fields.size()
        || i >= mxGetNumberOfElements(pa) || i >= pa->capacity)
        return;
    adopt(pa, &static_cast<mxArray **>(pa->pr)[i * pa->fields.size() + fieldnum], value);
}

void mxSetField(mxArray *pa, mwIndex i, const char *fieldname, mxArray *value)
{
    mxSetFieldByNumber(pa, i, mxGetFieldNumber(pa, fieldname), value);
}

int mxGetString(const mxArray *pa, char *buf, mwSize buflen)
{
    if (buf == nullptr || buflen == 0) return 1;
    if (pa->cls != mxCHAR_CLASS) {
        buf[0] = '\0';
        return 1;
    }
    std::size_t n = mxGetNumberOfElements(pa);
    const mxChar *c = static_cast<const mxChar *>(pa->pr);
    std::size_t k = n < buflen - 1 ? n : buflen - 1;
    for (std::size_t i = 0; i < k; ++i) buf[i] = static_cast<char>(c[i]);
    buf[k] = '\0';
    return k < n ? 1 : 0;
}

char *mxArrayToString(const mxArray *pa)
{
    if (pa->cls != mxCHAR_CLASS) return nullptr;
    std::size_t n = mxGetNumberOfElements(pa);
    char *s = static_cast<char *>(mxMalloc(n + 1));
    const mxChar *c = static_cast<const mxChar *>(pa->pr);
    for (std::size_t i = 0; i < n; ++i) s[i] = static_cast<char>(c[i]);
    s[n] = '\0';
    return s;
}

mxArray *mxCreateDoubleMatrix(mwSize m, mwSize n, mxComplexity flag)
{
    return make(mxDOUBLE_CLASS, {m, n}, flag == mxCOMPLEX);
}

mxArray *mxCreateDoubleScalar(double value)
{
    mxArray *a = make(mxDOUBLE_CLASS, {1, 1}, false);
    *static_cast<double *>(a->pr) = value;
    return a;
}

mxArray *mxCreateNumericMatrix(mwSize m, mwSize n, mxClassID classid, mxComplexity flag)
{
    return make(classid, {m, n}, flag == mxCOMPLEX);
}

mxArray *mxCreateNumericArray(mwSize ndim, const mwSize *dims, mxClassID classid, mxComplexity flag)
{
    return make(classid, std::vector<mwSize>(dims, dims + ndim), flag == mxCOMPLEX);
}

mxArray *mxCreateLogicalScalar(mxLogical value)
{
    mxArray *a = make(mxLOGICAL_CLASS, {1, 1}, false);
    *static_cast<mxLogical *>(a->pr) = value;
    return a;
}

mxArray *mxCreateLogicalMatrix(mwSize m, mwSize n) { return make(mxLOGICAL_CLASS, {m, n}, false); }

mxArray *mxCreateString(const char *str)
{
    std::size_t n = str != nullptr ? std::strlen(str) : 0;
    mxArray *a = make(mxCHAR_CLASS, {n == 0 ? 0u : 1u, n}, false);
    auto *c = static_cast<mxChar *>(a->pr);
    for (std::size_t i = 0; i < n; ++i) c[i] = static_cast<unsigned char>(str[i]);
    return a;
}

mxArray *mxCreateCharMatrixFromStrings(mwSize m, const char **str)
{
    std::size_t width = 0;
    for (mwSize r = 0; r < m; ++r) width = std::max(width, std::strlen(str[r]));
    mxArray *a = make(mxCHAR_CLASS, {m, width}, false);
    auto *c = static_cast<mxChar *>(a->pr);
    for (mwSize r = 0; r < m; ++r) {
        std::size_t len = std::strlen(str[r]);
        for (std::size_t k = 0; k < width; ++k)
            c[k * m + r] = k < len ? static_cast<unsigned char>(str[r][k]) : ' ';
    }
    return a;
}

mxArray *mxCreateCellMatrix(mwSize m, mwSize n) { return make(mxCELL_CLASS, {m, n}, false); }

mxArray *mxCreateStructMatrix(mwSize m, mwSize n, int nfields, const char **fieldnames)
{
    std::size_t nf = nfields > 0 ? static_cast<std::size_t>(nfields) : 0;
    mxArray *a = make(mxSTRUCT_CLASS, {m, n}, false, nf);
    for (std::size_t i = 0; i < nf; ++i) a->fields.emplace_back(fieldnames[i]);
    return a;
}

mxArray *mxDuplicateArray(const mxArray *in)
{
    if (in == nullptr) return nullptr;
    mxArray *a = make(in->cls, in->dims, in->complex, in->fields.size());
    a->fields = in->fields;
    std::size_t n = std::min(mxGetNumberOfElements(in), in->capacity);
    if (in->cls == mxCELL_CLASS || in->cls == mxSTRUCT_CLASS) {
        std::size_t k = in->cls == mxSTRUCT_CLASS ? n * in->fields.size() : n;
        auto **src = static_cast<mxArray **>(in->pr);
        auto **dst = static_cast<mxArray **>(a->pr);
        for (std::size_t i = 0; i < k; ++i) {
            if (src[i] != nullptr) adopt(a, &dst[i], mxDuplicateArray(src[i]));
        }
    } else if (n > 0) {
        std::memcpy(a->pr, in->pr, n * classElementSize(in->cls));
        if (in->complex) std::memcpy(a->pi, in->pi, n * classElementSize(in->cls));
    }
    return a;
}

void mxDestroyArray(mxArray *pa)
{
    if (pa == nullptr || pa->owned) return;
    destroyTree(pa);
}

double mxGetInf(void) { return std::numeric_limits<double>::infinity(); }
double mxGetNaN(void) { return std::numeric_limits<double>::quiet_NaN(); }
double mxGetEps(void) { return std::numeric_limits<double>::epsilon(); }
bool mxIsNaN(double x) { return std::isnan(x); }
bool mxIsInf(double x) { return std::isinf(x); }
bool mxIsFinite(double x) { return std::isfinite(x); }

}  // extern "C"

namespace mxhost {

namespace {
mxArray *vectorOf(std::initializer_list<double> values, bool row)
{
    std::size_t n = values.size();
    mxArray *a = row ? mxCreateDoubleMatrix(1, n, mxREAL) : mxCreateDoubleMatrix(n, 1, mxREAL);
    std::size_t i = 0;
    for (double v : values) mxGetPr(a)[i++] = v;
    return a;
}
}  // namespace

mxArray *rowVector(std::initializer_list<double> values) { return vectorOf(values, true); }
mxArray *columnVector(std::initializer_list<double> values) { return vectorOf(values, false); }

}  // namespace mxhost
