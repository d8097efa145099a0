// Fuzzer of the model runner's weather-file reader: any bytes as the text of
// a weather file. A file the reader accepts is then read as a source of a
// few fields the input picks, at times the input picks (NaN, far outside the
// year, backwards). Anything but a clean accept or a ModelError is a fault.
//
//   fuzz_epw [libFuzzer options] [corpus folders]
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "epw_source.h"
#include "model_file.h"

namespace {

unsigned long long inputs = 0, accepted = 0, signals = 0;

void report()
{
    std::fprintf(stderr, "simblocks-fuzz epw: %llu inputs, %llu files read, %llu sources made\n", inputs, accepted,
                 signals);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    std::atexit(report);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    ++inputs;
    std::string_view text(reinterpret_cast<const char *>(data), size);
    simrun::EpwData d;
    try {
        d = simrun::parseEpw(text, "'fuzz.epw'");
    } catch (const simrun::ModelError &) {
        return 0;
    }
    ++accepted;
    if (d.time.empty() || d.values.size() != simrun::kEpwNumFields) std::abort();  // a file read has rows of every field
    for (const std::vector<double> &v : d.values)
        if (v.size() != d.time.size()) std::abort();

    // The last bytes pick the fields and the times.
    uint32_t pick = 0;
    if (size >= 4) std::memcpy(&pick, data + size - 4, 4);
    std::vector<std::string> fields;
    for (int k = 0; k < 3; ++k) fields.push_back(simrun::kEpwFields[(pick >> (5 * k)) % simrun::kEpwNumFields].name);
    if (fields[1] == fields[0]) fields.pop_back();
    try {
        simrun::EpwSignal s("source 'fuzz'", "'fuzz.epw'", d, {fields[0]});
        simrun::EpwSignal many("source 'fuzz'", "'fuzz.epw'", std::move(d), fields);
        ++signals;
        double out[3];
        const double times[] = {0, 1800, 3600, 1e9, -1e9, 31536000, 31622400, -1, std::nan(""), INFINITY, -INFINITY,
                                static_cast<double>(pick % 40000000), 12 * 3600};
        for (double t : times) {
            s.fill(t, out);
            many.fill(t, out);
        }
    } catch (const simrun::ModelError &) {
    }
    return 0;
}
