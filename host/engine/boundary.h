// The engine's call boundary: how a block library's mexFunction is called
// and where what it prints goes. The engine reaches a block through the MEX
// API alone (it makes the argument arrays, calls mexFunction and reads the
// error status the block leaves on the root record); only these few
// functions depend on the host the engine runs in, and each host links one
// implementation:
//
//   boundary_embedded.cpp  the project's own MEX host (host/mx): every call
//                          runs in a call frame of its own; an error the
//                          block raises with mexErrMsgTxt comes back as a
//                          result, and host memory the call leaves behind is
//                          released when it returns.
//   boundary_direct.cpp    a real MEX host (Octave, MATLAB), the engine being
//                          itself a MEX file: the block's mexFunction is
//                          called directly. An error it raises comes as the
//                          host's own C++ exception, which is taken and
//                          returned as the result; other exceptions (an
//                          interrupt) unwind through the engine, so every
//                          caller of these functions must be exception-safe.
//                          What the block prints goes to the host's command
//                          window.
#pragma once

#include <cstddef>
#include <functional>
#include <string>

#include "mex.h"

namespace engine {

using MexFunction = void (*)(int nlhs, mxArray *plhs[], int nrhs, const mxArray *prhs[]);

struct CallResult {
    bool ok = true;
    std::string error;  // the text of the error the call raised, when !ok
};

// A call with nlhs >= 0 (the sizes call). Arrays stored in plhs belong to
// the caller; when the call fails they are destroyed and set to null.
CallResult callBlock(MexFunction fn, int nlhs, mxArray *plhs[], int nrhs, const mxArray *prhs[]);

// A request with nlhs = -1: true when the call returned normally, else the
// error text in *error.
bool requestBlock(MexFunction fn, mxArray *plhs[], int nrhs, const mxArray *prhs[], std::string *error);

// Where mexPrintf output of the blocks goes while a run lasts; a null sink
// restores the host's default. Returns the sink it replaces, for the caller
// to put back. The direct boundary ignores it (and returns a null sink): the
// host prints into its own command window.
using PrintSink = std::function<void(const char *text, std::size_t len)>;
PrintSink setPrintSink(PrintSink sink);

}  // namespace engine
