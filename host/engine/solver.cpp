#include "solver.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <vector>

#include <cvode/cvode.h>
#include <nvector/nvector_serial.h>
#include <sundials/sundials_context.h>
#include <sunlinsol/sunlinsol_dense.h>
#include <sunmatrix/sunmatrix_dense.h>
#include <sunnonlinsol/sunnonlinsol_fixedpoint.h>

#include "engine.h"

namespace engine {

void checkSolverOptions(const SolverOptions &o)
{
    if (o.method != "bdf" && o.method != "adams" && o.method != "rk4" && o.method != "euler")
        throw EngineError("solver: unknown method '" + o.method + "' (bdf, adams, rk4, euler)");
    if (!(o.rtol > 0) || !std::isfinite(o.rtol)) throw EngineError("solver: rtol must be positive");
    if (!(o.atol > 0) || !std::isfinite(o.atol)) throw EngineError("solver: atol must be positive");
    if (!(o.maxStep >= 0) || !std::isfinite(o.maxStep))
        throw EngineError("solver: max_step must be positive (or 0: no limit)");
}

namespace {

std::string timeText(double t)
{
    char buf[40];
    std::snprintf(buf, sizeof buf, "%.10g", t);
    return buf;
}

[[noreturn]] void failAt(const std::string &method, double t, const std::string &reason)
{
    throw EngineError("solver (" + method + ") failed at t = " + timeText(t) + " s: " + reason);
}

// Located events at one instant beyond this many mean a switching block
// chatters (its modes flip back and forth without time passing).
constexpr int kMaxEventsPerStep = 10000;

// CVODE (BDF with Newton iterations and a dense linear solver, or Adams with
// fixed-point iterations), its root finding on the zero-crossing functions.
//
// The solver's memory lives through the run. Between model steps it goes
// on from where it stopped (the step's end is its stop time) unless the
// right-hand side jumped there (a held input or a mode changed): then
// CVodeReInit starts it afresh at order 1, its first step the one it meant
// to take next (on the room year this took 0.94 million steps against 1.27
// with the last step taken, often cut short by the stop time, and 1.37 with
// CVODE's own estimate of a first step).
class Cvode : public Solver {
public:
    Cvode(const SolverOptions &o, ContinuousSystem &sys) : o_(o), sys_(sys), n_(sys.numStates()), m_(sys.numZeroCrossings())
    {
        if (SUNContext_Create(nullptr, &ctx_) != 0) throw EngineError("solver (" + o_.method + "): cannot create its context");
        y_ = N_VNew_Serial(n_, ctx_);
        mem_ = CVodeCreate(o_.method == "bdf" ? CV_BDF : CV_ADAMS, ctx_);
        if (y_ == nullptr || mem_ == nullptr) {
            release();
            throw EngineError("solver (" + o_.method + "): out of memory");
        }
        found_.assign(static_cast<std::size_t>(m_), 0);
    }
    ~Cvode() override { release(); }

    void advance(double t0, double t1, double *x, bool restart) override
    {
        double *y = N_VGetArrayPointer(y_);
        if (!initialised_) {
            std::copy(x, x + n_, y);
            init(t0);
        } else if (restart) {
            std::copy(x, x + n_, y);
            reinit(t0);
        }
        check(CVodeSetStopTime(mem_, t1), t0);
        int events = 0;
        double t = t0;
        while (t < t1) {
            int flag = CVode(mem_, t1, y_, &t, CV_NORMAL);
            rethrow();
            if (flag < 0) {
                // The state where the solver gave up: its last good time.
                double at = t;
                CVodeGetCurrentTime(mem_, &at);
                harvest();
                failAt(o_.method, at, reason(flag));
            }
            if (flag != CV_ROOT_RETURN) break;
            ++stats_.events;
            if (++events > kMaxEventsPerStep) failAt(o_.method, t, "too many events (a switching block chatters)");
            CVodeGetRootInfo(mem_, found_.data());
            std::copy(y, y + n_, x);
            bool changed;
            try {
                changed = sys_.event(t, x, found_.data());
            } catch (...) {
                harvest();
                throw;
            }
            if (changed) {
                std::copy(x, x + n_, y);
                reinit(t);
                check(CVodeSetStopTime(mem_, t1), t);
            }
        }
        std::copy(y, y + n_, x);
        harvest();
    }

