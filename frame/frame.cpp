/*
 * The S-function frame: the mexFunction of every block library.
 *
 * Compiled into each block with two inputs from the build:
 *   S_FUNCTION_NAME      the block's name (atmoglow, wait, ...)
 *   MDL_INITIALIZE_CONDITIONS, MDL_START, MDL_UPDATE, MDL_CHECK_PARAMETERS
 *                        defined for each optional callback the block has.
 *
 * Two paths meet here. With nlhs < 0 the engine calls an existing instance
 * (passed in plhs[1]) with a request flag in prhs[3]; the frame dispatches it
 * to the block's callbacks or reports why it cannot. With nlhs >= 0 the call
 * is the sizes call: from the engine for a new instance (a two-row reference
 * in prhs[1] carrying the instance's address and the version tag) or from the
 * command line, where the frame makes a stand-alone instance of its own.
 *
 * The frame keeps no state of its own: everything lives in the instance.
 */
#include <math.h>
#include <stdint.h>
#include <stdio.h>
#include <string.h>

#include "simstruc.h"

#ifndef S_FUNCTION_NAME
#error "S_FUNCTION_NAME must name the block"
#endif

#define FRAME_STRINGIFY2(x) #x
#define FRAME_STRINGIFY(x) FRAME_STRINGIFY2(x)

static const char kBlockName[] = FRAME_STRINGIFY(S_FUNCTION_NAME);
/* Identifier of an error of the sizes call: simblocks:<block>:<what>. */
#define FRAME_ERROR_ID(what) "simblocks:" FRAME_STRINGIFY(S_FUNCTION_NAME) ":" what
static const char kIdentity[] = "MEX level2 S-function \"" FRAME_STRINGIFY(S_FUNCTION_NAME) "\"";

/* Callbacks every block defines. */
void mdlInitializeSizes(SimStruct *S);
void mdlInitializeSampleTimes(SimStruct *S);
void mdlOutputs(SimStruct *S, int_T tid);
void mdlTerminate(SimStruct *S);
/* Optional callbacks, by the block's choice. */
#ifdef MDL_INITIALIZE_CONDITIONS
void mdlInitializeConditions(SimStruct *S);
#endif
#ifdef MDL_START
void mdlStart(SimStruct *S);
#endif
#ifdef MDL_UPDATE
void mdlUpdate(SimStruct *S, int_T tid);
#endif
#ifdef MDL_CHECK_PARAMETERS
void mdlCheckParameters(SimStruct *S);
#endif

enum { FRAME_MSG_LEN = 256 };

static const char kInvalidFlag[] = "Invalid flag encountered in simulink";
static const char kNoVarHit[] =
    "To have a variable sample time, you must define MDL_GET_TIME_OF_NEXT_VAR_HIT and add a "
    "mdlGetTimeOfNextVarHit routine";
static const char kNoZeroCrossings[] =
    "To have nonsampled zero crossings, you must define MDL_ZERO_CROSSINGS and have a "
    "mdlZeroCrossings routine";

/* The frame's own handlers for the variable-hit and zero-crossing slots. */
static void frameNoVarHit(SimStruct *S) { ssSetErrorStatus(S, kNoVarHit); }
static void frameNoZeroCrossings(SimStruct *S) { ssSetErrorStatus(S, kNoZeroCrossings); }

/* ---- Engine path -------------------------------------------------------- */

/* Truncates the flag toward zero; a value no int can hold is no valid flag. */
static int frameFlagOf(double f)
{
    if (!(f > -2147483648.0 && f < 2147483648.0)) return -1;
    return (int)f;
}

