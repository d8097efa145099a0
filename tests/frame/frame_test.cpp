// The frame's engine path: every flag, which callback runs, the messages of
// requests a block does not serve, and the error report they leave.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <string>

#include <unistd.h>

#include "engine.h"
#include "support/testutil.h"

namespace {

namespace fs = std::filesystem;
using engine::Block;
using engine::Model;

std::shared_ptr<engine::Library> testBlock(const std::string &name)
{
    return engine::Library::load(std::string(TEST_BLOCK_DIR) + "/" + name + SIMBLOCKS_MEX_SUFFIX);
}

// Sends a flag exactly as the engine does, without the engine's clean-up of
// the error status, so the report itself can be inspected.
void rawRequest(Block &b, double flag)
{
    mxArray *f = mxCreateDoubleScalar(flag);
    mxArray *plhs[2] = {nullptr, reinterpret_cast<mxArray *>(b.instance())};
    const mxArray *prhs[4] = {nullptr, nullptr, nullptr, f};
    mxhost::CallResult r = mxhost::call(b.library().entry(), -1, plhs, 4, prhs);
    mxDestroyArray(f);
    ASSERT_TRUE(r.ok) << r.error;
}

struct Instance {
    Model model;
    std::unique_ptr<Block> block;
    double in = 0.0;
    Instance(std::shared_ptr<engine::Library> lib, const testutil::Args &params = {})
    {
        block = std::make_unique<Block>(model, std::move(lib), "b", params.view());
        block->initializeSizes();
        block->allocate();
        for (int e = 0; e < block->inputWidth(0); ++e) block->connectInput(0, e, &in);
    }
    const char *status() { return model.root().errorStatus; }
    void clear()
    {
        model.root().errorStatus = nullptr;
        model.info().flags = 0xFFFFFFFFu;
    }
    double out() { return block->output(0)[0]; }
};

const char *kInvalid = "Invalid flag encountered in simulink";

// Messages of a block whose method table holds only what the frame installs
// and that defines no optional callback.
std::map<int, std::string> bareMessages()
{
    std::map<int, std::string> m;
    for (int f = 90; f <= 160; ++f) m[f] = kInvalid;
    m[101] = "";
    m[103] = "To have a variable sample time, you must define MDL_GET_TIME_OF_NEXT_VAR_HIT and add a "
             "mdlGetTimeOfNextVarHit routine";
    m[104] = "";
    m[107] = "";
    m[108] = "To have nonsampled zero crossings, you must define MDL_ZERO_CROSSINGS and have a "
             "mdlZeroCrossings routine";
    const std::map<int, const char *> slots = {
        {111, "mdlSetWorkWidths"}, {112, "mdlCheckParameters"}, {113, "mdlSetInputPortDataType"},
        {114, "mdlSetOutputPortDataType"}, {115, "mdlSetInputPortWidth"}, {116, "mdlSetOutputPortWidth"},
        {120, "mdlSetInputPortComplexSignal"}, {121, "mdlSetOutputPortComplexSignal"},
        {122, "mdlSetInputPortSampleTime"}, {123, "mdlSetOutputPortSampleTime"},
        {126, "mdlSetInputPortDimensionInfo"}, {127, "mdlSetOutputPortDimensionInfo"},
        {128, "mdlSetInputPortFrameData"}, {131, "mdlSetDefaultPortDimensionInfo"},
        {132, "mdlSetDefaultPortDataTypes"}, {133, "mdlSetDefaultPortComplexSignals"},
        {142, "mdlInitializePropagationPass"}};
    for (const auto &s : slots) m[s.first] = std::string("Unexpected call to ") + s.second;
    m[144] = "Unexpected call to mdlGetSimState (MDL_SIM_STATE not defined)";
    m[145] = "Unexpected call to mdlSetSimState (MDL_SIM_STATE not defined)";
    return m;
}

void expectFlagTable(Instance &inst, const std::map<int, std::string> &expected)
{
    for (const auto &row : expected) {
        inst.clear();
        rawRequest(*inst.block, row.first);
        if (row.second.empty()) {
            EXPECT_EQ(inst.status(), nullptr) << "flag " << row.first;
            EXPECT_EQ(inst.model.info().flags, 0xFFFFFFFFu) << "flag " << row.first;
        } else {
            ASSERT_NE(inst.status(), nullptr) << "flag " << row.first;
            EXPECT_STREQ(inst.status(), row.second.c_str()) << "flag " << row.first;
            // The error report clears bit 0x1000 of the model-wide word and nothing else.
            EXPECT_EQ(inst.model.info().flags, 0xFFFFFFFFu & ~0x1000u) << "flag " << row.first;
        }
    }
}

TEST(FrameFlags, BlockWithoutOptionalCallbacks)
{
    testutil::Args params{testutil::num(0)};
    Instance inst(testutil::library("atmoglow"), params);
    expectFlagTable(inst, bareMessages());
}

TEST(FrameFlags, FractionalFlagsTruncateAndOutOfRangeFlagsAreInvalid)
{
    testutil::Args params{testutil::num(0)};
    Instance inst(testutil::library("atmoglow"), params);
    for (double f : {101.9, 104.5, 107.99}) {
        inst.clear();
        rawRequest(*inst.block, f);
        EXPECT_EQ(inst.status(), nullptr) << f;
    }
    for (double f : {100.0, 146.0, -1.0, 0.0, 1e12, -1e12, std::nan("")}) {
        inst.clear();
        rawRequest(*inst.block, f);
        ASSERT_NE(inst.status(), nullptr) << f;
        EXPECT_STREQ(inst.status(), kInvalid) << f;
    }
}

TEST(FrameFlags, BlockWithEveryOptionalCallback)
{
    Instance inst(testBlock("fullblock"));
    auto expected = bareMessages();
    expected[102] = expected[105] = expected[112] = expected[117] = "";
    expectFlagTable(inst, expected);

    const std::map<int, double> trace = {{102, 102}, {104, 104}, {105, 105}, {112, 112}, {117, 117}};
    for (const auto &t : trace) {
        inst.block->output(0)[0] = 0;
        inst.clear();
        rawRequest(*inst.block, t.first);
        EXPECT_EQ(inst.out(), t.second) << "flag " << t.first;
    }
    // Terminate is a no-op of the frame: the block's mdlTerminate is not called.
    inst.block->output(0)[0] = 5;
    rawRequest(*inst.block, 107);
    EXPECT_EQ(inst.out(), 5);
}

TEST(FrameFlags, NullSlotsOfOptionalCallbacks)
{
    Instance inst(testBlock("fullblock"));
    auto &m = inst.block->instance()->modelMethods;
    m.mdlInitializeConditions = nullptr;
    m.mdlStart = nullptr;
    m.mdlUpdate = nullptr;
    m.mdlCheckParameters = nullptr;
    const std::map<int, std::string> expected = {{102, "Unexpected call to mdlInitializeConditions"},
                                                 {105, "Unexpected call to mdlUpdate"},
                                                 {112, "Unexpected call to mdlCheckParameters"},
                                                 {117, "Unexpected call to mdlStart"}};
    inst.block->output(0)[0] = 0;
    expectFlagTable(inst, expected);
    EXPECT_EQ(inst.out(), 0) << "no callback may run for a null slot";
}

TEST(FrameFlags, OutputsAndUpdateTaskIdentifier)
{
    Instance inst(testBlock("fullblock"));
    for (int arg : {-2, 0, 3, -1, 7}) {
        inst.block->request(engine::kOutputs, arg);
        EXPECT_EQ(inst.block->instance()->iwork[0], arg == -2 ? -2 : 0) << arg;
        inst.block->request(engine::kUpdate, arg);
        EXPECT_EQ(inst.block->instance()->iwork[0], 0) << arg;
    }
}

// Handlers placed in the method table by the test, recording their arguments.
struct Seen {
    int calls = 0;
    int port = -99;
    int value = -99;
    double st = -99, off = -99;
    const DimsInfo_T *dims = nullptr;
} seen;

void onPortInt(SimStruct *, int_T port, int_T value) { seen.calls++, seen.port = port, seen.value = value; }
void onPortDims(SimStruct *, int_T port, const DimsInfo_T *d) { seen.calls++, seen.port = port, seen.dims = d; }
void onPortTime(SimStruct *, int_T port, real_T st, real_T off) { seen.calls++, seen.port = port, seen.st = st, seen.off = off; }
void onSimple(SimStruct *) { seen.calls++; }
void onInt(SimStruct *, int_T v) { seen.calls++, seen.value = v; }

TEST(FrameFlags, PortRequestsReachTheirSlotsWithTheEngineValues)
{
    Instance inst(testutil::library("atmoglow"), testutil::Args{testutil::num(0)});
    SimStruct *S = inst.block->instance();
    auto &m = S->modelMethods;
    auto &m2 = *S->modelMethods2;
    m.mdlSetWorkWidths = onSimple;
    m.mdlSetInputPortDataType = m.mdlSetOutputPortDataType = onPortInt;
    m.mdlSetInputPortComplexSignal = m.mdlSetOutputPortComplexSignal = onPortInt;
    m.mdlSetInputPortSampleTime = m.mdlSetOutputPortSampleTime = onPortTime;
    m2.mdlSetInputPortFrameData = onPortInt;
    m2.mdlSetDefaultPortDimensionInfo = m2.mdlSetDefaultPortDataTypes = m2.mdlSetDefaultPortComplexSignals = onSimple;
    m2.mdlInitializePropagationPass = onInt;
    DimsInfo_T dims{4, 1, nullptr};
    inst.model.info().intValue = 42;
    inst.model.info().sampleTime = 0.25;
    inst.model.info().offsetTime = 0.125;
    inst.model.info().dimsInfo = &dims;

    for (int flag : {113, 114, 120, 121, 128}) {
        seen = Seen{};
        EXPECT_EQ(inst.block->tryRequest(flag, 3), "") << flag;
        EXPECT_EQ(seen.calls, 1) << flag;
        EXPECT_EQ(seen.port, 3) << flag;
        EXPECT_EQ(seen.value, 42) << flag;
    }
    for (int flag : {122, 123}) {
        seen = Seen{};
        EXPECT_EQ(inst.block->tryRequest(flag, 1), "");
        EXPECT_EQ(seen.port, 1);
        EXPECT_EQ(seen.st, 0.25);
        EXPECT_EQ(seen.off, 0.125);
    }
    for (int flag : {111, 131, 132, 133}) {
        seen = Seen{};
        EXPECT_EQ(inst.block->tryRequest(flag), "") << flag;
        EXPECT_EQ(seen.calls, 1) << flag;
    }
    seen = Seen{};
    EXPECT_EQ(inst.block->tryRequest(142, 9), "");
    EXPECT_EQ(seen.value, 9);

    // The port-size slots serve widths while flags bit 0x1 is clear, dimension records while it is set.
    m.mdlSetInputPortSize.width = onPortInt;
    m.mdlSetOutputPortSize.width = onPortInt;
    for (int flag : {115, 116}) {
        seen = Seen{};
        EXPECT_EQ(inst.block->tryRequest(flag, 2), "");
        EXPECT_EQ(seen.port, 2);
        EXPECT_EQ(seen.value, 42);
    }
    EXPECT_EQ(inst.block->tryRequest(126), "Unexpected call to mdlSetInputPortDimensionInfo");
    EXPECT_EQ(inst.block->tryRequest(127), "Unexpected call to mdlSetOutputPortDimensionInfo");

    ssSetFlags(S, ssGetFlags(S) | SS_FLAG_PORT_DIMS_INFO);
    seen = Seen{};
    EXPECT_EQ(inst.block->tryRequest(115), "Unexpected call to mdlSetInputPortWidth");
    EXPECT_EQ(inst.block->tryRequest(116), "Unexpected call to mdlSetOutputPortWidth");
    EXPECT_EQ(seen.calls, 0);
    m.mdlSetInputPortSize.dims = onPortDims;
    m.mdlSetOutputPortSize.dims = onPortDims;
    for (int flag : {126, 127}) {
        seen = Seen{};
        EXPECT_EQ(inst.block->tryRequest(flag, 0), "");
        EXPECT_EQ(seen.dims, &dims);
    }
}

TEST(FrameSizesCall, EngineInstanceGetsMethodsVersionAndRequests)
{
    Model model;
    Block b(model, testBlock("fullblock"), "b");
    b.initializeSizes();
    SimStruct *S = b.instance();
    EXPECT_EQ(ssGetVersion(S), 5200229);
    EXPECT_NE(S->modelMethods.mdlOutputs, nullptr);
    EXPECT_NE(S->modelMethods.mdlStart, nullptr);
    EXPECT_NE(S->modelMethods.mdlGetTimeOfNextVarHit, nullptr);
    EXPECT_NE(S->modelMethods.mdlZeroCrossings, nullptr);
    EXPECT_EQ(S->modelMethods.mdlSetWorkWidths, nullptr);
    EXPECT_EQ(S->modelMethods.mdlSetInputPortSize.width, nullptr);
    // Frame request 280 first, then the block's request 197 with a true boolean.
    ASSERT_EQ(model.requests().size(), 2u);
    EXPECT_EQ(model.requests()[0].code, 280);
    EXPECT_EQ(model.requests()[0].intArg, 1);
    EXPECT_EQ(model.requests()[1].code, 197);
    EXPECT_EQ(model.requests()[1].intArg, 0);
    EXPECT_TRUE(model.requests()[1].hasBool && model.requests()[1].boolValue);
    // Flags word: ports registered, common declaration flags.
    const auto &v = b.sizesVector();
    ASSERT_EQ(v.size(), 38u);
    EXPECT_EQ(v[31], double(0x2u | 0x80000u | 0x800000u));
    EXPECT_EQ(v[23], 8192.0);
    EXPECT_EQ(v[8], 1.0);

    // Without the generic request function nothing is requested.
    Model quiet;
    quiet.offerGenericFcn(false);
    Block q(quiet, testBlock("fullblock"), "q");
    q.initializeSizes();
    EXPECT_TRUE(quiet.requests().empty());
}

TEST(FrameSizesCall, CommonDeclarationFlagsClearTheThreeBitField)
{
    Model model;
    Block b(model, testBlock("fullblock"), "b");
    ssSetFlags(b.instance(), 0x700000u | 0x4u);
    b.initializeSizes();
    EXPECT_EQ(ssGetFlags(b.instance()), 0x4u | 0x2u | 0x880000u);
}

fs::path copyLibrary(const std::string &from, const std::string &as)
{
    fs::path dir = fs::temp_directory_path() / ("frame-test-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    fs::path to = dir / (as + SIMBLOCKS_MEX_SUFFIX);
    fs::copy_file(std::string(TEST_BLOCK_DIR) + "/" + from + SIMBLOCKS_MEX_SUFFIX, to, fs::copy_options::overwrite_existing);
    return to;
}

TEST(FrameSizesCall, NameCheckOnEngineInstances)
{
    fs::path renamed = copyLibrary("fullblock", "otherblock");
    Model model;
    Block b(model, engine::Library::load(renamed.string()), "b");
    try {
        b.initializeSizes();
        FAIL() << "a renamed library must fail the name check";
    } catch (const engine::EngineError &e) {
        EXPECT_NE(std::string(e.what()).find(
                      "S-function name mismatch. Name in source is \"#define S_FUNCTION_NAME fullblock\", whereas "
                      "name of the S-function MEX file is \"otherblock\". The source needs to be updated"),
                  std::string::npos)
            << e.what();
    }
    EXPECT_EQ(b.instance()->modelMethods.mdlOutputs, nullptr) << "no method installed after a mismatch";

    // The reserved name skips the check.
    fs::path anyName = copyLibrary("simulink_only_sfcn", "whatever");
    Model model2;
    Block ok(model2, engine::Library::load(anyName.string()), "ok");
    EXPECT_NO_THROW(ok.initializeSizes());
    std::error_code ec;  // Windows keeps a loaded library's file: the copies may stay behind there
    fs::remove_all(renamed.parent_path(), ec);
}

TEST(FrameSizesCall, OverlongModelNameIsTruncatedNotOverflowed)
{
    // A raw sizes call on a record whose model name is far longer than the message buffer.
    auto lib = testBlock("fullblock");
    std::string longName(5000, 'x');
    SimStruct S{};
    struct _ssMdlInfo info{};
    S.root = &S;
    S.mdlInfo = &info;
    S.modelName = longName.c_str();
    mxArray *ref = mxCreateDoubleMatrix(2, 1, mxREAL);
    mxGetPr(ref)[0] = double(reinterpret_cast<uintptr_t>(&S));
    mxGetPr(ref)[1] = 5200229.0;
    mxArray *flag = mxCreateDoubleScalar(0);
    const mxArray *prhs[4] = {ref, ref, ref, flag};
    mxArray *plhs[1] = {nullptr};
    mxhost::CallResult r = mxhost::call(lib->entry(), 0, plhs, 4, prhs);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.error.size(), 255u);
    EXPECT_EQ(r.id, "simblocks:fullblock:nameMismatch");
    EXPECT_EQ(r.error.rfind("S-function name mismatch. Name in source is \"#define S_FUNCTION_NAME fullblock\"", 0), 0u);
    EXPECT_EQ(plhs[0], nullptr);
    mxDestroyArray(ref);
    mxDestroyArray(flag);
}

TEST(EngineCore, RefusesRequestsBeforeSizesAndAllocation)
{
    Model model;
    Block b(model, testutil::library("atmoglow"), "b", testutil::Args{testutil::num(1)}.view());
    EXPECT_THROW(b.request(engine::kOutputs), engine::EngineError);
    b.initializeSizes();
    EXPECT_THROW(b.request(engine::kOutputs), engine::EngineError);
    b.allocate();
    EXPECT_NO_THROW(b.request(engine::kOutputs));
}

TEST(EngineCore, ParameterCountMismatchAndBlockErrorsNameTheBlock)
{
    Model model;
    Block b(model, testutil::library("atmoglow"), "sky");
    try {
        b.initializeSizes();
        FAIL();
    } catch (const engine::EngineError &e) {
        EXPECT_STREQ(e.what(), "block 'sky' (atmoglow): expects 1 dialog parameter, given 0");
    }
    Instance inst(testutil::library("atmoglow"), testutil::Args{testutil::num(0)});
    try {
        inst.block->request(106);
        FAIL();
    } catch (const engine::EngineError &e) {
        EXPECT_STREQ(e.what(), "block 'b' (atmoglow): Invalid flag encountered in simulink");
    }
    // The engine clears the status after reporting it.
    EXPECT_EQ(inst.status(), nullptr);
    EXPECT_EQ(inst.model.info().flags & 0x1000u, 0x1000u);
}

}  // namespace
