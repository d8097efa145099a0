/*
 * tablogger: appends selected samples of its input to a plain text file.
 *
 * Input (width w, at least 1): elements 1 .. w-1 are the values, element w
 * the trigger. Whenever the trigger is above 0.9, one row is appended: each
 * value as "%f " (the last one keeps its space too), then a line end. The
 * block writes nothing to its output (width 1).
 * Parameters: 1 new-file switch (not 0: the file is emptied at
 * initialisation and gets a one-line comment header naming the block and
 * the local time; 0: the file is left as it is), 2 file name (a character
 * array).
 *
 * The file is opened and closed for every row, so it is complete on disk
 * after every step and may be read while the model runs. A file that cannot
 * be opened is reported in the command window and the run goes on. A write
 * that fails (a full disk, a file size limit) stops the run through the
 * error status with the file name and the system's reason; the part of the
 * row that did reach the file is cut off again, so the file ends on its last
 * whole row.
 *
 * The column count w-1 is kept in the 16-bit DWork record "DWORK_NUMBER";
 * an input wider than 32768 elements, or one with no trigger element, is
 * refused at initialisation.
 */
#ifndef _WIN32
#define _FILE_OFFSET_BITS 64
#endif

#include <errno.h>
#include <stdio.h>
#include <string.h>
#include <time.h>

#ifdef _WIN32
#include <io.h>
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "simstruc.h"
#include "frame/block_util.h"

static const char kNoTrigger[] =
    "Error in tablogger : The input must have at least one element, the trigger.";
static const char kTooWide[] =
    "Error in tablogger : The input must not have more than 32768 elements (32767 values and the trigger).";
static const int_T kMaxWidth = 32768;

static const double kTriggerLevel = 0.9;

void mdlInitializeSizes(SimStruct *S)
{
    ssSetNumSFcnParams(S, 2);
    if (ssGetNumSFcnParams(S) != ssGetSFcnParamsCount(S)) return;
    ssSetNumContStates(S, 0);
    ssSetNumDiscStates(S, 0);
    if (!ssSetNumInputPorts(S, 1)) return;
    ssSetInputPortWidth(S, 0, DYNAMICALLY_SIZED);
    ssSetInputPortDirectFeedThrough(S, 0, 1);
    ssSetInputPortRequiredContiguous(S, 0, 0);
    if (!ssSetNumOutputPorts(S, 1)) return;
    ssSetOutputPortWidth(S, 0, 1);
    ssSetNumSampleTimes(S, 1);
    ssSetNumRWork(S, 0);
    ssSetNumIWork(S, 0);
    ssSetNumPWork(S, 0);
    if (block_has_dwork_service(S)) {
        ssSetNumDWork(S, 1);
        ssSetDWorkWidth(S, 0, 1);
        ssSetDWorkDataType(S, 0, SS_INT16);
        ssSetDWorkName(S, 0, "DWORK_NUMBER");
        ssSetDWorkUsageType(S, 0, SS_DWORK_USED_AS_DSTATE);
    }
    ssSetNumModes(S, 0);
    ssSetNumNonsampledZCs(S, 0);
    block_set_common_declaration_flags(S);
    ssSupportsMultipleExecInstances(S, 1);
}

void mdlInitializeSampleTimes(SimStruct *S)
{
    ssSetSampleTime(S, 0, 0.0);
    ssSetOffsetTime(S, 0, 0.0);
}

/* The column-count record, or null when the engine gave the block no DWork. */
static int16_T *columnRecord(const SimStruct *S)
{
    return ssGetNumDWork(S) >= 1 ? (int16_T *)ssGetDWork(S, 0) : NULL;
}

/*
 * The file name from parameter 2, as a zero-terminated text the caller
 * releases with mxFree. A parameter that is not a character array gives the
 * empty name, which no file has.
 */
static char *fileName(const SimStruct *S)
{
    const mxArray *p = ssGetSFcnParamsCount(S) > 1 ? ssGetSFcnParam(S, 1) : NULL;
    if (p == NULL || !mxIsChar(p)) return (char *)mxCalloc(1, 1);
    const size_t len = mxGetM(p) * mxGetN(p) + 1;
    char *name = (char *)mxCalloc(len, 1);
    mxGetString(p, name, (mwSize)len);
    return name;
}

