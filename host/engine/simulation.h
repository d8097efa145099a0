// A run of a model made of block instances and sources on a fixed grid of
// model steps, with continuous states integrated between the steps.
//
// The simulation owns an engine::Model and its blocks. Blocks are library
// blocks (deliverables, driven through mexFunction) or standard blocks
// (gain, sum, product, expression, lookup, saturation, switch, relay,
// integrator, statespace, transfer, delay: classes of the engine,
// stdblocks/). Signals are the output ports of blocks and the buffers of
// sources (values the caller writes: constants, the clock, columns of a
// file). A block's input port is wired to a list of pieces of signals,
// concatenated in order, so an input can take a whole signal, some elements
// of a wide one, or several scalars.
//
// prepare() orders the blocks by data flow over the inputs with direct
// feedthrough only (a block whose output depends on an input at the same
// instant runs after the block that drives it; integrators, delays, a
// statespace with D = 0, a strictly proper transfer function and library
// blocks that declare no feedthrough break loops; a cycle of feedthrough
// inputs is refused: "algebraic loop: a -> b -> a (...)", the blocks in the
// order the signals flow). It then resolves dynamically sized ports from the
// connections (inside a loop a state block takes the width of its initial
// value), checks the standard blocks' widths against their parameters,
// allocates the blocks and points their inputs straight at the driving
// buffers. start() asks for the sample times (101), resolves each block's
// rate, sends start (117) and initial conditions (102) to the library blocks
// that have them, and sets the continuous states to their initial values.
//
// One step k, from t_k to t_k+1 (the caller fills the sources due at t_k
// first, and reads its sinks between outputs(k) and updates(k)):
//   outputs(k)  in data-flow order: library blocks with a hit compute their
//               outputs at t_k (104), which then hold until their next hit;
//               standard blocks decide their modes (a relay on or off, ...)
//               from their inputs at t_k and compute their outputs with the
//               states x(t_k); delays give the input of the previous step.
//   updates(k)  library updates (105) and delays take their inputs; then,
//               when k + 1 < numSteps(), the solver integrates the states
//               from t_k to t_k+1. In between, only the standard blocks are
//               evaluated, at the solver's times, with the sources that
//               change every step evaluated there through their functions
//               of time (setSourceFunction) and everything else held: the
//               library blocks' outputs, delays, sampled sources. The
//               blocks' modes stay fixed while the solver integrates; their
//               zero-crossing functions tell where a mode would change
//               (relay, switch, saturation, lookup "hold", integrator
//               limits). The solver locates such a crossing (CVODE's root
//               finding; a re-taken shorter substep with regula falsi for
//               rk4 and euler), the modes change there and the solver goes
//               on from that instant. Where a held value or a mode jumped at
//               t_k, CVODE starts afresh at t_k (CVodeReInit, first order,
//               the step it meant to take next as its first); otherwise it
//               goes on from its history.
//
// Rates: a period of 0 (continuous) runs every step; a positive period runs
// on its hits, which must fall on the step grid; an inherited period (-1)
// takes the rates of the signals that drive the block (it runs whenever one
// of them has a hit); a source that never changes runs on the first step
// only, and so does a block that inherits from such sources alone. Standard
// blocks run every step.
//
// Every failure is an EngineError whose text names the block and what is
// wrong. A bad standard-block parameter is refused when the block is added
// ("block 'room' (statespace): parameter 2 (B) has 3 rows, A has 2"), a
// width that does not fit it in prepare(). A solver that fails during
// updates(k) throws "solver (bdf) failed at t = 12345.6 s: <the solver's
// reason>" (a state going to infinity, CVODE's error-test or convergence
// failures at its smallest step, a chattering switch); the steps before k
// were complete, so a caller keeps the rows it wrote. An exception from a
// source's function of time passes through the solver unchanged.
#pragma once

#include <functional>
#include <limits>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "engine.h"
#include "solver.h"
#include "stdblocks/stdblock.h"

