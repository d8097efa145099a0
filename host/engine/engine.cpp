#include "engine.h"

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#else
#include <dlfcn.h>
#endif

#include <cstring>

namespace engine {

namespace {
const double kZero = 0.0;  // what an unconnected input element reads

// Loading a library and finding its entry point: dlopen and dlsym, or on
// Windows LoadLibrary and GetProcAddress. On failure *why says what the
// system reported.
#ifdef _WIN32
void *openLibrary(const std::string &path, std::string *why)
{
    // A library given by its full path has its own dependencies looked for
    // in its folder too (the flag is defined for full paths only).
    const bool full = path.size() > 2 && (path[1] == ':' || (path[0] == '\\' && path[1] == '\\'));
    HMODULE h = LoadLibraryExA(path.c_str(), nullptr, full ? LOAD_WITH_ALTERED_SEARCH_PATH : 0);
    if (h == nullptr) {
        DWORD code = GetLastError();
        char text[512] = "";
        DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0, text,
                                 sizeof text, nullptr);
        while (n > 0 && (text[n - 1] == '\n' || text[n - 1] == '\r' || text[n - 1] == ' ')) text[--n] = '\0';
        *why = n > 0 ? std::string(text) : "error " + std::to_string(code);
    }
    return reinterpret_cast<void *>(h);
}
void *findEntry(void *h, const char *name)
{
    return reinterpret_cast<void *>(GetProcAddress(static_cast<HMODULE>(h), name));
}
void closeLibrary(void *h) { FreeLibrary(static_cast<HMODULE>(h)); }
#else
void *openLibrary(const std::string &path, std::string *why)
{
    void *h = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (h == nullptr) {
        const char *text = dlerror();
        *why = text != nullptr ? text : "unknown error";
    }
    return h;
}
void *findEntry(void *h, const char *name) { return dlsym(h, name); }
void closeLibrary(void *h) { dlclose(h); }
#endif

std::string baseName(const std::string &path)
{
#ifdef _WIN32
    std::size_t slash = path.find_last_of("/\\");
#else
    std::size_t slash = path.find_last_of('/');
#endif
    std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
    std::size_t dot = base.find('.');
    return dot == std::string::npos ? base : base.substr(0, dot);
}
}  // namespace

std::size_t dataTypeSize(int code)
{
    switch (code) {
    case SS_DOUBLE: return 8;
    case SS_SINGLE: case SS_INT32: case SS_UINT32: return 4;
    case SS_INT16: case SS_UINT16: return 2;
    case SS_INT8: case SS_UINT8: case SS_BOOLEAN: return 1;
    default: return 0;
    }
}

// ---- Library -------------------------------------------------------------

std::shared_ptr<Library> Library::load(const std::string &path)
{
    std::string why;
    void *h = openLibrary(path, &why);
    if (h == nullptr) throw EngineError("cannot load '" + path + "': " + why);
    void *sym = findEntry(h, "mexFunction");
    if (sym == nullptr) {
        closeLibrary(h);
        throw EngineError("'" + path + "' exports no mexFunction");
    }
    std::shared_ptr<Library> lib(new Library);
    lib->handle_ = h;
    lib->entry_ = reinterpret_cast<MexFunction>(sym);
    lib->path_ = path;
    lib->name_ = baseName(path);
    return lib;
}

Library::~Library()
{
    if (handle_ != nullptr) closeLibrary(handle_);
}

// ---- Model ------------------------------------------------------------------

Model::Model()
{
    info_.t = &time_;
    info_.flags = SS_MDL_FLAG_NO_ERROR;
    info_.genericFcn = &Model::genericFcn;
    root_.root = &root_;
    root_.mdlInfo = &info_;
    root_.modelName = "model";
    root_.path = "model";
}

void Model::offerGenericFcn(bool on) { info_.genericFcn = on ? &Model::genericFcn : nullptr; }

int_T Model::genericFcn(SimStruct *S, int_T request, int_T intArg, void *data)
{
    auto *block = static_cast<Block *>(S->userData);
    GenericRequest r{block != nullptr ? block->name() : std::string(), request, intArg, false, false};
    if (request == SS_REQUEST_MULTIPLE_EXEC_INSTANCES && data != nullptr) {
        r.hasBool = true;
        r.boolValue = *static_cast<const boolean_T *>(data) != 0;
    }
    if (block != nullptr) block->model().requests_.push_back(r);
    return 1;
}

