// The engine: the Simulink side of the S-function protocol.
//
// It loads a block library by path and drives it only through the library's
// exported mexFunction: the sizes call with the two-row instance reference
// (address, version tag), then requests with nlhs < 0 and the flag in the
// fourth argument. It allocates what the declaration asks for, offers port
// registration, the DWork-count service and a generic request function that
// records what it is asked, and turns an error status left on the root
// record into an EngineError naming the block and the message.
#pragma once

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "boundary.h"
#include "simstruc.h"

namespace engine {

// Flags of the engine path.
enum Flag : int {
    kSampleTimes = 101,
    kInitializeConditions = 102,
    kOutputs = 104,
    kUpdate = 105,
    kTerminate = 107,
    kStart = 117,
};

struct EngineError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// A loaded deliverable; stays loaded while anything refers to it.
class Library {
public:
    static std::shared_ptr<Library> load(const std::string &path);
    ~Library();
    Library(const Library &) = delete;
    Library &operator=(const Library &) = delete;

    const std::string &name() const { return name_; }  // file name without folder and extension
    const std::string &path() const { return path_; }
    MexFunction entry() const { return entry_; }

private:
    Library() = default;
    void *handle_ = nullptr;
    MexFunction entry_ = nullptr;
    std::string name_, path_;
};

// A request the engine's generic request function received.
struct GenericRequest {
    std::string block;
    int code;
    int intArg;
    bool hasBool;     // request 197 carries a one-byte boolean
    bool boolValue;
};

class Block;

// The model-wide side: the root record, the model-wide information record,
// the simulation time and the log of generic requests.
class Model {
public:
    Model();
    Model(const Model &) = delete;
    Model &operator=(const Model &) = delete;

    void setTime(double t) { time_ = t; }
    double time() const { return time_; }
    struct _ssMdlInfo &info() { return info_; }
    SimStruct &root() { return root_; }
    const std::vector<GenericRequest> &requests() const { return requests_; }
    void clearRequests() { requests_.clear(); }
    // Whether the engine offers the generic request function and the DWork-count service.
    void offerGenericFcn(bool on);
    bool offersDWorkService() const { return dworkService_; }
    void offerDWorkService(bool on) { dworkService_ = on; }

private:
    friend class Block;
    static int_T genericFcn(SimStruct *S, int_T request, int_T intArg, void *data);
    double time_ = 0.0;
    struct _ssMdlInfo info_{};
    SimStruct root_{};
    std::vector<GenericRequest> requests_;
    bool dworkService_ = true;
};

// One block instance in a model.
class Block {
public:
    // The parameters are copied; the block owns its copies.
    Block(Model &model, std::shared_ptr<Library> lib, std::string instanceName,
          const std::vector<const mxArray *> &params = {});
    ~Block();
    Block(const Block &) = delete;
    Block &operator=(const Block &) = delete;

    const std::string &name() const { return instanceName_; }
    const Library &library() const { return *lib_; }
    Model &model() { return model_; }
    SimStruct *instance() { return S_; }
    const SimStruct *instance() const { return S_; }

    // The sizes call. Throws EngineError when the library raises an error,
    // reports one, or when the parameter count does not match.
    void initializeSizes();
    const std::vector<double> &sizesVector() const { return sizes_; }
    bool sized() const { return sized_; }

    int numInputPorts() const;
    int numOutputPorts() const;
    int inputWidth(int port) const;   // DYNAMICALLY_SIZED (-1) until resolved
    int outputWidth(int port) const;
    bool directFeedThrough(int port) const;
    bool requiredContiguous(int port) const;
    void setInputWidth(int port, int width);
    void setOutputWidth(int port, int width);

    // Allocates ports, work vectors, DWork arrays and sample-time slots from
    // the declaration. Every width must be resolved.
    void allocate();
    bool allocated() const { return allocated_; }

    // Input element e of port p reads *src (the pointer must stay valid).
    void connectInput(int port, int element, const double *src);
    const double *output(int port) const;
    double *output(int port);

    double sampleTime(int i) const;
    double offsetTime(int i) const;
    int numSampleTimes() const;

    // Optional callbacks, as the method table tells.
    bool hasStart() const { return S_->modelMethods.mdlStart != nullptr; }
    bool hasInitializeConditions() const { return S_->modelMethods.mdlInitializeConditions != nullptr; }
    bool hasUpdate() const { return S_->modelMethods.mdlUpdate != nullptr; }

    // Sends a request (nlhs < 0) with the engine's integer argument. Returns
    // the error message the block left on the root record, or "" when none;
    // the status is cleared afterwards. Refused (EngineError) before the
    // sizes call and allocation are done.
    std::string tryRequest(int flag, int intArg = 0);
    // The same, throwing EngineError("block 'name': message") on an error.
    void request(int flag, int intArg = 0);

    // Convenience for a run.
    void outputs(int tid = 0) { request(kOutputs, tid); }

    void *dwork(int i) const { return S_->dwork[i].array; }

    // The model-wide flag word as the last request left it, before the
    // engine cleared the error status (tests look at the error report).
    uint32_T flagsAfterLastRequest() const { return flagsAfterLast_; }

private:
    static int_T registerInputs(void *arg, int_T n);
    static int_T registerOutputs(void *arg, int_T n);
    static int_T setNumDWork(SimStruct *S, int_T n);
    bool send(int flag, int intArg);
    void gatherContiguous();
    std::string takeError();
    [[noreturn]] void fail(const std::string &what) const;

    Model &model_;
    std::shared_ptr<Library> lib_;
    std::string instanceName_, path_;
    SimStruct *S_ = nullptr;
    std::vector<mxArray *> params_;
    std::vector<const mxArray *> paramPtrs_;
    std::vector<double> sizes_;
    bool sized_ = false, allocated_ = false;

    std::vector<struct _ssPortInputs> inputs_;
    std::vector<struct _ssPortOutputs> outputs_;
    std::vector<std::vector<const double *>> inputPtrs_;
    std::vector<std::vector<double>> contiguous_;  // gathered inputs of contiguous ports
    std::vector<std::vector<double>> outputData_;
    std::vector<double> sampleTimes_, offsetTimes_;
    std::vector<int_T> iwork_;
    std::vector<double> rwork_;
    std::vector<void *> pwork_;
    std::vector<struct _ssDWorkRecord> dworkRecords_;
    std::vector<std::vector<unsigned char>> dworkData_;
    struct _ssSFcnModelMethods2 methods2_{};
    uint32_T flagsAfterLast_ = 0;
    mxArray *flagArg_ = nullptr;
    double *flagValue_ = nullptr;
    std::string lastError_;
    bool hasContiguous_ = false;
    mxArray *plhs_[2] = {nullptr, nullptr};
    const mxArray *prhs_[4] = {nullptr, nullptr, nullptr, nullptr};
};

// Size in bytes of a built-in data type code; 0 for an unknown code.
std::size_t dataTypeSize(int code);

}  // namespace engine
