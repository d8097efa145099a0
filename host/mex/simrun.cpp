// simrun for Octave and MATLAB: runs a model (a model file's name, or a
// struct with the same fields) on the engine inside the host process and
// returns the signals of its workspace sink as a struct of arrays.
//
// The engine here is the same code as the command-line runner's, compiled
// against the host's own MEX API: it loads the block MEX files that lie
// beside this one and calls their mexFunction directly. A struct model is
// turned into the document the model file reader checks (the arrays of
// matrix sources are handed over aside, not written out), so both kinds of
// model obey the same rules and give the same messages.
#include <fcntl.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cmath>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "engine.h"
#include "simulation.h"
#include "gateway.h"
#include "host_flavour.h"
#include "mex.h"
#include "model_file.h"
#include "overrides.h"
#include "posix_io.h"
#include "runner.h"

namespace {

using gateway::Failure;
using nlohmann::json;

const char kArgs[] = "simblocks:simrun:args";
const char kModel[] = "simblocks:simrun:model";
// What makes the command window show a line that is not yet ended.
#ifdef HAVE_OCTAVE
const char kFlush[] = "fflush(stdout);";
#else
const char kFlush[] = "drawnow;";
#endif
constexpr int kMaxDepth = 32;  // nesting of cells and structs in a model struct

// A model struct as the model file's JSON document. A field holding [] (an
// empty double array) counts as not given, since every element of a struct
// array has every field; the sources, blocks and sinks are lists even when
// there is one. Where the document has a list of parameters, signals or
// names, one item given alone is a list of one, as MATLAB users write it:
// 'parameters', 1 or [1 2] (one parameter, a number or a row), 'inputs',
// 'clock', 'signals', 'sky'; an empty array there is an empty list.
class StructReader {
public:
    std::vector<simrun::WorkspaceMatrix> matrices;

    json model(const mxArray *m)
    {
        if (!mxIsStruct(m) || mxGetNumberOfElements(m) != 1) bad("", "must be a 1 x 1 struct");
        return object(m, 0, "", 0, true);
    }

    // A value of the 'Set' option, read as a struct field's value is
    // ('shaped': as a standard block's parameter).
    json setting(const mxArray *v, std::size_t pair, bool shaped)
    {
        id_ = kArgs;
        root_ = "Set: value " + std::to_string(pair);
        shaped_ = shaped;
        json out = value(v, "", 1, false);
        shaped_ = false;
        return out;
    }

private:
    [[noreturn]] void bad(const std::string &where, const std::string &what) const
    {
        throw Failure{id_, root_ + where + ": " + what};
    }
    const char *id_ = kModel;
    std::string root_ = "model";
    // Reading a standard block's parameters: a column stays a column (a
    // list of one-number rows), where a library block has always been given
    // a vector as a row.
    bool shaped_ = false;

    // The fields whose value is a list of items (parameters, signals, names).
    static bool itemList(const char *key)
    {
        for (const char *k : {"parameters", "inputs", "signals", "columns", "fields"})
            if (std::strcmp(key, k) == 0) return true;
        return false;
    }

    // A list of items: a cell or struct array as it is, an empty array as
    // an empty list, anything else as the one item of a list.
    json items(const mxArray *v, const std::string &where, int depth)
    {
        if (mxIsCell(v) || mxIsStruct(v)) return value(v, where, depth, true);
        if (mxIsEmpty(v) && !mxIsChar(v)) return json::array();
        return json::array({value(v, where, depth, false)});
    }

    static bool absent(const mxArray *a)
    {
        return a == nullptr || (mxIsDouble(a) && mxGetNumberOfElements(a) == 0 && mxGetM(a) == 0 && mxGetN(a) == 0);
    }

