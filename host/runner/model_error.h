// The error of a bad model or of bad data it names (a model file, a CSV or
// weather file): its message says which file, which place and what is wrong.
// Apart from model_file.h so that the readers of data files can be compiled
// without the JSON library (weatherread carries the weather-file reader).
#pragma once

#include <stdexcept>

namespace simrun {

struct ModelError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

}  // namespace simrun
