/*
 * The MEX API as served by the embedded host (libmx in host/mx).
 *
 * Names and signatures are the standard ones, so a deliverable source compiles
 * unchanged against this header, against GNU Octave's mex.h or against
 * MATLAB's. Only the subset the deliverables, the engine and the tests use is
 * declared here.
 */
#ifndef SIMBLOCKS_MEX_H
#define SIMBLOCKS_MEX_H

#include <stddef.h>
#include <stdbool.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct mxArray_tag mxArray;

typedef size_t mwSize;
typedef size_t mwIndex;
typedef ptrdiff_t mwSignedIndex;
typedef uint16_t mxChar;
typedef bool mxLogical;

typedef enum {
    mxUNKNOWN_CLASS = 0,
    mxCELL_CLASS,
    mxSTRUCT_CLASS,
    mxLOGICAL_CLASS,
    mxCHAR_CLASS,
    mxVOID_CLASS,
    mxDOUBLE_CLASS,
    mxSINGLE_CLASS,
    mxINT8_CLASS,
    mxUINT8_CLASS,
    mxINT16_CLASS,
    mxUINT16_CLASS,
    mxINT32_CLASS,
    mxUINT32_CLASS,
    mxINT64_CLASS,
    mxUINT64_CLASS,
    mxFUNCTION_CLASS
} mxClassID;

typedef enum { mxREAL = 0, mxCOMPLEX = 1 } mxComplexity;

/* The entry point every deliverable exports. */
void mexFunction(int nlhs, mxArray *plhs[], int nrhs, const mxArray *prhs[]);

/* Shape and class queries. */
size_t mxGetM(const mxArray *pa);
size_t mxGetN(const mxArray *pa);
void mxSetM(mxArray *pa, mwSize m);
void mxSetN(mxArray *pa, mwSize n);
size_t mxGetNumberOfElements(const mxArray *pa);
mwSize mxGetNumberOfDimensions(const mxArray *pa);
const mwSize *mxGetDimensions(const mxArray *pa);
size_t mxGetElementSize(const mxArray *pa);
mxClassID mxGetClassID(const mxArray *pa);
const char *mxGetClassName(const mxArray *pa);

bool mxIsNumeric(const mxArray *pa);
bool mxIsDouble(const mxArray *pa);
bool mxIsSingle(const mxArray *pa);
bool mxIsInt8(const mxArray *pa);
bool mxIsUint8(const mxArray *pa);
bool mxIsInt16(const mxArray *pa);
bool mxIsUint16(const mxArray *pa);
bool mxIsInt32(const mxArray *pa);
bool mxIsUint32(const mxArray *pa);
bool mxIsInt64(const mxArray *pa);
bool mxIsUint64(const mxArray *pa);
bool mxIsComplex(const mxArray *pa);
bool mxIsEmpty(const mxArray *pa);
bool mxIsChar(const mxArray *pa);
bool mxIsCell(const mxArray *pa);
bool mxIsStruct(const mxArray *pa);
bool mxIsLogical(const mxArray *pa);
bool mxIsSparse(const mxArray *pa);  /* this host has no sparse arrays: always false */
bool mxIsClass(const mxArray *pa, const char *name);

/* Data access. */
double *mxGetPr(const mxArray *pa);
double *mxGetPi(const mxArray *pa);
void *mxGetData(const mxArray *pa);
void *mxGetImagData(const mxArray *pa);
void mxSetData(mxArray *pa, void *data);
mxLogical *mxGetLogicals(const mxArray *pa);
mxChar *mxGetChars(const mxArray *pa);
double mxGetScalar(const mxArray *pa);

/* Cells and structures. */
mxArray *mxGetCell(const mxArray *pa, mwIndex i);
void mxSetCell(mxArray *pa, mwIndex i, mxArray *value);
int mxGetNumberOfFields(const mxArray *pa);
const char *mxGetFieldNameByNumber(const mxArray *pa, int n);
int mxGetFieldNumber(const mxArray *pa, const char *name);
mxArray *mxGetFieldByNumber(const mxArray *pa, mwIndex i, int fieldnum);
mxArray *mxGetField(const mxArray *pa, mwIndex i, const char *fieldname);
void mxSetFieldByNumber(mxArray *pa, mwIndex i, int fieldnum, mxArray *value);
void mxSetField(mxArray *pa, mwIndex i, const char *fieldname, mxArray *value);

/* Text. */
int mxGetString(const mxArray *pa, char *buf, mwSize buflen);
char *mxArrayToString(const mxArray *pa);

/* Creation and destruction. */
mxArray *mxCreateDoubleMatrix(mwSize m, mwSize n, mxComplexity flag);
mxArray *mxCreateDoubleScalar(double value);
mxArray *mxCreateNumericMatrix(mwSize m, mwSize n, mxClassID classid, mxComplexity flag);
mxArray *mxCreateNumericArray(mwSize ndim, const mwSize *dims, mxClassID classid, mxComplexity flag);
mxArray *mxCreateLogicalScalar(mxLogical value);
mxArray *mxCreateLogicalMatrix(mwSize m, mwSize n);
mxArray *mxCreateString(const char *str);
mxArray *mxCreateCharMatrixFromStrings(mwSize m, const char **str);
mxArray *mxCreateCellMatrix(mwSize m, mwSize n);
mxArray *mxCreateStructMatrix(mwSize m, mwSize n, int nfields, const char **fieldnames);
mxArray *mxDuplicateArray(const mxArray *in);
void mxDestroyArray(mxArray *pa);

/* Special values. */
double mxGetInf(void);
double mxGetNaN(void);
double mxGetEps(void);
bool mxIsNaN(double x);
bool mxIsInf(double x);
bool mxIsFinite(double x);

/* Host memory. Memory a call leaves allocated is released when it returns. */
void *mxCalloc(size_t n, size_t size);
void *mxMalloc(size_t n);
void *mxRealloc(void *ptr, size_t size);
void mxFree(void *ptr);

/* Output and errors. mexErrMsgTxt does not return. */
int mexPrintf(const char *fmt, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;
#if defined(__GNUC__)
__attribute__((noreturn))
#endif
void mexErrMsgTxt(const char *msg);
/* mexErrMsgIdAndTxt formats its message printf-style and raises it with an
 * identifier such as "simblocks:heliopose:notRealDouble"; it does not return. */
#if defined(__GNUC__)
__attribute__((noreturn, format(printf, 2, 3)))
#endif
void mexErrMsgIdAndTxt(const char *id, const char *fmt, ...);
void mexWarnMsgTxt(const char *msg);
/* mexWarnMsgIdAndTxt formats a warning printf-style, with an identifier such
 * as "simblocks:tiltflux:closure", and returns: the embedded host prints
 * "Warning: <text> [<identifier>]" to the host's output stream. */
void mexWarnMsgIdAndTxt(const char *id, const char *fmt, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 2, 3)))
#endif
    ;

#ifdef __cplusplus
}
#endif

#endif