static void frameEngineCall(mxArray *plhs[], const mxArray *prhs[])
{
    SimStruct *S = (SimStruct *)plhs[1];
    const int flag = frameFlagOf(mxGetPr(prhs[3])[0]);
    if (flag == 104) { /* the request of every step comes first */
        mdlOutputs(S, ssGetMexApiInt1(S) == -2 ? -2 : 0);
        return;
    }
    struct _ssSFcnModelMethods *m = &S->modelMethods;
    struct _ssSFcnModelMethods2 *m2 = S->modelMethods2;
    struct _ssMdlInfo *info = ssGetMdlInfo(S);
    const int_T port = ssGetMexApiInt1(S);
    const uint32_T portFlags = ssGetFlags(S);

    switch (flag) {
    case 101:
        mdlInitializeSampleTimes(S);
        return;
#ifdef MDL_INITIALIZE_CONDITIONS
    case 102:
        if (m->mdlInitializeConditions != NULL) mdlInitializeConditions(S);
        else ssSetErrorStatus(S, "Unexpected call to mdlInitializeConditions");
        return;
#endif
    case 103:
        ssSetErrorStatus(S, kNoVarHit);
        return;
#ifdef MDL_UPDATE
    case 105:
        if (m->mdlUpdate != NULL) mdlUpdate(S, 0);
        else ssSetErrorStatus(S, "Unexpected call to mdlUpdate");
        return;
#endif
    case 107:
        return;
    case 108:
        ssSetErrorStatus(S, kNoZeroCrossings);
        return;
    case 111:
        if (m->mdlSetWorkWidths != NULL) m->mdlSetWorkWidths(S);
        else ssSetErrorStatus(S, "Unexpected call to mdlSetWorkWidths");
        return;
    case 112:
        if (m->mdlCheckParameters != NULL) m->mdlCheckParameters(S);
        else ssSetErrorStatus(S, "Unexpected call to mdlCheckParameters");
        return;
    case 113:
        if (m->mdlSetInputPortDataType != NULL) m->mdlSetInputPortDataType(S, port, info->intValue);
        else ssSetErrorStatus(S, "Unexpected call to mdlSetInputPortDataType");
        return;
    case 114:
        if (m->mdlSetOutputPortDataType != NULL) m->mdlSetOutputPortDataType(S, port, info->intValue);
        else ssSetErrorStatus(S, "Unexpected call to mdlSetOutputPortDataType");
        return;
    case 115:
        if ((portFlags & SS_FLAG_PORT_DIMS_INFO) == 0 && m->mdlSetInputPortSize.width != NULL)
            m->mdlSetInputPortSize.width(S, port, info->intValue);
        else ssSetErrorStatus(S, "Unexpected call to mdlSetInputPortWidth");
        return;
    case 116:
        if ((portFlags & SS_FLAG_PORT_DIMS_INFO) == 0 && m->mdlSetOutputPortSize.width != NULL)
            m->mdlSetOutputPortSize.width(S, port, info->intValue);
        else ssSetErrorStatus(S, "Unexpected call to mdlSetOutputPortWidth");
        return;
#ifdef MDL_START
    case 117:
        if (m->mdlStart != NULL) mdlStart(S);
        else ssSetErrorStatus(S, "Unexpected call to mdlStart");
        return;
#endif
    case 120:
        if (m->mdlSetInputPortComplexSignal != NULL) m->mdlSetInputPortComplexSignal(S, port, info->intValue);
        else ssSetErrorStatus(S, "Unexpected call to mdlSetInputPortComplexSignal");
        return;
    case 121:
        if (m->mdlSetOutputPortComplexSignal != NULL) m->mdlSetOutputPortComplexSignal(S, port, info->intValue);
        else ssSetErrorStatus(S, "Unexpected call to mdlSetOutputPortComplexSignal");
        return;
    case 122:
        if (m->mdlSetInputPortSampleTime != NULL)
            m->mdlSetInputPortSampleTime(S, port, info->sampleTime, info->offsetTime);
        else ssSetErrorStatus(S, "Unexpected call to mdlSetInputPortSampleTime");
        return;
    case 123:
        if (m->mdlSetOutputPortSampleTime != NULL)
            m->mdlSetOutputPortSampleTime(S, port, info->sampleTime, info->offsetTime);
        else ssSetErrorStatus(S, "Unexpected call to mdlSetOutputPortSampleTime");
        return;
    case 126:
        if ((portFlags & SS_FLAG_PORT_DIMS_INFO) != 0 && m->mdlSetInputPortSize.dims != NULL)
            m->mdlSetInputPortSize.dims(S, port, info->dimsInfo);
        else ssSetErrorStatus(S, "Unexpected call to mdlSetInputPortDimensionInfo");
        return;
    case 127:
        if ((portFlags & SS_FLAG_PORT_DIMS_INFO) != 0 && m->mdlSetOutputPortSize.dims != NULL)
            m->mdlSetOutputPortSize.dims(S, port, info->dimsInfo);
        else ssSetErrorStatus(S, "Unexpected call to mdlSetOutputPortDimensionInfo");
        return;
    case 128:
        if (m2 != NULL && m2->mdlSetInputPortFrameData != NULL) m2->mdlSetInputPortFrameData(S, port, info->intValue);
        else ssSetErrorStatus(S, "Unexpected call to mdlSetInputPortFrameData");
        return;
    case 131:
        if (m2 != NULL && m2->mdlSetDefaultPortDimensionInfo != NULL) m2->mdlSetDefaultPortDimensionInfo(S);
        else ssSetErrorStatus(S, "Unexpected call to mdlSetDefaultPortDimensionInfo");
        return;
    case 132:
        if (m2 != NULL && m2->mdlSetDefaultPortDataTypes != NULL) m2->mdlSetDefaultPortDataTypes(S);
        else ssSetErrorStatus(S, "Unexpected call to mdlSetDefaultPortDataTypes");
        return;
    case 133:
        if (m2 != NULL && m2->mdlSetDefaultPortComplexSignals != NULL) m2->mdlSetDefaultPortComplexSignals(S);
        else ssSetErrorStatus(S, "Unexpected call to mdlSetDefaultPortComplexSignals");
        return;
    case 142:
        if (m2 != NULL && m2->mdlInitializePropagationPass != NULL) m2->mdlInitializePropagationPass(S, port);
        else ssSetErrorStatus(S, "Unexpected call to mdlInitializePropagationPass");
        return;
    case 144:
        ssSetErrorStatus(S, "Unexpected call to mdlGetSimState (MDL_SIM_STATE not defined)");
        return;
    case 145:
        ssSetErrorStatus(S, "Unexpected call to mdlSetSimState (MDL_SIM_STATE not defined)");
        return;
    default:
        ssSetErrorStatus(S, kInvalidFlag);
        return;
    }
}

