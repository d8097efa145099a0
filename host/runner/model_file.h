// The model file of the runner: a JSON document that names sources, blocks
// and their wiring, sinks and an optional plot. See host/runner/README.md for
// the format; parseModel() checks the document and returns it as plain data.
#pragma once

#include <cstddef>
#include <stdexcept>
#include <string>
#include <vector>

#include <nlohmann/json_fwd.hpp>

#include "model_error.h"

namespace simrun {

// A reference to (part of) a signal: "name", "name:2" (output port 2),
// "name[3]" (element 3), "name[2..4]" (elements 2 to 4), "name:2[1]", and for
// sources with named columns "name[T]". Ports and elements count from 1.
struct SignalRef {
    std::string text;  // as written
    std::string node;
    int port = 1;
    enum Selector { kWhole, kRange, kColumn } selector = kWhole;
    int first = 0, last = 0;  // kRange, 1-based, inclusive
    std::string column;       // kColumn
};

// Parses a reference; on failure returns false with the reason in 'why'.
bool parseSignalRef(const std::string &text, SignalRef &out, std::string &why);

// A parameter: a real double matrix, values row by row (a number is 1 x 1,
// a list of numbers a 1 x n row, a list of lists one row per list, an empty
// list 0 x 0) or a character row; or a number of a weather file's site,
// {"source": "weather", "site": "longitude"}, filled in when the source has
// read its file (siteSource not empty). A library block gets it as an
// mxArray of that shape, a standard block as an engine::StdParam.
struct ParamDef {
    bool isText = false;
    std::string text;
    std::size_t rows = 0, cols = 0;
    std::vector<double> values;
    std::string siteSource, siteField;
};

struct SourceDef {
    std::string name;
    enum Kind { kConstant, kClock, kCsv, kEpw, kMatrix } kind = kConstant;
    std::vector<double> value;   // constant
    std::string file;            // csv, made absolute against the model's folder
    std::string timeColumn;      // csv; empty = the first column
    double timeScale = 1.0;      // csv; seconds per unit of the time column
    std::vector<std::string> columns;  // csv; empty = every column but the time; epw: its fields
                                       // matrix: the names of the value columns
    // csv, epw: per entry of 'columns', value = scale * value + offset
    // (empty = 1 and 0 for every column).
    std::vector<double> columnScale, columnOffset;
    bool linear = true;          // csv, matrix: linear interpolation, else hold
    std::vector<double> time;                 // matrix: one time per row
    std::vector<std::vector<double>> values;  // matrix: per value column, one per row
    double period = 0.0, offset = 0.0;  // when the source changes (0 = every step)
};

// A block: a standard block built into the engine when 'type' is one of
// engine::standardBlockTypes() (gain, sum, ..., delay), else a library block
// loaded from the file named after 'type'.
struct BlockDef {
    std::string name, type;
    std::vector<ParamDef> params;
    std::vector<std::vector<SignalRef>> inputs;  // per input port, pieces in order
};

struct ColumnDef {
    SignalRef ref;
    std::string label;  // empty = the reference as written
};

// What a row of a sink holds: the signals' values at the row's time, or a
// statistic over the interval of model steps that ends at the row's time
// (see Reducer in runner.cpp and host/runner/README.md).
enum class Reduce { kSample, kMean, kMin, kMax, kSum, kIntegral };

// The model file's name of a statistic ("mean", ...; "" for kSample).
const char *reduceName(Reduce r);

struct SinkDef {
    enum Kind { kCsv, kTable, kWorkspace } kind = kCsv;
    std::string file;   // csv; relative names are taken in the output folder
    double every = 0.0; // seconds between rows; 0 = every step
    Reduce reduce = Reduce::kSample;  // csv and table; not kSample only with every > 0
    std::vector<ColumnDef> columns;
};

struct PlotDef {
    std::vector<ColumnDef> columns;  // empty = the first sink's
    std::string title;
    double every = 0.0;
    Reduce reduce = Reduce::kSample;  // not kSample only with every > 0
};

// How the continuous states are integrated between the model's steps (the
// model's "solver" key; the defaults when it is absent).
struct SolverDef {
    std::string method = "bdf";  // bdf | adams | rk4 | euler
    double rtol = 1e-6, atol = 1e-6;
    double maxStep = 0.0;        // seconds; 0 = no limit
};

struct ModelDef {
    std::string path;         // the model file
    std::string name;         // its base name without extension
    std::string description;
    double start = 0.0, stop = 0.0, step = 0.0;
    std::vector<SourceDef> sources;
    std::vector<BlockDef> blocks;
    std::vector<SinkDef> sinks;
    PlotDef plot;
    SolverDef solver;
};

// An array of numbers held by the caller (column-major, rows x cols), which a
// document names as {"workspace": index} instead of carrying the numbers:
// how a script's model struct hands over the data of its matrix sources.
struct WorkspaceMatrix {
    const double *data = nullptr;
    std::size_t rows = 0, cols = 0;
};

// A name, cell or other text from a file, fit for a message: control bytes
// (a NUL among them, which would cut the message short) written as \xNN,
// and a long text cut after its first 60 characters with its length said.
std::string printable(const std::string &s);

// Reads and checks a model file; throws ModelError("<file>: <where>: <what>").
ModelDef loadModel(const std::string &path);
// The same from text; 'path' names the file in messages and anchors relative
// data file names.
ModelDef parseModel(const std::string &text, const std::string &path);
// The two halves of parseModel: the JSON text to a document (ModelError when
// it is not JSON), and the checked model from a document. 'matrices' are the
// arrays that {"workspace": index} refers to (none for a model file).
nlohmann::json readModelDocument(const std::string &text, const std::string &path);
ModelDef parseModelDocument(const nlohmann::json &doc, const std::string &path,
                            const std::vector<WorkspaceMatrix> &matrices = {});

}  // namespace simrun
