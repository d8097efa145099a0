// The fuzz harness: drives one deliverable through the embedded host with
// arguments, parameters, inputs and request sequences made from fuzz data.
//
// A plain function is called through its mexFunction. A block is called on
// its command-line path (a sizes call on a stand-alone instance) or run
// through the engine: dialog parameters, dynamic widths, input values, the
// model time and a sequence of requests, flags in and out of range included.
// Requests made before the sizes call and the allocation are done must be
// refused by the engine and leave the instance, the root and the model
// record untouched.
//
// Besides the sanitizers, every call is checked against what holds for any
// input: the host's error boundary gives a text, results are well-formed
// arrays, inputs come back unchanged, no array outlives the call, the frame's
// sizes vector and its messages are the fixed ones.
//
// Two things are kept out of reach on purpose:
//  - a forged engine instance reference (a two-row double whose second
//    element is the version tag) cannot be told from a real one by the
//    protocol; such arguments are never generated;
//  - the wait block holds the simulation until the wall clock catches up.
//    Its update request is only sent when the step (parameter 6) is NaN or
//    below minus half a year: then the reference plus one step is behind the
//    clock whatever the reference, so the update returns at its first
//    reading. Every other request and parameter is fuzzed freely, and the
//    fuzzer's timeout stands guard.
// Folder listings and log files stay in a sandbox folder (see sandbox.h).
#include <fuzzer/FuzzedDataProvider.h>

#include <climits>
#include <cmath>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "args.h"
#include "engine.h"
#include "mxhost.h"
#include "sandbox.h"

extern "C" const char simblocks_fuzz_target[];
extern "C" const int simblocks_fuzz_is_block;

