// Helpers for tests: loading deliverables from the build, running a block
// through the engine on buffers of the test's own, calling a plain function
// through the embedded host.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "engine.h"
#include "mxhost.h"
#include "support/posix_compat.h"

namespace testutil {

inline std::string libPath(const std::string &name) { return std::string(SIMBLOCKS_LIB_DIR) + "/" + name + SIMBLOCKS_MEX_SUFFIX; }

// Each deliverable is loaded once per test program and stays loaded.
inline std::shared_ptr<engine::Library> library(const std::string &name)
{
    static std::map<std::string, std::shared_ptr<engine::Library>> cache;
    auto it = cache.find(name);
    if (it != cache.end()) return it->second;
    auto lib = engine::Library::load(libPath(name));
    cache[name] = lib;
    return lib;
}

// Owns arrays made for a call.
struct Args {
    std::vector<mxArray *> arrays;
    Args() = default;
    Args(std::initializer_list<mxArray *> a) : arrays(a) {}
    ~Args()
    {
        for (mxArray *a : arrays) mxDestroyArray(a);
    }
    Args(const Args &) = delete;
    Args &operator=(const Args &) = delete;
    Args(Args &&o) noexcept : arrays(std::move(o.arrays)) { o.arrays.clear(); }
    std::vector<const mxArray *> view() const { return {arrays.begin(), arrays.end()}; }
};

inline mxArray *num(double v) { return mxCreateDoubleScalar(v); }
inline mxArray *str(const char *s) { return mxCreateString(s); }
inline mxArray *empty() { return mxCreateDoubleMatrix(0, 0, mxREAL); }

// The outcome of calling a plain function or a block's command-line path.
struct CallOutcome {
    bool ok = true;
    std::string error;
    std::string id;  // the error's identifier
    std::string printed;
    std::vector<mxArray *> out;
    CallOutcome() = default;
    CallOutcome(const CallOutcome &) = delete;
    CallOutcome(CallOutcome &&o) noexcept
        : ok(o.ok), error(std::move(o.error)), id(std::move(o.id)), printed(std::move(o.printed)),
          out(std::move(o.out))
    {
        o.out.clear();
    }
    ~CallOutcome()
    {
        for (mxArray *a : out) mxDestroyArray(a);
    }
    std::vector<double> values(std::size_t i) const
    {
        const mxArray *a = out.at(i);
        const double *p = mxGetPr(a);
        return p ? std::vector<double>(p, p + mxGetNumberOfElements(a)) : std::vector<double>();
    }
};

// Calls a deliverable's mexFunction with nlhs outputs and the given inputs.
inline CallOutcome callMex(const std::string &name, int nlhs, const Args &args)
{
    CallOutcome r;
    r.out.assign(static_cast<std::size_t>(nlhs > 0 ? nlhs : 1), nullptr);
    std::vector<const mxArray *> in = args.view();
    mxhost::PrintCapture capture;
    mxhost::CallResult res = mxhost::call(library(name)->entry(), nlhs, r.out.data(), static_cast<int>(in.size()),
                                          in.empty() ? nullptr : in.data());
    r.ok = res.ok;
    r.error = res.error;
    r.id = res.id;
    r.printed = capture.text();
    std::vector<mxArray *> kept;
    for (mxArray *a : r.out)
        if (a != nullptr) kept.push_back(a);
    r.out = kept;
    return r;
}

// One block in a model of its own, its inputs fed from buffers of the test.
class Harness {
public:
    // inputWidths resolves dynamically sized input ports (in port order);
    // a dynamic output port takes the width of input port 1.
    Harness(const std::string &name, const Args &params, std::vector<int> inputWidths = {})
        : block_(model_, library(name), name, params.view())
    {
        block_.initializeSizes();
        for (int p = 0; p < block_.numInputPorts(); ++p) {
            if (block_.inputWidth(p) == DYNAMICALLY_SIZED) block_.setInputWidth(p, inputWidths.at(p));
        }
        for (int p = 0; p < block_.numOutputPorts(); ++p) {
            if (block_.outputWidth(p) == DYNAMICALLY_SIZED)
                block_.setOutputWidth(p, block_.numInputPorts() > 0 ? block_.inputWidth(0) : 1);
        }
        block_.allocate();
        inputs_.resize(block_.numInputPorts());
        for (int p = 0; p < block_.numInputPorts(); ++p) {
            inputs_[p].assign(static_cast<std::size_t>(block_.inputWidth(p)), 0.0);
            for (int e = 0; e < block_.inputWidth(p); ++e) block_.connectInput(p, e, &inputs_[p][e]);
        }
        block_.request(engine::kSampleTimes);
    }

    engine::Model &model() { return model_; }
    engine::Block &block() { return block_; }
    SimStruct *S() { return block_.instance(); }

    void setInput(int port, const std::vector<double> &v)
    {
        for (std::size_t i = 0; i < v.size(); ++i) inputs_.at(port).at(i) = v[i];
    }
    // Outputs at time t; returns output port 'port'.
    std::vector<double> outputs(double t, int port = 0)
    {
        model_.setTime(t);
        block_.outputs();
        const double *y = block_.output(port);
        return std::vector<double>(y, y + block_.outputWidth(port));
    }
    double output1(double t, const std::vector<double> &in)
    {
        setInput(0, in);
        return outputs(t).at(0);
    }

private:
    engine::Model model_;
    engine::Block block_;
    std::vector<std::vector<double>> inputs_;
};

}  // namespace testutil
