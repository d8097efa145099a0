/*
 * The block instance record (SimStruct), the model-wide record, port records,
 * DWork records and the method tables through which the engine and a block
 * meet, with the accessors blocks use to reach them.
 *
 * Blocks touch the record only through the ss* accessors below, named as
 * Level-2 S-functions conventionally name them, and the few block_* helpers
 * of this toolbox at the end. The layout is this project's own. The header needs nothing from the host but the mxArray type, so it
 * compiles against our mex.h and against GNU Octave's.
 */
#ifndef SIMBLOCKS_SIMSTRUC_H
#define SIMBLOCKS_SIMSTRUC_H

#include <stddef.h>
#include <stdint.h>
#include "mex.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef double real_T;
typedef double time_T;
typedef int int_T;
typedef unsigned int uint_T;
typedef int8_t int8_T;
typedef uint8_t uint8_T;
typedef int16_t int16_T;
typedef uint16_t uint16_T;
typedef int32_t int32_T;
typedef uint32_t uint32_T;
typedef unsigned char boolean_T;
typedef char char_T;
typedef const real_T *const *InputRealPtrsType;

typedef struct SimStruct_tag SimStruct;

/* Version tag of this record layout: record size 520 times 10000 plus 229. */
#define SIMSTRUCT_VERSION_LEVEL2 5200229

#define DYNAMICALLY_SIZED (-1)
#define CONTINUOUS_SAMPLE_TIME 0.0
#define INHERITED_SAMPLE_TIME (-1.0)

/* Built-in data type codes (DWork records, ports). */
enum {
    SS_DOUBLE = 0, SS_SINGLE = 1, SS_INT8 = 2, SS_UINT8 = 3, SS_INT16 = 4,
    SS_UINT16 = 5, SS_INT32 = 6, SS_UINT32 = 7, SS_BOOLEAN = 8
};

/* DWork usage codes. */
enum {
    SS_DWORK_USED_AS_DWORK = 0,
    SS_DWORK_USED_AS_DSTATE = 1,
    SS_DWORK_USED_AS_SCRATCH = 2,
    SS_DWORK_USED_AS_MODE = 3
};

/* The sizes block: 38 consecutive 32-bit fields, in sizes-vector order. */
enum {
    SS_SIZES_NUM_CONT_STATES = 0,
    SS_SIZES_NUM_DISC_STATES = 1,
    SS_SIZES_NUM_OUTPUT_PORTS = 2,
    SS_SIZES_NUM_INPUT_PORTS = 3,
    SS_SIZES_MEX_API_INT1 = 4,      /* port index of a port request, task marker of outputs */
    SS_SIZES_NUM_SAMPLE_TIMES = 6,
    SS_SIZES_NUM_SFCN_PARAMS = 7,
    SS_SIZES_NUM_IWORK = 8,
    SS_SIZES_NUM_RWORK = 9,
    SS_SIZES_NUM_PWORK = 10,
    SS_SIZES_VERSION = 19,
    SS_SIZES_NUM_NONSAMPLED_ZCS = 20,
    SS_SIZES_NUM_MODES = 22,
    SS_SIZES_OPTIONS = 23,
    SS_SIZES_FLAGS = 31,
    SS_SIZES_COUNT = 38
};

/* Bits of the instance's flags word. */
#define SS_FLAG_PORT_DIMS_INFO      0x1u      /* port-size slots take a dimension record */
#define SS_FLAG_PORTS_REGISTERED    0x2u
#define SS_FLAG_SAMPLE_TIME_RULE_LO 0x800u    /* two-bit field 0x800/0x1000 */
#define SS_FLAG_SAMPLE_TIME_RULE_HI 0x1000u
#define SS_FLAG_COMMON_SET          0x880000u
#define SS_FLAG_COMMON_CLEAR        0x700000u

/* Bits of the model-wide flag word. */
#define SS_MDL_FLAG_NO_ERROR        0x1000u   /* cleared by every error report */
#define SS_MDL_FLAG_SECOND_RUN      0x8000u

/* Option bits. */
#define SS_OPTION_EXCEPTION_FREE_CODE    0x2u
#define SS_OPTION_SFUNCTION_INLINED      0x2000u  /* added by the frame's sizes call */

typedef struct {
    int_T width;
    int_T numDims;
    const int_T *dims;
} DimsInfo_T;

