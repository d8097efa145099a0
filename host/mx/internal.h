// Internals shared by the array and host halves of libmx.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "mex.h"

struct mxArray_tag {
    mxClassID cls = mxDOUBLE_CLASS;
    bool complex = false;
    std::vector<mwSize> dims{0, 0};  // at least two
    std::size_t capacity = 0;         // elements allocated in pr/pi (and cells, struct records)
    void *pr = nullptr;               // numeric, char and logical data; mxArray* table for cell and struct
    void *pi = nullptr;
    std::vector<std::string> fields;  // struct field names
    bool owned = false;               // held by a cell or structure
};

namespace mxhost::detail {

// Error raised by mexErrMsgTxt or mexErrMsgIdAndTxt, caught at the call
// boundary. The identifier is empty for mexErrMsgTxt.
struct MexError {
    std::string text;
    std::string id;
};

void noteCreated(mxArray *a);
void noteReleased(mxArray *a);   // destroyed, owned by a container, or handed out
void *trackedAlloc(std::size_t bytes, bool zero);
void *trackedRealloc(void *p, std::size_t bytes);
void trackedFree(void *p);
bool untrackMemory(void *p);     // hands tracked memory over to an array

}  // namespace mxhost::detail