// ---- Block ------------------------------------------------------------------

Block::Block(Model &model, std::shared_ptr<Library> lib, std::string instanceName,
             const std::vector<const mxArray *> &params)
    : model_(model), lib_(std::move(lib)), instanceName_(std::move(instanceName))
{
    path_ = "model/" + instanceName_;
    for (const mxArray *p : params) params_.push_back(mxDuplicateArray(p));
    paramPtrs_.assign(params_.begin(), params_.end());

    S_ = new SimStruct{};
    S_->modelName = lib_->name().c_str();
    S_->path = path_.c_str();
    S_->root = &model_.root_;
    S_->mdlInfo = &model_.info_;
    S_->sfcnParams.count = static_cast<int_T>(paramPtrs_.size());
    S_->sfcnParams.params = paramPtrs_.empty() ? nullptr : paramPtrs_.data();
    S_->portInfo.regNumInputPortsFcn = &Block::registerInputs;
    S_->portInfo.regNumInputPortsFcnArg = this;
    S_->portInfo.regNumOutputPortsFcn = &Block::registerOutputs;
    S_->portInfo.regNumOutputPortsFcnArg = this;
    S_->ownerBlock = this;
    S_->setNumDWorkFcn = model_.offersDWorkService() ? &Block::setNumDWork : nullptr;
    S_->modelMethods2 = &methods2_;
    S_->userData = this;

    flagArg_ = mxCreateDoubleMatrix(1, 1, mxREAL);
    flagValue_ = mxGetPr(flagArg_);
    plhs_[1] = reinterpret_cast<mxArray *>(S_);
    prhs_[3] = flagArg_;
}

Block::~Block()
{
    for (mxArray *p : params_) mxDestroyArray(p);
    mxDestroyArray(flagArg_);
    delete S_;
}

void Block::fail(const std::string &what) const
{
    throw EngineError("block '" + instanceName_ + "' (" + lib_->name() + "): " + what);
}

std::string Block::takeError()
{
    SimStruct &root = model_.root_;
    if (root.errorStatus == nullptr) return std::string();
    std::string msg = root.errorStatus;
    root.errorStatus = nullptr;
    model_.info_.flags |= SS_MDL_FLAG_NO_ERROR;
    return msg;
}

int_T Block::registerInputs(void *arg, int_T n)
{
    auto *b = static_cast<Block *>(arg);
    if (n < 0) return 0;
    ssSetFlags(b->S_, ssGetFlags(b->S_) | SS_FLAG_PORTS_REGISTERED);
    ssSetSizeField(b->S_, SS_SIZES_NUM_INPUT_PORTS, n);
    b->inputs_.assign(static_cast<std::size_t>(n), _ssPortInputs{});
    b->S_->portInfo.inputs = n > 0 ? b->inputs_.data() : nullptr;
    return 1;
}

int_T Block::registerOutputs(void *arg, int_T n)
{
    auto *b = static_cast<Block *>(arg);
    if (n < 0) return 0;
    ssSetFlags(b->S_, ssGetFlags(b->S_) | SS_FLAG_PORTS_REGISTERED);
    ssSetSizeField(b->S_, SS_SIZES_NUM_OUTPUT_PORTS, n);
    b->outputs_.assign(static_cast<std::size_t>(n), _ssPortOutputs{});
    b->S_->portInfo.outputs = n > 0 ? b->outputs_.data() : nullptr;
    return 1;
}

int_T Block::setNumDWork(SimStruct *S, int_T n)
{
    auto *b = static_cast<Block *>(S->userData);
    if (n < 0) return 0;
    b->dworkRecords_.assign(static_cast<std::size_t>(n), _ssDWorkRecord{});
    S->numDWork = n;
    S->dwork = n > 0 ? b->dworkRecords_.data() : nullptr;
    return 1;
}