/* Engine's generic request function. */
typedef int_T (*SsGenericFcn)(SimStruct *S, int_T request, int_T intArg, void *data);
/* Port registration service: (argument, count) -> nonzero on success. */
typedef int_T (*SsRegNumPortsFcn)(void *arg, int_T count);
/* DWork-count service. */
typedef int_T (*SsSetNumDWorkFcn)(SimStruct *S, int_T count);

typedef void (*mdlSimpleFcn)(SimStruct *S);
typedef void (*mdlTidFcn)(SimStruct *S, int_T tid);
typedef void (*mdlPortIntFcn)(SimStruct *S, int_T port, int_T value);
typedef void (*mdlPortDimsFcn)(SimStruct *S, int_T port, const DimsInfo_T *dims);
typedef void (*mdlPortTimeFcn)(SimStruct *S, int_T port, real_T sampleTime, real_T offsetTime);
typedef void (*mdlIntFcn)(SimStruct *S, int_T value);

/* The port-size slots serve a width request or a dimension request, by flags bit 0x1. */
typedef union {
    mdlPortIntFcn width;
    mdlPortDimsFcn dims;
} SsPortSizeSlot;

struct _ssSFcnModelMethods {
    mdlSimpleFcn mdlInitializeSizes;
    mdlSimpleFcn mdlInitializeSampleTimes;
    mdlSimpleFcn mdlInitializeConditions;
    mdlSimpleFcn mdlStart;
    mdlSimpleFcn mdlCheckParameters;
    mdlSimpleFcn mdlGetTimeOfNextVarHit;
    mdlTidFcn mdlOutputs;
    mdlTidFcn mdlUpdate;
    mdlSimpleFcn mdlZeroCrossings;
    mdlSimpleFcn mdlTerminate;
    mdlSimpleFcn mdlSetWorkWidths;
    SsPortSizeSlot mdlSetInputPortSize;
    SsPortSizeSlot mdlSetOutputPortSize;
    mdlPortIntFcn mdlSetInputPortDataType;
    mdlPortIntFcn mdlSetOutputPortDataType;
    mdlPortIntFcn mdlSetInputPortComplexSignal;
    mdlPortIntFcn mdlSetOutputPortComplexSignal;
    mdlPortTimeFcn mdlSetInputPortSampleTime;
    mdlPortTimeFcn mdlSetOutputPortSampleTime;
};

/* Extension table. */
struct _ssSFcnModelMethods2 {
    mdlPortIntFcn mdlSetInputPortFrameData;
    mdlSimpleFcn mdlSetDefaultPortDimensionInfo;
    mdlSimpleFcn mdlSetDefaultPortDataTypes;
    mdlSimpleFcn mdlSetDefaultPortComplexSignals;
    mdlIntFcn mdlInitializePropagationPass;
};

struct _ssPortInputs {
    int_T width;
    int_T directFeedThrough;
    int_T contiguous;
    union {
        const real_T *const *ptrs; /* one pointer per element */
        const void *vect;          /* the elements, for a contiguous port */
    } signal;
    int_T dataTypeId;
    int_T complexSignal;
    int_T frameData;
    real_T sampleTime;
    real_T offsetTime;
};

struct _ssPortOutputs {
    int_T width;
    void *signal;
    int_T dataTypeId;
    int_T complexSignal;
    int_T frameData;
    real_T sampleTime;
    real_T offsetTime;
};

struct _ssDWorkRecord {
    int_T width;
    int_T dataTypeId;
    int_T complexSignal;
    const char *name;
    int_T usedAs;
    void *array;
};

/* Model-wide information record, shared by all instances of a model. */
struct _ssMdlInfo {
    int32_T first;              /* 1 on a stand-alone instance */
    const real_T *t;            /* current simulation time, seconds */
    uint32_T flags;             /* model-wide flag word */
    /* Value slots of a port request. */
    int32_T intValue;
    const DimsInfo_T *dimsInfo;
    real_T sampleTime;
    real_T offsetTime;
    SsGenericFcn genericFcn;    /* may be null */
};

struct SimStruct_tag {
    const char *modelName;
    const char *path;
    SimStruct *root;
    const char *errorStatus;
    uint32_T sizes[SS_SIZES_COUNT];
    struct {
        int_T count;
        const mxArray **params;
    } sfcnParams;
    struct {
        SsRegNumPortsFcn regNumInputPortsFcn;
        void *regNumInputPortsFcnArg;
        SsRegNumPortsFcn regNumOutputPortsFcn;
        void *regNumOutputPortsFcnArg;
        struct _ssPortInputs *inputs;
        struct _ssPortOutputs *outputs;
    } portInfo;
    real_T *sampleTimes;
    real_T *offsetTimes;
    int_T *iwork;
    real_T *rwork;
    void **pwork;
    void *ownerBlock;           /* engine block handle; null on a stand-alone instance */
    SsSetNumDWorkFcn setNumDWorkFcn;  /* null when the engine offers no DWork service */
    int_T numDWork;
    struct _ssDWorkRecord *dwork;
    struct _ssSFcnModelMethods modelMethods;
    struct _ssSFcnModelMethods2 *modelMethods2;
    struct _ssMdlInfo *mdlInfo;
    void *userData;             /* the engine's own back reference */
};