namespace engine {

class StdBlock;

// The steps on which a signal or block has a hit.
struct Rate {
    bool everyStep = false;
    bool firstStep = false;                           // a constant: step 0 only
    std::vector<std::pair<long long, long long>> hits;  // (every n steps, at phase m): k % n == m
};

inline bool hits(const Rate &r, long long k)
{
    if (r.everyStep) return true;
    if (r.firstStep && k == 0) return true;
    for (const auto &h : r.hits)
        if (k % h.first == h.second) return true;
    return false;
}

// Follows a rate through the steps of a run (k = 0, 1, 2, ...) with a
// counter instead of a division per step; a k out of that order restarts
// the count from it.
class Ticker {
public:
    Ticker() = default;
    explicit Ticker(Rate r) : rate_(std::move(r))
    {
        simple_ = !rate_.everyStep && !rate_.firstStep && rate_.hits.size() == 1;
        if (simple_) next_ = rate_.hits[0].second;
    }
    const Rate &rate() const { return rate_; }
    bool due(long long k)
    {
        if (rate_.everyStep) return true;
        if (!simple_) return hits(rate_, k);
        const long long n = rate_.hits[0].first, m = rate_.hits[0].second;
        if (k != last_ + 1) next_ = k + ((m - k) % n + n) % n;  // the first hit at or after k
        last_ = k;
        if (k < next_) return false;
        next_ += n;
        return true;
    }

private:
    Rate rate_;
    bool simple_ = false;
    long long next_ = 0, last_ = -1;
};

// Period of a source that never changes.
constexpr double kConstantPeriod = std::numeric_limits<double>::infinity();

// Part of a signal: output port 'port' of node 'node', elements first ..
// first + count - 1 (0-based); count < 0 means from 'first' to the end.
struct SignalPiece {
    int node = -1;
    int port = 0;
    int first = 0;
    int count = -1;
};

class Simulation {
public:
    Simulation();
    ~Simulation();
    Simulation(const Simulation &) = delete;
    Simulation &operator=(const Simulation &) = delete;

    Model &model() { return model_; }

    // A source of the given width; period 0 = changes every step,
    // kConstantPeriod = never changes, > 0 = changes on its hits.
    int addSource(const std::string &name, int width, double period = 0.0, double offset = 0.0);
    // A block instance; makes the sizes call (EngineError on failure).
    int addBlock(const std::string &name, std::shared_ptr<Library> lib, const std::vector<const mxArray *> &params);
    // A standard block (see standardBlockTypes()); its parameters are checked
    // here: EngineError naming the block, the parameter by number and name
    // and what is wrong ("block 'room' (statespace): parameter 2 (B) has 3
    // rows, A has 2").
    int addStandardBlock(const std::string &name, const std::string &type, const std::vector<StdParam> &params);
    // A source that is a function of time (before start()): 'fill' writes its values
    // at time t into sourceData(node). The engine calls it wherever the
    // solver needs the source between steps (the caller still fills the
    // source at each of its hits), for a source that changes every step
    // (period 0); such a function should be continuous in time (the solver
    // evaluates it at a step's end as the limit from inside the step). A
    // sampled or constant source holds between its hits as a library
    // block's output does.
    void setSourceFunction(int node, std::function<void(double t)> fill);
    // How continuous states are integrated (before prepare(); checked here).
    void setSolver(const SolverOptions &options);
    const SolverOptions &solverOptions() const { return solverOptions_; }
    const SolverStats &solverStats() const;
    bool hasContinuousStates() const;  // after prepare()

    int find(const std::string &name) const;  // -1 when there is none
    int numNodes() const { return static_cast<int>(nodes_.size()); }
    const std::string &name(int node) const { return nodes_.at(node).name; }
    bool isSource(int node) const { return nodes_.at(node).block == nullptr && !nodes_.at(node).standard; }
    bool isStandard(int node) const { return nodes_.at(node).standard != nullptr; }
    Block &block(int node);  // a library block
    // What error messages call a node: "block 'x' (lib)" or "source 'x'".
    std::string label(int node) const;
    int numOutputs(int node) const;
    int outputWidth(int node, int port) const;  // -1 while unresolved

    // The values of a source; the caller writes them when the source has a hit.
    double *sourceData(int node);

    // Wires input port 'port' (0-based) of a block to the pieces, in order.
    void connect(int blockNode, int port, std::vector<SignalPiece> pieces);

