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
 * be opened is reported in the command window and the run goes on.
 *
 * The column count w-1 is kept in the 16-bit DWork record "DWORK_NUMBER";
 * an input wider than 32768 elements, or one with no trigger element, is
 * refused at initialisation.
 */
#include <stdio.h>
#include <string.h>
#include <time.h>

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
    if (ssHasDWorkService(S)) {
        ssSetNumDWork(S, 1);
        ssSetDWorkWidth(S, 0, 1);
        ssSetDWorkDataType(S, 0, SS_INT16);
        ssSetDWorkName(S, 0, "DWORK_NUMBER");
        ssSetDWorkUsageType(S, 0, SS_DWORK_USED_AS_DSTATE);
    }
    ssSetNumModes(S, 0);
    ssSetNumNonsampledZCs(S, 0);
    ssSetCommonDeclarationFlags(S);
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
    if (!ssParamFirstDouble(S, 0, &newFile) || newFile == 0.0) return;

    char *name = fileName(S);
    FILE *f = openLog(name, "w");
    if (f != NULL) {
        const struct tm now = localNow();
        fprintf(f, "%% This file has been generated at %d:%d on %d.%d.%d by the block \"%s\"\n", now.tm_hour,
                now.tm_min, now.tm_mday, now.tm_mon + 1, now.tm_year + 1900, ssGetPath(S));
        fclose(f);
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
        for (int_T i = 0; i < n; ++i) fprintf(f, "%f ", *u[i]);
        fprintf(f, "\n");
        fclose(f);
    }
    mxFree(name);
}

void mdlTerminate(SimStruct *S) { (void)S; }