/* ---- Identity, root and the error report ------------------------------- */

static inline const char *ssGetModelName(const SimStruct *S) { return S->modelName; }
static inline const char *ssGetPath(const SimStruct *S) { return S->path; }
static inline SimStruct *ssGetRootSS(const SimStruct *S) { return S->root; }
static inline struct _ssMdlInfo *ssGetMdlInfo(const SimStruct *S) { return S->root->mdlInfo; }
static inline const char *ssGetErrorStatus(const SimStruct *S) { return S->root->errorStatus; }
static inline void *ssGetOwnerBlock(const SimStruct *S) { return S->ownerBlock; }

/*
 * The error report: the root's error status points at the message (a text
 * that lives as long as the library) and bit 0x1000 of the model-wide flag
 * word is cleared. The caller then returns normally.
 */
static inline void ssSetErrorStatus(SimStruct *S, const char *msg)
{
    SimStruct *root = S->root;
    root->errorStatus = msg;
    if (root->mdlInfo != NULL) {
        root->mdlInfo->flags &= ~SS_MDL_FLAG_NO_ERROR;
    }
}

static inline time_T ssGetT(const SimStruct *S) { return *S->root->mdlInfo->t; }

/* ---- Sizes block ------------------------------------------------------- */

static inline int_T ssGetSizeField(const SimStruct *S, int_T i) { return (int32_T)S->sizes[i]; }
static inline void ssSetSizeField(SimStruct *S, int_T i, int_T v) { S->sizes[i] = (uint32_T)v; }

static inline int_T ssGetVersion(const SimStruct *S) { return ssGetSizeField(S, SS_SIZES_VERSION); }
static inline void ssSetVersion(SimStruct *S, int_T v) { ssSetSizeField(S, SS_SIZES_VERSION, v); }
static inline int_T ssGetMexApiInt1(const SimStruct *S) { return ssGetSizeField(S, SS_SIZES_MEX_API_INT1); }

static inline uint32_T ssGetFlags(const SimStruct *S) { return S->sizes[SS_SIZES_FLAGS]; }
static inline void ssSetFlags(SimStruct *S, uint32_T f) { S->sizes[SS_SIZES_FLAGS] = f; }
static inline uint32_T ssGetOptions(const SimStruct *S) { return S->sizes[SS_SIZES_OPTIONS]; }
static inline void ssSetOptions(SimStruct *S, uint32_T o) { S->sizes[SS_SIZES_OPTIONS] = o; }

/* Dialog parameters. */
static inline void ssSetNumSFcnParams(SimStruct *S, int_T n) { ssSetSizeField(S, SS_SIZES_NUM_SFCN_PARAMS, n); }
static inline int_T ssGetNumSFcnParams(const SimStruct *S) { return ssGetSizeField(S, SS_SIZES_NUM_SFCN_PARAMS); }
static inline int_T ssGetSFcnParamsCount(const SimStruct *S) { return S->sfcnParams.count; }
static inline const mxArray *ssGetSFcnParam(const SimStruct *S, int_T i) { return S->sfcnParams.params[i]; }

/* States. */
static inline void ssSetNumContStates(SimStruct *S, int_T n) { ssSetSizeField(S, SS_SIZES_NUM_CONT_STATES, n); }
static inline int_T ssGetNumContStates(const SimStruct *S) { return ssGetSizeField(S, SS_SIZES_NUM_CONT_STATES); }
static inline void ssSetNumDiscStates(SimStruct *S, int_T n) { ssSetSizeField(S, SS_SIZES_NUM_DISC_STATES, n); }
static inline int_T ssGetNumDiscStates(const SimStruct *S) { return ssGetSizeField(S, SS_SIZES_NUM_DISC_STATES); }

/* ---- Ports --------------------------------------------------------------- */