namespace {

using fuzz::ArgMaker;
using fuzz::forEachChild;
using fuzz::Lean;
using fuzz::Owned;

// What the harness knows about the deliverable it drives.
struct Target {
    std::string name;
    bool block = false;
    int nrhs = -1;           // plain function: the argument count it takes (-1: any)
    int nlhs = 1;            // plain function: the outputs it gives
    Lean lean = Lean::Any;   // what its arguments mostly are
    bool listsFolders = false;
    bool readsFiles = false;  // reads the file its first argument names
    // The words the deliverable knows (model names, files in the sandbox):
    // argument or parameter wordAt is mostly one of them, so that inputs
    // reach the computation behind the check of the word.
    std::vector<std::string> words;
    int wordAt = -1;
    bool writesFiles = false;
    bool waitsOnClock = false;
    bool heavyTable = false; // a call that computes a table takes a good part of a second
    bool heavyAllowed = false;
    int expectedParams = 0;  // block: the dialog parameters its sizes call asks for
    std::string identity;    // block: the name the frame's messages give it
    std::shared_ptr<engine::Library> lib;
    std::unique_ptr<fuzz::Sandbox> sandbox;
    unsigned long long inputs = 0, calls = 0, refused = 0, heavyInputs = 0;
};

Target *T = nullptr;

// True now and then: an unusual choice, never made when the data has run out.
bool rarely(FuzzedDataProvider &fdp, int oneIn) { return fdp.ConsumeIntegralInRange<int>(1, oneIn) == oneIn; }

// Argument or parameter i: at the place of a known word mostly one of the
// words, otherwise what the maker makes.
mxArray *argument(FuzzedDataProvider &fdp, ArgMaker &make, int i, Lean lean)
{
    if (i == T->wordAt && !T->words.empty() && !rarely(fdp, 4))
        return mxCreateString(T->words[fdp.ConsumeIntegralInRange<std::size_t>(0, T->words.size() - 1)].c_str());
    return make.make(lean);
}

[[noreturn]] void fail(const char *fmt, ...)
{
    va_list ap;
    va_start(ap, fmt);
    std::fprintf(stderr, "\n*** %s: ", T != nullptr ? T->name.c_str() : "fuzz");
    std::vfprintf(stderr, fmt, ap);
    std::fprintf(stderr, "\n");
    va_end(ap);
    std::abort();
}

// Reads every element of an array tree, so that the sanitizers see a result
// whose shape promises more than its data holds.
volatile unsigned char touched;
void touch(const mxArray *a)
{
    if (a == nullptr) return;
    forEachChild(a, touch);
    const std::size_t n = mxGetNumberOfElements(a);
    if (n == 0 || mxIsCell(a) || mxIsStruct(a)) return;
    const unsigned char *p = static_cast<const unsigned char *>(mxGetData(a));
    if (p == nullptr) fail("a non-empty result array has no data");
    const std::size_t bytes = n * mxGetElementSize(a);
    for (std::size_t i = 0; i < bytes; i += 7) touched = p[i];
    touched = p[bytes - 1];
    if (mxIsComplex(a)) touched = static_cast<const unsigned char *>(mxGetImagData(a))[bytes - 1];
}

// Arrays in a tree: the array and every cell or field value below it.
std::size_t arraysIn(const mxArray *a)
{
    if (a == nullptr) return 0;
    std::size_t count = 1;
    forEachChild(a, [&count](const mxArray *child) { count += arraysIn(child); });
    return count;
}

// ---- plain functions and the command-line path ------------------------------

struct Call {
    Owned args;
    std::vector<mxArray *> plhs;
    int nlhs = 0;
};

// Calls the entry point as the host does, then checks what holds for any call.
mxhost::CallResult callEntry(Call &c)
{
    const std::size_t before = mxhost::liveArrays();
    // Copies of small inputs, to see that the call leaves them as they were.
    std::vector<mxArray *> copies;
    std::size_t total = 0;
    for (std::size_t i = 0; i < c.args.size(); ++i) total += fuzz::elementsBelow(c.args[i]);
    if (total <= 4096)
        for (std::size_t i = 0; i < c.args.size(); ++i) copies.push_back(mxDuplicateArray(c.args[i]));

    // Exactly as many slots as the host provides: reading past them is a finding.
    const int nrhs = static_cast<int>(c.args.size());
    std::unique_ptr<const mxArray *[]> prhs(new const mxArray *[c.args.size()]);
    for (int i = 0; i < nrhs; ++i) prhs[i] = c.args[i];
    c.plhs.assign(static_cast<std::size_t>(c.nlhs > 0 ? c.nlhs : 1), nullptr);

    ++T->calls;
    mxhost::CallResult r = mxhost::call(T->lib->entry(), c.nlhs, c.plhs.data(), nrhs, prhs.get());
    if (!r.ok && r.error.empty()) fail("an error without a message");
    if (r.error == "The call ended with an unexpected exception.") fail("%s", r.error.c_str());
    if (r.error == "Out of memory.") fail("out of memory on arguments of %zu elements", total);

    for (mxArray *out : c.plhs) touch(out);
    for (std::size_t i = 0; i < copies.size(); ++i) {
        if (!fuzz::sameArray(copies[i], c.args[i])) fail("input argument %zu was changed by the call", i + 1);
        mxDestroyArray(copies[i]);
    }
    std::size_t outs = 0;
    for (mxArray *out : c.plhs) outs += arraysIn(out);
    if (mxhost::liveArrays() != before + outs)
        fail("arrays outlive the call: %zu live, %zu expected", mxhost::liveArrays(), before + outs);
    return r;
}

void destroyOutputs(Call &c)
{
    for (mxArray *&out : c.plhs) {
        mxDestroyArray(out);
        out = nullptr;
    }
}

void confineAll(const Owned &args)
{
    for (std::size_t i = 0; i < args.size(); ++i) fuzz::confinePaths(args[i]);
}

void callFunction(FuzzedDataProvider &fdp, ArgMaker &make)
{
    Call c;
    int nrhs = T->nrhs;
    if (nrhs < 0 || rarely(fdp, 5)) nrhs = fdp.ConsumeIntegralInRange<int>(0, 9);
    c.nlhs = rarely(fdp, 5) ? fdp.ConsumeIntegralInRange<int>(0, 6) : T->nlhs;
    for (int i = 0; i < nrhs; ++i) c.args.keep(rarely(fdp, 6) ? make.any() : argument(fdp, make, i, T->lean));
    if (T->listsFolders || T->readsFiles) confineAll(c.args);
    // slopegain computes a table of 37 x 37 planes over every sampled hour of
    // a month or a year. To make a million calls in hours rather than days,
    // only about one input in 256 (by a hash of the whole input, which the
    // fuzzer cannot steer) may ask for a table; the others keep every argument
    // but have a month that selects none (NaN) or is refused.
    if (T->heavyTable && c.args.size() >= 1 && !T->heavyAllowed) {
        mxArray *month = c.args[0];
        if (mxIsDouble(month) && !mxIsComplex(month) && !mxIsEmpty(month)) {
            double &m = mxGetPr(month)[0];
            if (!(std::isnan(m) || m >= 816)) m = fdp.PickValueInArray<double>({NAN, 816.0, 1e300, INFINITY});
        }
    }
    callEntry(c);
    destroyOutputs(c);
}

// The texts of the frame's command-line messages for this block.
bool isFrameMessage(const std::string &e)
{
    const std::string &id = T->identity;
    return e == id + " must be called with at least 4 right hand arguments" ||
           e == id + " called with too many left hand arguments" ||
           e == "The 4th right hand argument, FLAG, passed to " + id + " must be an integer" ||
           e == "Invalid flag passed to " + id;
}

void callBlockCommandLine(FuzzedDataProvider &fdp, ArgMaker &make)
{
    Call c;
    const int nrhs = rarely(fdp, 3) ? fdp.ConsumeIntegralInRange<int>(0, 11) : 4 + T->expectedParams;
    c.nlhs = rarely(fdp, 4) ? fdp.ConsumeIntegralInRange<int>(0, 4) : 1;
    for (int i = 0; i < nrhs; ++i) {
        mxArray *a;
        if (i == 1) a = make.reference();
        else if (i == 3) a = make.flag();
        else if (i < 4) a = make.any();
        else a = argument(fdp, make, i - 4, T->writesFiles && i == 5 ? Lean::Text : (fdp.ConsumeBool() ? Lean::Number : Lean::Any));
        c.args.keep(a);
    }
    if (nrhs >= 2) fuzz::defuseReference(c.args[1]);
    if (T->writesFiles) confineAll(c.args);

    mxhost::CallResult r = callEntry(c);
    if (!r.ok) {
        if (!isFrameMessage(r.error)) fail("unexpected command-line error \"%s\"", r.error.c_str());
    } else {
        const mxArray *v = c.plhs[0];
        if (v == nullptr || !mxIsDouble(v) || mxIsComplex(v) || mxGetM(v) != 38 || mxGetN(v) != 1)
            fail("the sizes call returned no 38 x 1 real double vector");
        const double *s = mxGetPr(v);
        if (s[19] != 5200229.0 || s[23] < 8192.0 || s[7] != T->expectedParams)
            fail("sizes vector: tag %g, options %g, parameters %g", s[19], s[23], s[7]);
    }
    destroyOutputs(c);
}

// ---- the engine path ---------------------------------------------------------

const char kInvalidFlag[] = "Invalid flag encountered in simulink";

// What the frame answers a request that does not reach the block's own code,
// for the engine here (it installs no port handlers); nothing when the answer
// is the block's.
std::optional<std::string> frameAnswer(int flag, const engine::Block &b)
{
    const SimStruct *S = b.instance();
    switch (flag) {
    case 101: case 104: return std::nullopt;
    case 102: if (b.hasInitializeConditions()) return std::nullopt; return std::string(kInvalidFlag);
    case 105: if (b.hasUpdate()) return std::nullopt; return std::string(kInvalidFlag);
    case 117: if (b.hasStart()) return std::nullopt; return std::string(kInvalidFlag);
    case 112:
        if (S->modelMethods.mdlCheckParameters != nullptr) return std::nullopt;
        return std::string("Unexpected call to mdlCheckParameters");
    case 103:
        return std::string("To have a variable sample time, you must define MDL_GET_TIME_OF_NEXT_VAR_HIT and add a "
                           "mdlGetTimeOfNextVarHit routine");
    case 107: return std::string();
    case 108:
        return std::string("To have nonsampled zero crossings, you must define MDL_ZERO_CROSSINGS and have a "
                           "mdlZeroCrossings routine");
    case 111: return std::string("Unexpected call to mdlSetWorkWidths");
    case 113: return std::string("Unexpected call to mdlSetInputPortDataType");
    case 114: return std::string("Unexpected call to mdlSetOutputPortDataType");
    case 115: return std::string("Unexpected call to mdlSetInputPortWidth");
    case 116: return std::string("Unexpected call to mdlSetOutputPortWidth");
    case 120: return std::string("Unexpected call to mdlSetInputPortComplexSignal");
    case 121: return std::string("Unexpected call to mdlSetOutputPortComplexSignal");
    case 122: return std::string("Unexpected call to mdlSetInputPortSampleTime");
    case 123: return std::string("Unexpected call to mdlSetOutputPortSampleTime");
    case 126: return std::string("Unexpected call to mdlSetInputPortDimensionInfo");
    case 127: return std::string("Unexpected call to mdlSetOutputPortDimensionInfo");
    case 128: return std::string("Unexpected call to mdlSetInputPortFrameData");
    case 131: return std::string("Unexpected call to mdlSetDefaultPortDimensionInfo");
    case 132: return std::string("Unexpected call to mdlSetDefaultPortDataTypes");
    case 133: return std::string("Unexpected call to mdlSetDefaultPortComplexSignals");
    case 142: return std::string("Unexpected call to mdlInitializePropagationPass");
    case 144: return std::string("Unexpected call to mdlGetSimState (MDL_SIM_STATE not defined)");
    case 145: return std::string("Unexpected call to mdlSetSimState (MDL_SIM_STATE not defined)");
    default: return std::string(kInvalidFlag);
    }
}

int pickFlag(FuzzedDataProvider &fdp)
{
    if (!rarely(fdp, 4)) return fdp.ConsumeIntegralInRange<int>(99, 147);
    return fdp.PickValueInArray({0, 1, -1, -104, 204, 1000, INT_MIN, INT_MAX, 101, 102, 104, 105, 107, 117});
}

int pickIntArg(FuzzedDataProvider &fdp)
{
    return fdp.PickValueInArray({0, 0, 0, -2, -2, -1, 1, 2, 99, INT_MIN, INT_MAX});
}

// The record bytes the engine and the frame share with a block.
struct Snapshot {
    std::vector<unsigned char> instance, root, info;
    std::size_t requests;
    explicit Snapshot(engine::Model &m, const engine::Block &b)
    {
        auto bytes = [](const void *p, std::size_t n) {
            const auto *c = static_cast<const unsigned char *>(p);
            return std::vector<unsigned char>(c, c + n);
        };
        instance = bytes(b.instance(), sizeof(SimStruct));
        root = bytes(&m.root(), sizeof(SimStruct));
        info = bytes(&m.info(), sizeof(struct _ssMdlInfo));
        requests = m.requests().size();
    }
    bool operator==(const Snapshot &o) const
    {
        return instance == o.instance && root == o.root && info == o.info && requests == o.requests;
    }
};

// Requests the engine must refuse at this stage; none may reach the library.
void probeRefused(FuzzedDataProvider &fdp, engine::Model &model, engine::Block &block, const char *stage)
{
    const int n = fdp.ConsumeIntegralInRange<int>(0, 3);
    if (n == 0) return;
    const Snapshot before(model, block);
    for (int i = 0; i < n; ++i) {
        const int flag = pickFlag(fdp);
        try {
            block.tryRequest(flag, pickIntArg(fdp));
        } catch (const engine::EngineError &) {
            ++T->refused;
            continue;
        }
        fail("request %d %s was sent to the block", flag, stage);
    }
    if (!(Snapshot(model, block) == before)) fail("a refused request %s changed the records", stage);
}

// First element of dialog parameter i as a block reads it; 0 when there is none.
double firstDouble(const Owned &params, std::size_t i)
{
    if (i >= params.size()) return 0;
    const mxArray *p = params[i];
    if (!mxIsDouble(p) || mxIsComplex(p) || mxIsEmpty(p) || mxGetPr(p) == nullptr) return 0;
    return mxGetPr(p)[0];
}

int pickWidth(FuzzedDataProvider &fdp)
{
    switch (fdp.ConsumeIntegralInRange<int>(0, 15)) {
    case 0: return 0;
    case 1: return fdp.ConsumeIntegralInRange<int>(32766, 32770);
    case 2: return fdp.ConsumeIntegralInRange<int>(64, 40000);
    default: return fdp.ConsumeIntegralInRange<int>(1, 12);
    }
}

void request(engine::Block &block, int flag, int intArg)
{
    ++T->calls;
    const std::string err = block.tryRequest(flag, intArg);
    const std::optional<std::string> want = frameAnswer(flag, block);
    if (want && err != *want)
        fail("request %d answered \"%s\" instead of \"%s\"", flag, err.c_str(), want->c_str());
}

void runEngine(FuzzedDataProvider &fdp, ArgMaker &make)
{
    engine::Model model;
    if (rarely(fdp, 8)) model.offerGenericFcn(false);
    if (rarely(fdp, 8)) model.offerDWorkService(false);
    if (rarely(fdp, 8)) model.info().flags |= SS_MDL_FLAG_SECOND_RUN;
    double t = fdp.ConsumeBool() ? 0.0 : make.value();
    model.setTime(t);

    Owned params;
    int count = T->expectedParams;
    if (rarely(fdp, 5)) count = fdp.ConsumeIntegralInRange<int>(0, 8);
    for (int i = 0; i < count; ++i)
        params.keep(argument(fdp, make, i, T->writesFiles && i == 1 ? Lean::Text : (fdp.ConsumeBool() ? Lean::Number : Lean::Any)));
    if (T->writesFiles) confineAll(params);

    engine::Block block(model, T->lib, "fuzzed", params.view());
    probeRefused(fdp, model, block, "before the sizes call");
    ++T->calls;
    try {
        block.initializeSizes();
    } catch (const engine::EngineError &) {
        // A refused declaration (a parameter count or value the block does
        // not take): the block must stay out of reach from here on.
        probeRefused(fdp, model, block, "after a failed sizes call");
        return;
    }
    {
        // A second sizes call is the engine's to refuse.
        const Snapshot before(model, block);
        try {
            block.initializeSizes();
            fail("a second sizes call was made");
        } catch (const engine::EngineError &) {
        }
        if (!(Snapshot(model, block) == before)) fail("a refused sizes call changed the records");
    }

    // Widths the engine resolves: only those the block leaves open.
    std::size_t totalWidth = 0;
    for (int p = 0; p < block.numInputPorts(); ++p) {
        if (block.inputWidth(p) == DYNAMICALLY_SIZED) block.setInputWidth(p, pickWidth(fdp));
        totalWidth += static_cast<std::size_t>(block.inputWidth(p) > 0 ? block.inputWidth(p) : 0);
    }
    for (int p = 0; p < block.numOutputPorts(); ++p) {
        if (block.outputWidth(p) != DYNAMICALLY_SIZED) continue;
        int w = block.numInputPorts() > 0 && fdp.ConsumeBool() ? block.inputWidth(0) : pickWidth(fdp);
        block.setOutputWidth(p, w);
    }
    probeRefused(fdp, model, block, "before the allocation");
    try {
        block.allocate();
    } catch (const engine::EngineError &e) {
        fail("allocation failed: %s", e.what());
    }

    // Input values: each element reads its own slot, the first ones from the data.
    std::vector<double> signal(totalWidth > 0 ? totalWidth : 1, 0.0);
    {
        std::size_t k = 0;
        for (int p = 0; p < block.numInputPorts(); ++p)
            for (int e = 0; e < block.inputWidth(p); ++e, ++k) block.connectInput(p, e, &signal[k]);
        const std::size_t own = totalWidth < 16 ? totalWidth : 16;
        for (std::size_t i = 0; i < own; ++i) signal[i] = make.value();
        // The last element is a trigger for blocks that have one.
        if (totalWidth > 0 && fdp.ConsumeBool()) signal[totalWidth - 1] = 1.0;
    }

    const double step = firstDouble(params, 5);
    const bool mayUpdate = !T->waitsOnClock || std::isnan(step) || step <= -15768001.0;

    const int ops = fdp.ConsumeIntegralInRange<int>(1, 24);
    for (int i = 0; i < ops && fdp.remaining_bytes() > 0; ++i) {
        switch (fdp.ConsumeIntegralInRange<int>(0, 9)) {
        case 0: case 1: case 2: case 3:  // a simulation step
            t += fdp.PickValueInArray({0.0, 0.001, 1.0, 60.0, 3600.0});
            model.setTime(t);
            request(block, engine::kOutputs, fdp.ConsumeIntegralInRange<int>(0, 3) == 0 ? -2 : 0);
            if (block.hasUpdate() && mayUpdate) request(block, engine::kUpdate, 0);
            break;
        case 4:  // the start of a run
            request(block, engine::kSampleTimes, 0);
            if (block.hasStart()) request(block, engine::kStart, 0);
            if (block.hasInitializeConditions()) request(block, engine::kInitializeConditions, 0);
            break;
        case 5: {  // any request
            const int flag = pickFlag(fdp);
            if (flag == engine::kUpdate && !mayUpdate) break;
            request(block, flag, pickIntArg(fdp));
            break;
        }
        case 6:  // new input values
            if (totalWidth > 0) signal[fdp.ConsumeIntegralInRange<std::size_t>(0, totalWidth - 1)] = make.value();
            break;
        case 7:
            model.info().flags ^= SS_MDL_FLAG_SECOND_RUN;
            break;
        case 8:
            t = make.value();
            model.setTime(t);
            break;
        default:
            request(block, engine::kTerminate, 0);
            break;
        }
    }
    request(block, engine::kTerminate, 0);
}

void runBlock(FuzzedDataProvider &fdp, ArgMaker &make)
{
    if (rarely(fdp, 3)) callBlockCommandLine(fdp, make);
    else runEngine(fdp, make);
}

// ---- set-up --------------------------------------------------------------------

void report()
{
    if (T == nullptr) return;
    std::fprintf(stderr, "simblocks-fuzz %s: %llu inputs, %llu calls of mexFunction, %llu refused requests",
                 T->name.c_str(), T->inputs, T->calls, T->refused);
    if (T->heavyTable) std::fprintf(stderr, ", %llu inputs free to compute a table", T->heavyInputs);
    std::fprintf(stderr, "\n");
    T->sandbox.reset();
}

void setUp()
{
    T = new Target;
    T->name = simblocks_fuzz_target;
    T->block = simblocks_fuzz_is_block != 0;
    if (T->name == "heliopose") { T->nrhs = 4; T->nlhs = 5; T->lean = Lean::Number; }
    if (T->name == "heliokit") { T->nrhs = 5; T->lean = Lean::Number; }
    if (T->name == "slopegain") { T->nrhs = 7; T->lean = Lean::Number; T->heavyTable = true; }
    if (T->name == "folderscan") { T->lean = Lean::Text; T->listsFolders = true; }
    const std::vector<std::string> models = {"isotropic", "haydavies", "perez", "reindl", "klucher", "Perez"};
    if (T->name == "tiltflux") { T->nrhs = 10; T->nlhs = 4; T->lean = Lean::Number; T->words = models; T->wordAt = 0; }
    if (T->name == "planeflux") { T->words = models; T->wordAt = 6; }
    if (T->name == "weatherread") {
        T->lean = Lean::Text;
        T->readsFiles = true;
        T->words = {"day.epw", "broken.epw", "folder.epw", "fifo.epw", "none.epw"};
        T->wordAt = 0;
    }
    T->writesFiles = T->name == "tablogger";
    T->waitsOnClock = T->name == "wait";
    T->sandbox = std::make_unique<fuzz::Sandbox>(T->listsFolders);
    if (T->readsFiles) fuzz::addWeatherFiles(SIMBLOCKS_FUZZ_WEATHER_FILE);

    // Everything printed goes nowhere.
    mxhost::setPrintSink([](const char *, std::size_t) {});

    // Loaded once, before fuzzing starts, and kept: its coverage counters must stay mapped.
    const std::string path = std::string(SIMBLOCKS_FUZZ_LIB_DIR) + "/" + T->name + ".so";
    try {
        T->lib = engine::Library::load(path);
    } catch (const engine::EngineError &e) {
        fail("%s", e.what());
    }
    if (T->block) {
        T->identity = "MEX level2 S-function \"" + T->name + "\"";
        // The parameter count the block asks for, from its own sizes call.
        mxArray *none = mxCreateDoubleMatrix(0, 0, mxREAL);
        mxArray *zero = mxCreateDoubleScalar(0);
        const mxArray *prhs[4] = {none, none, none, zero};
        mxArray *plhs[1] = {nullptr};
        mxhost::CallResult r = mxhost::call(T->lib->entry(), 1, plhs, 4, prhs);
        if (!r.ok || plhs[0] == nullptr) fail("the sizes call failed: %s", r.error.c_str());
        T->expectedParams = static_cast<int>(mxGetPr(plhs[0])[7]);
        mxDestroyArray(plhs[0]);
        mxDestroyArray(none);
        mxDestroyArray(zero);
    }
    std::atexit(report);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    setUp();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzedDataProvider fdp(data, size);
    if (T->heavyTable) {
        uint32_t h = 2166136261u;  // FNV-1a
        for (size_t i = 0; i < size; ++i) h = (h ^ data[i]) * 16777619u;
        T->heavyAllowed = (h & 255u) == 0;
        T->heavyInputs += T->heavyAllowed;
    }
    fuzz::Budget budget;
    ArgMaker make(fdp, budget);
    ++T->inputs;
    if (T->block) runBlock(fdp, make);
    else callFunction(fdp, make);
    if (T->writesFiles) T->sandbox->removeFiles();
    return 0;
}
