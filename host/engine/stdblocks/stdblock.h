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

}  // namespace engine