/* Opens the named file in the given mode, or prints the error line and gives null. */
static FILE *openLog(const char *name, const char *mode)
{
    FILE *f = name[0] != '\0' ? fopen(name, mode) : NULL;
    if (f == NULL) mexPrintf("error: couldn't open file \"%s\"\n", name);
    return f;
}

/* The size of an open file, or -1 when it cannot be told. */
static long long fileSize(FILE *f)
{
#ifdef _WIN32
    return _filelengthi64(_fileno(f));
#else
    struct stat st;
    return fstat(fileno(f), &st) == 0 ? (long long)st.st_size : -1;
#endif
}

/* Cuts an open file back to the given size. */
static void cutFile(FILE *f, long long size)
{
#ifdef _WIN32
    (void)_chsize_s(_fileno(f), size);
#else
    (void)!ftruncate(fileno(f), (off_t)size);
#endif
}

/* The error status of a failed write; it outlives the call, as the engine reads it afterwards. */
static char writeFailure[512];

/*
 * Closes a file written since it was 'before' bytes long. When a write or
 * the close failed, the file is cut back to that size (a row is written
 * whole or not at all) and the failure becomes the block's error status.
 */
static void closeLog(SimStruct *S, FILE *f, const char *name, long long before)
{
    int failed = ferror(f) != 0 || fflush(f) != 0;
    int reason = errno;
    if (failed && before >= 0) cutFile(f, before);
    if (fclose(f) != 0 && !failed) {
        failed = 1;
        reason = errno;
    }
    if (!failed) return;
    snprintf(writeFailure, sizeof writeFailure, "Error in tablogger : Writing to file \"%s\" failed: %s", name,
             strerror(reason != 0 ? reason : EIO));
    ssSetErrorStatus(S, writeFailure);
}

/* The local date and time now; all zero if the clock cannot be read. */
static struct tm localNow(void)
{
    struct tm out;
    memset(&out, 0, sizeof out);
#ifdef _WIN32
    __time64_t now;
    _time64(&now);
    _localtime64_s(&out, &now);
#else
    const time_t now = time(NULL);
    localtime_r(&now, &out);
#endif
    return out;
}

void mdlInitializeConditions(SimStruct *S)
{
    const int_T width = ssGetInputPortWidth(S, 0);
    if (width < 1) {
        ssSetErrorStatus(S, kNoTrigger);
        return;
    }
    if (width > kMaxWidth) {
        ssSetErrorStatus(S, kTooWide);
        return;
    }
    int16_T *columns = columnRecord(S);
    if (columns != NULL) *columns = (int16_T)(width - 1);

    double newFile = 0.0;
    /* A switch with no number to read leaves the file alone rather than emptying it. */
    if (!block_param_first_double(S, 0, &newFile) || newFile == 0.0) return;

    char *name = fileName(S);
    FILE *f = openLog(name, "w");
    if (f != NULL) {
        const struct tm now = localNow();
        errno = 0;
        fprintf(f, "%% This file has been generated at %d:%d on %d.%d.%d by the block \"%s\"\n", now.tm_hour,
                now.tm_min, now.tm_mday, now.tm_mon + 1, now.tm_year + 1900, ssGetPath(S));
        closeLog(S, f, name, 0);
    }
    mxFree(name);
}

void mdlOutputs(SimStruct *S, int_T tid)
{
    (void)tid;
    const int_T width = ssGetInputPortWidth(S, 0);
    const int16_T *columns = columnRecord(S);
    const int_T n = columns != NULL ? *columns : width - 1;
    /* An input with no element at n (a width refused at initialisation) is not read. */
    if (n < 0 || n >= width) return;

    InputRealPtrsType u = ssGetInputPortRealSignalPtrs(S, 0);
    if (!(*u[n] > kTriggerLevel)) return;

    char *name = fileName(S);
    FILE *f = openLog(name, "a");
    if (f != NULL) {
        const long long before = fileSize(f);
        errno = 0;
        for (int_T i = 0; i < n; ++i) fprintf(f, "%f ", *u[i]);
        fprintf(f, "\n");
        closeLog(S, f, name, before);
    }
    mxFree(name);
}

void mdlTerminate(SimStruct *S) { (void)S; }