    const SolverStats &stats() override { return total_; }

private:
    static int rhs(realtype t, N_Vector y, N_Vector ydot, void *data)
    {
        Cvode &s = *static_cast<Cvode *>(data);
        ++s.rhsCalls_;
        try {
            return s.sys_.derivatives(t, N_VGetArrayPointer(y), N_VGetArrayPointer(ydot)) ? 0 : 1;
        } catch (...) {
            s.pending_ = std::current_exception();  // no exception crosses CVODE's C frames
            return -1;
        }
    }
    static int roots(realtype t, N_Vector y, realtype *g, void *data)
    {
        Cvode &s = *static_cast<Cvode *>(data);
        try {
            s.sys_.zeroCrossings(t, N_VGetArrayPointer(y), g);
            return 0;
        } catch (...) {
            s.pending_ = std::current_exception();
            return -1;
        }
    }
    static void errors(int code, const char *, const char *, char *msg, void *data)
    {
        if (code < 0 && msg != nullptr) static_cast<Cvode *>(data)->message_ = msg;  // warnings are not kept
    }

    void init(double t0)
    {
        check(CVodeInit(mem_, rhs, t0, y_), t0);
        check(CVodeSetUserData(mem_, this), t0);
        check(CVodeSetErrHandlerFn(mem_, errors, this), t0);
        check(CVodeSStolerances(mem_, o_.rtol, o_.atol), t0);
        check(CVodeSetMaxNumSteps(mem_, 100000), t0);
        check(CVodeSetMaxHnilWarns(mem_, -1), t0);
        if (o_.maxStep > 0) check(CVodeSetMaxStep(mem_, o_.maxStep), t0);
        if (o_.method == "bdf") {
            A_ = SUNDenseMatrix(n_, n_, ctx_);
            LS_ = SUNLinSol_Dense(y_, A_, ctx_);
            if (A_ == nullptr || LS_ == nullptr) throw EngineError("solver (bdf): out of memory");
            check(CVodeSetLinearSolver(mem_, LS_, A_), t0);
        } else {
            NLS_ = SUNNonlinSol_FixedPoint(y_, 0, ctx_);
            if (NLS_ == nullptr) throw EngineError("solver (adams): out of memory");
            check(CVodeSetNonlinearSolver(mem_, NLS_), t0);
        }
        if (m_ > 0) {
            check(CVodeRootInit(mem_, m_, roots), t0);
            check(CVodeSetNoInactiveRootWarn(mem_), t0);
        }
        initialised_ = true;
    }
    void reinit(double t0)
    {
        harvest();
        base_ = total_;
        double h = 0;
        CVodeGetCurrentStep(mem_, &h);  // the step it meant to take next (ReInit forgets it)
        check(CVodeReInit(mem_, t0, y_), t0);
        if (h > 0) check(CVodeSetInitStep(mem_, h), t0);
    }
    // The totals: what earlier solver starts did, and this one's counters.
    void harvest()
    {
        long nst = 0, netf = 0, ncfn = 0;
        CVodeGetNumSteps(mem_, &nst);
        CVodeGetNumErrTestFails(mem_, &netf);
        CVodeGetNumNonlinSolvConvFails(mem_, &ncfn);
        total_.steps = base_.steps + nst;
        total_.errorTestFailures = base_.errorTestFailures + netf;
        total_.convergenceFailures = base_.convergenceFailures + ncfn;
        total_.rhsEvaluations = rhsCalls_;
        total_.events = stats_.events;
    }
    void rethrow()
    {
        if (!pending_) return;
        std::exception_ptr e = pending_;
        pending_ = nullptr;
        harvest();
        std::rethrow_exception(e);
    }
    std::string reason(int flag) const
    {
        if (!message_.empty()) return message_;
        char *name = CVodeGetReturnFlagName(flag);
        std::string text = name != nullptr ? name : "error " + std::to_string(flag);
        std::free(name);
        return text;
    }
    void check(int flag, double t)
    {
        if (flag < 0) failAt(o_.method, t, reason(flag));
    }
    void release()
    {
        if (mem_ != nullptr) CVodeFree(&mem_);
        if (LS_ != nullptr) SUNLinSolFree(LS_);
        if (NLS_ != nullptr) SUNNonlinSolFree(NLS_);
        if (A_ != nullptr) SUNMatDestroy(A_);
        if (y_ != nullptr) N_VDestroy(y_);
        if (ctx_ != nullptr) SUNContext_Free(&ctx_);
        mem_ = nullptr;
        LS_ = nullptr;
        NLS_ = nullptr;
        A_ = nullptr;
        y_ = nullptr;
    }