void Block::initializeSizes()
{
    if (sized_) fail("the sizes call was already made");
    mxArray *ref = mxCreateDoubleMatrix(2, 1, mxREAL);
    mxGetPr(ref)[0] = static_cast<double>(reinterpret_cast<std::uintptr_t>(S_));
    mxGetPr(ref)[1] = static_cast<double>(SIMSTRUCT_VERSION_LEVEL2);
    mxArray *empty = mxCreateDoubleMatrix(0, 0, mxREAL);
    mxArray *flag = mxCreateDoubleScalar(0.0);
    const mxArray *prhs[4] = {empty, ref, empty, flag};
    mxArray *plhs[1] = {nullptr};
    auto release = [&] {
        mxDestroyArray(ref);
        mxDestroyArray(empty);
        mxDestroyArray(flag);
    };
    CallResult r;
    try {
        r = callBlock(lib_->entry(), 1, plhs, 4, prhs);
    } catch (...) {  // a host that unwinds through the engine
        release();
        throw;
    }
    release();
    // A block's frame fills in the method table of the instance and answers
    // with its sizes vector; a plain function (or any other MEX file) does
    // neither, and must not be sent requests with this instance.
    const mxArray *answer = plhs[0];
    const bool sizesVector = answer != nullptr && mxIsDouble(answer) && !mxIsComplex(answer) &&
                             !mxIsSparse(answer) && mxGetNumberOfElements(answer) == SS_SIZES_COUNT &&
                             mxGetPr(answer) != nullptr;
    const bool declared = S_->modelMethods.mdlOutputs != nullptr;
    if (sizesVector) {
        const double *v = mxGetPr(answer);
        sizes_.assign(v, v + mxGetNumberOfElements(answer));
    }
    if (plhs[0] != nullptr) mxDestroyArray(plhs[0]);
    if (!declared || (r.ok && !sizesVector)) {
        takeError();
        std::string what = r.ok ? "its sizes call returned no sizes vector" : "its sizes call failed: " + r.error;
        fail("'" + lib_->path() + "' is not a block: " + what);
    }
    if (!r.ok) fail(r.error);
    std::string err = takeError();
    if (!err.empty()) fail(err);
    int expected = ssGetNumSFcnParams(S_);
    if (expected != S_->sfcnParams.count) {
        fail("expects " + std::to_string(expected) + " dialog parameter" + (expected == 1 ? "" : "s") + ", given " +
             std::to_string(S_->sfcnParams.count));
    }
    if (static_cast<std::size_t>(numInputPorts()) != inputs_.size() ||
        static_cast<std::size_t>(numOutputPorts()) != outputs_.size())
        fail("the port declaration is incomplete");
    sized_ = true;
}

int Block::numInputPorts() const { return ssGetNumInputPorts(S_); }
int Block::numOutputPorts() const { return ssGetNumOutputPorts(S_); }

int Block::inputWidth(int port) const
{
    if (port < 0 || port >= numInputPorts()) fail("no input port " + std::to_string(port + 1));
    return inputs_[port].width;
}

int Block::outputWidth(int port) const
{
    if (port < 0 || port >= numOutputPorts()) fail("no output port " + std::to_string(port + 1));
    return outputs_[port].width;
}

bool Block::directFeedThrough(int port) const { inputWidth(port); return inputs_[port].directFeedThrough != 0; }
bool Block::requiredContiguous(int port) const { inputWidth(port); return inputs_[port].contiguous != 0; }

void Block::setInputWidth(int port, int width)
{
    inputWidth(port);
    if (allocated_) fail("widths are fixed once the block is allocated");
    inputs_[port].width = width;
}

void Block::setOutputWidth(int port, int width)
{
    outputWidth(port);
    if (allocated_) fail("widths are fixed once the block is allocated");
    outputs_[port].width = width;
}

