// The call boundary inside a real MEX host, the engine being a MEX file
// itself (see boundary.h). The block's mexFunction is called directly: the
// host tracks the arrays and memory it allocates as part of the engine's own
// call. An error it raises (mexErrMsgTxt) arrives as the host's exception,
// a std::runtime_error in Octave; it is taken here and returned as the
// call's error, so that the engine names the block and the time as on the
// embedded host. Any other exception (an interrupt, out of memory) unwinds
// through the engine.
#include "boundary.h"

#include <stdexcept>

namespace engine {

namespace {

// The host puts the name of the running MEX function (the engine's) in
// front of the block's text.
std::string blockText(const std::runtime_error &e)
{
    std::string text = e.what();
    const char *self = mexFunctionName();
    std::string prefix = std::string(self != nullptr ? self : "") + ": ";
    if (text.compare(0, prefix.size(), prefix) == 0) text.erase(0, prefix.size());
    return text;
}

}  // namespace

CallResult callBlock(MexFunction fn, int nlhs, mxArray *plhs[], int nrhs, const mxArray *prhs[])
{
    try {
        fn(nlhs, plhs, nrhs, prhs);
        return CallResult{};
    } catch (const std::runtime_error &e) {
        for (int i = 0; i < (nlhs > 0 ? nlhs : 1); ++i)
            if (plhs[i] != nullptr) {
                mxDestroyArray(plhs[i]);
                plhs[i] = nullptr;
            }
        return CallResult{false, blockText(e)};
    }
}

bool requestBlock(MexFunction fn, mxArray *plhs[], int nrhs, const mxArray *prhs[], std::string *error)
{
    try {
        fn(-1, plhs, nrhs, prhs);
        return true;
    } catch (const std::runtime_error &e) {
        *error = blockText(e);
        return false;
    }
}

PrintSink setPrintSink(PrintSink) { return nullptr; }

}  // namespace engine
