#include "simulation.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <queue>

namespace engine {

namespace {

std::string seconds(double v)
{
    char buf[40];
    std::snprintf(buf, sizeof buf, "%.15g", v);
    return buf;
}

std::string portName(const char *kind, int port) { return std::string(kind) + " port " + std::to_string(port + 1); }

// Steps of the grid, and times, beyond which the run is not meant to go.
constexpr double kMaxSteps = 1e12;
constexpr double kGridTolerance = 1e-6;  // in steps

void unite(Rate &into, const Rate &r)
{
    into.everyStep = into.everyStep || r.everyStep;
    into.firstStep = into.firstStep || r.firstStep;
    for (const auto &h : r.hits) {
        bool known = false;
        for (const auto &g : into.hits) known = known || g == h;
        if (!known) into.hits.push_back(h);
    }
}

}  // namespace

// The continuous part as the solver sees it.
class Simulation::Continuous : public ContinuousSystem {
public:
    explicit Continuous(Simulation &s) : s_(s) {}
    int numStates() const override { return s_.numStates_; }
    int numZeroCrossings() const override { return s_.numZc_; }
    bool derivatives(double t, const double *x, double *dx) override
    {
        s_.evaluateStandard(t, x, false);
        for (int i : s_.standardOrder_) {
            const Node &n = s_.nodes_[static_cast<std::size_t>(i)];
            if (n.standard->numStates() == 0) continue;
            const int off = s_.stateOffset_[static_cast<std::size_t>(i)];
            n.standard->derivatives(t, x + off, dx + off);
        }
        for (int j = 0; j < s_.numStates_; ++j)
            if (!std::isfinite(dx[j])) return false;
        return true;
    }
    void zeroCrossings(double t, const double *x, double *g) override
    {
        s_.evaluateStandard(t, x, false);
        for (int i : s_.standardOrder_) {
            const Node &n = s_.nodes_[static_cast<std::size_t>(i)];
            if (n.standard->numZeroCrossings() == 0) continue;
            n.standard->zeroCrossings(t, x + s_.stateOffset_[static_cast<std::size_t>(i)], g + s_.zcOffset_[static_cast<std::size_t>(i)]);
        }
    }
    bool event(double t, double *x, const int *found) override { return s_.settleModes(t, x, found); }

private:
    Simulation &s_;
};

Simulation::Simulation() = default;

Simulation::~Simulation()
{
    observer_ = nullptr;
    terminate();
}

void Simulation::fail(int node, const std::string &what) const { throw EngineError(label(node) + ": " + what); }

std::string Simulation::label(int node) const
{
    const Node &n = nodes_.at(node);
    if (n.standard) return "block '" + n.name + "' (" + n.type + ")";
    if (n.block == nullptr) return "source '" + n.name + "'";
    return "block '" + n.name + "' (" + n.block->library().name() + ")";
}

int Simulation::numInputPorts(const Node &n) const
{
    if (n.standard) return n.standard->numInputs();
    return n.block != nullptr ? n.block->numInputPorts() : 0;
}

bool Simulation::feedthrough(const Node &n, int port) const
{
    if (n.standard) return n.standard->feedthrough(port);
    return n.block->directFeedThrough(port);
}

int Simulation::find(const std::string &name) const
{
    for (std::size_t i = 0; i < nodes_.size(); ++i)
        if (nodes_[i].name == name) return static_cast<int>(i);
    return -1;
}

int Simulation::addSource(const std::string &name, int width, double period, double offset)
{
    if (prepared_) throw EngineError("source '" + name + "': the run is already prepared");
    if (find(name) >= 0) throw EngineError("two signals are named '" + name + "'");
    if (width < 0) throw EngineError("source '" + name + "': negative width");
    Node n;
    n.name = name;
    n.width = width;
    n.period = period;
    n.offset = offset;
    n.data = std::make_unique<std::vector<double>>(static_cast<std::size_t>(width), 0.0);
    nodes_.push_back(std::move(n));
    return static_cast<int>(nodes_.size() - 1);
}

int Simulation::addBlock(const std::string &name, std::shared_ptr<Library> lib,
                         const std::vector<const mxArray *> &params)
{
    if (prepared_) throw EngineError("block '" + name + "': the run is already prepared");
    if (find(name) >= 0) throw EngineError("two signals are named '" + name + "'");
    Node n;
    n.name = name;
    n.block = std::make_unique<Block>(model_, std::move(lib), name, params);
    n.block->initializeSizes();
    n.inputs.resize(static_cast<std::size_t>(n.block->numInputPorts()));
    nodes_.push_back(std::move(n));
    return static_cast<int>(nodes_.size() - 1);
}

int Simulation::addStandardBlock(const std::string &name, const std::string &type, const std::vector<StdParam> &params)
{
    if (prepared_) throw EngineError("block '" + name + "': the run is already prepared");
    if (find(name) >= 0) throw EngineError("two signals are named '" + name + "'");
    if (!isStandardBlock(type)) throw EngineError("block '" + name + "': '" + type + "' is no standard block");
    Node n;
    n.name = name;
    n.type = type;
    try {
        n.standard = makeStandardBlock(type, params);
    } catch (const StdBlockError &e) {
        throw EngineError("block '" + name + "' (" + type + "): " + e.what());
    }
    n.inputs.resize(static_cast<std::size_t>(n.standard->numInputs()));
    nodes_.push_back(std::move(n));
    return static_cast<int>(nodes_.size() - 1);
}

void Simulation::setSourceFunction(int node, std::function<void(double t)> fill)
{
    if (!isSource(node)) throw EngineError(label(node) + " is not a source");
    if (started_) throw EngineError(label(node) + ": the run is already started");
    nodes_.at(node).fill = std::move(fill);
}

void Simulation::setSolver(const SolverOptions &options)
{
    if (prepared_) throw EngineError("solver: the run is already prepared");
    checkSolverOptions(options);
    solverOptions_ = options;
}

const SolverStats &Simulation::solverStats() const { return solverStats_; }

bool Simulation::hasContinuousStates() const { return numStates_ > 0; }

Block &Simulation::block(int node)
{
    Node &n = nodes_.at(node);
    if (n.block == nullptr) throw EngineError(label(node) + " is not a library block");
    return *n.block;
}

int Simulation::numOutputs(int node) const
{
    const Node &n = nodes_.at(node);
    if (n.standard) return n.standard->numOutputs();
    return n.block == nullptr ? 1 : n.block->numOutputPorts();
}

int Simulation::outputWidth(int node, int port) const
{
    const Node &n = nodes_.at(node);
    if (port < 0 || port >= numOutputs(node))
        fail(node, "has no output port " + std::to_string(port + 1));
    if (n.standard) return n.standard->outputWidth(port);
    return n.block == nullptr ? n.width : n.block->outputWidth(port);
}

double *Simulation::sourceData(int node)
{
    Node &n = nodes_.at(node);
    if (isBlockNode(n)) throw EngineError(label(node) + " is not a source");
    return n.data->data();
}

const double *Simulation::signal(int node, int port, int element) const
{
    const Node &n = nodes_.at(node);
    int w = outputWidth(node, port);
    if (element < 0 || element >= w)
        fail(node, "has no element " + std::to_string(element + 1) + " on output port " + std::to_string(port + 1));
    if (n.standard) {
        if (!n.standard->allocated()) fail(node, "its outputs are not allocated before the run is prepared");
        return n.standard->output(port) + element;
    }
    if (n.block == nullptr) return n.data->data() + element;
    if (!n.block->allocated()) fail(node, "its outputs are not allocated before the run is prepared");
    return n.block->output(port) + element;
}

void Simulation::connect(int blockNode, int port, std::vector<SignalPiece> pieces)
{
    Node &n = nodes_.at(blockNode);
    if (!isBlockNode(n)) throw EngineError(label(blockNode) + " has no inputs");
    if (prepared_) fail(blockNode, "the run is already prepared");
    int ports = numInputPorts(n);
    if (port < 0 || port >= ports)
        fail(blockNode, "has no input port " + std::to_string(port + 1) + " (it has " + std::to_string(ports) + ")");
    if (!n.inputs[static_cast<std::size_t>(port)].empty())
        fail(blockNode, portName("input", port) + " is connected twice");
    if (pieces.empty()) fail(blockNode, portName("input", port) + " is connected to nothing");
    for (const SignalPiece &p : pieces) {
        if (p.node < 0 || p.node >= numNodes()) fail(blockNode, portName("input", port) + ": no such signal");
        if (p.port < 0 || p.port >= numOutputs(p.node))
            fail(blockNode, portName("input", port) + ": " + label(p.node) + " has no output port " +
                                std::to_string(p.port + 1));
        if (p.first < 0) fail(blockNode, portName("input", port) + ": negative element index");
    }
    n.inputs[static_cast<std::size_t>(port)] = std::move(pieces);
}

int Simulation::pieceWidth(const SignalPiece &p) const
{
    if (p.count >= 0) return p.count;
    int w = outputWidth(p.node, p.port);
    return w < 0 ? -1 : w - p.first;
}

void Simulation::resolveWidths()
{
    // A dynamically sized input takes the width of what is connected to it; a
    // dynamically sized output takes the width of the block's first input (a
    // standard block decides its own). Widths flow along the connections
    // until nothing changes.
    auto connectedWidth = [this](const std::vector<SignalPiece> &pieces) {
        int sum = 0;
        for (const SignalPiece &piece : pieces) {
            int w = pieceWidth(piece);
            if (w < 0) return -1;
            sum += w;
        }
        return sum;
    };
    bool changed = true;
    while (changed) {
        changed = false;
        for (Node &n : nodes_) {
            if (n.standard) {
                StdBlock &b = *n.standard;
                for (int p = 0; p < b.numInputs(); ++p) {
                    if (b.inputWidth(p) >= 0) continue;
                    int sum = connectedWidth(n.inputs[static_cast<std::size_t>(p)]);
                    if (sum >= 0) {
                        b.setInputWidth(p, sum);
                        changed = true;
                    }
                }
                if (b.resolveOutputs()) changed = true;
                continue;
            }
            if (n.block == nullptr) continue;
            Block &b = *n.block;
            for (int p = 0; p < b.numInputPorts(); ++p) {
                if (b.inputWidth(p) != DYNAMICALLY_SIZED) continue;
                int sum = connectedWidth(n.inputs[static_cast<std::size_t>(p)]);
                if (sum >= 0) {
                    b.setInputWidth(p, sum);
                    changed = true;
                }
            }
            for (int p = 0; p < b.numOutputPorts(); ++p) {
                if (b.outputWidth(p) != DYNAMICALLY_SIZED) continue;
                if (b.numInputPorts() > 0 && b.inputWidth(0) != DYNAMICALLY_SIZED) {
                    b.setOutputWidth(p, b.inputWidth(0));
                    changed = true;
                }
            }
        }
        // Stuck (a loop of open widths): the first state block on it takes
        // the width of its initial value, and the widths flow on from there.
        for (std::size_t i = 0; i < nodes_.size() && !changed; ++i) {
            StdBlock *b = nodes_[i].standard.get();
            if (b != nullptr && b->outputWidth(0) < 0 && b->naturalWidth() > 0) {
                b->assumeOutputWidth(b->naturalWidth());
                changed = true;
            }
        }
    }
    for (int i = 0; i < numNodes(); ++i) {
        Node &n = nodes_[static_cast<std::size_t>(i)];
        if (!isBlockNode(n)) continue;
        for (int p = 0; p < numInputPorts(n); ++p)
            if ((n.standard ? n.standard->inputWidth(p) : n.block->inputWidth(p)) < 0)
                fail(i, "the width of " + portName("input", p) + " cannot be resolved from its connections");
        for (int p = 0; p < numOutputs(i); ++p)
            if (outputWidth(i, p) < 0)
                fail(i, "the width of " + portName("output", p) + " cannot be resolved from its connections");
    }
}

void Simulation::checkAndWire()
{
    for (int i = 0; i < numNodes(); ++i) {
        Node &n = nodes_[static_cast<std::size_t>(i)];
        if (!isBlockNode(n)) continue;
        for (int p = 0; p < numInputPorts(n); ++p) {
            int total = 0;
            for (const SignalPiece &piece : n.inputs[static_cast<std::size_t>(p)]) {
                int w = outputWidth(piece.node, piece.port);
                int count = piece.count >= 0 ? piece.count : w - piece.first;
                if (count < 0 || piece.first + count > w) {
                    int last = piece.count >= 0 ? piece.first + piece.count : piece.first + 1;
                    fail(i, portName("input", p) + ": element " + std::to_string(last) + " of " + label(piece.node) +
                                " output " + std::to_string(piece.port + 1) + " does not exist (its width is " +
                                std::to_string(w) + ")");
                }
                total += count;
            }
            int want = n.standard ? n.standard->inputWidth(p) : n.block->inputWidth(p);
            if (total != want)
                fail(i, portName("input", p) + " has width " + std::to_string(want) +
                            " but is connected to a signal of width " + std::to_string(total));
        }
        if (n.standard) {
            try {
                n.standard->setup();
            } catch (const StdBlockError &e) {
                fail(i, e.what());
            }
        }
    }
    for (Node &n : nodes_) {
        if (n.block != nullptr) n.block->allocate();
        if (n.standard) n.standard->allocate();
    }
    for (Node &n : nodes_) {
        if (!isBlockNode(n)) continue;
        for (int p = 0; p < numInputPorts(n); ++p) {
            int e = 0;
            for (const SignalPiece &piece : n.inputs[static_cast<std::size_t>(p)]) {
                int count = piece.count >= 0 ? piece.count : outputWidth(piece.node, piece.port) - piece.first;
                for (int j = 0; j < count; ++j) {
                    const double *src = signal(piece.node, piece.port, piece.first + j);
                    if (n.standard) n.standard->connectInput(p, e++, src);
                    else n.block->connectInput(p, e++, src);
                }
            }
        }
    }
}

void Simulation::sortByDataFlow()
{
    // Kahn's algorithm over the direct-feedthrough connections between
    // blocks; among the blocks that are ready, the one added first runs first.
    std::size_t count = nodes_.size();
    std::vector<std::vector<int>> next(count);
    std::vector<int> pending(count, 0);
    for (std::size_t i = 0; i < count; ++i) {
        Node &n = nodes_[i];
        if (!isBlockNode(n)) continue;
        for (int p = 0; p < numInputPorts(n); ++p) {
            if (!feedthrough(n, p)) continue;
            for (const SignalPiece &piece : n.inputs[static_cast<std::size_t>(p)]) {
                if (!isBlockNode(nodes_[static_cast<std::size_t>(piece.node)])) continue;
                next[static_cast<std::size_t>(piece.node)].push_back(static_cast<int>(i));
                ++pending[i];
            }
        }
    }
    std::priority_queue<int, std::vector<int>, std::greater<int>> ready;
    for (std::size_t i = 0; i < count; ++i)
        if (isBlockNode(nodes_[i]) && pending[i] == 0) ready.push(static_cast<int>(i));
    order_.clear();
    while (!ready.empty()) {
        int i = ready.top();
        ready.pop();
        order_.push_back(i);
        for (int j : next[static_cast<std::size_t>(i)])
            if (--pending[static_cast<std::size_t>(j)] == 0) ready.push(j);
    }
    std::size_t blocks = 0;
    for (const Node &n : nodes_) blocks += isBlockNode(n) ? 1 : 0;
    if (order_.size() == blocks) return;

    // Every block left waits on another block left: walk back along such
    // connections until a block repeats; that stretch is a loop.
    int start = -1;
    for (std::size_t i = 0; i < count && start < 0; ++i)
        if (isBlockNode(nodes_[i]) && pending[i] > 0) start = static_cast<int>(i);
    std::vector<int> walk;
    std::vector<int> seenAt(count, -1);
    int at = start;
    while (seenAt[static_cast<std::size_t>(at)] < 0) {
        seenAt[static_cast<std::size_t>(at)] = static_cast<int>(walk.size());
        walk.push_back(at);
        int prev = -1;
        for (std::size_t i = 0; i < count && prev < 0; ++i) {
            if (pending[i] == 0) continue;
            for (int j : next[i])
                if (j == at) prev = static_cast<int>(i);
        }
        at = prev;
    }
    // The walk went against the flow; the message follows it.
    std::vector<int> loop(walk.begin() + seenAt[static_cast<std::size_t>(at)], walk.end());
    std::string text;
    for (auto it = loop.rbegin(); it != loop.rend(); ++it) text += nodes_[static_cast<std::size_t>(*it)].name + " -> ";
    text += nodes_[static_cast<std::size_t>(loop.back())].name;
    throw EngineError("algebraic loop: " + text +
                      " (each block's output depends on its input at the same instant; a loop needs an integrator,"
                      " a delay or another block whose output does not)");
}

Rate Simulation::periodicRate(double period, double offset, const std::string &who) const
{
    Rate r;
    if (!(period > 0) || !std::isfinite(period) || !std::isfinite(offset))
        throw EngineError(who + ": the sample time " + seconds(period) + " s is not a positive period");
    double ratio = period / step_;
    if (ratio > kMaxSteps) throw EngineError(who + ": the sample time " + seconds(period) + " s is too long");
    long long n = std::llround(ratio);
    if (n < 1 || std::fabs(ratio - static_cast<double>(n)) > kGridTolerance)
        throw EngineError(who + ": the sample time " + seconds(period) + " s is not a multiple of the fixed step " +
                          seconds(step_) + " s");
    // A hit is a time start + k * step = offset + j * period.
    double x = (start_ - offset) / step_;
    if (std::fabs(x) > kMaxSteps) throw EngineError(who + ": the sample time offset " + seconds(offset) + " s is too far from the start");
    long long xs = std::llround(x);
    if (std::fabs(x - static_cast<double>(xs)) > kGridTolerance)
        throw EngineError(who + ": the sample time offset " + seconds(offset) + " s is not on the step grid");
    r.hits.emplace_back(n, ((-xs) % n + n) % n);
    return r;
}

void Simulation::resolveRates()
{
    for (Node &n : nodes_) {
        if (isBlockNode(n)) continue;
        if (n.period == 0.0) n.rate.everyStep = true;
        else if (n.period == kConstantPeriod) n.rate.firstStep = true;
        else n.rate = periodicRate(n.period, n.offset, "source '" + n.name + "'");
    }
    std::vector<int> inherited;
    for (int i : order_) {
        Node &n = nodes_[static_cast<std::size_t>(i)];
        if (n.standard) {
            n.rate.everyStep = true;  // evaluated at every step (and between steps)
            continue;
        }
        Block &b = *n.block;
        if (b.numSampleTimes() != 1)
            fail(i, "declares " + std::to_string(b.numSampleTimes()) +
                        " sample times; a block here runs on exactly one");
        double period = b.sampleTime(0), offset = b.offsetTime(0);
        if (period == 0.0) n.rate.everyStep = true;
        else if (period == INHERITED_SAMPLE_TIME) inherited.push_back(i);
        else if (period == kConstantPeriod) n.rate.firstStep = true;
        else if (period > 0) n.rate = periodicRate(period, offset, label(i));
        else fail(i, "has the sample time " + seconds(period) + " s, which a fixed-step run cannot serve");
    }
    // An inherited rate is the union of the rates of the block's drivers.
    // Drivers that inherit themselves are resolved first; what stays open
    // (a block with no inputs, or a loop of inheriting blocks) runs every step.
    std::vector<bool> open(nodes_.size(), false);
    for (int i : inherited) open[static_cast<std::size_t>(i)] = true;
    bool progress = true;
    while (progress) {
        progress = false;
        for (int i : inherited) {
            Node &n = nodes_[static_cast<std::size_t>(i)];
            if (!open[static_cast<std::size_t>(i)]) continue;
            bool ready = true, any = false;
            Rate r;
            for (const auto &port : n.inputs)
                for (const SignalPiece &piece : port) {
                    if (open[static_cast<std::size_t>(piece.node)]) ready = false;
                    unite(r, nodes_[static_cast<std::size_t>(piece.node)].rate);
                    any = true;
                }
            if (!ready) continue;
            if (!any) r.everyStep = true;
            n.rate = r;
            open[static_cast<std::size_t>(i)] = false;
            progress = true;
        }
    }
    for (int i : inherited)
        if (open[static_cast<std::size_t>(i)]) nodes_[static_cast<std::size_t>(i)].rate.everyStep = true;
    for (Node &n : nodes_) n.ticker = Ticker(n.rate);
}

void Simulation::send(Node &n, int flag, double t)
{
    if (observer_) observer_(n.name, flag, t);
    std::string err = n.block->tryRequest(flag, 0);
    if (err.empty()) return;
    std::string where = flag == kOutputs || flag == kUpdate ? " at t = " + seconds(t) + " s" : std::string();
    throw EngineError("block '" + n.name + "' (" + n.block->library().name() + ")" + where + ": " + err);
}

void Simulation::prepare(double start, double step, double stop)
{
    if (prepared_ || started_) throw EngineError("the run is already prepared");
    if (!std::isfinite(start) || !std::isfinite(stop)) throw EngineError("start and stop times must be finite");
    if (!(step > 0) || !std::isfinite(step)) throw EngineError("the fixed step must be a positive number of seconds");
    if (stop < start) throw EngineError("the stop time " + seconds(stop) + " s is before the start time " + seconds(start) + " s");
    double span = (stop - start) / step;
    if (span >= kMaxSteps) throw EngineError("the run would take more than 1e12 steps");
    start_ = start;
    step_ = step;
    numSteps_ = static_cast<long long>(std::floor(span + kGridTolerance)) + 1;

    for (int i = 0; i < numNodes(); ++i) {
        const Node &n = nodes_[static_cast<std::size_t>(i)];
        for (std::size_t p = 0; p < n.inputs.size(); ++p)
            if (n.inputs[p].empty()) fail(i, portName("input", static_cast<int>(p)) + " is not connected");
    }
    sortByDataFlow();  // an algebraic loop is told before the widths it leaves open
    resolveWidths();
    checkAndWire();
    setUpContinuous();
    prepared_ = true;
}

void Simulation::setUpContinuous()
{
    standardOrder_.clear();
    stateOffset_.assign(nodes_.size(), 0);
    zcOffset_.assign(nodes_.size(), 0);
    numStates_ = numZc_ = 0;
    for (int i : order_) {
        const Node &n = nodes_[static_cast<std::size_t>(i)];
        if (!n.standard) continue;
        standardOrder_.push_back(i);
        stateOffset_[static_cast<std::size_t>(i)] = numStates_;
        zcOffset_[static_cast<std::size_t>(i)] = numZc_;
        numStates_ += n.standard->numStates();
        numZc_ += n.standard->numZeroCrossings();
    }
    x_.assign(static_cast<std::size_t>(numStates_), 0.0);
    // Between steps only the blocks that lead to a derivative or a
    // zero-crossing function are evaluated (an expression that feeds a
    // library block only is needed at the steps).
    std::vector<bool> needed(nodes_.size(), false);
    for (int i : standardOrder_) {
        const StdBlock &b = *nodes_[static_cast<std::size_t>(i)].standard;
        needed[static_cast<std::size_t>(i)] = !b.discrete() && (b.numStates() > 0 || b.numZeroCrossings() > 0);
    }
    for (bool grew = true; grew;) {
        grew = false;
        for (int i : standardOrder_) {
            if (!needed[static_cast<std::size_t>(i)]) continue;
            for (const auto &port : nodes_[static_cast<std::size_t>(i)].inputs)
                for (const SignalPiece &piece : port) {
                    const Node &from = nodes_[static_cast<std::size_t>(piece.node)];
                    if (!from.standard || from.standard->discrete() || needed[static_cast<std::size_t>(piece.node)]) continue;
                    needed[static_cast<std::size_t>(piece.node)] = true;
                    grew = true;
                }
        }
    }
    betweenSteps_.clear();
    for (int i : standardOrder_)
        if (needed[static_cast<std::size_t>(i)]) betweenSteps_.push_back(i);
}

void Simulation::setUpHeld()
{
    // What the standard blocks read from outside the continuous part: sources
    // that change continuously and have a function of time are evaluated
    // between steps; everything else (library outputs, delays, sampled
    // sources, sources without a function) holds between steps, and the
    // solver restarts where it jumps.
    timedSources_.clear();
    held_.clear();
    if (numStates_ == 0) return;
    std::vector<bool> timed(nodes_.size(), false);
    for (int i : betweenSteps_) {
        const Node &n = nodes_[static_cast<std::size_t>(i)];
        for (const auto &port : n.inputs)
            for (const SignalPiece &piece : port) {
                const Node &from = nodes_[static_cast<std::size_t>(piece.node)];
                if (from.standard && !from.standard->discrete()) continue;
                if (!isBlockNode(from) && from.period == kConstantPeriod) continue;
                if (!isBlockNode(from) && from.fill && from.period == 0.0) {
                    if (!timed[static_cast<std::size_t>(piece.node)]) timedSources_.push_back(piece.node);
                    timed[static_cast<std::size_t>(piece.node)] = true;
                    continue;
                }
                int count = piece.count >= 0 ? piece.count : outputWidth(piece.node, piece.port) - piece.first;
                for (int j = 0; j < count; ++j) held_.push_back(signal(piece.node, piece.port, piece.first + j));
            }
    }
    heldBefore_.assign(held_.size(), 0.0);
}

void Simulation::start()
{
    if (!prepared_) throw EngineError("the run is not prepared");
    if (started_) throw EngineError("the run is already started");
    model_.setTime(start_);
    started_ = true;
    for (int i : order_)
        if (nodes_[static_cast<std::size_t>(i)].block) send(nodes_[static_cast<std::size_t>(i)], kSampleTimes, start_);
    resolveRates();
    for (int i : order_)
        if (nodes_[static_cast<std::size_t>(i)].block && nodes_[static_cast<std::size_t>(i)].block->hasUpdate()) updaters_.push_back(i);
    for (int i : order_) {
        Node &n = nodes_[static_cast<std::size_t>(i)];
        if (n.block && n.block->hasStart()) send(n, kStart, start_);
    }
    for (int i : order_) {
        Node &n = nodes_[static_cast<std::size_t>(i)];
        if (n.block && n.block->hasInitializeConditions()) send(n, kInitializeConditions, start_);
    }
    for (int i : standardOrder_)
        nodes_[static_cast<std::size_t>(i)].standard->initialStates(x_.data() + stateOffset_[static_cast<std::size_t>(i)]);
    setUpHeld();
    restart_ = true;
    if (numStates_ > 0) {
        continuous_ = std::make_unique<Continuous>(*this);
        solver_ = makeSolver(solverOptions_, *continuous_);
    }
}

void Simulation::evaluateStandard(double t, const double *x, bool step)
{
    if (!step && !(t == filledAt_)) {
        for (int i : timedSources_) nodes_[static_cast<std::size_t>(i)].fill(t);
        filledAt_ = t;
    }
    for (int i : step ? standardOrder_ : betweenSteps_) {
        StdBlock &b = *nodes_[static_cast<std::size_t>(i)].standard;
        if (!step && b.discrete()) continue;
        b.outputs(t, x + stateOffset_[static_cast<std::size_t>(i)]);
    }
}

bool Simulation::settleModes(double t, double *x, const int *found)
{
    // A mode that changes can move another block's input across its point
    // (a relay feeding a switch): passes in data-flow order until nothing
    // changes. A block whose mode follows an input without feedthrough (an
    // integrator in a loop) sees that input in the next pass.
    constexpr int kMaxPasses = 8;
    const bool atStep = found == nullptr;
    evaluateStandard(t, x, atStep);
    bool any = false;
    for (int pass = 0; pass < kMaxPasses; ++pass) {
        bool changed = false;
        for (int i : standardOrder_) {
            StdBlock &b = *nodes_[static_cast<std::size_t>(i)].standard;
            if (b.discrete()) continue;
            const std::size_t at = static_cast<std::size_t>(i);
            if (b.updateModes(found != nullptr ? found + zcOffset_[at] : nullptr, pass == 0, x + stateOffset_[at]))
                changed = true;
            b.outputs(t, x + stateOffset_[at]);
        }
        any = any || changed;
        if (!changed) break;
    }
    return any;
}

void Simulation::outputs(long long k)
{
    double t = timeAt(k);
    model_.setTime(t);
    filledAt_ = t;  // the caller has just filled the sources at t
    // Library blocks at their hits and standard blocks (their modes decided
    // from the values at t first) in data-flow order.
    bool changed = false;
    for (int i : order_) {
        Node &n = nodes_[static_cast<std::size_t>(i)];
        if (n.standard) {
            double *x = x_.data() + stateOffset_[static_cast<std::size_t>(i)];
            if (n.standard->updateModes(nullptr, true, x)) changed = true;
            n.standard->outputs(t, x);
            n.hitNow = true;
            continue;
        }
        n.hitNow = n.ticker.due(k);
        if (n.hitNow) send(n, kOutputs, t);
    }
    // Modes that follow an input without feedthrough, now that every input is known.
    bool late = false;
    for (int i : standardOrder_) {
        StdBlock &b = *nodes_[static_cast<std::size_t>(i)].standard;
        if (b.lateModes() && b.updateModes(nullptr, true, x_.data() + stateOffset_[static_cast<std::size_t>(i)])) late = true;
    }
    if (late) settleModes(t, x_.data(), nullptr);
    if (changed || late) restart_ = true;
}

void Simulation::updates(long long k)
{
    double t = timeAt(k);
    model_.setTime(t);
    for (int i : updaters_) {
        Node &n = nodes_[static_cast<std::size_t>(i)];
        if (n.hitNow) send(n, kUpdate, t);
    }
    for (int i : standardOrder_) {
        StdBlock &b = *nodes_[static_cast<std::size_t>(i)].standard;
        if (b.discrete()) b.update();
    }
    if (numStates_ == 0 || k + 1 >= numSteps_) return;
    // A held value that jumped at this step makes the right-hand side jump:
    // the solver starts afresh from here.
    for (std::size_t j = 0; j < held_.size(); ++j) {
        const double v = *held_[j];
        if (std::memcmp(&v, &heldBefore_[j], sizeof v) != 0) {
            restart_ = true;
            heldBefore_[j] = v;
        }
    }
    const bool restart = restart_;
    restart_ = false;
    try {
        solver_->advance(t, timeAt(k + 1), x_.data(), restart);
    } catch (...) {
        solverStats_ = solver_->stats();
        throw;
    }
    solverStats_ = solver_->stats();
}

std::string Simulation::terminate()
{
    if (!started_ || terminated_) return std::string();
    terminated_ = true;
    std::string first;
    for (int i : order_) {
        if (!nodes_[static_cast<std::size_t>(i)].block) continue;
        try {
            send(nodes_[static_cast<std::size_t>(i)], kTerminate, model_.time());
        } catch (const std::exception &e) {  // also a host exception (an interrupt): terminate the rest
            if (first.empty()) first = e.what();
        }
    }
    return first;
}

}  // namespace engine