    json object(const mxArray *s, std::size_t index, const std::string &where, int depth, bool top)
    {
        json obj = json::object();
        bool matrixSource = false;
        int nf = mxGetNumberOfFields(s);
        if (!top && where.rfind(".sources", 0) == 0) {
            std::string type;
            matrixSource = gateway::charRow(mxGetField(s, index, "type"), type) && type == "matrix";
        }
        for (int f = 0; f < nf; ++f) {
            const char *key = mxGetFieldNameByNumber(s, f);
            const mxArray *v = mxGetFieldByNumber(s, index, f);
            if (absent(v)) continue;
            std::string w = where + "." + key;
            bool list = top && (std::strcmp(key, "sources") == 0 || std::strcmp(key, "blocks") == 0 ||
                                std::strcmp(key, "sinks") == 0);
            if (matrixSource && (std::strcmp(key, "time") == 0 || std::strcmp(key, "values") == 0) &&
                mxIsDouble(v) && !mxIsComplex(v) && !mxIsSparse(v) && mxGetNumberOfDimensions(v) == 2)
                obj[key] = aside(v, std::strcmp(key, "time") == 0);
            else if (!top && itemList(key)) {
                std::string type;
                shaped_ = std::strcmp(key, "parameters") == 0 && where.rfind(".blocks", 0) == 0 &&
                          gateway::charRow(mxGetField(s, index, "type"), type) && engine::isStandardBlock(type);
                obj[key] = items(v, w, depth + 1);
                shaped_ = false;
            }
            else
                obj[key] = value(v, w, depth + 1, list);
        }
        return obj;
    }

    // The array stays where it is; the document names it.
    json aside(const mxArray *v, bool vector)
    {
        simrun::WorkspaceMatrix m;
        m.data = mxGetPr(v);
        m.rows = mxGetM(v);
        m.cols = mxGetN(v);
        if (vector && (m.rows == 1 || m.cols == 1) && mxGetNumberOfElements(v) > 0) {  // a time vector, either way round
            m.rows = mxGetNumberOfElements(v);
            m.cols = 1;
        }
        matrices.push_back(m);
        return json{{"workspace", matrices.size() - 1}};
    }

    json value(const mxArray *v, const std::string &where, int depth, bool list)
    {
        if (depth > kMaxDepth) bad(where, "is nested too deeply");
        std::size_t n = mxGetNumberOfElements(v);
        if (mxIsStruct(v)) {
            if (n == 1 && !list) return object(v, 0, where, depth, false);
            json arr = json::array();
            for (std::size_t i = 0; i < n; ++i)
                arr.push_back(object(v, i, where + "(" + std::to_string(i + 1) + ")", depth, false));
            return arr;
        }
        if (mxIsCell(v)) {
            json arr = json::array();
            for (std::size_t i = 0; i < n; ++i) {
                const mxArray *e = mxGetCell(v, i);
                std::string w = where + "{" + std::to_string(i + 1) + "}";
                arr.push_back(e == nullptr ? json::array() : value(e, w, depth + 1, false));
            }
            return arr;
        }
        if (mxIsChar(v)) {
            std::string text;
            if (!gateway::charRow(v, text)) bad(where, "text must be a character row");
            return text;
        }
        if (!(mxIsNumeric(v) || mxIsLogical(v)) || mxIsSparse(v) || mxGetNumberOfDimensions(v) != 2)
            bad(where, std::string("a ") + mxGetClassName(v) + " array is not accepted (use numbers, text, cells or structs)");
        if (mxIsComplex(v)) bad(where, "complex numbers are not accepted");
        std::vector<double> x(n);
        bool logical = mxIsLogical(v);
        for (std::size_t i = 0; i < n; ++i) x[i] = element(v, i);
        auto number = [&](double d) { return logical ? json(d != 0) : json(d); };
        if (n == 1 && !list) return number(x[0]);
        std::size_t rows = mxGetM(v), cols = mxGetN(v);
        json arr = json::array();
        if (rows == 1 || (cols == 1 && !shaped_) || n == 0) {
            for (double d : x) arr.push_back(number(d));
            return arr;
        }
        for (std::size_t r = 0; r < rows; ++r) {  // a matrix: a list of rows
            json row = json::array();
            for (std::size_t c = 0; c < cols; ++c) row.push_back(number(x[r + c * rows]));
            arr.push_back(row);
        }
        return arr;
    }

