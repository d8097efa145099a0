#include "runner.h"

#include <algorithm>
#include <atomic>
#include <charconv>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <utility>

#include "csv_source.h"
#include "csv_text.h"
#include "epw_source.h"
#include "number_text.h"
#include "posix_io.h"
#include "plot.h"
#include "progress.h"
#include "simulation.h"

namespace simrun {

namespace {

using engine::EngineError;
using engine::Rate;
using engine::SignalPiece;
using engine::Ticker;

constexpr std::size_t kPlotPoints = 20000;  // the most points a plot takes by default
// A CSV row reaches its file at once unless the last one went out less than
// this long ago; the run flushes every file when it ends, fails or is stopped.
constexpr std::chrono::milliseconds kFlushInterval(50);
// Rows held back for a file go out at once when they fill this much.
constexpr std::size_t kRowBufferBytes = 1 << 20;

struct FileCloser {
    void operator()(std::FILE *f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

// A sink that summarises. The rows fall at the hits of the sink's 'every'
// (on the step grid, counted from time 0, as a sampling sink's rows); each
// row holds a statistic of each signal over the interval from the previous
// row's time t_a (the run's first step for the first row) to its own time
// t_b, taken from the signal's values at the model's steps in between:
//   integral  the trapezoid rule over the steps t_a .. t_b (both ends), in
//             value times seconds, the area under the line through the
//             samples that the plot draws;
//   mean      that integral divided by t_b - t_a (a time average);
//   min, max  over the steps t_a .. t_b (both ends: the extremes of that line);
//   sum       of the values at the steps after t_a up to and including t_b
//             (the first row also takes the first step), so that every
//             step's value counts in exactly one row.
// A hit at the run's first step ends no interval and writes no row. When
// the run ends (or is stopped) after the last row, one more row at the last
// step's time gives the statistic over that shorter interval. A NaN in an
// interval makes its statistic NaN.
class Reducer {
public:
    Reducer(Reduce kind, std::vector<const double *> in) : kind_(kind), in_(std::move(in)), out_(in_.size(), 0.0),
        acc_(in_.size(), 0.0), last_(in_.size(), 0.0) {}
    // Where the row's values are, in the order of the signals.
    const double *out(std::size_t i) const { return &out_[i]; }
    // Takes the signals' values at a step of time t (every step, in order).
    void sample(double t)
    {
        if (!started_) {
            started_ = true;
            from_ = t;
            for (std::size_t i = 0; i < in_.size(); ++i) {
                const double v = *in_[i];
                acc_[i] = kind_ == Reduce::kMean || kind_ == Reduce::kIntegral ? 0.0 : v;
                last_[i] = v;
            }
        } else {
            const double dt = t - lastT_;
            for (std::size_t i = 0; i < in_.size(); ++i) {
                const double v = *in_[i];
                double &a = acc_[i];
                switch (kind_) {
                case Reduce::kMean:
                case Reduce::kIntegral: a += dt * (last_[i] + v) * 0.5; break;
                case Reduce::kSum: a += v; break;
                // A NaN, once met, stays: the comparison fails for it either way.
                case Reduce::kMin: if (!(v >= a) && a == a) a = v; break;
                case Reduce::kMax: if (!(v <= a) && a == a) a = v; break;
                case Reduce::kSample: break;
                }
                last_[i] = v;
            }
        }
        lastT_ = t;
    }
    // Whether an interval of some length ends at the last step taken.
    bool open() const { return started_ && lastT_ > from_; }
    // Makes the row of the interval that ends at the last step taken and
    // starts the next one there.
    void row()
    {
        const double length = lastT_ - from_;
        for (std::size_t i = 0; i < in_.size(); ++i) {
            out_[i] = kind_ == Reduce::kMean ? acc_[i] / length : acc_[i];
            // The boundary step belongs to both closed intervals, except for a sum.
            acc_[i] = kind_ == Reduce::kMin || kind_ == Reduce::kMax ? last_[i] : 0.0;
        }
        from_ = lastT_;
    }

private:
    Reduce kind_;
    std::vector<const double *> in_;
    std::vector<double> out_, acc_, last_;
    bool started_ = false;
    double from_ = 0.0, lastT_ = 0.0;
};

// Signals written somewhere: their labels, where their values live, when.
// With a reducer the values are the reducer's row.
struct Columns {
    std::vector<std::string> labels;
    std::vector<const double *> values;
    Ticker when;
    std::unique_ptr<Reducer> reducer;

    // Whether step k (time t) makes a row; call at every step, in order.
    bool due(long long k, double t)
    {
        const bool hit = when.due(k);
        if (!reducer) return hit;
        reducer->sample(t);
        if (!hit || !reducer->open()) return false;
        reducer->row();
        return true;
    }
    // At the end of a run: whether the steps after the last row make one more.
    bool finish()
    {
        if (!reducer || !reducer->open()) return false;
        reducer->row();
        return true;
    }
    // Turns sampling columns into summarising ones.
    void reduce(Reduce kind)
    {
        if (kind == Reduce::kSample) return;
        reducer = std::make_unique<Reducer>(kind, values);
        for (std::size_t i = 0; i < values.size(); ++i) values[i] = reducer->out(i);
    }
};

struct Source {
    int node = -1;
    double *data = nullptr;
    const SourceDef *def = nullptr;
    std::unique_ptr<CsvSignal> csv;
    std::unique_ptr<EpwSignal> epw;
    Ticker when;  // set once the run has started

    void fill(double t)
    {
        switch (def->kind) {
        case SourceDef::kConstant:
            for (std::size_t i = 0; i < def->value.size(); ++i) data[i] = def->value[i];
            break;
        case SourceDef::kClock: data[0] = t; break;
        case SourceDef::kCsv:
        case SourceDef::kMatrix: csv->fill(t, data); break;
        case SourceDef::kEpw: epw->fill(t, data); break;
        }
        for (std::size_t i = 0; i < def->columnScale.size(); ++i) data[i] = data[i] * def->columnScale[i] + def->columnOffset[i];
    }
};

class Run {
public:
    Run(const ModelDef &m, const RunOptions &o) : m_(m), o_(o) {}
    RunReport go();
    void writeReadyRows(ComputedRows &progress);

private:
    void build();
    SignalPiece piece(const SignalRef &ref, const std::string &who) const;
    double siteValue(const ParamDef &p, const std::string &who) const;
    Columns columns(const std::vector<ColumnDef> &defs, double every, const std::string &who) const;
    Columns summaryColumn(const std::string &signal) const;
    std::unique_ptr<EpwSignal> weather(const SourceDef &s);
    std::shared_ptr<engine::Library> library(const std::string &path);
    void setupOutputs();
    void step(long long k);
    void plotRow(double t);
    void finishRows();
    struct CsvOut;
    void openCsv(CsvOut &out, const std::string &who);
    void writeCsv(CsvOut &out, double t);
    void flushCsv(CsvOut &out);
    void flushAll();
    void writeTable(double t, Columns &c, bool &header);
    void emit(const char *text, std::size_t len);
    void setupWorkspace();

    const ModelDef &m_;
    const RunOptions &o_;
    RunReport report_;
    engine::Simulation sim_;
    std::vector<Source> sources_;
    std::map<int, const std::vector<std::string> *> columnNames_;  // of the sources with named columns
    std::map<std::string, std::shared_ptr<engine::Library>> libs_;

    // A CSV file is written with write(2) in whole rows only: rows wait in
    // 'pending' and go out together, so a run that is killed or a disk that
    // fills up leaves the file ending on a whole row.
    //
    // A signal handler may write the waiting rows itself while the run is
    // stopped anywhere (writeComputedRowsNow): 'pending' never moves while
    // rows wait in it (room for a row is made before the row, after a
    // flush), 'ready' says how many of its bytes are whole rows, 'writing'
    // that the run is inside its own write of them, and 'size' is what the
    // file held before.
    struct CsvOut {
        Columns cols;
        std::string path;
        int fd = -1;
        std::atomic<long long> size{0};  // bytes in the file, all of them whole rows (-1: no regular file)
        std::string pending;             // whole rows not yet written, and the row being made
        std::atomic<std::size_t> ready{0};
        std::atomic<bool> writing{false};
        std::size_t rowRoom = 0;         // the most bytes one row can take
        std::chrono::steady_clock::time_point flushed;
        CsvOut() = default;
        CsvOut(CsvOut &&o) noexcept
            : cols(std::move(o.cols)), path(std::move(o.path)), fd(o.fd), size(o.size.load()),
              pending(std::move(o.pending)), ready(o.ready.load()), rowRoom(o.rowRoom), flushed(o.flushed)
        {
            o.fd = -1;
        }
        CsvOut &operator=(CsvOut &&) = delete;
        ~CsvOut()
        {
            if (fd >= 0) ::close(fd);
        }
    };
    struct TableOut {
        Columns cols;
        bool header = false;
    };
    std::vector<CsvOut> csv_;
    std::vector<TableOut> tables_;
    struct WorkspaceOut {
        std::vector<Columns> fields;
        std::vector<double *> into;  // per field, column-major, rows x width
        double *time = nullptr;
        std::size_t row = 0;
        Ticker when;
    };
    std::unique_ptr<WorkspaceOut> workspace_;
    std::vector<Columns> summary_;  // one value each
    // How far the rows go, for writeComputedRowsNow: the steps whose rows
    // are made, the time of the last one, the steps of the whole run.
    std::atomic<long long> computedSteps_{0};
    std::atomic<double> computedTime_{0.0};
    long long totalSteps_ = 0;
    bool plotting_ = false;
    Columns plotCols_;
    PlotData plot_;
    std::string gnuplot_;
    File trace_;
    std::unique_ptr<Progress> progress_;
};

// The run under way in this process, for writeComputedRowsNow (runs go one
// after another).
std::atomic<Run *> runUnderWay{nullptr};

mxArray *makeParam(const ParamDef &p)
{
    if (p.isText) return mxCreateString(p.text.c_str());
    mxArray *a = mxCreateDoubleMatrix(p.rows, p.cols, mxREAL);
    double *to = mxGetPr(a);  // column by column
    for (std::size_t r = 0; r < p.rows; ++r)
        for (std::size_t c = 0; c < p.cols; ++c) to[r + c * p.rows] = p.values[r * p.cols + c];
    return a;
}

engine::StdParam stdParam(const ParamDef &p)
{
    engine::StdParam s;
    s.isText = p.isText;
    s.text = p.text;
    if (!p.isText) {
        s.rows = static_cast<int>(p.rows);
        s.cols = static_cast<int>(p.cols);
        s.values = p.values;
    }
    return s;
}

void Run::build()
{
    for (const SourceDef &s : m_.sources) {
        Source src;
        src.def = &s;
        int width = 1;
        double period = s.period;
        if (s.kind == SourceDef::kConstant) {
            width = static_cast<int>(s.value.size());
            period = engine::kConstantPeriod;
        } else if (s.kind == SourceDef::kCsv) {
            src.csv = std::make_unique<CsvSignal>("source '" + s.name + "'", s.file, s.timeColumn, s.columns,
                                                  s.timeScale, s.linear);
            width = src.csv->width();
        } else if (s.kind == SourceDef::kEpw) {
            src.epw = weather(s);
            width = src.epw->width();
            if (!src.epw->note().empty()) report_.warnings.push_back(src.epw->note());
        } else if (s.kind == SourceDef::kMatrix) {
            src.csv = std::make_unique<CsvSignal>("source '" + s.name + "'", s.columns, s.time, s.values, s.linear);
            width = src.csv->width();
        }
        src.node = sim_.addSource(s.name, width, period, s.offset);
        src.data = sim_.sourceData(src.node);
        if (src.csv) columnNames_[src.node] = &src.csv->columnNames();
        if (src.epw) columnNames_[src.node] = &src.epw->columnNames();
        sources_.push_back(std::move(src));
    }
    // Between the model's steps the solver asks for the sources that change
    // at every step wherever it needs them. A sampled source (a period) is
    // left alone: its buffer holds the value of its last hit, filled at that
    // step; a constant never changes.
    for (Source &src : sources_)
        if (src.def->kind != SourceDef::kConstant && src.def->period == 0.0)
            sim_.setSourceFunction(src.node, [s = &src](double t) { s->fill(t); });
    sim_.setSolver(engine::SolverOptions{m_.solver.method, m_.solver.rtol, m_.solver.atol, m_.solver.maxStep});
    for (const BlockDef &b : m_.blocks) {
        std::vector<ParamDef> defs = b.params;
        for (std::size_t i = 0; i < defs.size(); ++i)
            if (!defs[i].siteSource.empty())
                defs[i].values[0] = siteValue(defs[i], "block '" + b.name + "': parameter " + std::to_string(i + 1));
        if (engine::isStandardBlock(b.type)) {
            // Built into the engine, which checks the parameters here and
            // names the block and the parameter.
            std::vector<engine::StdParam> params;
            for (const ParamDef &p : defs) params.push_back(stdParam(p));
            sim_.addStandardBlock(b.name, b.type, params);
            continue;
        }
        auto lib = libs_.find(b.type);
        if (lib == libs_.end()) {
            std::string path = findBlockLibrary(b.type, o_.libDirs, o_.libExtension);
            if (path.empty()) {
                std::string dirs;
                for (const std::string &d : o_.libDirs) dirs += (dirs.empty() ? "" : ", ") + d;
                throw ModelError("block '" + b.name + "': unknown block type '" + b.type + "' (no " + b.type +
                                 o_.libExtension + " in " + (dirs.empty() ? std::string("any library folder") : dirs) + ")");
            }
            try {
                lib = libs_.emplace(b.type, library(path)).first;
            } catch (const EngineError &e) {
                throw ModelError("block '" + b.name + "': " + e.what());
            }
        }
        std::vector<mxArray *> params;
        for (const ParamDef &p : defs) params.push_back(makeParam(p));
        std::vector<const mxArray *> view(params.begin(), params.end());
        try {
            sim_.addBlock(b.name, lib->second, view);
        } catch (...) {
            for (mxArray *a : params) mxDestroyArray(a);
            throw;
        }
        for (mxArray *a : params) mxDestroyArray(a);
    }
    for (const BlockDef &b : m_.blocks) {
        int node = sim_.find(b.name);
        // The engine checks a standard block's ports when it is connected.
        int ports = sim_.isStandard(node) ? static_cast<int>(b.inputs.size()) : sim_.block(node).numInputPorts();
        if (static_cast<int>(b.inputs.size()) > ports)
            throw EngineError(sim_.label(node) + ": " + std::to_string(b.inputs.size()) + " inputs are given but it has " +
                              std::to_string(ports) + " input port" + (ports == 1 ? "" : "s"));
        for (std::size_t p = 0; p < b.inputs.size(); ++p) {
            std::string who = sim_.label(node) + ": input port " + std::to_string(p + 1);
            std::vector<SignalPiece> pieces;
            for (const SignalRef &r : b.inputs[p]) pieces.push_back(piece(r, who));
            sim_.connect(node, static_cast<int>(p), pieces);
        }
    }
}

// A weather source, read from its file or copied from the cache.
std::unique_ptr<EpwSignal> Run::weather(const SourceDef &s)
{
    std::string who = "source '" + s.name + "'";
    struct stat st;
    if (o_.cache == nullptr || ::stat(s.file.c_str(), &st) != 0) return std::make_unique<EpwSignal>(who, s.file, s.columns);
    RunCache &cache = *o_.cache;
    std::string key = s.name + '\n' + s.file;
    for (const std::string &f : s.columns) key += '\n' + f;
    auto it = cache.weather.find(key);
    long long size = static_cast<long long>(st.st_size), changed = static_cast<long long>(st.st_mtime);
    if (it == cache.weather.end() || it->second.size != size || it->second.changed != changed) {
        if (it == cache.weather.end() && cache.weather.size() >= cache.weatherLimit) {
            auto oldest = cache.weather.begin();
            for (auto w = cache.weather.begin(); w != cache.weather.end(); ++w)
                if (w->second.used < oldest->second.used) oldest = w;
            cache.weather.erase(oldest);
        }
        RunCache::Weather w;
        w.signal = std::make_shared<const EpwSignal>(who, s.file, s.columns);
        w.size = size;
        w.changed = changed;
        it = cache.weather.insert_or_assign(key, std::move(w)).first;
    }
    it->second.used = ++cache.uses;
    return std::make_unique<EpwSignal>(*it->second.signal);
}

std::shared_ptr<engine::Library> Run::library(const std::string &path)
{
    if (o_.cache == nullptr) return engine::Library::load(path);
    std::shared_ptr<engine::Library> &lib = o_.cache->libraries[path];
    if (!lib) lib = engine::Library::load(path);
    return lib;
}

double Run::siteValue(const ParamDef &p, const std::string &who) const
{
    for (const Source &s : sources_)
        if (s.def->name == p.siteSource) {
            double v = 0;
            if (!s.epw) throw ModelError(who + ": source '" + p.siteSource + "' is not a weather file (type \"epw\")");
            epwSiteValue(s.epw->site(), p.siteField, v);
            return v;
        }
    throw ModelError(who + ": no source is named '" + p.siteSource + "'");
}

SignalPiece Run::piece(const SignalRef &ref, const std::string &who) const
{
    SignalPiece p;
    p.node = sim_.find(ref.node);
    if (p.node < 0) throw ModelError(who + ": no source or block is named '" + ref.node + "'");
    p.port = ref.port - 1;
    if (p.port >= sim_.numOutputs(p.node))
        throw ModelError(who + ": '" + ref.text + "': " + sim_.label(p.node) + " has no output port " +
                         std::to_string(ref.port));
    switch (ref.selector) {
    case SignalRef::kWhole: break;
    case SignalRef::kRange:
        p.first = ref.first - 1;
        p.count = ref.last - ref.first + 1;
        break;
    case SignalRef::kColumn: {
        auto named = columnNames_.find(p.node);
        if (named == columnNames_.end())
            throw ModelError(who + ": '" + ref.text + "': only a CSV, weather-file or matrix source has named elements; use a number");
        const std::vector<std::string> &names = *named->second;
        p.count = -1;
        for (std::size_t i = 0; i < names.size() && p.count < 0; ++i)
            if (names[i] == ref.column) {
                p.first = static_cast<int>(i);
                p.count = 1;
            }
        if (p.count < 0)
            throw ModelError(who + ": '" + ref.text + "': source '" + ref.node + "' has no column '" + ref.column + "'");
        break;
    }
    }
    return p;
}

Columns Run::columns(const std::vector<ColumnDef> &defs, double every, const std::string &who) const
{
    Columns c;
    for (const ColumnDef &def : defs) {
        SignalPiece p = piece(def.ref, who);
        int width = sim_.outputWidth(p.node, p.port);
        int count = p.count >= 0 ? p.count : width - p.first;
        if (p.first + count > width)
            throw ModelError(who + ": '" + def.ref.text + "': " + sim_.label(p.node) + " has only " +
                             std::to_string(width) + " element" + (width == 1 ? "" : "s"));
        auto named = columnNames_.find(p.node);
        for (int j = 0; j < count; ++j) {
            std::string label;
            if (count == 1) label = def.label.empty() ? def.ref.text : def.label;
            else if (!def.label.empty()) label = def.label + "[" + std::to_string(j + 1) + "]";
            else {
                int e = p.first + j;
                label = def.ref.node + (p.port > 0 ? ":" + std::to_string(p.port + 1) : std::string()) + "[" +
                        (named != columnNames_.end() ? (*named->second)[static_cast<std::size_t>(e)]
                                                 : std::to_string(e + 1)) +
                        "]";
            }
            c.labels.push_back(label);
            c.values.push_back(sim_.signal(p.node, p.port, p.first + j));
        }
    }
    Rate rate;
    if (every > 0) rate = sim_.periodicRate(every, 0.0, who);
    else rate.everyStep = true;
    c.when = Ticker(rate);
    return c;
}

// A summary signal: one element, sampled at the rows of the first CSV or
// table sink that writes it (a sink of the whole signal writes each of its
// elements), or at every step when none does.
Columns Run::summaryColumn(const std::string &signal) const
{
    std::string who = "summary signal '" + printable(signal) + "'";
    ColumnDef def;
    std::string why;
    if (!parseSignalRef(signal, def.ref, why)) throw ModelError(who + ": " + why);
    SignalPiece p = piece(def.ref, who);
    auto writes = [&](const SinkDef &s) {
        if (s.kind == SinkDef::kWorkspace) return false;
        for (const ColumnDef &c : s.columns) {
            SignalPiece q = piece(c.ref, who);
            int count = q.count >= 0 ? q.count : sim_.outputWidth(q.node, q.port) - q.first;
            if (q.node == p.node && q.port == p.port && p.first >= q.first && p.first < q.first + count) return true;
        }
        return false;
    };
    auto sink = std::find_if(m_.sinks.begin(), m_.sinks.end(), writes);
    Columns c = columns({def}, sink != m_.sinks.end() ? sink->every : 0.0, who);
    if (sink != m_.sinks.end()) c.reduce(sink->reduce);  // the rows that sink writes, statistics too
    if (c.values.size() != 1)
        throw ModelError(who + ": the signal has " + std::to_string(c.values.size()) +
                         " elements; a summary takes one (name it, as in weather[2] or weather[T])");
    return c;
}

// Whether two paths name the same existing file (by the file's identity,
// not its name: "o.csv" and "./o.csv" are one file).
bool sameFile(const std::string &a, const std::string &b)
{
    std::error_code ec;
    return std::filesystem::equivalent(a, b, ec) && !ec;
}

void Run::openCsv(CsvOut &out, const std::string &who)
{
    // Another CSV sink writing the same file would mix both and lose one
    // header; a data file of a source would be overwritten by the output.
    for (const CsvOut &other : csv_)
        if (sameFile(out.path, other.path))
            throw ModelError(who + ": the file is written by another CSV sink ('" + other.path + "') too");
    for (const Source &src : sources_)
        if ((src.def->kind == SourceDef::kCsv || src.def->kind == SourceDef::kEpw) && sameFile(out.path, src.def->file))
            throw ModelError(who + ": the file is the data of source '" + src.def->name +
                             "'; writing it would overwrite that data");
    out.fd = ::open(out.path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | kOpenFlags, 0666);
    if (out.fd < 0) throw ModelError(who + ": cannot create the file: " + std::strerror(errno));
    struct stat st;
    if (fstat(out.fd, &st) == 0 && !S_ISREG(st.st_mode)) {
        // A pipe or a device has no size to cut back to; rows go out as they are.
        out.size = -1;
    }
}

void Run::setupWorkspace()
{
    const SinkDef *sink = nullptr;
    std::string who;
    for (std::size_t i = 0; i < m_.sinks.size(); ++i) {
        if (m_.sinks[i].kind != SinkDef::kWorkspace) continue;
        if (sink != nullptr) throw ModelError("sinks[" + std::to_string(i) + "]: a model has one workspace sink at most");
        sink = &m_.sinks[i];
        who = "sinks[" + std::to_string(i) + "]";
    }
    std::vector<ColumnDef> defs;
    double every = 0.0;
    if (sink != nullptr) {
        defs = sink->columns;
        every = sink->every;
    } else if (o_.workspace) {
        // Every source and every block output port.
        who = "workspace";
        for (int node = 0; node < sim_.numNodes(); ++node)
            for (int port = 0; port < sim_.numOutputs(node); ++port) {
                if (sim_.outputWidth(node, port) == 0) continue;
                ColumnDef c;
                std::string why;
                std::string text = sim_.name(node) + (port > 0 ? ":" + std::to_string(port + 1) : std::string());
                parseSignalRef(text, c.ref, why);
                defs.push_back(c);
            }
    } else {
        return;
    }
    auto out = std::make_unique<WorkspaceOut>();
    std::vector<std::string> names;
    for (const ColumnDef &def : defs) {
        out->fields.push_back(columns({def}, every, who));
        std::string name = fieldName(def.label.empty() ? def.ref.text : def.label);
        if (name == "time" || std::find(names.begin(), names.end(), name) != names.end())
            throw ModelError(who + ": '" + def.ref.text + "': the field name '" + name + "' is " +
                             (name == "time" ? "that of the times" : "taken by another signal") +
                             "; name the signal with {\"signal\": ..., \"name\": ...}");
        names.push_back(name);
        report_.workspace.push_back(WorkspaceField{name, out->fields.back().values.size(), {}});
    }
    Rate rate;
    if (every > 0) rate = sim_.periodicRate(every, 0.0, who);
    else rate.everyStep = true;
    out->when = Ticker(rate);
    if (!o_.workspace) return;  // checked, not collected
    // The steps k = 0 .. numSteps - 1 with k % n == m.
    long long n = rate.everyStep ? 1 : rate.hits[0].first, m = rate.everyStep ? 0 : rate.hits[0].second;
    std::size_t rows = m < sim_.numSteps() ? static_cast<std::size_t>((sim_.numSteps() - 1 - m) / n + 1) : 0;
    report_.workspaceRows = rows;
    auto room = [&](const std::string &name, std::vector<double> &own, std::size_t width) {
        if (o_.workspaceStorage) return o_.workspaceStorage(name, rows, width);
        own.assign(rows * width, 0.0);
        return own.data();
    };
    out->time = room("time", report_.workspaceTime, 1);
    for (WorkspaceField &f : report_.workspace) out->into.push_back(room(f.name, f.values, f.width));
    workspace_ = std::move(out);
}

void Run::setupOutputs()
{
    setupWorkspace();
    for (std::size_t i = 0; i < m_.sinks.size(); ++i) {
        const SinkDef &s = m_.sinks[i];
        std::string who = "sinks[" + std::to_string(i) + "]" + (s.kind == SinkDef::kCsv ? " ('" + s.file + "')" : "");
        Columns cols = columns(s.columns, s.every, who);
        cols.reduce(s.reduce);
        if (s.kind == SinkDef::kTable) {
            tables_.push_back(TableOut{std::move(cols), false});
            continue;
        }
        if (s.kind == SinkDef::kWorkspace) continue;
        CsvOut out;
        out.path = s.file;
        openCsv(out, who);
        out.pending = "time";
        for (const std::string &l : cols.labels) {
            out.pending += ',';
            appendCsvField(out.pending, l);
        }
        out.pending += '\n';
        // A number takes at most 24 characters ("-2.2250738585072014e-308"), and a comma or line end.
        out.rowRoom = (cols.values.size() + 1) * 25;
        out.cols = std::move(cols);
        flushCsv(out);
        out.pending.reserve(kRowBufferBytes + out.rowRoom);
        out.flushed = std::chrono::steady_clock::now();
        report_.files.push_back(s.file);
        csv_.push_back(std::move(out));
    }
    for (const std::string &signal : o_.summary) summary_.push_back(summaryColumn(signal));

    if (o_.plotFile.empty()) return;
    std::vector<ColumnDef> defs = m_.plot.columns;
    if (!o_.plotSignals.empty()) {
        defs.clear();
        for (const std::string &text : o_.plotSignals) {
            ColumnDef c;
            std::string why;
            if (!parseSignalRef(text, c.ref, why)) throw ModelError("--plot-signals: " + why);
            defs.push_back(c);
        }
    }
    if (defs.empty() && !m_.sinks.empty()) defs = m_.sinks.front().columns;
    if (defs.empty()) throw ModelError("--plot: no signals to plot (give --plot-signals or a \"plot\" section)");
    gnuplot_ = findGnuplot();
    if (gnuplot_.empty()) {
        report_.warnings.push_back("no plot: gnuplot is not installed (Debian package gnuplot-nox)");
        return;
    }
    double every = m_.plot.every;
    plotCols_ = columns(defs, every, "plot");
    plotCols_.reduce(m_.plot.reduce);
    if (every <= 0) {
        long long n = (sim_.numSteps() + static_cast<long long>(kPlotPoints) - 1) / static_cast<long long>(kPlotPoints);
        Rate rate;
        if (n <= 1) rate.everyStep = true;
        else rate.hits.emplace_back(n, 0);
        plotCols_.when = Ticker(rate);
    }
    plot_.title = m_.plot.title.empty() ? m_.name : m_.plot.title;
    plot_.labels = plotCols_.labels;
    if (m_.plot.reduce != Reduce::kSample)  // the panels say what their points are
        for (std::string &l : plot_.labels) l += std::string(" (") + reduceName(m_.plot.reduce) + ")";
    plot_.series.assign(plotCols_.labels.size(), std::vector<double>());
    plotting_ = true;
}

void Run::writeCsv(CsvOut &out, double t)
{
    const Columns &c = out.cols;
    std::string &rows = out.pending;
    if (rows.capacity() - rows.size() < out.rowRoom) {  // room first, so that waiting rows never move
        flushCsv(out);
        rows.reserve(std::max(kRowBufferBytes, out.rowRoom) + out.rowRoom);
    }
    char num[40];
    rows.append(num, numberText(t, num, sizeof num));
    for (const double *v : c.values) {
        rows += ',';
        rows.append(num, numberText(*v, num, sizeof num));
    }
    rows += '\n';
    out.ready.store(rows.size(), std::memory_order_release);
    // Rows reach the file as they come, but at most one write to the system
    // per flush interval: a system call per row would cost more than some
    // blocks' whole compute.
    auto now = std::chrono::steady_clock::now();
    if (now - out.flushed < kFlushInterval && rows.size() < kRowBufferBytes) return;
    out.flushed = now;
    flushCsv(out);
}

// Writes the pending rows. On failure the file is cut back to its last whole
// row and the run fails with the file's name and the system's reason.
void Run::flushCsv(CsvOut &out)
{
    out.writing = true;
    const std::size_t done = writeFully(out.fd, out.pending.data(), out.pending.size());
    const int error = done < out.pending.size() ? errno : 0;
    // 'ready' goes first: a signal handler between the two sees no rows
    // waiting rather than rows already written.
    out.ready = 0;
    if (error == 0) {
        if (out.size >= 0) out.size += static_cast<long long>(done);
        out.pending.clear();
        out.writing = false;
        return;
    }
    std::size_t whole = out.pending.rfind('\n', done == 0 ? std::string::npos : done - 1);
    whole = whole == std::string::npos || done == 0 ? 0 : whole + 1;
    if (out.size >= 0) {
        out.size += static_cast<long long>(whole);
        if (::ftruncate(out.fd, static_cast<off_t>(out.size)) != 0) { /* the write error is the one to report */ }
    }
    out.pending.clear();
    out.writing = false;
    throw ModelError("cannot write to '" + out.path + "': " + std::strerror(error));
}

void Run::flushAll()
{
    for (CsvOut &c : csv_) {
        try {
            flushCsv(c);
        } catch (const ModelError &) {
            // The run's own error is the one to report.
        }
    }
}

void Run::emit(const char *text, std::size_t len)
{
    progress_->clear();
    if (o_.print) {
        o_.print(text, len);
        return;
    }
    std::fwrite(text, 1, len, o_.out);
    std::fflush(o_.out);
}

void Run::writeTable(double t, Columns &c, bool &header)
{
    auto width = [](const std::string &label) { return std::max<int>(14, static_cast<int>(label.size()) + 1); };
    std::string text;
    auto put = [&text](int w, double v) {
        char cell[64];
        int n = std::snprintf(cell, sizeof cell, "%.7g", v);
        text.append(static_cast<std::size_t>(std::max(w - n, 0)), ' ');
        text.append(cell, static_cast<std::size_t>(std::max(n, 0)));
    };
    if (!header) {
        text = "          time";
        for (const std::string &l : c.labels) text += ' ' + std::string(static_cast<std::size_t>(width(l)) - l.size(), ' ') + l;
        text += '\n';
        header = true;
    }
    char time[64];
    text.append(time, static_cast<std::size_t>(std::max(std::snprintf(time, sizeof time, "%14.9g", t), 0)));
    for (std::size_t i = 0; i < c.values.size(); ++i) {
        text += ' ';
        put(width(c.labels[i]), *c.values[i]);
    }
    text += '\n';
    emit(text.data(), text.size());
}

void Run::plotRow(double t)
{
    plot_.time.push_back(t);
    for (std::size_t i = 0; i < plotCols_.values.size(); ++i) plot_.series[i].push_back(*plotCols_.values[i]);
}

// The rows of summarising sinks for the steps after their last row.
void Run::finishRows()
{
    if (report_.steps == 0) return;
    const double t = sim_.timeAt(report_.steps - 1);
    for (CsvOut &c : csv_)
        if (c.cols.finish()) writeCsv(c, t);
    for (TableOut &c : tables_)
        if (c.cols.finish()) writeTable(t, c.cols, c.header);
    if (plotting_ && plotCols_.finish()) plotRow(t);
    for (std::size_t i = 0; i < summary_.size(); ++i)
        if (summary_[i].finish() && o_.summaryRow) o_.summaryRow(i, t, *summary_[i].values[0]);
}

void Run::step(long long k)
{
    double t = sim_.timeAt(k);
    for (Source &s : sources_)
        if (s.when.due(k)) s.fill(t);
    sim_.outputs(k);
    for (CsvOut &c : csv_)
        if (c.cols.due(k, t)) writeCsv(c, t);
    computedSteps_.store(k + 1, std::memory_order_release);
    computedTime_.store(t, std::memory_order_release);
    for (TableOut &c : tables_)
        if (c.cols.due(k, t)) writeTable(t, c.cols, c.header);
    if (workspace_ && workspace_->when.due(k) && workspace_->row < report_.workspaceRows) {
        const std::size_t r = workspace_->row++, rows = report_.workspaceRows;
        workspace_->time[r] = t;
        for (std::size_t f = 0; f < workspace_->fields.size(); ++f) {
            double *into = workspace_->into[f] + r;
            for (const double *v : workspace_->fields[f].values) {
                *into = *v;
                into += rows;
            }
        }
    }
    for (std::size_t i = 0; i < summary_.size(); ++i)
        if (summary_[i].due(k, t) && o_.summaryRow) o_.summaryRow(i, t, *summary_[i].values[0]);
    if (plotting_ && plotCols_.due(k, t)) plotRow(t);
    sim_.updates(k);
    progress_->tick(k);
}

RunReport Run::go()
{
    build();
    sim_.prepare(m_.start, m_.step, m_.stop);
    setupOutputs();
    if (!o_.traceFile.empty()) {
        trace_.reset(std::fopen(o_.traceFile.c_str(), "wb"));
        if (!trace_) throw ModelError("--trace: cannot create '" + o_.traceFile + "': " + std::strerror(errno));
        std::FILE *f = trace_.get();
        sim_.setObserver([f](const std::string &block, int flag, double t) {
            char num[40];
            std::size_t len = numberText(t, num, sizeof num);
            std::fprintf(f, "%d %s %.*s\n", flag, block.c_str(), static_cast<int>(len), num);
        });
    }
    totalSteps_ = sim_.numSteps();
    struct UnderWay {
        explicit UnderWay(Run *run) { runUnderWay = run; }
        ~UnderWay() { runUnderWay = nullptr; }
    } underWay(this);
    progress_ = std::make_unique<Progress>(o_.progress, sim_.numSteps(), o_.print);
    // What the blocks print goes to the same place as the tables, past the bar.
    // The sink that was there before (a caller's capture) comes back at the end.
    struct SinkReset {
        engine::PrintSink previous;
        ~SinkReset() { engine::setPrintSink(std::move(previous)); }
    } resetSink{engine::setPrintSink([this](const char *text, std::size_t len) { emit(text, len); })};

    try {
        sim_.start();
        for (Source &s : sources_) s.when = Ticker(sim_.rate(s.node));
        for (long long k = 0; k < sim_.numSteps(); ++k) {
            if (o_.stop && (report_.stoppedBy = o_.stop()) != 0) break;
            step(k);
            report_.steps = k + 1;
        }
    } catch (...) {
        flushAll();  // every row written before the failure stays in its file
        progress_->clear();
        sim_.terminate();  // the run's own error is the one to report
        throw;
    }
    report_.totalSteps = sim_.numSteps();
    if (report_.steps > 0) report_.lastTime = sim_.timeAt(report_.steps - 1);
    const engine::SolverStats &stats = sim_.solverStats();
    report_.solver.continuous = sim_.hasContinuousStates();
    report_.solver.method = m_.solver.method;
    report_.solver.steps = stats.steps;
    report_.solver.rhsEvaluations = stats.rhsEvaluations;
    report_.solver.events = stats.events;
    report_.solver.errorTestFailures = stats.errorTestFailures;
    report_.solver.convergenceFailures = stats.convergenceFailures;
    finishRows();
    for (CsvOut &c : csv_) flushCsv(c);
    std::string err = sim_.terminate();
    progress_->clear();
    if (!err.empty()) throw EngineError(err);
    if (trace_) std::fflush(trace_.get());

    if (plotting_) {
        std::string why = writePlot(plot_, o_.plotFile, gnuplot_);
        if (why.empty()) report_.files.push_back(o_.plotFile);
        else throw ModelError("--plot '" + o_.plotFile + "': " + why);
    }
    return std::move(report_);
}

// Only calls that are safe in a signal handler: atomics, fstat, writeFully.
void Run::writeReadyRows(ComputedRows &progress)
{
    progress.steps = computedSteps_.load(std::memory_order_acquire);
    progress.lastTime = computedTime_.load(std::memory_order_acquire);
    progress.totalSteps = totalSteps_;
    for (CsvOut &out : csv_) {
        const std::size_t ready = out.ready.load(std::memory_order_acquire);
        if (ready == 0) continue;
        std::size_t from = 0;
        if (out.writing) {
            // Stopped inside its own write of these rows: what reached the
            // file already is not written twice. A pipe cannot tell.
            struct stat st;
            const long long before = out.size;
            if (before < 0 || fstat(out.fd, &st) != 0) continue;
            const long long there = static_cast<long long>(st.st_size) - before;
            if (there >= static_cast<long long>(ready)) continue;
            from = there > 0 ? static_cast<std::size_t>(there) : 0;
        }
        writeFully(out.fd, out.pending.data() + from, ready - from);
    }
}

}  // namespace

bool writeComputedRowsNow(ComputedRows &progress)
{
    Run *run = runUnderWay.load();
    if (run == nullptr) return false;
    run->writeReadyRows(progress);
    return true;
}

std::size_t stopSummary(long long steps, double lastTime, long long totalSteps, char *buf, std::size_t size)
{
    std::size_t len = 0;
    auto add = [&](const char *text, std::size_t n) {
        n = std::min(n, size - len);
        std::memcpy(buf + len, text, n);
        len += n;
    };
    auto addText = [&](const char *text) { add(text, std::strlen(text)); };
    auto addCount = [&](long long v) {
        char num[24];
        std::to_chars_result r = std::to_chars(num, num + sizeof num, v);
        add(num, static_cast<std::size_t>(r.ptr - num));
    };
    if (steps == 0) {
        addText("before the first step");
        return len;
    }
    char num[40];
    addText("at t = ");
    add(num, numberText(lastTime, num, sizeof num));
    addText(" s, after step ");
    addCount(steps);
    addText(" of ");
    addCount(totalSteps);
    addText("; every row up to it is written");
    return len;
}

std::string solverSummary(const SolverReport &r)
{
    if (!r.continuous) return "solver: the model has no continuous states (" + r.method + " not used)";
    auto count = [](long long n, const char *what) { return std::to_string(n) + " " + what; };
    return "solver " + r.method + ": " + count(r.steps, "steps, ") + count(r.rhsEvaluations, "right-hand-side evaluations, ") +
           count(r.events, "events, ") + count(r.errorTestFailures, "error test failures, ") +
           count(r.convergenceFailures, "convergence failures");
}

std::string fieldName(const std::string &label)
{
    std::string name;
    for (char c : label) {
        bool ok = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
        if (ok) name += c;
        else if (name.empty() || name.back() != '_') name += '_';
    }
    while (!name.empty() && name.back() == '_') name.pop_back();
    if (name.empty() || !((name[0] >= 'A' && name[0] <= 'Z') || (name[0] >= 'a' && name[0] <= 'z'))) name = "x" + name;
    return name;
}

std::string stopSummary(const RunReport &report)
{
    char text[160];
    return std::string(text, stopSummary(report.steps, report.lastTime, report.totalSteps, text, sizeof text));
}

std::string findBlockLibrary(const std::string &type, const std::vector<std::string> &dirs, const std::string &extension)
{
    for (const std::string &d : dirs) {
        std::string path = (d.empty() ? std::string(".") : d) + "/" + type + extension;
        struct stat st;
        if (stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode)) return path;
    }
    return std::string();
}

RunReport runModel(const ModelDef &model, const RunOptions &options)
{
    Run run(model, options);
    return run.go();
}

}  // namespace simrun
