// The call boundary on the project's own MEX host (see boundary.h).
#include "boundary.h"

#include "mxhost.h"

namespace engine {

CallResult callBlock(MexFunction fn, int nlhs, mxArray *plhs[], int nrhs, const mxArray *prhs[])
{
    mxhost::CallResult r = mxhost::call(fn, nlhs, plhs, nrhs, prhs);
    return CallResult{r.ok, std::move(r.error)};
}

bool requestBlock(MexFunction fn, mxArray *plhs[], int nrhs, const mxArray *prhs[], std::string *error)
{
    return mxhost::request(fn, plhs, nrhs, prhs, error);
}

PrintSink setPrintSink(PrintSink sink) { return mxhost::setPrintSink(std::move(sink)); }

}  // namespace engine
