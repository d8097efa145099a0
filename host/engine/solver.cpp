#include "solver.h"

#include <cmath>

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

std::unique_ptr<Solver> makeSolver(const SolverOptions &, ContinuousSystem &)
{
    throw EngineError("solver: not yet built");  // stub
}

}  // namespace engine
