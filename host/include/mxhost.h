// The host side of the embedded MEX API: the call boundary, the capture of
// printed output, and counts for leak checks. Used by the engine, the model
// runner and the tests; deliverables never include it.
#pragma once

#include <cstddef>
#include <functional>
#include <string>

#include "mex.h"

namespace mxhost {

using MexFunction = void (*)(int nlhs, mxArray *plhs[], int nrhs, const mxArray *prhs[]);

struct CallResult {
    bool ok = true;
    std::string error;  // the text passed to mexErrMsgTxt when !ok
    std::string id;     // the identifier passed to mexErrMsgIdAndTxt; empty for mexErrMsgTxt
};

// Calls a mexFunction as the host does. Host memory and arrays the call
// leaves behind are released when it returns; arrays stored in plhs (for
// nlhs >= 0: slots 0 .. max(nlhs, 1) - 1) belong to the caller. When the call
// raises an error, those outputs are destroyed and set to null.
// With nlhs < 0 (the engine path) plhs carries no arrays and none is touched.
CallResult call(MexFunction fn, int nlhs, mxArray *plhs[], int nrhs, const mxArray *prhs[]);

// The engine path of the same boundary (nlhs = -1), lean enough for one
// request per block and step: true when the call returned normally, else the
// error text in *error.
bool request(MexFunction fn, mxArray *plhs[], int nrhs, const mxArray *prhs[], std::string *error);

// Everything mexPrintf writes goes to the sink; a null sink means stdout.
// Returns the sink that was set before, for the caller to put back.
using PrintSink = std::function<void(const char *text, std::size_t len)>;
PrintSink setPrintSink(PrintSink sink);

// Captures mexPrintf output for as long as it lives, then puts back the sink
// that was set before (so captures nest; an inner one takes the output while
// it lives).
class PrintCapture {
public:
    PrintCapture();
    ~PrintCapture();
    PrintCapture(const PrintCapture &) = delete;
    PrintCapture &operator=(const PrintCapture &) = delete;
    const std::string &text() const { return text_; }
    void clear() { text_.clear(); }

private:
    std::string text_;
    PrintSink previous_;
};

// Number of arrays alive right now (created and not yet destroyed).
std::size_t liveArrays();

// Builders for tests and the engine.
mxArray *rowVector(std::initializer_list<double> values);
mxArray *columnVector(std::initializer_list<double> values);

}  // namespace mxhost
