// Fuzzer of the runner's model-file reader: any text, read as a model file.
// It must come back as a model or as a ModelError naming the file; any other
// exception, a crash or a sanitizer report is a fault.
#include <cstddef>
#include <cstdint>
#include <string>

#include "model_file.h"
#include "reader_counts.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    std::string text(reinterpret_cast<const char *>(data), size);
    fuzz::ReaderCounts &counts = fuzz::readerCounts("model_file");
    try {
        simrun::ModelDef m = simrun::parseModel(text, "fuzz.json");
        if (!(m.step > 0) || m.stop < m.start) __builtin_trap();  // the reader's own promises
        ++counts.read;
    } catch (const simrun::ModelError &e) {
        ++counts.refused;
        if (std::string(e.what()).compare(0, 10, "fuzz.json:") != 0) __builtin_trap();
    }
    return 0;
}
