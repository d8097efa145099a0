// A study: many runs of one model, each the model with some of its values
// changed (overrides, see host/runner/overrides.h), and a table of summary
// statistics per run. The study file format: docs/studies.md.
//
// The runs are numbered from 1 in a fixed order, so a run's number names the
// same overrides every time the study file is read:
//   product  nested loops over the "vary" entries in the order written: the
//            first entry is the outermost loop, the last one changes from
//            each run to the next;
//   zip      run i takes the i-th value of every entry (all of one length);
//   runs     a CSV file's rows in order: run i is row i after the header.
//
// loadStudy() reads the study file and the model, and checks everything a
// run's overrides need before anything runs: every path against the model,
// every value's kind, every file named as a value, the model with the first
// run's overrides, and the number of runs (at most kMaxRuns). Every failure
// is a StudyError whose text names the study file and the entry.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace study {

struct StudyError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

constexpr std::uint64_t kMaxRuns = 10000000;

enum class Statistic { kMean, kMin, kMax, kSum, kIntegral };

// One column of the table: a statistic of a summary signal, "<signal>.<statistic>".
struct SummaryColumn {
    std::size_t signal = 0;  // index into Study::signals
    Statistic statistic = Statistic::kMean;
    std::string name;
};

// One varied path and its values: a list written in the study, a range
// (computed as it is needed), or a column of a runs file (cells as text).
struct Varied {
    std::string path;
    std::string where;                 // the entry, for messages: "vary[1]" or "runs 'x.csv'"
    std::vector<nlohmann::json> list;  // "values"
    bool isRange = false;
    double first = 0, last = 0, step = 0;
    std::vector<std::string> cells;    // a runs file's column
    std::uint64_t count = 0;           // the number of values

    // The i-th value (from 0) as the override takes it, and as the table
    // shows it (numbers in their shortest exact form, text as written).
    nlohmann::json value(const nlohmann::json &model, std::uint64_t i) const;
    std::string text(std::uint64_t i) const;
};

// Which runs keep their files (the study's "files" key, or --files):
//   all     every run keeps what it writes (the default);
//   failed  only failed runs keep theirs; the others' go once they ended;
//   none    no run keeps a file: CSV sinks write nothing (their rows are
//           still sampled for the summary), what the run prints is dropped,
//           and what a block writes itself is removed after the run.
enum class Files { kAll, kFailed, kNone };
const char *filesName(Files f);
// "all", "failed" or "none"; false for any other word.
bool parseFiles(const std::string &word, Files &out);

struct Study {
    std::string path;       // the study file, absolute
    std::string folder;     // its folder: file names given as values are taken there
    std::string modelPath;  // the model file, absolute
    nlohmann::json model;   // the model's document
    enum class Combine { kProduct, kZip, kRows } combine = Combine::kProduct;
    std::vector<Varied> varied;
    std::vector<std::string> signals;   // the summary signals, in the order written (a signal once per entry)
    std::vector<double> scales;         // each signal's factor, applied to its values before the statistics
    std::vector<SummaryColumn> summary;
    std::uint64_t runs = 0;
    Files files = Files::kAll;
    std::string identity;  // a digest of the study file, the model file and the runs file

    // The varied paths, and the names of the summary columns, in order.
    std::vector<std::string> paths() const;
    std::vector<std::string> columns() const;
    // The index of each varied path's value in run 'id' (from 1).
    std::vector<std::uint64_t> choice(std::uint64_t id) const;
    // The model document of run 'id': the model with the run's overrides.
    nlohmann::json runModel(std::uint64_t id) const;
};

Study loadStudy(const std::string &path);

// The statistics of one signal over the rows of a run, in row order:
// sum = v1 + v2 + ... (added in that order), mean = sum / rows, min, max,
// integral = v1 (t2 - t1) + v2 (t3 - t2) + ... (each value held until the
// next row: the last row adds nothing). A NaN among the values makes every
// statistic NaN; no rows give NaN too.
class Accumulator {
public:
    void add(double t, double v);
    double get(Statistic s) const;

private:
    std::uint64_t rows_ = 0;
    double sum_ = 0, min_ = 0, max_ = 0, integral_ = 0, lastT_ = 0, lastV_ = 0;
    bool nan_ = false;
};

const char *statisticName(Statistic s);

// A digest of some texts (64-bit FNV-1a, as 16 hexadecimal digits): the
// same on every machine, so shards on different hosts agree.
std::string digest(const std::vector<std::string> &texts);

}  // namespace study
