// Tables: lookup, a 1-D table applied element by element.
#include <algorithm>
#include <cmath>

#include "stdblocks/blocks.h"

namespace engine {
namespace stdblocks {

namespace {

// lookup [breakpoints, values, method, ends]: method "linear" (default) or
// "hold" (the value of the breakpoint at or below the input), ends "clamp"
// (default: the end values beyond the table) or "extrapolate" (the end
// segments continued; with "hold" the same as clamp).
//
// With "hold" the output jumps where the input crosses a breakpoint: each
// element's mode is its interval, fixed while the solver integrates, and
// its two zero-crossing functions are the distances to the interval's
// edges.
class Lookup : public StdBlock {
public:
    explicit Lookup(const std::vector<StdParam> &p)
    {
        Params params(p, {"breakpoints", "values", "method", "ends"}, 2);
        bp_ = params.list(0);
        values_ = params.list(1);
        if (values_.size() != bp_.size())
            params.fail(1, "has " + std::to_string(values_.size()) + " values but parameter 1 (breakpoints) has " +
                               std::to_string(bp_.size()));
        for (std::size_t i = 1; i < bp_.size(); ++i)
            if (!(bp_[i] > bp_[i - 1]))
                params.fail(0, "must increase: breakpoint " + std::to_string(i + 1) + " (" + numberText(bp_[i]) +
                                   ") is not above breakpoint " + std::to_string(i) + " (" + numberText(bp_[i - 1]) + ")");
        if (params.size() > 2) {
            const std::string &m = params.text(2);
            if (m != "linear" && m != "hold") params.fail(2, "is '" + m + "' (linear or hold)");
            hold_ = m == "hold";
        }
        if (params.size() > 3) {
            const std::string &e = params.text(3);
            if (e != "clamp" && e != "extrapolate") params.fail(3, "is '" + e + "' (clamp or extrapolate)");
            extrapolate_ = e == "extrapolate";
        }
        ports(1, 1);
    }
    void setup() override
    {
        if (hold_) {
            numZc_ = 2 * inWidth_[0];
            interval_.assign(static_cast<std::size_t>(inWidth_[0]), -1);
        }
    }
    void outputs(double, const double *) override
    {
        double *y = out(0);
        for (int e = 0; e < inWidth_[0]; ++e)
            y[e] = hold_ ? held(interval_[static_cast<std::size_t>(e)]) : linear(in(0, e));
    }
    void zeroCrossings(double, const double *, double *g) override
    {
        const int n = static_cast<int>(bp_.size());
        for (int e = 0; e < inWidth_[0]; ++e) {
            const int i = interval_[static_cast<std::size_t>(e)];
            const double u = in(0, e);
            g[2 * e] = i >= 0 ? u - bp_[static_cast<std::size_t>(i)] : 1.0;               // falls: the interval below
            g[2 * e + 1] = i + 1 < n ? bp_[static_cast<std::size_t>(i + 1)] - u : 1.0;    // falls: the interval above
        }
    }
    bool updateModes(const int *found, bool first, double *) override
    {
        if (!hold_) return false;
        bool changed = false;
        if (first) locked_.assign(interval_.size(), false);
        for (std::size_t e = 0; e < interval_.size(); ++e) {
            int i = interval_[e];
            if (found != nullptr && first && (found[2 * e] < 0 || found[2 * e + 1] < 0)) {
                i += found[2 * e + 1] < 0 ? 1 : -1;
                locked_[e] = true;
            } else if (!locked_[e]) {
                i = intervalOf(in(0, static_cast<int>(e)));
            }
            changed = changed || i != interval_[e];
            interval_[e] = i;
        }
        return changed;
    }

private:
    // The index of the last breakpoint at or below u (-1 below the first).
    int intervalOf(double u) const
    {
        return static_cast<int>(std::upper_bound(bp_.begin(), bp_.end(), u) - bp_.begin()) - 1;
    }
    double held(int i) const { return values_[static_cast<std::size_t>(std::max(i, 0))]; }
    double linear(double u) const
    {
        const std::size_t n = bp_.size();
        if (std::isnan(u)) return u;
        if (n == 1) return values_[0];
        std::size_t i;  // the segment bp[i] .. bp[i+1] that serves u
        if (u <= bp_[0]) {
            if (!extrapolate_) return values_[0];
            i = 0;
        } else if (u >= bp_[n - 1]) {
            if (!extrapolate_) return values_[n - 1];
            i = n - 2;
        } else {
            i = static_cast<std::size_t>(intervalOf(u));
            if (bp_[i] == u) return values_[i];
        }
        const double f = (u - bp_[i]) / (bp_[i + 1] - bp_[i]);
        return values_[i] + f * (values_[i + 1] - values_[i]);
    }

    std::vector<double> bp_, values_;
    bool hold_ = false, extrapolate_ = false;
    std::vector<int> interval_;
    std::vector<bool> locked_;
};

}  // namespace

std::unique_ptr<StdBlock> makeLookup(const std::vector<StdParam> &p) { return std::make_unique<Lookup>(p); }

}  // namespace stdblocks
}  // namespace engine
