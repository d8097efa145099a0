// Host memory, printing, errors and the call boundary of the embedded MEX host.
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <unordered_set>
#include <vector>

#include "internal.h"
#include "mxhost.h"

namespace mxhost {
namespace {

// What one call has created and not yet handed on.
struct CallFrame {
    std::unordered_set<void *> memory;
    std::unordered_set<mxArray *> arrays;
};

thread_local std::vector<CallFrame *> frames;
thread_local PrintSink printSink;
std::size_t liveCount = 0;

CallFrame *current() { return frames.empty() ? nullptr : frames.back(); }

void emit(const char *text, std::size_t len)
{
    if (printSink) {
        printSink(text, len);
    } else {
        std::fwrite(text, 1, len, stdout);
        std::fflush(stdout);
    }
}

std::string vformat(const char *fmt, va_list ap)
{
    va_list copy;
    va_copy(copy, ap);
    char small[512];
    int n = std::vsnprintf(small, sizeof small, fmt, copy);
    va_end(copy);
    if (n < 0) return std::string();
    if (static_cast<std::size_t>(n) < sizeof small) return std::string(small, static_cast<std::size_t>(n));
    std::string big(static_cast<std::size_t>(n) + 1, '\0');
    std::vsnprintf(&big[0], big.size(), fmt, ap);
    big.resize(static_cast<std::size_t>(n));
    return big;
}

}  // namespace

namespace detail {

void noteCreated(mxArray *a)
{
    ++liveCount;
    if (CallFrame *f = current()) f->arrays.insert(a);
}

void noteReleased(mxArray *a)
{
    // Called when an array is destroyed or adopted by a container; the count
    // of live arrays only drops on destruction, which clears 'owned' first.
    for (CallFrame *f : frames) f->arrays.erase(a);
    if (!a->owned) --liveCount;
}

void *trackedAlloc(std::size_t bytes, bool zero)
{
    void *p = zero ? std::calloc(bytes == 0 ? 1 : bytes, 1) : std::malloc(bytes == 0 ? 1 : bytes);
    if (p == nullptr) throw std::bad_alloc();
    if (CallFrame *f = current()) f->memory.insert(p);
    return p;
}

void *trackedRealloc(void *p, std::size_t bytes)
{
    if (p == nullptr) return trackedAlloc(bytes, false);
    void *q = std::realloc(p, bytes == 0 ? 1 : bytes);
    if (q == nullptr) throw std::bad_alloc();
    for (CallFrame *f : frames) {
        if (f->memory.erase(p) != 0) {
            f->memory.insert(q);
            break;
        }
    }
    return q;
}

void trackedFree(void *p)
{
    if (p == nullptr) return;
    for (CallFrame *f : frames) f->memory.erase(p);
    std::free(p);
}

bool untrackMemory(void *p)
{
    bool found = false;
    for (CallFrame *f : frames) found = f->memory.erase(p) != 0 || found;
    return found;
}

}  // namespace detail

CallResult call(MexFunction fn, int nlhs, mxArray *plhs[], int nrhs, const mxArray *prhs[])
{
    CallFrame frame;
    frames.push_back(&frame);
    CallResult result;
    int outs = nlhs >= 0 ? (nlhs > 0 ? nlhs : 1) : 0;
    try {
        fn(nlhs, plhs, nrhs, prhs);
    } catch (const detail::MexError &e) {
        result.ok = false;
        result.error = e.text;
    } catch (const std::bad_alloc &) {
        result.ok = false;
        result.error = "Out of memory.";
    }
    frames.pop_back();
    for (int i = 0; i < outs; ++i) {
        if (plhs[i] == nullptr) continue;
        frame.arrays.erase(plhs[i]);
        if (!result.ok) {
            mxDestroyArray(plhs[i]);
            plhs[i] = nullptr;
        }
    }
    // Temporaries: arrays created in the call and neither returned nor adopted.
    std::vector<mxArray *> leftovers(frame.arrays.begin(), frame.arrays.end());
    for (mxArray *a : leftovers) mxDestroyArray(a);
    for (void *p : frame.memory) std::free(p);
    return result;
}

void setPrintSink(PrintSink sink) { printSink = std::move(sink); }

PrintCapture::PrintCapture()
{
    setPrintSink([this](const char *text, std::size_t len) { text_.append(text, len); });
}

PrintCapture::~PrintCapture() { setPrintSink(nullptr); }

std::size_t liveArrays() { return liveCount; }

}  // namespace mxhost

extern "C" {

void *mxCalloc(size_t n, size_t size)
{
    if (size != 0 && n > static_cast<size_t>(-1) / size) throw std::bad_alloc();
    return mxhost::detail::trackedAlloc(n * size, true);
}

void *mxMalloc(size_t n) { return mxhost::detail::trackedAlloc(n, false); }
void *mxRealloc(void *ptr, size_t size) { return mxhost::detail::trackedRealloc(ptr, size); }
void mxFree(void *ptr) { mxhost::detail::trackedFree(ptr); }

int mexPrintf(const char *fmt, ...)
{
    va_list ap;
    va_start(ap, fmt);
    std::string s = mxhost::vformat(fmt, ap);
    va_end(ap);
    mxhost::emit(s.data(), s.size());
    return static_cast<int>(s.size());
}

void mexErrMsgTxt(const char *msg)
{
    throw mxhost::detail::MexError{msg != nullptr ? msg : ""};
}

void mexErrMsgIdAndTxt(const char *id, const char *fmt, ...)
{
    (void)id;
    va_list ap;
    va_start(ap, fmt);
    std::string s = mxhost::vformat(fmt, ap);
    va_end(ap);
    throw mxhost::detail::MexError{s};
}

void mexWarnMsgTxt(const char *msg)
{
    std::string s = std::string("Warning: ") + (msg != nullptr ? msg : "") + "\n";
    mxhost::emit(s.data(), s.size());
}

}  // extern "C"
