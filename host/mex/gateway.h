// What the simrun and simblock MEX files share: where the block MEX files
// are (beside the gateway's own file, so a build folder, the toolbox folder
// and an installed package all work alike) and how a failure becomes the
// host's error.
#pragma once

#include <dlfcn.h>

#include <string>

#include "mex.h"

namespace gateway {

// A failure to report with an identifier ("simblocks:<function>:<what>").
struct Failure {
    std::string id, text;
};

// The folder and file name extension (".mex", ".mexa64") of the MEX file
// this code is linked into.
inline void ownLocation(std::string &folder, std::string &extension)
{
    Dl_info info{};
    folder = ".";
    extension = ".mex";
    if (dladdr(reinterpret_cast<void *>(&mexFunction), &info) == 0 || info.dli_fname == nullptr) return;
    std::string path = info.dli_fname;
    std::size_t slash = path.find_last_of('/');
    std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
    if (slash != std::string::npos) folder = slash == 0 ? "/" : path.substr(0, slash);
    std::size_t dot = base.find_last_of('.');
    if (dot != std::string::npos) extension = base.substr(dot);
}

// Letters, digits and '_', not starting with a digit: a deliverable's name
// (and never a path).
inline bool validName(const std::string &s)
{
    if (s.empty() || (s[0] >= '0' && s[0] <= '9')) return false;
    for (char c : s)
        if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_')) return false;
    return true;
}

// The text of a char row array, or false when it is not one.
inline bool charRow(const mxArray *a, std::string &out)
{
    if (a == nullptr || !mxIsChar(a) || mxGetNumberOfDimensions(a) != 2 || (mxGetM(a) != 1 && mxGetNumberOfElements(a) != 0))
        return false;
    char *s = mxArrayToString(a);
    if (s == nullptr) return false;
    out = s;
    mxFree(s);
    return true;
}

// Raises the failure as the host's error (the host unwinds from here). Call
// it only once everything the call made is released.
inline void raise(const Failure &f) { mexErrMsgIdAndTxt(f.id.c_str(), "%s", f.text.c_str()); }

}  // namespace gateway
