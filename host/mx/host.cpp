// Host memory, printing, errors and the call boundary of the embedded MEX host.
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <new>
#include <unordered_set>
#include <utility>
#include <vector>

#include "internal.h"
#include "mxhost.h"

namespace mxhost {
namespace {

// What one call has created and not yet handed on. The sets are made on
// first use, so a call that allocates nothing (an engine request to a block
// without state) costs next to nothing at the boundary.
struct Tracked {
    std::unordered_set<void *> memory;
    std::unordered_set<mxArray *> arrays;
};
struct CallFrame {
    CallFrame *outer = nullptr;  // the call this one is nested in
    Tracked *tracked = nullptr;  // released by releaseFrame
    Tracked &use()
    {
        if (tracked == nullptr) tracked = new Tracked;
        return *tracked;
    }
};

// The host serves one call at a time on its own thread.
CallFrame *innermost = nullptr;
PrintSink printSink;
std::size_t liveCount = 0;

CallFrame *current() { return innermost; }

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
    if (CallFrame *f = current()) f->use().arrays.insert(a);
}

void noteReleased(mxArray *a)
{
    // Called when an array is destroyed or adopted by a container; the count
    // of live arrays only drops on destruction, which clears 'owned' first.
    for (CallFrame *f = innermost; f != nullptr; f = f->outer)
        if (f->tracked) f->tracked->arrays.erase(a);
    if (!a->owned) --liveCount;
}

void *trackedAlloc(std::size_t bytes, bool zero)
{
    void *p = zero ? std::calloc(bytes == 0 ? 1 : bytes, 1) : std::malloc(bytes == 0 ? 1 : bytes);
    if (p == nullptr) throw std::bad_alloc();
    if (CallFrame *f = current()) f->use().memory.insert(p);
    return p;
}

void *trackedRealloc(void *p, std::size_t bytes)
{
    if (p == nullptr) return trackedAlloc(bytes, false);
    void *q = std::realloc(p, bytes == 0 ? 1 : bytes);
    if (q == nullptr) throw std::bad_alloc();
    for (CallFrame *f = innermost; f != nullptr; f = f->outer) {
        if (f->tracked && f->tracked->memory.erase(p) != 0) {
            f->tracked->memory.insert(q);
            break;
        }
    }
    return q;
}

void trackedFree(void *p)
{
    if (p == nullptr) return;
    for (CallFrame *f = innermost; f != nullptr; f = f->outer)
        if (f->tracked) f->tracked->memory.erase(p);
    std::free(p);
}

bool untrackMemory(void *p)
{
    bool found = false;
    for (CallFrame *f = innermost; f != nullptr; f = f->outer)
        found = (f->tracked && f->tracked->memory.erase(p) != 0) || found;
    return found;
}

}  // namespace detail

namespace {

// Runs fn inside a call frame; on an error, *error receives the text and
// *id (when given) the error's identifier.
inline __attribute__((always_inline)) bool runFramed(CallFrame &frame, MexFunction fn, int nlhs, mxArray *plhs[], int nrhs, const mxArray *prhs[],
               std::string *error, std::string *id = nullptr)
{
    frame.outer = innermost;
    innermost = &frame;
    bool ok = false;
    try {
        fn(nlhs, plhs, nrhs, prhs);
        ok = true;
    } catch (const detail::MexError &e) {
        *error = e.text;
        if (id != nullptr) *id = e.id;
    } catch (const std::bad_alloc &) {
        *error = "Out of memory.";
    } catch (...) {
        *error = "The call ended with an unexpected exception.";
    }
    innermost = frame.outer;
    return ok;
}

// Releases what the call created and did not hand on.
void releaseFrame(CallFrame &frame)
{
    if (!frame.tracked) return;
    std::vector<mxArray *> leftovers(frame.tracked->arrays.begin(), frame.tracked->arrays.end());
    for (mxArray *a : leftovers) mxDestroyArray(a);
    for (void *p : frame.tracked->memory) std::free(p);
    delete frame.tracked;
    frame.tracked = nullptr;
}

}  // namespace

CallResult call(MexFunction fn, int nlhs, mxArray *plhs[], int nrhs, const mxArray *prhs[])
{
    CallFrame frame;
    CallResult result;
    result.ok = runFramed(frame, fn, nlhs, plhs, nrhs, prhs, &result.error, &result.id);
    int outs = nlhs >= 0 ? (nlhs > 0 ? nlhs : 1) : 0;
    for (int i = 0; i < outs; ++i) {
        if (plhs[i] == nullptr) continue;
        if (frame.tracked) frame.tracked->arrays.erase(plhs[i]);
        if (!result.ok) {
            mxDestroyArray(plhs[i]);
            plhs[i] = nullptr;
        }
    }
    releaseFrame(frame);
    return result;
}

bool request(MexFunction fn, mxArray *plhs[], int nrhs, const mxArray *prhs[], std::string *error)
{
    CallFrame frame;
    bool ok = runFramed(frame, fn, -1, plhs, nrhs, prhs, error);
    if (frame.tracked) releaseFrame(frame);
    return ok;
}

PrintSink setPrintSink(PrintSink sink)
{
    std::swap(printSink, sink);
    return sink;
}

PrintCapture::PrintCapture()
    : previous_(setPrintSink([this](const char *text, std::size_t len) { text_.append(text, len); }))
{
}

PrintCapture::~PrintCapture() { setPrintSink(std::move(previous_)); }

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
    throw mxhost::detail::MexError{msg != nullptr ? msg : "", ""};
}

void mexErrMsgIdAndTxt(const char *id, const char *fmt, ...)
{
    va_list ap;
    va_start(ap, fmt);
    std::string s = fmt != nullptr ? mxhost::vformat(fmt, ap) : std::string();
    va_end(ap);
    throw mxhost::detail::MexError{s, id != nullptr ? id : ""};
}

void mexWarnMsgTxt(const char *msg)
{
    std::string s = std::string("Warning: ") + (msg != nullptr ? msg : "") + "\n";
    mxhost::emit(s.data(), s.size());
}

void mexWarnMsgIdAndTxt(const char *id, const char *fmt, ...)
{
    va_list ap;
    va_start(ap, fmt);
    std::string s = "Warning: " + (fmt != nullptr ? mxhost::vformat(fmt, ap) : std::string());
    va_end(ap);
    if (id != nullptr && id[0] != '\0') s += std::string(" [") + id + "]";
    s += "\n";
    mxhost::emit(s.data(), s.size());
}

}  // extern "C"
