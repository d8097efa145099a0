// The standard blocks: gain, sum, product, expression, lookup, saturation,
// switch, relay, integrator, statespace, transfer and delay, built into the
// engine (no library file). Each is a class behind the small interface
// below: its ports and widths, its outputs, the derivatives of its
// continuous states, its zero-crossing functions and modes, and its update
// at the model's steps. One file per family: math.cpp (gain, sum, product,
// expression), tables.cpp (lookup), switching.cpp (saturation, switch,
// relay), continuous.cpp (integrator, statespace, transfer, delay).
#pragma once

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace engine {

// A standard block's parameter: a real matrix (a number is 1x1, a list of
// numbers a 1xn row, a list of lists rows x cols; values row by row) or a
// text.
struct StdParam {
    bool isText = false;
    std::string text;
    int rows = 0, cols = 0;
    std::vector<double> values;  // row-major, rows*cols
};

bool isStandardBlock(const std::string &type);
const std::vector<std::string> &standardBlockTypes();

// A parameter or width that does not fit: the text names the parameter by
// number and name and says what is wrong ("parameter 2 (B) has 3 rows, A
// has 2"); the simulation puts the block in front.
struct StdBlockError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// One standard block. The simulation resolves the widths, wires the inputs
// (pointers to the driving signals, as for a library block), then calls
// setup(). While it runs:
//   outputs(t, x)       the outputs at t from the inputs and the block's
//                       states x (its slice of the model's state vector),
//                       with its modes as they are;
//   derivatives, zeroCrossings   likewise, for the solver;
//   updateModes         re-decides the modes (a relay on or off, a
//                       saturation's region, ...) from the inputs: at a model
//                       step from the values alone, at an event with the
//                       crossings the solver located; may reset states
//                       (an integrator reaching a limit);
//   update()            at the model's step after the outputs (a delay
//                       takes its input).
// Modes stay fixed while the solver integrates, so the right-hand side is
// smooth between events; each zero-crossing function changes sign where
// the block would change its mode.
class StdBlock {
public:
    virtual ~StdBlock() = default;

    int numInputs() const { return static_cast<int>(inWidth_.size()); }
    int numOutputs() const { return static_cast<int>(outWidth_.size()); }
    int inputWidth(int p) const { return inWidth_[static_cast<std::size_t>(p)]; }    // -1 while unresolved
    int outputWidth(int p) const { return outWidth_[static_cast<std::size_t>(p)]; }  // -1 while unresolved
    void setInputWidth(int p, int w) { inWidth_[static_cast<std::size_t>(p)] = w; }
    // Sets the outputs' widths that follow from the inputs' once these are
    // known; true when one was set. By default an open output takes the
    // width of the widest input, when every input is known.
    virtual bool resolveOutputs();
    // The output width a block takes when the connections cannot tell (a
    // loop of open widths through it): an integrator's or delay's from its
    // initial value; -1 when it has none.
    virtual int naturalWidth() const { return -1; }
    void assumeOutputWidth(int w) { outWidth_[0] = w; }
    // Whether the outputs depend on input port p at the same instant.
    virtual bool feedthrough(int /*port*/) const { return true; }
    // Once the widths are known: checks them against the parameters (throws
    // StdBlockError), sizes the states and zero-crossing functions and the
    // outputs.
    virtual void setup() {}
    int numStates() const { return numStates_; }
    int numZeroCrossings() const { return numZc_; }
    // The outputs change at the model's steps only (they hold in between).
    virtual bool discrete() const { return false; }
    // The modes depend on an input without feedthrough (they are checked
    // again after the whole model's outputs at a step).
    virtual bool lateModes() const { return false; }

    void allocate();
    bool allocated() const { return allocated_; }
    void connectInput(int port, int element, const double *src)
    {
        in_[static_cast<std::size_t>(port)][static_cast<std::size_t>(element)] = src;
    }
    const double *output(int port) const { return out_[static_cast<std::size_t>(port)].data(); }

    virtual void initialStates(double * /*x*/) {}
    virtual void outputs(double t, const double *x) = 0;
    virtual void derivatives(double /*t*/, const double * /*x*/, double * /*dx*/) {}
    virtual void zeroCrossings(double /*t*/, const double * /*x*/, double * /*g*/) {}
    // found: null at a model step; at an event, per zero-crossing function
    // of this block +1 (rose through zero), -1 (fell) or 0. first: the first
    // pass at this instant (later passes see the effects of the others'
    // changes; a mode decided by a located crossing stays). True when a
    // mode or a state changed.
    virtual bool updateModes(const int * /*found*/, bool /*first*/, double * /*x*/) { return false; }
    virtual void update() {}

protected:
    // n input ports and m output ports, all of open width.
    void ports(int n, int m)
    {
        inWidth_.assign(static_cast<std::size_t>(n), -1);
        outWidth_.assign(static_cast<std::size_t>(m), -1);
    }
    double in(int port, int e) const { return *in_[static_cast<std::size_t>(port)][static_cast<std::size_t>(e)]; }
    double *out(int port) { return out_[static_cast<std::size_t>(port)].data(); }

    std::vector<int> inWidth_, outWidth_;
    int numStates_ = 0, numZc_ = 0;

private:
    bool allocated_ = false;
    std::vector<std::vector<const double *>> in_;
    std::vector<std::vector<double>> out_;
};

// A block of a standard type with its parameters checked (StdBlockError).
std::unique_ptr<StdBlock> makeStandardBlock(const std::string &type, const std::vector<StdParam> &params);

}  // namespace engine