/* ---- Sizes call ------------------------------------------------------------ */

/* Formats a message into the frame's 256-character buffer (truncating) and
 * raises it with its identifier. */
static void frameRaise(const char *id, const char *fmt, const char *a, const char *b)
{
    char msg[FRAME_MSG_LEN];
    if (b != NULL) snprintf(msg, sizeof msg, fmt, a, b);
    else snprintf(msg, sizeof msg, fmt, a);
    mexErrMsgIdAndTxt(id, "%s", msg);
}

/* Port registration services of a stand-alone instance. */
static int_T frameRegisterPorts(SimStruct *S, int_T n, int input)
{
    if (n < 0) return 0;
    ssSetFlags(S, ssGetFlags(S) | SS_FLAG_PORTS_REGISTERED);
    if (input) {
        ssSetSizeField(S, SS_SIZES_NUM_INPUT_PORTS, n);
        if (n > 0) S->portInfo.inputs = (struct _ssPortInputs *)mxCalloc((size_t)n, sizeof(struct _ssPortInputs));
    } else {
        ssSetSizeField(S, SS_SIZES_NUM_OUTPUT_PORTS, n);
        if (n > 0) S->portInfo.outputs = (struct _ssPortOutputs *)mxCalloc((size_t)n, sizeof(struct _ssPortOutputs));
    }
    return 1;
}

static int_T frameRegisterInputPorts(void *arg, int_T n) { return frameRegisterPorts((SimStruct *)arg, n, 1); }
static int_T frameRegisterOutputPorts(void *arg, int_T n) { return frameRegisterPorts((SimStruct *)arg, n, 0); }

static SimStruct *frameStandAloneInstance(int nrhs, const mxArray *prhs[])
{
    SimStruct *S = (SimStruct *)mxCalloc(1, sizeof(SimStruct));
    struct _ssMdlInfo *info = (struct _ssMdlInfo *)mxCalloc(1, sizeof(struct _ssMdlInfo));
    info->first = 1;
    S->root = S;
    S->mdlInfo = info;
    S->modelName = kBlockName;
    S->path = kBlockName;
    S->sfcnParams.count = nrhs > 4 ? nrhs - 4 : 0;
    if (S->sfcnParams.count > 0) {
        S->sfcnParams.params = (const mxArray **)mxCalloc((size_t)S->sfcnParams.count, sizeof(mxArray *));
        for (int i = 0; i < S->sfcnParams.count; ++i) S->sfcnParams.params[i] = prhs[4 + i];
    }
    S->portInfo.regNumInputPortsFcn = frameRegisterInputPorts;
    S->portInfo.regNumInputPortsFcnArg = S;
    S->portInfo.regNumOutputPortsFcn = frameRegisterOutputPorts;
    S->portInfo.regNumOutputPortsFcnArg = S;
    return S;
}

