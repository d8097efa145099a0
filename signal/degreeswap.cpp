/*
 * degreeswap: converts a temperature from one unit to another, by way of
 * kelvin.
 *
 * Input (width 1, contiguous): the temperature in the initial unit.
 * Output: the same temperature in the final unit.
 * Parameters: 1 initial unit code, 2 final unit code; each a number whose
 * first element is truncated toward zero: 1 Celsius, 2 kelvin, 3 Fahrenheit.
 *
 * The codes are checked at declaration and whenever the engine asks for a
 * check of changed parameters. A code that is still invalid at an output
 * step gives -1000000.
 */
#include "simstruc.h"
#include "frame/block_util.h"

static const char kBadInitial[] = "Error in degreeswap : The initial unit must be : C, K or F.";
static const char kBadFinal[] = "Error in degreeswap : The final unit must be : C, K or F.";
static const double kInvalidOutput = -1000000;

enum { UNIT_CELSIUS = 1, UNIT_KELVIN = 2, UNIT_FAHRENHEIT = 3 };

/*
 * Unit code of parameter i, truncated toward zero. A parameter with no
 * number to read (empty, not a real double array) gives 0, an invalid code.
 */
static int32_T unitCode(const SimStruct *S, int_T i)
{
    double v;
    if (!block_param_first_double(S, i, &v)) return 0;
    return block_trunc_int32(v);
}

static int validUnit(int32_T code) { return code >= UNIT_CELSIUS && code <= UNIT_FAHRENHEIT; }

void mdlCheckParameters(SimStruct *S)
{
    if (!validUnit(unitCode(S, 0))) {
        ssSetErrorStatus(S, kBadInitial);
        return;
    }
    if (!validUnit(unitCode(S, 1))) {
        ssSetErrorStatus(S, kBadFinal);
        return;
    }
}

void mdlInitializeSizes(SimStruct *S)
{
    ssSetNumSFcnParams(S, 2);
    if (ssGetNumSFcnParams(S) != ssGetSFcnParamsCount(S)) return;
    mdlCheckParameters(S);
    if (ssGetErrorStatus(S) != NULL) return;
    ssSetNumContStates(S, 0);
    ssSetNumDiscStates(S, 0);
    if (!ssSetNumInputPorts(S, 1)) return;
    ssSetInputPortWidth(S, 0, 1);
    ssSetInputPortRequiredContiguous(S, 0, 1);
    ssSetInputPortDirectFeedThrough(S, 0, 1);
    if (!ssSetNumOutputPorts(S, 1)) return;
    ssSetOutputPortWidth(S, 0, 1);
    ssSetNumSampleTimes(S, 1);
    ssSetNumRWork(S, 0);
    ssSetNumIWork(S, 0);
    ssSetNumPWork(S, 0);
    ssSetNumModes(S, 0);
    ssSetNumNonsampledZCs(S, 0);
    block_set_common_declaration_flags(S);
    ssSupportsMultipleExecInstances(S, 1);
    ssSetOptions(S, 0);
}

void mdlInitializeSampleTimes(SimStruct *S)
{
    ssSetSampleTime(S, 0, 0.0);
    ssSetOffsetTime(S, 0, 0.0);
}

void mdlOutputs(SimStruct *S, int_T tid)
{
    (void)tid;
    const double x = ssGetInputPortRealSignal(S, 0)[0];
    real_T *y = ssGetOutputPortRealSignal(S, 0);

    double k;
    switch (unitCode(S, 0)) {
    case UNIT_CELSIUS: k = x + 273.15; break;
    case UNIT_KELVIN: k = x; break;
    case UNIT_FAHRENHEIT: k = (x + 459.67) * 5 / 9; break;
    default: y[0] = kInvalidOutput; return;
    }
    switch (unitCode(S, 1)) {
    case UNIT_CELSIUS: y[0] = k - 273.15; break;
    case UNIT_KELVIN: y[0] = k; break;
    case UNIT_FAHRENHEIT: y[0] = k * 9 / 5 - 459.67; break;
    default: y[0] = kInvalidOutput; break;
    }
}

void mdlTerminate(SimStruct *S) { (void)S; }