void Block::allocate()
{
    if (!sized_) fail("allocation before the sizes call");
    if (allocated_) return;
    inputPtrs_.resize(inputs_.size());
    contiguous_.resize(inputs_.size());
    for (std::size_t p = 0; p < inputs_.size(); ++p) {
        int w = inputs_[p].width;
        if (w < 0) fail("the width of input port " + std::to_string(p + 1) + " is not resolved");
        inputPtrs_[p].assign(static_cast<std::size_t>(w), &kZero);
        if (inputs_[p].contiguous) {
            hasContiguous_ = true;
            contiguous_[p].assign(static_cast<std::size_t>(w), 0.0);
            inputs_[p].signal.vect = contiguous_[p].data();
        } else {
            inputs_[p].signal.ptrs = inputPtrs_[p].data();
        }
    }
    outputData_.resize(outputs_.size());
    for (std::size_t p = 0; p < outputs_.size(); ++p) {
        int w = outputs_[p].width;
        if (w < 0) fail("the width of output port " + std::to_string(p + 1) + " is not resolved");
        outputData_[p].assign(static_cast<std::size_t>(w), 0.0);
        outputs_[p].signal = outputData_[p].data();
    }
    auto count = [this](int field, const char *what) {
        int n = ssGetSizeField(S_, field);
        if (n < 0) fail(std::string("negative ") + what);
        return static_cast<std::size_t>(n);
    };
    sampleTimes_.assign(count(SS_SIZES_NUM_SAMPLE_TIMES, "number of sample times"), 0.0);
    offsetTimes_.assign(sampleTimes_.size(), 0.0);
    S_->sampleTimes = sampleTimes_.data();
    S_->offsetTimes = offsetTimes_.data();
    iwork_.assign(count(SS_SIZES_NUM_IWORK, "integer work width"), 0);
    rwork_.assign(count(SS_SIZES_NUM_RWORK, "real work width"), 0.0);
    pwork_.assign(count(SS_SIZES_NUM_PWORK, "pointer work width"), nullptr);
    S_->iwork = iwork_.data();
    S_->rwork = rwork_.data();
    S_->pwork = pwork_.data();
    dworkData_.resize(dworkRecords_.size());
    for (std::size_t i = 0; i < dworkRecords_.size(); ++i) {
        _ssDWorkRecord &d = dworkRecords_[i];
        std::size_t size = dataTypeSize(d.dataTypeId);
        if (d.width < 0 || size == 0) fail("DWork record " + std::to_string(i + 1) + " has no valid width or type");
        dworkData_[i].assign(static_cast<std::size_t>(d.width) * size * (d.complexSignal ? 2 : 1), 0);
        d.array = dworkData_[i].data();
    }
    allocated_ = true;
}

void Block::connectInput(int port, int element, const double *src)
{
    if (!allocated_) fail("connection before allocation");
    if (element < 0 || element >= inputWidth(port))
        fail("input port " + std::to_string(port + 1) + " has no element " + std::to_string(element + 1));
    inputPtrs_[port][static_cast<std::size_t>(element)] = src != nullptr ? src : &kZero;
}

const double *Block::output(int port) const { outputWidth(port); return outputData_.at(port).data(); }
double *Block::output(int port) { outputWidth(port); return outputData_.at(port).data(); }

int Block::numSampleTimes() const { return static_cast<int>(sampleTimes_.size()); }
double Block::sampleTime(int i) const { return sampleTimes_.at(i); }
double Block::offsetTime(int i) const { return offsetTimes_.at(i); }

void Block::gatherContiguous()
{
    for (std::size_t p = 0; p < contiguous_.size(); ++p) {
        if (!inputs_[p].contiguous) continue;
        std::vector<double> &buf = contiguous_[p];
        const std::vector<const double *> &src = inputPtrs_[p];
        for (std::size_t e = 0; e < buf.size(); ++e) buf[e] = *src[e];
    }
}

bool Block::send(int flag, int intArg)
{
    if (!allocated_) fail("request " + std::to_string(flag) + " before the block is sized and allocated");
    if (hasContiguous_ && (flag == kOutputs || flag == kUpdate)) gatherContiguous();
    ssSetSizeField(S_, SS_SIZES_MEX_API_INT1, intArg);
    flagValue_[0] = static_cast<double>(flag);
    const bool returned = requestBlock(lib_->entry(), plhs_, 4, prhs_, &lastError_);
    flagsAfterLast_ = model_.info_.flags;
    if (returned && model_.root_.errorStatus == nullptr) return true;
    std::string err = takeError();
    if (returned) lastError_ = err;
    return false;
}

std::string Block::tryRequest(int flag, int intArg)
{
    return send(flag, intArg) ? std::string() : lastError_;
}

void Block::request(int flag, int intArg)
{
    if (!send(flag, intArg)) fail(lastError_);
}

}  // namespace engine
