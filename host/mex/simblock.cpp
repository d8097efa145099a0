// simblock for Octave and MATLAB: one block over a series of times, without
// a model. The block (a block MEX file beside this one) is sized with the
// given dialog parameters, its input widths taken from the columns of u,
// then run once per row of t: outputs, then update, at the row's time,
// whatever sample time it declares. The outputs of each row make one row
// of y (one array per output port).
//
// A standard block (gain, ..., transfer, delay: built into the engine) runs
// as a model of one block instead: the rows of t must be evenly spaced, they
// are the model's steps, each input port is fed by a source that gives row
// i of its matrix at t(i) and the straight line between rows in between,
// and the engine's solver (bdf, its default tolerances) integrates the
// block's continuous states over the series.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "engine.h"
#include "simulation.h"
#include "gateway.h"
#include "host_flavour.h"
#include "mex.h"

namespace {

using gateway::Failure;

const char kArgs[] = "simblocks:simblock:args";
const char kBlock[] = "simblocks:simblock:block";
const char kWidth[] = "simblocks:simblock:width";
const char kTime[] = "simblocks:simblock:time";

std::string seconds(double v)
{
    char buf[40];
    std::snprintf(buf, sizeof buf, "%.15g", v);
    return buf;
}

bool realMatrix(const mxArray *a)
{
    return mxIsDouble(a) && !mxIsComplex(a) && !mxIsSparse(a) && mxGetNumberOfDimensions(a) == 2;
}

// Sends terminate when it goes, unless the run did.
struct Terminator {
    engine::Block *block = nullptr;
    ~Terminator()
    {
        if (block == nullptr) return;
        try {
            block->tryRequest(engine::kTerminate);
        } catch (...) {  // the failure being reported is the one that counts
        }
    }
};

// A parameter of a standard block: numbers (a matrix, values row by row) or text.
engine::StdParam stdParam(const mxArray *p, std::size_t index)
{
    engine::StdParam out;
    if (mxIsChar(p)) {
        out.isText = true;
        if (!gateway::charRow(p, out.text)) throw Failure{kArgs, "parameter " + std::to_string(index) + ": text must be a character row"};
        return out;
    }
    if (!(mxIsNumeric(p) || mxIsLogical(p)) || mxIsComplex(p) || mxIsSparse(p) || mxGetNumberOfDimensions(p) != 2)
        throw Failure{kArgs, "parameter " + std::to_string(index) + " must be a real matrix or text"};
    const std::size_t rows = mxGetM(p), cols = mxGetN(p);
    if (rows > static_cast<std::size_t>(std::numeric_limits<int>::max()) || cols > static_cast<std::size_t>(std::numeric_limits<int>::max()))
        throw Failure{kArgs, "parameter " + std::to_string(index) + " is too large"};
    out.rows = static_cast<int>(rows);
    out.cols = static_cast<int>(cols);
    out.values.resize(rows * cols);
    if (!mxIsDouble(p) && !mxIsLogical(p))
        throw Failure{kArgs, "parameter " + std::to_string(index) + " must be double (or logical) numbers or text"};
    for (std::size_t r = 0; r < rows; ++r)
        for (std::size_t c = 0; c < cols; ++c)
            out.values[r * cols + c] = mxIsDouble(p) ? mxGetPr(p)[r + c * rows] : (mxGetLogicals(p)[r + c * rows] ? 1.0 : 0.0);
    return out;
}

// A standard block over the series: a model of one block whose steps are the rows of t.
void runStandard(const std::string &name, const std::vector<const mxArray *> &paramList, const double *t, std::size_t n,
                 const std::vector<const mxArray *> &inputs, int nlhs, mxArray *plhs[])
{
    double step = 1.0;  // one row or none: any step will do
    if (n >= 2) {
        step = (t[n - 1] - t[0]) / static_cast<double>(n - 1);
        for (std::size_t i = 1; i + 1 < n; ++i)
            if (std::fabs(t[i] - (t[0] + static_cast<double>(i) * step)) > 1e-6 * step)
                throw Failure{kTime, "t must be evenly spaced for a standard block (its rows are the model's steps): t(" +
                                         std::to_string(i + 1) + ") - t(1) is not " + std::to_string(i) + " times " +
                                         seconds(step) + " s"};
    }
    std::vector<engine::StdParam> params;
    for (std::size_t i = 0; i < paramList.size(); ++i) params.push_back(stdParam(paramList[i], i + 1));

    engine::Simulation sim;
    std::vector<int> sources;
    for (std::size_t p = 0; p < inputs.size(); ++p) {
        const std::size_t width = mxGetN(inputs[p]);
        if (width > static_cast<std::size_t>(std::numeric_limits<int>::max()))
            throw Failure{kWidth, "input " + std::to_string(p + 1) + " has too many columns"};
        sources.push_back(sim.addSource("u" + std::to_string(p + 1), static_cast<int>(width)));
    }
    const int node = sim.addStandardBlock(name, name, params);
    for (std::size_t p = 0; p < inputs.size(); ++p)
        sim.connect(node, static_cast<int>(p), {engine::SignalPiece{sources[p], 0, 0, -1}});
    // Row i at t(i); the straight line between rows where the solver asks.
    auto fill = [&](std::size_t p, double at) {
        const double *u = mxGetPr(inputs[p]);
        double *to = sim.sourceData(sources[p]);
        const std::size_t width = mxGetN(inputs[p]);
        double x = n >= 2 ? (at - t[0]) / step : 0.0;
        if (!(x > 0)) x = 0;
        std::size_t i = static_cast<std::size_t>(std::min(x, static_cast<double>(n - 1)));
        if (i + 1 >= n) {
            for (std::size_t e = 0; e < width; ++e) to[e] = u[(n - 1) + e * n];
            return;
        }
        const double w = (at - t[i]) / (t[i + 1] - t[i]);
        for (std::size_t e = 0; e < width; ++e) {
            const double u0 = u[i + e * n], u1 = u[i + 1 + e * n];
            to[e] = w > 0 ? u0 + (u1 - u0) * w : u0;
        }
    };
    if (n > 0)
        for (std::size_t p = 0; p < inputs.size(); ++p) sim.setSourceFunction(sources[p], [&fill, p](double at) { fill(p, at); });
    sim.prepare(n > 0 ? t[0] : 0.0, step, n > 0 ? t[n - 1] : 0.0);

    const int outs = sim.numOutputs(node);
    if (nlhs > std::max(outs, 1))
        throw Failure{kArgs, "block '" + name + "' has " + std::to_string(outs) + " output port" + (outs == 1 ? "" : "s")};
    std::vector<mxArray *> ys;
    struct Results {
        std::vector<mxArray *> &ys;
        ~Results()
        {
            for (mxArray *a : ys) mxDestroyArray(a);
        }
    } results{ys};
    for (int p = 0; p < outs && p < std::max(nlhs, 1); ++p)
        ys.push_back(mxCreateDoubleMatrix(n, static_cast<std::size_t>(std::max(sim.outputWidth(node, p), 0)), mxREAL));

    if (n > 0) {
        struct Ender {
            engine::Simulation &sim;
            ~Ender() { sim.terminate(); }
        } ender{sim};
        sim.start();
        for (std::size_t i = 0; i < n; ++i) {
            const long long k = static_cast<long long>(i);
            for (std::size_t p = 0; p < inputs.size(); ++p) {
                const double *u = mxGetPr(inputs[p]);
                double *to = sim.sourceData(sources[p]);
                for (std::size_t e = 0; e < mxGetN(inputs[p]); ++e) to[e] = u[i + e * n];
            }
            sim.outputs(k);
            for (std::size_t p = 0; p < ys.size(); ++p) {
                double *d = mxGetPr(ys[p]);
                const std::size_t w = mxGetN(ys[p]);
                for (std::size_t e = 0; e < w; ++e) d[i + e * n] = *sim.signal(node, static_cast<int>(p), static_cast<int>(e));
            }
            sim.updates(k);
            if (host_interrupt_pending()) {
                host_interrupt_take();
                throw Failure{"simblocks:simblock:interrupted", "interrupted at t = " + seconds(t[i]) + " s, after row " +
                                                                 std::to_string(i + 1) + " of " + std::to_string(n)};
            }
        }
        const std::string err = sim.terminate();
        if (!err.empty()) throw Failure{kBlock, err};
    }
    if (ys.empty()) {
        plhs[0] = mxCreateDoubleMatrix(n, 0, mxREAL);
        return;
    }
    for (std::size_t p = 0; p < ys.size(); ++p) plhs[p] = ys[p];
    ys.clear();
}

void run(int nlhs, mxArray *plhs[], int nrhs, const mxArray *prhs[])
{
    if (nrhs < 3 || nrhs > 4) throw Failure{kArgs, "usage: [y1, y2, ...] = simblock(name, params, t, u)"};
    std::string name;
    if (!gateway::charRow(prhs[0], name) || !gateway::validName(name))
        throw Failure{kArgs, "the block name must be a deliverable's name (letters, digits and '_')"};
    // A cell array of parameters; one parameter given alone (a number, a
    // row of numbers, text) is a list of one, and [] a list of none.
    const mxArray *params = prhs[1];
    std::vector<const mxArray *> paramList;
    if (mxIsCell(params)) {
        for (std::size_t i = 0; i < mxGetNumberOfElements(params); ++i) {
            const mxArray *p = mxGetCell(params, i);
            if (p == nullptr) throw Failure{kArgs, "parameter " + std::to_string(i + 1) + " is not set"};
            paramList.push_back(p);
        }
    } else if (mxIsNumeric(params) || mxIsLogical(params) || mxIsChar(params)) {
        if (!(mxIsDouble(params) && mxGetNumberOfElements(params) == 0)) paramList.push_back(params);
    } else {
        throw Failure{kArgs, "the dialog parameters must be a cell array, or one parameter alone ({} or [] for none)"};
    }

    const mxArray *tArg = prhs[2];
    if (!realMatrix(tArg) || (mxGetM(tArg) != 1 && mxGetN(tArg) != 1 && mxGetNumberOfElements(tArg) != 0))
        throw Failure{kTime, "t must be a vector of real times"};
    const std::size_t n = mxGetNumberOfElements(tArg);
    const double *t = mxGetPr(tArg);
    for (std::size_t i = 0; i < n; ++i) {
        if (!std::isfinite(t[i])) throw Failure{kTime, "t(" + std::to_string(i + 1) + ") is not a finite number"};
        if (i > 0 && !(t[i] > t[i - 1])) throw Failure{kTime, "t must increase: t(" + std::to_string(i + 1) + ") <= t(" + std::to_string(i) + ")"};
    }

    // The inputs, one matrix per port.
    std::vector<const mxArray *> inputs;
    if (nrhs == 4) {
        const mxArray *u = prhs[3];
        if (mxIsCell(u))
            for (std::size_t i = 0; i < mxGetNumberOfElements(u); ++i) inputs.push_back(mxGetCell(u, i));
        else if (!(mxIsDouble(u) && mxGetM(u) == 0 && mxGetN(u) == 0))  // [] is no input
            inputs.push_back(u);
    }
    for (std::size_t p = 0; p < inputs.size(); ++p) {
        if (inputs[p] == nullptr || !realMatrix(inputs[p]))
            throw Failure{kArgs, "input " + std::to_string(p + 1) + " must be a real double matrix, one row per time"};
        if (mxGetM(inputs[p]) != n)
            throw Failure{kWidth, "input " + std::to_string(p + 1) + " has " + std::to_string(mxGetM(inputs[p])) +
                                      " rows but t has " + std::to_string(n)};
    }

    if (engine::isStandardBlock(name)) {
        runStandard(name, paramList, t, n, inputs, nlhs, plhs);
        return;
    }

    std::string folder, extension;
    gateway::ownLocation(folder, extension);
    std::string path = folder + "/" + name + extension;
    std::shared_ptr<engine::Library> lib;
    if (FILE *f = std::fopen(path.c_str(), "rb")) {
        std::fclose(f);
        try {
            lib = engine::Library::load(path);
        } catch (const engine::EngineError &e) {
            throw Failure{"simblocks:simblock:type", e.what()};
        }
    } else {
        throw Failure{"simblocks:simblock:type", "unknown block type '" + name + "' (no " + name + extension + " in " + folder + ")"};
    }

    engine::Model model;
    engine::Block block(model, lib, name, paramList);
    try {
        block.initializeSizes();
    } catch (const engine::EngineError &e) {
        throw Failure{kBlock, e.what()};
    }
    const int ins = block.numInputPorts(), outs = block.numOutputPorts();
    if (static_cast<int>(inputs.size()) != ins)
        throw Failure{kWidth, "block '" + name + "' has " + std::to_string(ins) + " input port" + (ins == 1 ? "" : "s") +
                                  " but " + std::to_string(inputs.size()) + " input" + (inputs.size() == 1 ? " is" : "s are") +
                                  " given"};
    if (nlhs > std::max(outs, 1))
        throw Failure{kArgs, "block '" + name + "' has " + std::to_string(outs) + " output port" + (outs == 1 ? "" : "s")};
    for (int p = 0; p < ins; ++p) {
        const std::size_t columns = mxGetN(inputs[static_cast<std::size_t>(p)]);
        if (columns > static_cast<std::size_t>(std::numeric_limits<int>::max()))
            throw Failure{kWidth, "input " + std::to_string(p + 1) + " has " + std::to_string(columns) +
                                      " columns, more than a port can take"};
        int have = static_cast<int>(columns);
        int want = block.inputWidth(p);
        if (want == DYNAMICALLY_SIZED) block.setInputWidth(p, have);
        else if (want != have)
            throw Failure{kWidth, "block '" + name + "': input port " + std::to_string(p + 1) + " has width " +
                                      std::to_string(want) + " but u has " + std::to_string(have) + " column" +
                                      (have == 1 ? "" : "s")};
    }
    for (int p = 0; p < outs; ++p)
        if (block.outputWidth(p) == DYNAMICALLY_SIZED) {
            if (ins == 0) throw Failure{kBlock, "block '" + name + "': the width of output port " + std::to_string(p + 1) + " cannot be resolved"};
            block.setOutputWidth(p, block.inputWidth(0));
        }

    // The inputs read one row at a time from these buffers.
    std::vector<std::vector<double>> row(static_cast<std::size_t>(ins));
    try {
        block.allocate();
        for (int p = 0; p < ins; ++p) {
            row[static_cast<std::size_t>(p)].assign(static_cast<std::size_t>(block.inputWidth(p)), 0.0);
            for (int e = 0; e < block.inputWidth(p); ++e) block.connectInput(p, e, &row[static_cast<std::size_t>(p)][static_cast<std::size_t>(e)]);
        }
    } catch (const engine::EngineError &e) {
        throw Failure{kBlock, e.what()};
    }

    // The results, made before the run so that a failure leaks nothing the
    // host does not collect.
    std::vector<mxArray *> ys;
    for (int p = 0; p < outs && p < std::max(nlhs, 1); ++p)
        ys.push_back(mxCreateDoubleMatrix(n, static_cast<std::size_t>(block.outputWidth(p)), mxREAL));
    struct Results {
        std::vector<mxArray *> &ys;
        ~Results()
        {
            for (mxArray *a : ys) mxDestroyArray(a);
        }
    } results{ys};

    auto fail = [&](double time, bool timed, const std::string &err) {
        throw Failure{kBlock, "block '" + name + "' (" + name + ")" + (timed ? " at t = " + seconds(time) + " s" : std::string()) + ": " + err};
    };
    Terminator terminator;
    const double t0 = n > 0 ? t[0] : 0.0;
    model.setTime(t0);
    std::string err = block.tryRequest(engine::kSampleTimes);
    terminator.block = &block;
    if (!err.empty()) fail(t0, false, err);
    if (block.hasStart() && !(err = block.tryRequest(engine::kStart)).empty()) fail(t0, false, err);
    if (block.hasInitializeConditions() && !(err = block.tryRequest(engine::kInitializeConditions)).empty()) fail(t0, false, err);

    const bool update = block.hasUpdate();
    for (std::size_t i = 0; i < n; ++i) {
        model.setTime(t[i]);
        for (int p = 0; p < ins; ++p) {
            const double *u = mxGetPr(inputs[static_cast<std::size_t>(p)]);
            std::vector<double> &r = row[static_cast<std::size_t>(p)];
            for (std::size_t e = 0; e < r.size(); ++e) r[e] = u[i + e * n];
        }
        if (!(err = block.tryRequest(engine::kOutputs)).empty()) fail(t[i], true, err);
        for (std::size_t p = 0; p < ys.size(); ++p) {
            const double *y = block.output(static_cast<int>(p));
            double *d = mxGetPr(ys[p]);
            std::size_t w = mxGetN(ys[p]);
            for (std::size_t e = 0; e < w; ++e) d[i + e * n] = y[e];
        }
        if (update && !(err = block.tryRequest(engine::kUpdate)).empty()) fail(t[i], true, err);
        if (host_interrupt_pending()) {  // Ctrl-C: the terminator ends the block
            host_interrupt_take();
            throw Failure{"simblocks:simblock:interrupted", "interrupted at t = " + seconds(t[i]) + " s, after row " +
                                                             std::to_string(i + 1) + " of " + std::to_string(n)};
        }
    }
    terminator.block = nullptr;
    if (!(err = block.tryRequest(engine::kTerminate)).empty()) fail(model.time(), false, err);

    if (ys.empty()) {
        plhs[0] = mxCreateDoubleMatrix(n, 0, mxREAL);  // a block without outputs
        return;
    }
    for (std::size_t p = 0; p < ys.size(); ++p) plhs[p] = ys[p];
    ys.clear();
}

}  // namespace

void mexFunction(int nlhs, mxArray *plhs[], int nrhs, const mxArray *prhs[])
{
    Failure failure;
    // Everything the call makes lives inside the try block: by the time the
    // error is raised the block is terminated and its library released. A
    // host exception from a block unwinds through here too.
    try {
        run(nlhs, plhs, nrhs, prhs);
    } catch (const Failure &f) {
        failure = f;
    } catch (const engine::EngineError &e) {
        failure = Failure{kBlock, e.what()};
    } catch (const std::bad_alloc &) {
        failure = Failure{"simblocks:simblock:memory", "out of memory"};
    } catch (const std::runtime_error &e) {
        failure = Failure{kBlock, e.what()};
    }
    if (!failure.id.empty()) gateway::raise(failure);
}
