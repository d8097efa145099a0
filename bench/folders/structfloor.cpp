/*
 * The floor for any MEX lister: creates and returns an n x 1 structure array
 * with the fields name, date, bytes, isdir and datenum filled with made-up
 * values, without looking at any folder.
 *   s = structfloor(n)
 */
#include <stdio.h>

#include "mex.h"

void mexFunction(int nlhs, mxArray *plhs[], int nrhs, const mxArray *prhs[])
{
    (void)nlhs;
    size_t n = nrhs > 0 ? (size_t)mxGetScalar(prhs[0]) : 100000;
    const char *fields[5] = {"name", "date", "bytes", "isdir", "datenum"};
    mxArray *s = mxCreateStructMatrix(n, 1, 5, fields);
    char name[32];
    for (size_t i = 0; i < n; ++i) {
        snprintf(name, sizeof name, "file_%06zu.dat", i);
        mxSetFieldByNumber(s, i, 0, mxCreateString(name));
        mxSetFieldByNumber(s, i, 1, mxCreateString("08-Dec-2026 07:05:15"));
        mxSetFieldByNumber(s, i, 2, mxCreateDoubleScalar(0));
        mxSetFieldByNumber(s, i, 3, mxCreateLogicalScalar(0));
        mxSetFieldByNumber(s, i, 4, mxCreateDoubleScalar(740629.3));
    }
    plhs[0] = s;
}