/* Registers the number of input ports through the instance's service; 0 when refused. */
static inline int_T ssSetNumInputPorts(SimStruct *S, int_T n)
{
    return S->portInfo.regNumInputPortsFcn(S->portInfo.regNumInputPortsFcnArg, n);
}
static inline int_T ssSetNumOutputPorts(SimStruct *S, int_T n)
{
    return S->portInfo.regNumOutputPortsFcn(S->portInfo.regNumOutputPortsFcnArg, n);
}
static inline int_T ssGetNumInputPorts(const SimStruct *S) { return ssGetSizeField(S, SS_SIZES_NUM_INPUT_PORTS); }
static inline int_T ssGetNumOutputPorts(const SimStruct *S) { return ssGetSizeField(S, SS_SIZES_NUM_OUTPUT_PORTS); }

static inline void ssSetInputPortWidth(SimStruct *S, int_T p, int_T w) { S->portInfo.inputs[p].width = w; }
static inline int_T ssGetInputPortWidth(const SimStruct *S, int_T p) { return S->portInfo.inputs[p].width; }
static inline void ssSetInputPortDirectFeedThrough(SimStruct *S, int_T p, int_T v) { S->portInfo.inputs[p].directFeedThrough = v; }
static inline int_T ssGetInputPortDirectFeedThrough(const SimStruct *S, int_T p) { return S->portInfo.inputs[p].directFeedThrough; }
static inline void ssSetInputPortRequiredContiguous(SimStruct *S, int_T p, int_T v) { S->portInfo.inputs[p].contiguous = v; }
static inline int_T ssGetInputPortRequiredContiguous(const SimStruct *S, int_T p) { return S->portInfo.inputs[p].contiguous; }
static inline InputRealPtrsType ssGetInputPortRealSignalPtrs(const SimStruct *S, int_T p) { return S->portInfo.inputs[p].signal.ptrs; }
static inline const real_T *ssGetInputPortRealSignal(const SimStruct *S, int_T p) { return (const real_T *)S->portInfo.inputs[p].signal.vect; }

static inline void ssSetOutputPortWidth(SimStruct *S, int_T p, int_T w) { S->portInfo.outputs[p].width = w; }
static inline int_T ssGetOutputPortWidth(const SimStruct *S, int_T p) { return S->portInfo.outputs[p].width; }
static inline real_T *ssGetOutputPortRealSignal(const SimStruct *S, int_T p) { return (real_T *)S->portInfo.outputs[p].signal; }

/* ---- Sample times ---------------------------------------------------------- */

static inline void ssSetNumSampleTimes(SimStruct *S, int_T n) { ssSetSizeField(S, SS_SIZES_NUM_SAMPLE_TIMES, n); }
static inline int_T ssGetNumSampleTimes(const SimStruct *S) { return ssGetSizeField(S, SS_SIZES_NUM_SAMPLE_TIMES); }
static inline void ssSetSampleTime(SimStruct *S, int_T i, real_T v) { S->sampleTimes[i] = v; }
static inline real_T ssGetSampleTime(const SimStruct *S, int_T i) { return S->sampleTimes[i]; }
static inline void ssSetOffsetTime(SimStruct *S, int_T i, real_T v) { S->offsetTimes[i] = v; }
static inline real_T ssGetOffsetTime(const SimStruct *S, int_T i) { return S->offsetTimes[i]; }

/* ---- Work vectors, modes, zero crossings ---------------------------------- */

static inline void ssSetNumRWork(SimStruct *S, int_T n) { ssSetSizeField(S, SS_SIZES_NUM_RWORK, n); }
static inline int_T ssGetNumRWork(const SimStruct *S) { return ssGetSizeField(S, SS_SIZES_NUM_RWORK); }
static inline void ssSetNumIWork(SimStruct *S, int_T n) { ssSetSizeField(S, SS_SIZES_NUM_IWORK, n); }
static inline int_T ssGetNumIWork(const SimStruct *S) { return ssGetSizeField(S, SS_SIZES_NUM_IWORK); }
static inline void ssSetNumPWork(SimStruct *S, int_T n) { ssSetSizeField(S, SS_SIZES_NUM_PWORK, n); }
static inline int_T ssGetNumPWork(const SimStruct *S) { return ssGetSizeField(S, SS_SIZES_NUM_PWORK); }
static inline real_T *ssGetRWork(const SimStruct *S) { return S->rwork; }
static inline int_T *ssGetIWork(const SimStruct *S) { return S->iwork; }
static inline void **ssGetPWork(const SimStruct *S) { return S->pwork; }
static inline void ssSetNumModes(SimStruct *S, int_T n) { ssSetSizeField(S, SS_SIZES_NUM_MODES, n); }
static inline int_T ssGetNumModes(const SimStruct *S) { return ssGetSizeField(S, SS_SIZES_NUM_MODES); }
static inline void ssSetNumNonsampledZCs(SimStruct *S, int_T n) { ssSetSizeField(S, SS_SIZES_NUM_NONSAMPLED_ZCS, n); }
static inline int_T ssGetNumNonsampledZCs(const SimStruct *S) { return ssGetSizeField(S, SS_SIZES_NUM_NONSAMPLED_ZCS); }

