#include "runner.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstring>
#include <map>
#include <memory>

#include <csv.h>

#include "csv_source.h"
#include "mxhost.h"
#include "number_text.h"
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
// this long ago; the run flushes every file when it ends or fails.
constexpr std::chrono::milliseconds kFlushInterval(50);

struct FileCloser {
    void operator()(std::FILE *f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

// Signals written somewhere: their labels, where their values live, when.
struct Columns {
    std::vector<std::string> labels;
    std::vector<const double *> values;
    Ticker when;
};

struct Source {
    int node = -1;
    double *data = nullptr;
    const SourceDef *def = nullptr;
    std::unique_ptr<CsvSignal> csv;
    Ticker when;  // set once the run has started

    void fill(double t)
    {
        switch (def->kind) {
        case SourceDef::kConstant:
            for (std::size_t i = 0; i < def->value.size(); ++i) data[i] = def->value[i];
            break;
        case SourceDef::kClock: data[0] = t; break;
        case SourceDef::kCsv: csv->fill(t, data); break;
        }
    }
};

class Run {
public:
    Run(const ModelDef &m, const RunOptions &o) : m_(m), o_(o) {}
    RunReport go();

private:
    void build();
    SignalPiece piece(const SignalRef &ref, const std::string &who) const;
    Columns columns(const std::vector<ColumnDef> &defs, double every, const std::string &who) const;
    void setupOutputs();
    void step(long long k);
    struct CsvOut;
    void writeCsv(CsvOut &out, double t);
    void flushAll();
    void writeTable(double t, Columns &c, bool &header);

    const ModelDef &m_;
    const RunOptions &o_;
    RunReport report_;
    engine::Simulation sim_;
    std::vector<Source> sources_;
    std::map<int, const CsvSignal *> csvByNode_;
    std::map<std::string, std::shared_ptr<engine::Library>> libs_;

    struct CsvOut {
        Columns cols;
        File file;
        std::string path;
        std::chrono::steady_clock::time_point flushed;
    };
    struct TableOut {
        Columns cols;
        bool header = false;
    };
    std::vector<CsvOut> csv_;
    std::vector<TableOut> tables_;
    bool plotting_ = false;
    Columns plotCols_;
    PlotData plot_;
    std::string gnuplot_;
    File trace_;
    std::unique_ptr<Progress> progress_;
};

mxArray *makeParam(const ParamDef &p)
{
    if (p.isText) return mxCreateString(p.text.c_str());
    mxArray *a = mxCreateDoubleMatrix(p.rows, p.cols, mxREAL);
    std::copy(p.values.begin(), p.values.end(), mxGetPr(a));
    return a;
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
        }
        src.node = sim_.addSource(s.name, width, period, s.offset);
        src.data = sim_.sourceData(src.node);
        if (src.csv) csvByNode_[src.node] = src.csv.get();
        sources_.push_back(std::move(src));
    }
    for (const BlockDef &b : m_.blocks) {
        auto lib = libs_.find(b.type);
        if (lib == libs_.end()) {
            std::string path = findBlockLibrary(b.type, o_.libDirs);
            if (path.empty()) {
                std::string dirs;
                for (const std::string &d : o_.libDirs) dirs += (dirs.empty() ? "" : ", ") + d;
                throw ModelError("block '" + b.name + "': unknown block type '" + b.type + "' (no " + b.type +
                                 SIMBLOCKS_MEX_SUFFIX " in " + (dirs.empty() ? std::string("any library folder") : dirs) + ")");
            }
            try {
                lib = libs_.emplace(b.type, engine::Library::load(path)).first;
            } catch (const EngineError &e) {
                throw ModelError("block '" + b.name + "': " + e.what());
            }
        }
        std::vector<mxArray *> params;
        for (const ParamDef &p : b.params) params.push_back(makeParam(p));
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
        int ports = sim_.block(node).numInputPorts();
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
        auto csv = csvByNode_.find(p.node);
        if (csv == csvByNode_.end())
            throw ModelError(who + ": '" + ref.text + "': only a CSV source has named elements; use a number");
        const std::vector<std::string> &names = csv->second->columnNames();
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
        auto csv = csvByNode_.find(p.node);
        for (int j = 0; j < count; ++j) {
            std::string label;
            if (count == 1) label = def.label.empty() ? def.ref.text : def.label;
            else if (!def.label.empty()) label = def.label + "[" + std::to_string(j + 1) + "]";
            else {
                int e = p.first + j;
                label = def.ref.node + (p.port > 0 ? ":" + std::to_string(p.port + 1) : std::string()) + "[" +
                        (csv != csvByNode_.end() ? csv->second->columnNames()[static_cast<std::size_t>(e)]
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

void writeField(std::FILE *f, const std::string &text)
{
    if (text.find_first_of(",\"\r\n") == std::string::npos) std::fputs(text.c_str(), f);
    else csv_fwrite(f, text.data(), text.size());
}

void Run::setupOutputs()
{
    for (std::size_t i = 0; i < m_.sinks.size(); ++i) {
        const SinkDef &s = m_.sinks[i];
        std::string who = "sinks[" + std::to_string(i) + "]" + (s.kind == SinkDef::kCsv ? " ('" + s.file + "')" : "");
        Columns cols = columns(s.columns, s.every, who);
        if (s.kind == SinkDef::kTable) {
            tables_.push_back(TableOut{std::move(cols), false});
            continue;
        }
        File f(std::fopen(s.file.c_str(), "wb"));  // "\n" line ends on every platform
        if (!f) throw ModelError(who + ": cannot create the file: " + std::strerror(errno));
        std::fputs("time", f.get());
        for (const std::string &l : cols.labels) {
            std::fputc(',', f.get());
            writeField(f.get(), l);
        }
        std::fputc('\n', f.get());
        std::fflush(f.get());
        report_.files.push_back(s.file);
        csv_.push_back(CsvOut{std::move(cols), std::move(f), s.file, std::chrono::steady_clock::now()});
    }

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
    if (every <= 0) {
        long long n = (sim_.numSteps() + static_cast<long long>(kPlotPoints) - 1) / static_cast<long long>(kPlotPoints);
        Rate rate;
        if (n <= 1) rate.everyStep = true;
        else rate.hits.emplace_back(n, 0);
        plotCols_.when = Ticker(rate);
    }
    plot_.title = m_.plot.title.empty() ? m_.name : m_.plot.title;
    plot_.labels = plotCols_.labels;
    plot_.series.assign(plotCols_.labels.size(), std::vector<double>());
    plotting_ = true;
}

void Run::writeCsv(CsvOut &out, double t)
{
    std::FILE *f = out.file.get();
    const Columns &c = out.cols;
    char line[4096];
    std::size_t len = numberText(t, line, sizeof line);
    for (const double *v : c.values) {
        if (len + 40 > sizeof line) {
            std::fwrite(line, 1, len, f);
            len = 0;
        }
        line[len++] = ',';
        len += numberText(*v, line + len, sizeof line - len);
    }
    line[len++] = '\n';
    std::fwrite(line, 1, len, f);
    // Rows reach the file as they come, but at most one write to the system
    // per flush interval: a system call per row would cost more than some
    // blocks' whole compute.
    auto now = std::chrono::steady_clock::now();
    if (now - out.flushed < kFlushInterval) return;
    out.flushed = now;
    if (std::fflush(f) != 0) throw ModelError("cannot write to '" + out.path + "': " + std::strerror(errno));
}

void Run::flushAll()
{
    for (CsvOut &c : csv_) std::fflush(c.file.get());
}

void Run::writeTable(double t, Columns &c, bool &header)
{
    progress_->clear();
    auto width = [](const std::string &label) { return std::max<int>(14, static_cast<int>(label.size()) + 1); };
    if (!header) {
        std::fprintf(o_.out, "%14s", "time");
        for (const std::string &l : c.labels) std::fprintf(o_.out, " %*s", width(l), l.c_str());
        std::fputc('\n', o_.out);
        header = true;
    }
    std::fprintf(o_.out, "%14.9g", t);
    for (std::size_t i = 0; i < c.values.size(); ++i) std::fprintf(o_.out, " %*.7g", width(c.labels[i]), *c.values[i]);
    std::fputc('\n', o_.out);
    std::fflush(o_.out);
}

void Run::step(long long k)
{
    double t = sim_.timeAt(k);
    for (Source &s : sources_)
        if (s.when.due(k)) s.fill(t);
    sim_.outputs(k);
    for (CsvOut &c : csv_)
        if (c.cols.when.due(k)) writeCsv(c, t);
    for (TableOut &c : tables_)
        if (c.cols.when.due(k)) writeTable(t, c.cols, c.header);
    if (plotting_ && plotCols_.when.due(k)) {
        plot_.time.push_back(t);
        for (std::size_t i = 0; i < plotCols_.values.size(); ++i) plot_.series[i].push_back(*plotCols_.values[i]);
    }
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
    progress_ = std::make_unique<Progress>(o_.progress, sim_.numSteps());
    // What the blocks print goes to the same place as the tables, past the bar.
    std::FILE *out = o_.out;
    Progress *bar = progress_.get();
    mxhost::setPrintSink([out, bar](const char *text, std::size_t len) {
        bar->clear();
        std::fwrite(text, 1, len, out);
        std::fflush(out);
    });
    struct SinkReset {
        ~SinkReset() { mxhost::setPrintSink(nullptr); }
    } resetSink;

    try {
        sim_.start();
        for (Source &s : sources_) s.when = Ticker(sim_.rate(s.node));
        for (long long k = 0; k < sim_.numSteps(); ++k) step(k);
    } catch (...) {
        flushAll();  // every row written before the failure stays in its file
        progress_->clear();
        sim_.terminate();  // the run's own error is the one to report
        throw;
    }
    report_.steps = sim_.numSteps();
    for (CsvOut &c : csv_)
        if (std::fflush(c.file.get()) != 0) throw ModelError("cannot write to '" + c.path + "': " + std::strerror(errno));
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

}  // namespace

std::string findBlockLibrary(const std::string &type, const std::vector<std::string> &dirs)
{
    for (const std::string &d : dirs) {
        std::string path = (d.empty() ? std::string(".") : d) + "/" + type + SIMBLOCKS_MEX_SUFFIX;
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
