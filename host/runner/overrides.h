// Overrides: one value of a model changed before it is checked and run, by a
// path into its document (simrun --set PATH=VALUE, the 'Set' option of
// simrun in Octave and MATLAB, the varied values of a study).
//
// Paths (names are those of the model; lists count from 1, as signals do):
//   start, stop, step              a number of seconds
//   solver.method                  bdf, adams, rk4 or euler
//   solver.rtol, solver.atol, solver.max_step   a number (added when the
//                                  model has no "solver": its defaults)
//   blocks.<name>.parameters[i]    the block's i-th parameter
//   sources.<name>.file            a csv or epw source's data file
//   sources.<name>.value           a constant source's value
//   sinks[i].every                 the i-th sink's seconds between rows (>= 0)
//   sinks[i].reduce                the i-th sink's statistic (mean, min, ...)
//
// A value must be of the kind the model has there: a parameter that is text
// takes text, one that is a number (or a weather-file site value) takes a
// number or a site value {"source": ..., "site": ...}, one that is a list
// takes a list of numbers or a list of rows of numbers (a matrix; a number
// is a list of one); a constant's value is a number or a non-empty list
// of numbers; a file is a non-empty text; the solver's method and a
// sink's reduce take text, its tolerances and max_step a number. A path the model does not have, or
// a value of another kind, is a ModelError that starts with the path; the
// document is then left as it was. The overridden document then goes through
// the model reader's checks like any other.
#pragma once

#include <string>

#include <nlohmann/json_fwd.hpp>

namespace simrun {

// Sets the value at 'path' in the model document 'doc'. A relative file name
// is taken relative to 'fileBase' when that is not empty (the current folder
// of a command line, a study file's folder).
void applyOverride(nlohmann::json &doc, const std::string &path, const nlohmann::json &value,
                   const std::string &fileBase = std::string());

// A value written as text (on a command line, in a cell of a CSV file), read
// in the kind the path takes in 'doc': as it is where text goes (a file, a
// text parameter), else as a number ("0.5", "1e3") or as JSON ("[1, 2]",
// {"source": "tmy", "site": "latitude"}). Throws ModelError as applyOverride.
nlohmann::json overrideValue(const nlohmann::json &doc, const std::string &path, const std::string &text);

// Splits "PATH=VALUE" at the first '='; false when there is no '=' or no path.
bool splitOverride(const std::string &arg, std::string &path, std::string &value);

}  // namespace simrun