    SolverOptions o_;
    ContinuousSystem &sys_;
    int n_, m_;
    SUNContext ctx_ = nullptr;
    N_Vector y_ = nullptr;
    void *mem_ = nullptr;
    SUNMatrix A_ = nullptr;
    SUNLinearSolver LS_ = nullptr;
    SUNNonlinearSolver NLS_ = nullptr;
    bool initialised_ = false;
    std::vector<int> found_;
    std::string message_;
    std::exception_ptr pending_;
    long long rhsCalls_ = 0;
    SolverStats stats_, base_, total_;
};

// The fixed-step methods: the classical fourth-order Runge-Kutta method and
// the explicit Euler method, with substeps of equal length spanning each
// model step (none longer than max_step). A zero-crossing function that
// changes sign over a substep is located by re-taking the substep with a
// shorter length (regula falsi, Illinois variant) until the crossing is
// pinned to a tiny fraction of the substep; the method goes to just past the
// crossing, the modes change there, and the substep is finished from there,
// so switching does not spoil the method's order.
class FixedStep : public Solver {
public:
    FixedStep(const SolverOptions &o, ContinuousSystem &sys)
        : o_(o), sys_(sys), rk4_(o.method == "rk4"), n_(static_cast<std::size_t>(sys.numStates())),
          m_(static_cast<std::size_t>(sys.numZeroCrossings()))
    {
        for (auto *v : {&k1_, &k2_, &k3_, &k4_, &tmp_, &start_, &trial_}) v->assign(n_, 0.0);
        for (auto *v : {&g0_, &g1_, &glo_, &ghi_, &gtrial_}) v->assign(m_, 0.0);
        found_.assign(m_, 0);
    }

    void advance(double t0, double t1, double *x, bool) override
    {
        const double span = t1 - t0;
        const double h = o_.maxStep > 0 && o_.maxStep < span ? o_.maxStep : span;
        const long long count = std::max<long long>(1, static_cast<long long>(std::ceil(span / h - 1e-9)));
        double t = t0;
        if (m_ > 0) sys_.zeroCrossings(t, x, g0_.data());
        int events = 0;
        for (long long j = 1; j <= count; ++j) {
            const double end = j == count ? t1 : t0 + span * (static_cast<double>(j) / static_cast<double>(count));
            while (t < end) {
                std::copy(x, x + n_, start_.begin());
                step(t, end - t, start_.data(), x);
                if (m_ == 0) {
                    t = end;
                    break;
                }
                sys_.zeroCrossings(end, x, g1_.data());
                if (!crossed(g0_, g1_)) {
                    t = end;
                    std::swap(g0_, g1_);
                    continue;
                }
                // Pin the first crossing in (t, end], go to its far side.
                const double len = locate(t, end - t, x);
                t += len;
                ++stats_.events;
                if (++events > kMaxEventsPerStep) failAt(o_.method, t, "too many events (a switching block chatters)");
                sys_.event(t, x, found_.data());
                sys_.zeroCrossings(t, x, g0_.data());
            }
        }
    }