static void frameInstallMethods(SimStruct *S)
{
    struct _ssSFcnModelMethods *m = &S->modelMethods;
    m->mdlInitializeSizes = mdlInitializeSizes;
    m->mdlInitializeSampleTimes = mdlInitializeSampleTimes;
    m->mdlOutputs = mdlOutputs;
    m->mdlTerminate = mdlTerminate;
#ifdef MDL_INITIALIZE_CONDITIONS
    m->mdlInitializeConditions = mdlInitializeConditions;
#endif
#ifdef MDL_START
    m->mdlStart = mdlStart;
#endif
#ifdef MDL_UPDATE
    m->mdlUpdate = mdlUpdate;
#endif
#ifdef MDL_CHECK_PARAMETERS
    m->mdlCheckParameters = mdlCheckParameters;
#endif
    m->mdlGetTimeOfNextVarHit = frameNoVarHit;
    m->mdlZeroCrossings = frameNoZeroCrossings;
}

/*
 * The engine passes its instance as a real double array of exactly two rows:
 * the record's address and the version tag. Anything else, including a
 * two-row array of another class or one with no column (whose data block, if
 * the host keeps one, holds no element to read), means no engine instance.
 */
static SimStruct *frameEngineInstance(const mxArray *ref)
{
    if (mxGetM(ref) != 2 || mxGetNumberOfElements(ref) < 2 || !mxIsDouble(ref) || mxIsComplex(ref)) return NULL;
    const double *p = mxGetPr(ref);
    if (p == NULL || p[1] != (double)SIMSTRUCT_VERSION_LEVEL2) return NULL;
    return (SimStruct *)(uintptr_t)p[0];
}

static void frameSizesCall(int nlhs, mxArray *plhs[], int nrhs, const mxArray *prhs[])
{
    if (nrhs < 4)
        frameRaise(FRAME_ERROR_ID("tooFewInputs"), "%s must be called with at least 4 right hand arguments", kIdentity,
                   NULL);
    if (nlhs > 1)
        frameRaise(FRAME_ERROR_ID("tooManyOutputs"), "%s called with too many left hand arguments", kIdentity, NULL);

    const mxArray *flagArg = prhs[3];
    if (mxGetM(flagArg) * mxGetN(flagArg) != 1 || mxIsComplex(flagArg) || !mxIsNumeric(flagArg))
        frameRaise(FRAME_ERROR_ID("flagNotInteger"),
                   "The 4th right hand argument, FLAG, passed to %s must be an integer", kIdentity, NULL);
    /* Read as a double whatever the numeric class: an integer FLAG holds fewer than eight bytes. */
    const double flagValue = mxGetScalar(flagArg);
    if (!(flagValue > -2147483649.0 && flagValue < 2147483648.0) || (double)(int)flagValue != flagValue)
        frameRaise(FRAME_ERROR_ID("flagNotInteger"),
                   "The 4th right hand argument, FLAG, passed to %s must be an integer", kIdentity, NULL);
    if ((int)flagValue != 0) frameRaise(FRAME_ERROR_ID("invalidFlag"), "Invalid flag passed to %s", kIdentity, NULL);

    SimStruct *S = frameEngineInstance(prhs[1]);
    if (S != NULL) {
        if (strcmp(kBlockName, "simulink_only_sfcn") != 0 && strcmp(ssGetModelName(S), kBlockName) != 0) {
            frameRaise(FRAME_ERROR_ID("nameMismatch"),
                       "S-function name mismatch. Name in source is \"#define S_FUNCTION_NAME %s\", whereas "
                       "name of the S-function MEX file is \"%s\". The source needs to be updated",
                       kBlockName, ssGetModelName(S));
        }
        frameInstallMethods(S);
    } else {
        S = frameStandAloneInstance(nrhs, prhs);
    }

    ssSetVersion(S, SIMSTRUCT_VERSION_LEVEL2);
    ssCallGenericFcn(S, SS_REQUEST_FRAME_SIZES_CALL, 1, NULL);
    mdlInitializeSizes(S);

    mxArray *sizes = mxCreateDoubleMatrix(SS_SIZES_COUNT, 1, mxREAL);
    plhs[0] = sizes;
    double *v = mxGetPr(sizes);
    for (int i = 0; i < SS_SIZES_COUNT; ++i) v[i] = (double)(int32_T)S->sizes[i];
    ssSetOptions(S, ssGetOptions(S) | SS_OPTION_SFUNCTION_INLINED);
    for (int i = 15; i <= 18; ++i) v[i] = (double)S->sizes[i];
    v[SS_SIZES_OPTIONS] = (double)ssGetOptions(S);
}

void mexFunction(int nlhs, mxArray *plhs[], int nrhs, const mxArray *prhs[])
{
    if (nlhs < 0) frameEngineCall(plhs, prhs);
    else frameSizesCall(nlhs, plhs, nrhs, prhs);
}
