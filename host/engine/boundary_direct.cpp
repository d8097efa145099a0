// The call boundary inside a real MEX host, the engine being a MEX file
// itself (see boundary.h). The block's mexFunction is called directly: the
// host tracks the arrays and memory it allocates as part of the engine's own
// call, and an error it raises propagates as the host's exception.
#include "boundary.h"

namespace engine {

CallResult callBlock(MexFunction fn, int nlhs, mxArray *plhs[], int nrhs, const mxArray *prhs[])
{
    fn(nlhs, plhs, nrhs, prhs);
    return CallResult{};
}

bool requestBlock(MexFunction fn, mxArray *plhs[], int nrhs, const mxArray *prhs[], std::string *)
{
    fn(-1, plhs, nrhs, prhs);
    return true;
}

void setPrintSink(PrintSink) {}

}  // namespace engine