    const SolverStats &stats() override { return stats_; }

private:
    // One step of length h from (t, from) into 'to', the modes fixed.
    void step(double t, double h, const double *from, double *to)
    {
        ++stats_.steps;
        derivative(t, from, k1_.data());
        if (!rk4_) {
            for (std::size_t i = 0; i < n_; ++i) to[i] = from[i] + h * k1_[i];
        } else {
            for (std::size_t i = 0; i < n_; ++i) tmp_[i] = from[i] + h / 2 * k1_[i];
            derivative(t + h / 2, tmp_.data(), k2_.data());
            for (std::size_t i = 0; i < n_; ++i) tmp_[i] = from[i] + h / 2 * k2_[i];
            derivative(t + h / 2, tmp_.data(), k3_.data());
            for (std::size_t i = 0; i < n_; ++i) tmp_[i] = from[i] + h * k3_[i];
            derivative(t + h, tmp_.data(), k4_.data());
            for (std::size_t i = 0; i < n_; ++i) to[i] = from[i] + h / 6 * (k1_[i] + 2 * k2_[i] + 2 * k3_[i] + k4_[i]);
        }
        for (std::size_t i = 0; i < n_; ++i)
            if (!std::isfinite(to[i])) failAt(o_.method, t, "a state is not finite (it went to infinity)");
    }
    void derivative(double t, const double *x, double *dx)
    {
        ++stats_.rhsEvaluations;
        if (!sys_.derivatives(t, x, dx)) failAt(o_.method, t, "a derivative is not finite");
    }
    // Whether a function changed sign from a to b (a zero at a does not count).
    static bool crossing(double a, double b) { return (a > 0 && b <= 0) || (a < 0 && b >= 0); }
    bool crossed(const std::vector<double> &a, const std::vector<double> &b) const
    {
        for (std::size_t i = 0; i < m_; ++i)
            if (crossing(a[i], b[i])) return true;
        return false;
    }
    // The length in (0, h] of the step from (t, start_) that ends just past
    // the first crossing; x receives the state there and found_ the
    // crossings between the bracket's ends.
    double locate(double t, double h, double *x)
    {
        double lo = 0, hi = h;
        glo_ = g0_;
        ghi_ = g1_;
        const double tolerance = 1e-12 * h + 4 * DBL_EPSILON * std::fabs(t + h);
        int sameSide = 0;  // Illinois: which end stayed put last time
        for (int it = 0; it < 200 && hi - lo > tolerance; ++it) {
            // The earliest secant estimate among the functions that cross.
            double next = hi;
            for (std::size_t i = 0; i < m_; ++i) {
                if (!crossing(glo_[i], ghi_[i])) continue;
                double a = glo_[i], b = ghi_[i];
                if (sameSide <= -2) a /= 2;  // lo kept twice: its weight halves, the estimate moves past the root
                if (sameSide >= 2) b /= 2;
                const double s = hi - b * (hi - lo) / (b - a);
                next = std::min(next, s);
            }
            if (!(next > lo && next < hi)) next = lo + (hi - lo) / 2;
            step(t, next, start_.data(), trial_.data());
            sys_.zeroCrossings(t + next, trial_.data(), gtrial_.data());
            if (crossed(glo_, gtrial_)) {
                hi = next;
                ghi_ = gtrial_;
                sameSide = sameSide < 0 ? sameSide - 1 : -1;  // lo kept
            } else {
                lo = next;
                glo_ = gtrial_;
                sameSide = sameSide > 0 ? sameSide + 1 : 1;  // hi kept
            }
        }
        if (hi != h) step(t, hi, start_.data(), x);  // else x is already the whole step's end
        for (std::size_t i = 0; i < m_; ++i)
            found_[i] = crossing(glo_[i], ghi_[i]) ? (ghi_[i] > glo_[i] ? 1 : -1) : 0;
        return hi;
    }

    SolverOptions o_;
    ContinuousSystem &sys_;
    bool rk4_;
    std::size_t n_, m_;
    std::vector<double> k1_, k2_, k3_, k4_, tmp_, start_, trial_;
    std::vector<double> g0_, g1_, glo_, ghi_, gtrial_;
    std::vector<int> found_;
    SolverStats stats_;
};

}  // namespace

std::unique_ptr<Solver> makeSolver(const SolverOptions &options, ContinuousSystem &system)
{
    checkSolverOptions(options);
    if (options.method == "rk4" || options.method == "euler") return std::make_unique<FixedStep>(options, system);
    return std::make_unique<Cvode>(options, system);
}

}  // namespace engine