/* ---- DWork records ---------------------------------------------------------- */

/* Sets the number of DWork records through the service; 0 when there is none. */
static inline int_T ssSetNumDWork(SimStruct *S, int_T n)
{
    return S->setNumDWorkFcn != NULL ? S->setNumDWorkFcn(S, n) : 0;
}
static inline int_T ssGetNumDWork(const SimStruct *S) { return S->numDWork; }
static inline void ssSetDWorkWidth(SimStruct *S, int_T i, int_T w) { S->dwork[i].width = w; }
static inline int_T ssGetDWorkWidth(const SimStruct *S, int_T i) { return S->dwork[i].width; }
static inline void ssSetDWorkDataType(SimStruct *S, int_T i, int_T t) { S->dwork[i].dataTypeId = t; }
static inline int_T ssGetDWorkDataType(const SimStruct *S, int_T i) { return S->dwork[i].dataTypeId; }
static inline void ssSetDWorkName(SimStruct *S, int_T i, const char *name) { S->dwork[i].name = name; }
static inline const char *ssGetDWorkName(const SimStruct *S, int_T i) { return S->dwork[i].name; }
static inline void ssSetDWorkUsageType(SimStruct *S, int_T i, int_T u) { S->dwork[i].usedAs = u; }
static inline int_T ssGetDWorkUsageType(const SimStruct *S, int_T i) { return S->dwork[i].usedAs; }
static inline void ssSetDWorkComplexSignal(SimStruct *S, int_T i, int_T c) { S->dwork[i].complexSignal = c; }
static inline void *ssGetDWork(const SimStruct *S, int_T i) { return S->dwork[i].array; }

/* ---- Declaration flags and engine requests -------------------------------- */

/* Sets the two-bit field 0x800/0x1000 of the flags word to 1. */
static inline void ssSetModelReferenceSampleTimeDefaultInheritance(SimStruct *S)
{
    ssSetFlags(S, (ssGetFlags(S) & ~(SS_FLAG_SAMPLE_TIME_RULE_LO | SS_FLAG_SAMPLE_TIME_RULE_HI))
                      | SS_FLAG_SAMPLE_TIME_RULE_LO);
}

/* Calls the engine's generic request function, when this is an engine instance that has one. */
static inline void ssCallGenericFcn(SimStruct *S, int_T request, int_T intArg, void *data)
{
    if (S->ownerBlock != NULL && S->root->mdlInfo != NULL && S->root->mdlInfo->genericFcn != NULL) {
        S->root->mdlInfo->genericFcn(S, request, intArg, data);
    }
}

/* Engine request 197 with a one-byte boolean. */
#define SS_REQUEST_MULTIPLE_EXEC_INSTANCES 197
#define SS_REQUEST_FRAME_SIZES_CALL 280
static inline void ssSupportsMultipleExecInstances(SimStruct *S, boolean_T value)
{
    boolean_T v = value;
    ssCallGenericFcn(S, SS_REQUEST_MULTIPLE_EXEC_INSTANCES, 0, &v);
}

/* ---- Helpers of this toolbox ----------------------------------------------
 * Not part of the S-function API: named block_* so that a reader of a block
 * tells them from the platform's ss* accessors, which a block must keep.
 */

/* The common declaration flags: clear the three bits of 0x700000, set 0x80000 and 0x800000. */
static inline void block_set_common_declaration_flags(SimStruct *S)
{
    ssSetFlags(S, (ssGetFlags(S) & ~SS_FLAG_COMMON_CLEAR) | SS_FLAG_COMMON_SET);
}

/* True when the engine offers the DWork-count service on this instance. */
static inline int_T block_has_dwork_service(const SimStruct *S) { return S->setNumDWorkFcn != NULL; }

/* The model-wide flag word (0 on an instance without a model record). */
static inline uint32_T block_model_flags(const SimStruct *S)
{
    return S->root->mdlInfo != NULL ? S->root->mdlInfo->flags : 0u;
}

#ifdef __cplusplus
}
#endif

#endif