    // Sets up the run from start to stop (both in seconds) with a fixed step:
    // checks the wiring, resolves widths, allocates, orders the blocks.
    void prepare(double start, double step, double stop);
    bool prepared() const { return prepared_; }
    // Sample times (101) and the rates, start (117), initial conditions (102).
    void start();

    long long numSteps() const { return numSteps_; }  // time points start, start + step, ... <= stop
    double timeAt(long long k) const { return start_ + static_cast<double>(k) * step_; }
    const Rate &rate(int node) const { return nodes_.at(node).rate; }
    // The rate of a period on this run's step grid; 'who' names the owner in errors.
    Rate periodicRate(double period, double offset, const std::string &who) const;
    const std::vector<int> &order() const { return order_; }  // blocks in data-flow order

    // Where element e of output port 'port' of a node lives (after prepare).
    const double *signal(int node, int port, int element) const;

    // Step k: outputs of the blocks with a hit, then the updates of the same
    // blocks (call updates(k) after outputs(k)).
    void outputs(long long k);
    void updates(long long k);
    // Terminate (107) on every block that was started; safe to call twice.
    // Returns the first error a block reported, or "".
    std::string terminate();

    // Sees every request the run sends: (block name, flag, simulation time).
    using Observer = std::function<void(const std::string &, int, double)>;
    void setObserver(Observer o) { observer_ = std::move(o); }

private:
    struct Node {
        std::string name;
        std::unique_ptr<Block> block;                  // a library block
        std::shared_ptr<StdBlock> standard;            // a standard block
        std::string type;                              // a standard block's type
        std::function<void(double)> fill;              // a source's values at any time
        std::unique_ptr<std::vector<double>> data;     // a source's values
        int width = 0;                                 // a source's width
        double period = 0.0, offset = 0.0;             // a source's sample time
        std::vector<std::vector<SignalPiece>> inputs;  // per input port
        Rate rate;
        Ticker ticker;       // the rate, step by step
        bool hitNow = false; // whether outputs ran at the current step
    };

    class Continuous;
    friend class Continuous;

    [[noreturn]] void fail(int node, const std::string &what) const;
    bool isBlockNode(const Node &n) const { return n.block != nullptr || n.standard != nullptr; }
    int numInputPorts(const Node &n) const;
    bool feedthrough(const Node &n, int port) const;
    void setUpContinuous();
    void setUpHeld();
    // The standard blocks' outputs at (t, x) with their modes as they are;
    // 'step': at a model step (delays too), else between steps (sources
    // with a fill function are evaluated at t first).
    void evaluateStandard(double t, const double *x, bool step);
    // Re-decides the standard blocks' modes at t (found: the crossings an
    // event located, else null at a model step) until they settle; true
    // when a mode or state changed.
    bool settleModes(double t, double *x, const int *found);
    int pieceWidth(const SignalPiece &p) const;  // -1 while unresolved
    void resolveWidths();
    void checkAndWire();
    void sortByDataFlow();
    void resolveRates();
    void send(Node &n, int flag, double t);

    Model model_;
    std::vector<Node> nodes_;
    std::vector<int> order_;
    std::vector<int> updaters_;  // the blocks of order_ that have mdlUpdate
    double start_ = 0.0, step_ = 0.0;
    long long numSteps_ = 0;
    bool prepared_ = false, started_ = false, terminated_ = false;
    Observer observer_;
    SolverOptions solverOptions_;
    SolverStats solverStats_;

    // The continuous part: the standard blocks in data-flow order, the
    // states, the zero-crossing functions, the sources evaluated between
    // steps and the held values (library outputs, delays, sources without
    // a function of time) whose jump at a step restarts the solver.
    std::vector<int> standardOrder_;
    std::vector<int> betweenSteps_;  // those evaluated between steps
    std::vector<int> stateOffset_, zcOffset_;  // per node
    int numStates_ = 0, numZc_ = 0;
    std::vector<double> x_;
    std::vector<int> timedSources_;
    std::vector<const double *> held_;
    std::vector<double> heldBefore_;
    bool restart_ = true;
    double filledAt_ = std::numeric_limits<double>::quiet_NaN();
    std::unique_ptr<Continuous> continuous_;
    std::unique_ptr<Solver> solver_;
};

}  // namespace engine