    static double element(const mxArray *v, std::size_t i)
    {
        switch (mxGetClassID(v)) {
        case mxDOUBLE_CLASS: return mxGetPr(v)[i];
        case mxSINGLE_CLASS: return static_cast<const float *>(mxGetData(v))[i];
        case mxLOGICAL_CLASS: return mxGetLogicals(v)[i] ? 1.0 : 0.0;
        case mxINT8_CLASS: return static_cast<const int8_T *>(mxGetData(v))[i];
        case mxUINT8_CLASS: return static_cast<const uint8_T *>(mxGetData(v))[i];
        case mxINT16_CLASS: return static_cast<const int16_T *>(mxGetData(v))[i];
        case mxUINT16_CLASS: return static_cast<const uint16_T *>(mxGetData(v))[i];
        case mxINT32_CLASS: return static_cast<const int32_T *>(mxGetData(v))[i];
        case mxUINT32_CLASS: return static_cast<const uint32_T *>(mxGetData(v))[i];
        case mxINT64_CLASS: return static_cast<double>(static_cast<const int64_T *>(mxGetData(v))[i]);
        case mxUINT64_CLASS: return static_cast<double>(static_cast<const uint64_T *>(mxGetData(v))[i]);
        default: return 0.0;
        }
    }
};

// Whether an override's path is a parameter of a standard block of the model.
bool standardParameter(const json &doc, const std::string &path)
{
    std::size_t dot = path.find(".parameters[");
    if (path.rfind("blocks.", 0) != 0 || dot == std::string::npos || !doc.is_object()) return false;
    const std::string name = path.substr(7, dot - 7);
    auto blocks = doc.find("blocks");
    if (blocks == doc.end() || !blocks->is_array()) return false;
    for (const json &b : *blocks) {
        if (!b.is_object() || b.value("name", json()) != json(name)) continue;
        const json type = b.value("type", json());
        return type.is_string() && engine::isStandardBlock(type.get<std::string>());
    }
    return false;
}

struct Options {
    std::string outputDir;
    const mxArray *set = nullptr;  // a cell list of path/value pairs
    bool hasStart = false, hasStop = false, hasStep = false, progress = false, solverStats = false;
    double start = 0, stop = 0, step = 0;
};

double scalarOption(const mxArray *v, const std::string &name)
{
    if (!mxIsDouble(v) || mxIsComplex(v) || mxIsSparse(v) || mxGetNumberOfElements(v) != 1 || !std::isfinite(mxGetScalar(v)))
        throw Failure{kArgs, "'" + name + "' must be a finite real number"};
    return mxGetScalar(v);
}

Options options(int nrhs, const mxArray *prhs[])
{
    Options o;
    if ((nrhs - 1) % 2 != 0) throw Failure{kArgs, "options come in name/value pairs"};
    for (int i = 1; i < nrhs; i += 2) {
        std::string name;
        if (!gateway::charRow(prhs[i], name)) throw Failure{kArgs, "option " + std::to_string((i + 1) / 2) + ": the name must be text"};
        std::string lower;
        for (char c : name) lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        const mxArray *v = prhs[i + 1];
        if (lower == "outputdir") {
            if (!gateway::charRow(v, o.outputDir) || o.outputDir.empty()) throw Failure{kArgs, "'OutputDir' must be a folder name"};
        } else if (lower == "start") {
            o.start = scalarOption(v, "Start");
            o.hasStart = true;
        } else if (lower == "stop") {
            o.stop = scalarOption(v, "Stop");
            o.hasStop = true;
        } else if (lower == "step") {
            o.step = scalarOption(v, "Step");
            o.hasStep = true;
        } else if (lower == "progress") {
            if (!(mxIsLogical(v) || mxIsDouble(v)) || mxGetNumberOfElements(v) != 1)
                throw Failure{kArgs, "'Progress' must be true or false"};
            o.progress = mxGetScalar(v) != 0;
        } else if (lower == "solverstats") {
            if (!(mxIsLogical(v) || mxIsDouble(v)) || mxGetNumberOfElements(v) != 1)
                throw Failure{kArgs, "'SolverStats' must be true or false"};
            o.solverStats = mxGetScalar(v) != 0;
        } else if (lower == "set") {
            if (!mxIsCell(v) || mxGetNumberOfElements(v) % 2 != 0)
                throw Failure{kArgs, "'Set' must be a cell list of path/value pairs, such as {'stop', 86400, 'blocks.sky.parameters[1]', 0}"};
            o.set = v;
        } else {
            throw Failure{kArgs, "unknown option '" + name + "' (options: OutputDir, Start, Stop, Step, Progress, Set, SolverStats)"};
        }
    }
    return o;
}

// Runs in a folder for as long as it lives, then goes back.
class InFolder {
public:
    explicit InFolder(const std::string &dir)
    {
        if (dir.empty()) return;
        back_ = open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        std::error_code ec;
        std::filesystem::create_directories(dir, ec);
        if (back_ < 0 || ec || chdir(dir.c_str()) != 0) {
            std::string why = ec ? ": " + ec.message() : std::string(errno ? ": " : "") + (errno ? std::strerror(errno) : "");
            if (back_ >= 0) close(back_);
            back_ = -1;
            throw Failure{"simblocks:simrun:sink", "cannot use the output folder '" + dir + "'" + why};
        }
    }
    ~InFolder()
    {
        if (back_ < 0) return;
        if (fchdir(back_) != 0) mexWarnMsgIdAndTxt("simblocks:simrun:folder", "cannot return to the folder the run started in");
        close(back_);
    }
    InFolder(const InFolder &) = delete;
    InFolder &operator=(const InFolder &) = delete;

private:
    int back_ = -1;
};

// Which part of a run a runner or engine error belongs to, from the thing
// its message names first.
std::string errorId(const std::string &text, bool fromEngine)
{
    auto starts = [&](const char *p) { return text.rfind(p, 0) == 0; };
    if (starts("source '")) return "simblocks:simrun:source";
    if (starts("sinks[") || starts("cannot write to") || starts("workspace:")) return "simblocks:simrun:sink";
    if (fromEngine && starts("block '")) return "simblocks:simrun:block";
    if (starts("algebraic loop")) return "simblocks:simrun:loop";
    if (fromEngine && starts("solver (")) return "simblocks:simrun:solver";
    return kModel;
}

// The arrays of the result, made before the run at their final size so
// that the run writes into them directly; destroyed unless handed out.
class Results {
public:
    ~Results()
    {
        for (mxArray *a : arrays_) mxDestroyArray(a);
    }
    double *room(const std::string &name, std::size_t rows, std::size_t width)
    {
        mxArray *a = nullptr;
        try {
            a = mxCreateDoubleMatrix(rows, width, mxREAL);
        } catch (const std::exception &) {  // the host's own out-of-memory error
        }
        if (a == nullptr)
            throw Failure{"simblocks:simrun:memory", "out of memory for the " + std::to_string(rows) + " x " +
                                                         std::to_string(width) + " numbers of '" + name + "'"};
        names_.push_back(name);
        arrays_.push_back(a);
        return mxGetPr(a);
    }
    // The struct of them all; they now belong to it.
    mxArray *take()
    {
        std::vector<const char *> names;
        for (const std::string &n : names_) names.push_back(n.c_str());
        if (names.empty()) names.push_back("time");  // a model that collected nothing (no steps)
        mxArray *out = mxCreateStructMatrix(1, 1, static_cast<int>(names.size()), names.data());
        for (std::size_t k = 0; k < arrays_.size(); ++k) mxSetFieldByNumber(out, 0, static_cast<int>(k), arrays_[k]);
        arrays_.clear();
        return out;
    }

private:
    std::vector<std::string> names_;
    std::vector<mxArray *> arrays_;
};

mxArray *run(int nrhs, const mxArray *prhs[])
{
    if (nrhs < 1) throw Failure{kArgs, "usage: out = simrun(model, 'Name', value, ...)"};
    Options opt = options(nrhs, prhs);

    json doc;
    std::string path;
    StructReader structs;
    if (mxIsStruct(prhs[0])) {
        path = "model";
        doc = structs.model(prhs[0]);
    } else if (gateway::charRow(prhs[0], path) && !path.empty()) {
        std::string text, why;
        if (!simrun::readRegularFile(path, text, why)) throw simrun::ModelError(path + ": cannot open the model file: " + why);
        doc = simrun::readModelDocument(text, path);
    } else {
        throw Failure{kArgs, "the model must be a model file's name or a struct"};
    }
    if (doc.is_object()) {
        if (opt.hasStart) doc["start"] = opt.start;
        if (opt.hasStop) doc["stop"] = opt.stop;
        if (opt.hasStep) doc["step"] = opt.step;
    }
    // The overrides of the command-line runner's --set, with its paths and
    // checks; a relative file name is taken in the current folder.
    for (std::size_t i = 0; opt.set != nullptr && i < mxGetNumberOfElements(opt.set); i += 2) {
        std::string at;
        if (!gateway::charRow(mxGetCell(opt.set, i), at) || at.empty())
            throw Failure{kArgs, "Set: element " + std::to_string(i + 1) + " must be a path such as 'blocks.sky.parameters[1]'"};
        const mxArray *v = mxGetCell(opt.set, i + 1);
        if (v == nullptr) throw Failure{kArgs, "Set: " + at + ": no value"};
        std::error_code ec;
        try {
            simrun::applyOverride(doc, at, structs.setting(v, i / 2 + 1, standardParameter(doc, at)),
                                  std::filesystem::current_path(ec).string());
        } catch (const simrun::ModelError &e) {
            throw Failure{kArgs, std::string("Set: ") + e.what()};
        }
    }
    simrun::ModelDef model = simrun::parseModelDocument(doc, path, structs.matrices);

    simrun::RunOptions ro;
    std::string folder, extension;
    gateway::ownLocation(folder, extension);
    std::error_code ec;
    std::filesystem::path abs = std::filesystem::absolute(folder, ec);
    ro.libDirs.push_back(ec ? folder : abs.lexically_normal().string());
    ro.libExtension = extension;
    ro.progress = opt.progress;
    ro.workspace = true;
    ro.print = [](const char *text, std::size_t len) {
        mexPrintf("%.*s", static_cast<int>(len), text);
        if (len > 0 && text[0] == '\r') mexEvalString(kFlush);  // the progress line, shown now
    };

    Results results;
    ro.workspaceStorage = [&results](const std::string &name, std::size_t rows, std::size_t width) {
        return results.room(name, rows, width);
    };
    // Ctrl-C ends the run after the step under way, as a signal ends the
    // command-line runner's: every row computed written, blocks terminated.
    ro.stop = [] { return host_interrupt_pending() ? SIGINT : 0; };
    InFolder in(opt.outputDir);
    simrun::RunReport report = simrun::runModel(model, ro);
    if (opt.solverStats) mexPrintf("%s\n", simrun::solverSummary(report.solver).c_str());
    if (report.stoppedBy != 0) {
        host_interrupt_take();
        throw Failure{"simblocks:simrun:interrupted", "interrupted " + simrun::stopSummary(report)};
    }
    return results.take();
}

}  // namespace

void mexFunction(int nlhs, mxArray *plhs[], int nrhs, const mxArray *prhs[])
{
    if (nlhs > 1) mexErrMsgIdAndTxt(kArgs, "simrun returns one struct");
    Failure failure;
    // Everything the run makes lives inside the try block: by the time the
    // error is raised, files are closed, blocks terminated and libraries
    // released. A host exception from a block unwinds through here too.
    try {
        plhs[0] = run(nrhs, prhs);
    } catch (const Failure &f) {
        failure = f;
    } catch (const simrun::ModelError &e) {
        failure = Failure{errorId(e.what(), false), e.what()};
    } catch (const engine::EngineError &e) {
        failure = Failure{errorId(e.what(), true), e.what()};
    } catch (const std::bad_alloc &) {
        failure = Failure{"simblocks:simrun:memory", "out of memory"};
    } catch (const std::runtime_error &e) {
        failure = Failure{"simblocks:simrun:block", e.what()};
    }
    if (!failure.id.empty()) gateway::raise(failure);
}
