// Fuzzer of the runner's CSV source: the first bytes choose the time column,
// the value columns, the time unit and the interpolation; the rest is the
// file. The file must be read or refused with a ModelError; a signal that was
// read is then sampled before, on, between and after its rows.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "csv_source.h"
#include "model_file.h"
#include "reader_counts.h"
#include "sandbox.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static fuzz::Sandbox sandbox(false);
    FuzzedDataProvider in(data, size);
    std::string timeColumn = in.ConsumeBool() ? in.ConsumeRandomLengthString(12) : std::string();
    std::vector<std::string> columns(in.ConsumeIntegralInRange<int>(0, 3));
    for (std::string &c : columns) c = in.ConsumeRandomLengthString(12);
    const double scales[4] = {1, 60, 3600, 86400};
    double scale = scales[in.ConsumeIntegralInRange<int>(0, 3)];
    bool linear = in.ConsumeBool();
    std::string text = in.ConsumeRemainingBytesAsString();

    const std::string path = sandbox.path() + "/in.csv";
    std::FILE *f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) __builtin_trap();
    if (!text.empty() && std::fwrite(text.data(), 1, text.size(), f) != text.size()) __builtin_trap();
    std::fclose(f);

    fuzz::ReaderCounts &counts = fuzz::readerCounts("csv_source");
    try {
        simrun::CsvSignal s("source 'w'", path, timeColumn, columns, scale, linear);
        if (s.width() <= 0 || s.rows() == 0 || s.columnNames().size() != static_cast<std::size_t>(s.width()))
            __builtin_trap();
        std::vector<double> out(static_cast<std::size_t>(s.width()));
        const double times[] = {-1e300, 0.0, 0.5, 1.0, 59.5, 3600.0, 1e6, 1e300, 0.25};
        for (double t : times) s.fill(t, out.data());
        ++counts.read;
    } catch (const simrun::ModelError &e) {
        ++counts.refused;
        if (std::string(e.what()).compare(0, 12, "source 'w': ") != 0) __builtin_trap();
    }
    return 0;
}
