// Switching blocks: saturation, switch, relay. Each has a mode per element
// (the saturation's region, the switch's side, the relay's state), fixed
// while the solver integrates; a zero-crossing function per edge tells the
// solver where the mode would change, and the mode changes there.
#include "stdblocks/blocks.h"

namespace engine {
namespace stdblocks {

namespace {

// saturation [lower, upper]: the input limited to [lower, upper] (each a
// number or one per element).
class Saturation : public StdBlock {
public:
    explicit Saturation(const std::vector<StdParam> &p) : params_(p, {"lower", "upper"}, 2)
    {
        lower_ = params_.list(0);
        upper_ = params_.list(1);
        ports(1, 1);
    }
    void setup() override
    {
        const int w = inWidth_[0];
        lower_ = perElement(params_, 0, lower_, w);
        upper_ = perElement(params_, 1, upper_, w);
        for (std::size_t e = 0; e < lower_.size(); ++e)
            if (lower_[e] > upper_[e])
                params_.fail(0, numberText(lower_[e]) + " is above parameter 2 (upper) " + numberText(upper_[e]));
        numZc_ = 2 * w;
        region_.assign(static_cast<std::size_t>(w), 0);
    }
    void outputs(double, const double *) override
    {
        double *y = out(0);
        for (int e = 0; e < inWidth_[0]; ++e) {
            const std::size_t i = static_cast<std::size_t>(e);
            y[e] = region_[i] < 0 ? lower_[i] : region_[i] > 0 ? upper_[i] : in(0, e);
        }
    }
    void zeroCrossings(double, const double *, double *g) override
    {
        for (int e = 0; e < inWidth_[0]; ++e) {
            const std::size_t i = static_cast<std::size_t>(e);
            g[2 * e] = in(0, e) - lower_[i];
            g[2 * e + 1] = upper_[i] - in(0, e);
        }
    }
    bool updateModes(const int *found, bool first, double *) override
    {
        bool changed = false;
        if (first) locked_.assign(region_.size(), false);
        for (std::size_t i = 0; i < region_.size(); ++i) {
            int r = region_[i];
            const int *f = found != nullptr ? found + 2 * i : nullptr;
            if (f != nullptr && first && (f[0] != 0 || f[1] != 0)) {
                r = f[0] < 0 ? -1 : f[1] < 0 ? 1 : 0;  // fell below lower, rose above upper, or came back
                locked_[i] = true;
            } else if (!locked_[i]) {
                const double u = in(0, static_cast<int>(i));
                r = u < lower_[i] ? -1 : u > upper_[i] ? 1 : 0;
            }
            changed = changed || r != region_[i];
            region_[i] = r;
        }
        return changed;
    }

private:
    Params params_;
    std::vector<double> lower_, upper_;
    std::vector<int> region_;  // -1 at lower, 0 between, +1 at upper
    std::vector<bool> locked_;
};

// switch [threshold]: ports a, control, b; a where control >= threshold,
// else b. One-element ports are spread over the others' width.
class Switch : public StdBlock {
public:
    explicit Switch(const std::vector<StdParam> &p)
    {
        Params params(p, {"threshold"}, 1);
        threshold_ = params.number(0);
        ports(3, 1);
    }
    void setup() override
    {
        const int w = outWidth_[0];
        static const char *names[] = {"a", "control", "b"};
        for (int p = 0; p < 3; ++p)
            if (inWidth_[static_cast<std::size_t>(p)] != 1 && inWidth_[static_cast<std::size_t>(p)] != w)
                throw StdBlockError("input port " + std::to_string(p + 1) + " (" + names[p] + ") has width " +
                                    std::to_string(inWidth_[static_cast<std::size_t>(p)]) + " but another has " +
                                    std::to_string(w) + " (inputs have one width, or one element)");
        numZc_ = inWidth_[1];
        upper_.assign(static_cast<std::size_t>(numZc_), true);
    }
    void outputs(double, const double *) override
    {
        double *y = out(0);
        const bool oneA = inWidth_[0] == 1, oneC = inWidth_[1] == 1, oneB = inWidth_[2] == 1;
        for (int e = 0; e < outWidth_[0]; ++e)
            y[e] = upper_[static_cast<std::size_t>(oneC ? 0 : e)] ? in(0, oneA ? 0 : e) : in(2, oneB ? 0 : e);
    }
    void zeroCrossings(double, const double *, double *g) override
    {
        for (int e = 0; e < numZc_; ++e) g[e] = in(1, e) - threshold_;
    }
    bool updateModes(const int *found, bool first, double *) override
    {
        bool changed = false;
        if (first) locked_.assign(upper_.size(), false);
        for (std::size_t i = 0; i < upper_.size(); ++i) {
            bool a = upper_[i];
            if (found != nullptr && first && found[i] != 0) {
                a = found[i] > 0;
                locked_[i] = true;
            } else if (!locked_[i]) {
                a = in(1, static_cast<int>(i)) >= threshold_;
            }
            changed = changed || a != upper_[i];
            upper_[i] = a;
        }
        return changed;
    }

private:
    double threshold_ = 0;
    std::vector<bool> upper_, locked_;  // per control element: a (control >= threshold) or b
};

// relay [on_point, off_point, on_value, off_value]: on when the input rises
// to on_point or above, off when it falls to off_point or below, else as it
// was; off before the first step, so on at the start when the input is at
// or above on_point.
class Relay : public StdBlock {
public:
    explicit Relay(const std::vector<StdParam> &p)
    {
        Params params(p, {"on_point", "off_point", "on_value", "off_value"}, 4);
        on_ = params.number(0);
        off_ = params.number(1);
        onValue_ = params.number(2);
        offValue_ = params.number(3);
        if (on_ < off_)
            params.fail(0, numberText(on_) + " is below parameter 2 (off_point) " + numberText(off_) +
                               " (the on point is at or above the off point)");
        ports(1, 1);
    }
    void setup() override
    {
        numZc_ = inWidth_[0];
        on_state_.assign(static_cast<std::size_t>(numZc_), false);
    }
    void outputs(double, const double *) override
    {
        double *y = out(0);
        for (int e = 0; e < inWidth_[0]; ++e) y[e] = on_state_[static_cast<std::size_t>(e)] ? onValue_ : offValue_;
    }
    void zeroCrossings(double, const double *, double *g) override
    {
        // Rises through zero where an off relay turns on; falls where an on relay turns off.
        for (int e = 0; e < inWidth_[0]; ++e) g[e] = in(0, e) - (on_state_[static_cast<std::size_t>(e)] ? off_ : on_);
    }
    bool updateModes(const int *found, bool first, double *) override
    {
        bool changed = false;
        if (first) locked_.assign(on_state_.size(), false);
        for (std::size_t i = 0; i < on_state_.size(); ++i) {
            bool on = on_state_[i];
            if (found != nullptr && first && found[i] != 0 && (found[i] > 0) != on) {
                on = found[i] > 0;
                locked_[i] = true;
            } else if (!locked_[i]) {
                const double u = in(0, static_cast<int>(i));
                if (u >= on_) on = true;
                else if (u <= off_) on = false;
            }
            changed = changed || on != on_state_[i];
            on_state_[i] = on;
        }
        return changed;
    }

private:
    double on_ = 0, off_ = 0, onValue_ = 0, offValue_ = 0;
    std::vector<bool> on_state_, locked_;
};

}  // namespace

std::unique_ptr<StdBlock> makeSaturation(const std::vector<StdParam> &p) { return std::make_unique<Saturation>(p); }
std::unique_ptr<StdBlock> makeSwitch(const std::vector<StdParam> &p) { return std::make_unique<Switch>(p); }
std::unique_ptr<StdBlock> makeRelay(const std::vector<StdParam> &p) { return std::make_unique<Relay>(p); }

}  // namespace stdblocks
}  // namespace engine
