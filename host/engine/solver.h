// Solver settings and statistics of a model with continuous states, and the
// one small interface the integrators sit behind (solver.cpp: SUNDIALS
// CVODE with BDF or Adams, and the fixed-step RK4 and Euler methods).
#pragma once

#include <memory>
#include <string>

namespace engine {

// How the continuous states are integrated between the model's steps.
struct SolverOptions {
    std::string method = "bdf";  // bdf | adams | rk4 | euler
    double rtol = 1e-6, atol = 1e-6;
    // The largest step the solver takes, in seconds; 0 = no limit (CVODE).
    // rk4 and euler step min(model step, max_step) when max_step > 0, else
    // the model's step.
    double maxStep = 0;
};

// Refuses an unknown method or a tolerance or step that is not a positive
// number (max_step may be 0) with EngineError: "solver: unknown method
// 'foo' (bdf, adams, rk4, euler)", "solver: rtol must be positive", ...
void checkSolverOptions(const SolverOptions &options);

// What the solver did over a run.
struct SolverStats {
    long long steps = 0;              // internal steps (CVODE's, or the fixed method's substeps)
    long long rhsEvaluations = 0;     // evaluations of the continuous part's derivatives
    long long events = 0;             // located zero crossings
    long long errorTestFailures = 0;  // CVODE's local error test failures
    long long convergenceFailures = 0;  // CVODE's nonlinear solver convergence failures
};

// The continuous part of a model as the solver sees it: n states, m
// zero-crossing functions, and the blocks' modes (frozen while the solver
// integrates, changed only at events and at the model's steps).
class ContinuousSystem {
public:
    virtual ~ContinuousSystem() = default;
    virtual int numStates() const = 0;
    virtual int numZeroCrossings() const = 0;
    // dx/dt at (t, x); false when a derivative is not finite.
    virtual bool derivatives(double t, const double *x, double *dx) = 0;
    virtual void zeroCrossings(double t, const double *x, double *g) = 0;
    // At an event at t: found[i] is +1 (g_i rose through zero), -1 (fell)
    // or 0. Updates the modes and may reset states in x; true when anything
    // changed, so the solver restarts there.
    virtual bool event(double t, double *x, const int *found) = 0;
};

// An integrator of a ContinuousSystem from one model step to the next.
class Solver {
public:
    virtual ~Solver() = default;
    // Integrates x from t0 to t1 (x holds x(t0) and receives x(t1)).
    // 'restart' says that the right-hand side changed at t0 (a held input
    // or a mode jumped), so the solver cannot use its history. Throws
    // EngineError "solver (bdf) failed at t = ... s: <reason>".
    virtual void advance(double t0, double t1, double *x, bool restart) = 0;
    virtual const SolverStats &stats() = 0;
};

std::unique_ptr<Solver> makeSolver(const SolverOptions &options, ContinuousSystem &system);

}  // namespace engine
