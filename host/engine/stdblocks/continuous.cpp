// Blocks with states: integrator, statespace and transfer (continuous
// states, integrated by the solver), and delay (a state taken at the
// model's steps). Their outputs do not depend on their inputs at the same
// instant (except a statespace with D != 0 or a transfer function that is
// not strictly proper), so a loop through one of them is no algebraic loop.
#include <cmath>

#include "stdblocks/blocks.h"

namespace engine {
namespace stdblocks {

namespace {

// An output that took its width from the initial value (inside a loop) must
// match the input that closes the loop.
void sameWidths(const StdBlock &b, const Params &p)
{
    if (b.inputWidth(0) != b.outputWidth(0))
        p.fail(0, "has " + std::to_string(b.outputWidth(0)) + " value" + (b.outputWidth(0) == 1 ? "" : "s") +
                      " but the input has " + std::to_string(b.inputWidth(0)) + " elements");
}

// integrator [x0] or [x0, lower, upper]: one state per element, the output
// the state, the input its derivative. With limits the state stays within
// them: at a limit (mode) its derivative is 0 until the input points back
// inside; the zero-crossing functions are the distances to the limits while
// free and the input while held.
class Integrator : public StdBlock {
public:
    explicit Integrator(const std::vector<StdParam> &p) : params_(p, {"x0", "lower", "upper"}, 1)
    {
        if (params_.size() == 2) params_.fail(1, "comes without parameter 3 (upper): give both limits or none");
        x0_ = params_.list(0);
        if (params_.size() == 3) {
            lower_ = params_.list(1);
            upper_ = params_.list(2);
        }
        ports(1, 1);
    }
    bool feedthrough(int) const override { return false; }
    bool lateModes() const override { return true; }
    int naturalWidth() const override { return static_cast<int>(x0_.size()); }
    void setup() override
    {
        const int w = inWidth_[0];
        sameWidths(*this, params_);
        x0_ = perElement(params_, 0, x0_, w);
        numStates_ = w;
        if (params_.size() < 3) return;
        lower_ = perElement(params_, 1, lower_, w);
        upper_ = perElement(params_, 2, upper_, w);
        for (std::size_t e = 0; e < x0_.size(); ++e) {
            if (lower_[e] > upper_[e])
                params_.fail(1, numberText(lower_[e]) + " is above parameter 3 (upper) " + numberText(upper_[e]));
            if (x0_[e] < lower_[e] || x0_[e] > upper_[e])
                params_.fail(0, numberText(x0_[e]) + " is outside the limits [" + numberText(lower_[e]) + ", " +
                                    numberText(upper_[e]) + "]");
        }
        numZc_ = 2 * w;
        mode_.assign(static_cast<std::size_t>(w), 0);
    }
    void initialStates(double *x) override
    {
        for (std::size_t e = 0; e < x0_.size(); ++e) x[e] = x0_[e];
    }
    void outputs(double, const double *x) override
    {
        double *y = out(0);
        for (int e = 0; e < inWidth_[0]; ++e) y[e] = x[e];
    }
    void derivatives(double, const double *, double *dx) override
    {
        for (int e = 0; e < inWidth_[0]; ++e) dx[e] = !mode_.empty() && mode_[static_cast<std::size_t>(e)] != 0 ? 0.0 : in(0, e);
    }
    void zeroCrossings(double, const double *x, double *g) override
    {
        for (int e = 0; e < inWidth_[0]; ++e) {
            const std::size_t i = static_cast<std::size_t>(e);
            const int m = mode_[i];
            g[2 * e] = m == 0 ? x[e] - lower_[i] : m < 0 ? in(0, e) : 1.0;      // falls: reaches lower; rises: leaves it
            g[2 * e + 1] = m == 0 ? upper_[i] - x[e] : m > 0 ? -in(0, e) : 1.0;  // falls: reaches upper; rises: leaves it
        }
    }
    bool updateModes(const int *found, bool first, double *x) override
    {
        if (mode_.empty()) return false;
        bool changed = false;
        if (first) locked_.assign(mode_.size(), false);
        for (std::size_t i = 0; i < mode_.size(); ++i) {
            const int e = static_cast<int>(i);
            int m = mode_[i];
            const int *f = found != nullptr ? found + 2 * i : nullptr;
            if (f != nullptr && first && (f[0] != 0 || f[1] != 0)) {
                if (m == 0) m = f[0] < 0 ? -1 : f[1] < 0 ? 1 : 0;
                else if ((m < 0 && f[0] > 0) || (m > 0 && f[1] > 0)) m = 0;
                locked_[i] = true;
            } else if (!locked_[i]) {
                const double u = in(0, e);
                if (m == 0 && x[e] <= lower_[i] && u <= 0) m = -1;
                else if (m == 0 && x[e] >= upper_[i] && u >= 0) m = 1;
                else if ((m < 0 && u > 0) || (m > 0 && u < 0)) m = 0;
            }
            // Held at a limit, the state is the limit (the solver may have
            // stepped a rounding past it).
            const double at = m < 0 ? lower_[i] : m > 0 ? upper_[i] : x[e];
            if (m == 0 && (x[e] < lower_[i] || x[e] > upper_[i])) {
                x[e] = x[e] < lower_[i] ? lower_[i] : upper_[i];
                changed = true;
            } else if (at != x[e]) {
                x[e] = at;
                changed = true;
            }
            changed = changed || m != mode_[i];
            mode_[i] = m;
        }
        return changed;
    }

private:
    Params params_;
    std::vector<double> x0_, lower_, upper_;
    std::vector<int> mode_;  // per element: -1 held at lower, 0 free, +1 held at upper
    std::vector<bool> locked_;
};

// State-space form: dx/dt = A x + B u, y = C x + D u over n states, m inputs
// and p outputs (matrices row-major).
struct StateSpaceForm {
    int n = 0, m = 0, p = 0;
    std::vector<double> A, B, C, D;
    bool feedthrough() const
    {
        for (double d : D)
            if (d != 0) return true;
        return false;
    }
    void output(const double *x, const double *u, double *y) const
    {
        for (int r = 0; r < p; ++r) {
            double acc = 0.0;
            for (int c = 0; c < n; ++c) acc += C[static_cast<std::size_t>(r * n + c)] * x[c];
            for (int c = 0; c < m; ++c) acc += D[static_cast<std::size_t>(r * m + c)] * u[c];
            y[r] = acc;
        }
    }
    void derivative(const double *x, const double *u, double *dx) const
    {
        for (int r = 0; r < n; ++r) {
            double acc = 0.0;
            for (int c = 0; c < n; ++c) acc += A[static_cast<std::size_t>(r * n + c)] * x[c];
            for (int c = 0; c < m; ++c) acc += B[static_cast<std::size_t>(r * m + c)] * u[c];
            dx[r] = acc;
        }
    }
};

// statespace [A, B, C, D, x0]: one input port of width columns(B), one
// output of width rows(C).
class StateSpace : public StdBlock {
public:
    explicit StateSpace(const std::vector<StdParam> &p) : params_(p, {"A", "B", "C", "D", "x0"}, 5)
    {
        const StdParam &A = params_.matrix(0), &B = params_.matrix(1), &C = params_.matrix(2), &D = params_.matrix(3);
        if (A.rows != A.cols)
            params_.fail(0, "must be square, not " + std::to_string(A.rows) + "x" + std::to_string(A.cols));
        const int n = A.rows;
        if (B.rows != n) params_.fail(1, "has " + std::to_string(B.rows) + " rows, A has " + std::to_string(n));
        if (C.cols != n) params_.fail(2, "has " + std::to_string(C.cols) + " columns, A has " + std::to_string(n));
        if (D.rows != C.rows || D.cols != B.cols)
            params_.fail(3, "is " + std::to_string(D.rows) + "x" + std::to_string(D.cols) + ", it must be rows(C) x columns(B) = " +
                                std::to_string(C.rows) + "x" + std::to_string(B.cols));
        ss_.n = n;
        ss_.m = B.cols;
        ss_.p = C.rows;
        ss_.A = A.values;
        ss_.B = B.values;
        ss_.C = C.values;
        ss_.D = D.values;
        x0_ = perElement(params_, 4, params_.list(4), n);
        ports(1, 1);
        inWidth_[0] = ss_.m;
        outWidth_[0] = ss_.p;
        numStates_ = n;
    }
    bool feedthrough(int) const override { return ss_.feedthrough(); }
    void setup() override { u_.assign(static_cast<std::size_t>(ss_.m), 0.0); }
    void initialStates(double *x) override
    {
        for (std::size_t e = 0; e < x0_.size(); ++e) x[e] = x0_[e];
    }
    void outputs(double, const double *x) override
    {
        readInput();
        ss_.output(x, u_.data(), out(0));
    }
    void derivatives(double, const double *x, double *dx) override
    {
        readInput();
        ss_.derivative(x, u_.data(), dx);
    }

private:
    void readInput()
    {
        for (int e = 0; e < ss_.m; ++e) u_[static_cast<std::size_t>(e)] = in(0, e);
    }
    Params params_;
    StateSpaceForm ss_;
    std::vector<double> x0_, u_;
};

// transfer [numerator, denominator]: a proper transfer function in
// descending powers of s, zero initial state, applied to each element of
// the input. Realised in controllable canonical form: with the denominator
// made monic, s^n + a1 s^(n-1) + ... + an, and the numerator padded to
// b0 s^n + ... + bn, the states x1' = -a1 x1 - ... - an xn + u, xi' = x(i-1),
// and y = sum (bi - b0 ai) xi + b0 u.
class Transfer : public StdBlock {
public:
    explicit Transfer(const std::vector<StdParam> &p)
    {
        Params params(p, {"numerator", "denominator"}, 2);
        std::vector<double> num = params.list(0), den = params.list(1);
        auto strip = [](std::vector<double> &v) {
            std::size_t z = 0;
            while (z + 1 < v.size() && v[z] == 0) ++z;
            v.erase(v.begin(), v.begin() + static_cast<long>(z));
        };
        strip(num);
        strip(den);
        if (den[0] == 0) params.fail(1, "is zero");
        if (num.size() > den.size())
            params.fail(0, "has degree " + std::to_string(num.size() - 1) + ", above the denominator's " +
                               std::to_string(den.size() - 1) + ": the transfer function is improper");
        n_ = static_cast<int>(den.size()) - 1;
        std::vector<double> b(den.size(), 0.0);
        for (std::size_t i = 0; i < num.size(); ++i) b[den.size() - num.size() + i] = num[i] / den[0];
        a_.resize(static_cast<std::size_t>(n_));
        c_.resize(static_cast<std::size_t>(n_));
        for (int i = 0; i < n_; ++i) {
            a_[static_cast<std::size_t>(i)] = den[static_cast<std::size_t>(i + 1)] / den[0];
            c_[static_cast<std::size_t>(i)] = b[static_cast<std::size_t>(i + 1)] - b[0] * a_[static_cast<std::size_t>(i)];
        }
        d_ = b[0];
        ports(1, 1);
    }
    bool feedthrough(int) const override { return d_ != 0; }
    int naturalWidth() const override { return 1; }
    void setup() override
    {
        if (inWidth_[0] != outWidth_[0])
            throw StdBlockError("input port 1 has width " + std::to_string(inWidth_[0]) + " but its output, closing a loop, has " +
                                std::to_string(outWidth_[0]));
        numStates_ = n_ * inWidth_[0];
    }
    void initialStates(double *x) override
    {
        for (int i = 0; i < numStates_; ++i) x[i] = 0.0;
    }
    void outputs(double, const double *x) override
    {
        double *y = out(0);
        for (int e = 0; e < inWidth_[0]; ++e) {
            const double *xe = x + e * n_;
            double acc = 0.0;
            for (int i = 0; i < n_; ++i) acc += c_[static_cast<std::size_t>(i)] * xe[i];
            y[e] = acc + d_ * in(0, e);
        }
    }
    void derivatives(double, const double *x, double *dx) override
    {
        for (int e = 0; e < inWidth_[0]; ++e) {
            const double *xe = x + e * n_;
            double *de = dx + e * n_;
            double acc = in(0, e);
            for (int i = 0; i < n_; ++i) acc -= a_[static_cast<std::size_t>(i)] * xe[i];
            de[0] = acc;
            for (int i = 1; i < n_; ++i) de[i] = xe[i - 1];
        }
    }

private:
    int n_ = 0;
    std::vector<double> a_, c_;
    double d_ = 0;
};

// delay [x0]: the input of the previous model step (x0 at the first). Its
// output changes at the model's steps only.
class Delay : public StdBlock {
public:
    explicit Delay(const std::vector<StdParam> &p) : params_(p, {"x0"}, 1) { x0_ = params_.list(0); ports(1, 1); }
    bool feedthrough(int) const override { return false; }
    bool discrete() const override { return true; }
    int naturalWidth() const override { return static_cast<int>(x0_.size()); }
    void setup() override
    {
        sameWidths(*this, params_);
        held_ = perElement(params_, 0, x0_, inWidth_[0]);
    }
    void outputs(double, const double *) override
    {
        double *y = out(0);
        for (std::size_t e = 0; e < held_.size(); ++e) y[e] = held_[e];
    }
    void update() override
    {
        for (std::size_t e = 0; e < held_.size(); ++e) held_[e] = in(0, static_cast<int>(e));
    }

private:
    Params params_;
    std::vector<double> x0_, held_;
};

}  // namespace

std::unique_ptr<StdBlock> makeIntegrator(const std::vector<StdParam> &p) { return std::make_unique<Integrator>(p); }
std::unique_ptr<StdBlock> makeStateSpace(const std::vector<StdParam> &p) { return std::make_unique<StateSpace>(p); }
std::unique_ptr<StdBlock> makeTransfer(const std::vector<StdParam> &p) { return std::make_unique<Transfer>(p); }
std::unique_ptr<StdBlock> makeDelay(const std::vector<StdParam> &p) { return std::make_unique<Delay>(p); }

}  // namespace stdblocks
}  // namespace engine
