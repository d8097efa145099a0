#include "model_file.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <initializer_list>
#include <sstream>

#include <nlohmann/json.hpp>

#include "epw_source.h"
#include "posix_io.h"

namespace simrun {

using nlohmann::json;

namespace {

// Names and references are checked by plain scans: a regular expression
// matcher may recurse once per character and run out of stack on a long name.
bool nameStart(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_'; }
bool nameChar(char c) { return nameStart(c) || (c >= '0' && c <= '9'); }
bool digit(char c) { return c >= '0' && c <= '9'; }

// The length of the name at s[at..] (letters, digits, '_', not starting with a digit); 0 if none.
std::size_t nameLength(const std::string &s, std::size_t at)
{
    if (at >= s.size() || !nameStart(s[at])) return 0;
    std::size_t end = at + 1;
    while (end < s.size() && nameChar(s[end])) ++end;
    return end - at;
}

bool validName(const std::string &s) { return !s.empty() && nameLength(s, 0) == s.size(); }

std::size_t digitsLength(const std::string &s, std::size_t at)
{
    std::size_t end = at;
    while (end < s.size() && digit(s[end])) ++end;
    return end - at;
}

// Reads one model document, with the file name and the place in every message.
class Reader {
public:
    Reader(std::string path, std::filesystem::path dir, const std::vector<WorkspaceMatrix> &matrices)
        : path_(std::move(path)), dir_(std::move(dir)), matrices_(matrices) {}

    [[noreturn]] void bad(const std::string &where, const std::string &what) const
    {
        throw ModelError(path_ + ": " + (where.empty() ? std::string() : where + ": ") + what);
    }

    void keys(const json &obj, const std::string &where, std::initializer_list<const char *> allowed) const
    {
        if (!obj.is_object()) bad(where, "must be an object");
        for (auto it = obj.begin(); it != obj.end(); ++it) {
            bool ok = it.key() == "comment";
            for (const char *a : allowed) ok = ok || it.key() == a;
            if (!ok) bad(where, "unknown key '" + printable(it.key()) + "'");
        }
    }

    double number(const json &obj, const char *key, const std::string &where, double fallback, bool required) const
    {
        auto it = obj.find(key);
        if (it == obj.end()) {
            if (required) bad(where, std::string("'") + key + "' is missing");
            return fallback;
        }
        if (!it->is_number()) bad(where, std::string("'") + key + "' must be a number");
        double v = it->get<double>();
        if (!std::isfinite(v)) bad(where, std::string("'") + key + "' must be finite");
        return v;
    }

    std::string text(const json &obj, const char *key, const std::string &where, bool required) const
    {
        auto it = obj.find(key);
        if (it == obj.end()) {
            if (required) bad(where, std::string("'") + key + "' is missing");
            return std::string();
        }
        if (!it->is_string()) bad(where, std::string("'") + key + "' must be a string");
        return it->get<std::string>();
    }

    std::string name(const json &obj, const std::string &where) const
    {
        std::string n = text(obj, "name", where, true);
        if (!validName(n)) bad(where, "the name '" + printable(n) + "' must be letters, digits and '_', not starting with a digit");
        return n;
    }

    SignalRef ref(const json &v, const std::string &where) const
    {
        if (!v.is_string()) bad(where, "a signal reference must be a string such as \"name\", \"name:2\" or \"name[1]\"");
        SignalRef r;
        std::string why;
        if (!parseSignalRef(v.get<std::string>(), r, why)) bad(where, why);
        return r;
    }

    ParamDef param(const json &v, const std::string &where) const
    {
        ParamDef p;
        auto scalar = [&](const json &x, double &out) {
            if (x.is_boolean()) out = x.get<bool>() ? 1.0 : 0.0;
            else if (x.is_number()) out = x.get<double>();
            else return false;
            return true;
        };
        double x = 0;
        if (v.is_string()) {
            p.isText = true;
            p.text = v.get<std::string>();
            p.rows = 1;
            p.cols = p.text.size();
        } else if (scalar(v, x)) {
            p.rows = p.cols = 1;
            p.values.push_back(x);
        } else if (v.is_object()) {
            keys(v, where, {"source", "site"});
            p.siteSource = text(v, "source", where, true);
            p.siteField = text(v, "site", where, true);
            double unused = 0;
            if (!epwSiteValue(EpwSite(), p.siteField, unused)) {
                std::string all;
                for (const char *n : kEpwSiteNames) all += (all.empty() ? "\"" : ", \"") + std::string(n) + "\"";
                bad(where, "unknown site value '" + p.siteField + "' (use " + all + ")");
            }
            p.rows = p.cols = 1;
            p.values.push_back(0.0);
        } else if (v.is_array() && v.empty()) {
            p.rows = p.cols = 0;
        } else if (v.is_array() && v[0].is_array()) {
            // A matrix: one list of numbers per row, all of the same length.
            p.rows = v.size();
            p.cols = v[0].size();
            if (p.cols == 0) bad(where, "a matrix parameter's rows must not be empty");
            for (std::size_t r = 0; r < v.size(); ++r) {
                if (!v[r].is_array() || v[r].size() != p.cols)
                    bad(where, "a matrix parameter is a list of rows of the same length: row " + std::to_string(r + 1) +
                                   (v[r].is_array() ? " has " + std::to_string(v[r].size()) + " numbers, row 1 has " +
                                                          std::to_string(p.cols)
                                                    : " is not a list"));
                for (const json &e : v[r]) {
                    if (!scalar(e, x)) bad(where, "a matrix parameter must hold numbers only");
                    p.values.push_back(x);
                }
            }
        } else if (v.is_array()) {
            p.rows = 1;
            for (const json &e : v) {
                if (!scalar(e, x)) bad(where, "a vector parameter must hold numbers only");
                p.values.push_back(x);
            }
            p.cols = p.values.size();
        } else {
            bad(where, "a parameter must be a number, a list of numbers, a list of rows (a matrix), a string or "
                       "{\"source\": ..., \"site\": ...}");
        }
        return p;
    }

    std::vector<ColumnDef> columns(const json &obj, const std::string &where, bool required) const
    {
        std::vector<ColumnDef> out;
        auto it = obj.find("signals");
        if (it == obj.end()) {
            if (required) bad(where, "'signals' is missing");
            return out;
        }
        if (!it->is_array() || it->empty()) bad(where, "'signals' must be a non-empty list");
        for (std::size_t i = 0; i < it->size(); ++i) {
            const json &c = (*it)[i];
            std::string w = where + ".signals[" + std::to_string(i) + "]";
            ColumnDef col;
            if (c.is_object()) {
                keys(c, w, {"signal", "name"});
                auto s = c.find("signal");
                if (s == c.end()) bad(w, "'signal' is missing");
                col.ref = ref(*s, w);
                col.label = text(c, "name", w, false);
            } else {
                col.ref = ref(c, w);
            }
            out.push_back(col);
        }
        return out;
    }

    // A data file's name, made absolute against the model's folder.
    std::string dataFile(const json &s, const std::string &where) const
    {
        std::string file = text(s, "file", where, true);
        if (file.empty()) bad(where, "'file' is empty");
        std::filesystem::path p(file);
        return (p.is_absolute() ? p : dir_ / p).lexically_normal().string();
    }

    // The columns of a CSV source or the fields of a weather file: names, or
    // {"name": ..., "scale": ..., "offset": ...} to scale a column's values.
    void columnList(const json &s, const char *key, const std::string &where, SourceDef &src) const
    {
        auto cols = s.find(key);
        if (cols == s.end()) return;
        std::string k = std::string("'") + key + "'";
        if (!cols->is_array() || cols->empty()) bad(where, k + " must be a non-empty list of names");
        bool scaled = false;
        for (std::size_t i = 0; i < cols->size(); ++i) {
            const json &c = (*cols)[i];
            double scale = 1, offset = 0;
            if (c.is_object()) {
                std::string w = where + "." + key + "[" + std::to_string(i) + "]";
                keys(c, w, {"name", "scale", "offset"});
                src.columns.push_back(text(c, "name", w, true));
                scale = number(c, "scale", w, 1.0, false);
                offset = number(c, "offset", w, 0.0, false);
                scaled = true;
            } else if (c.is_string()) {
                src.columns.push_back(c.get<std::string>());
            } else {
                bad(where, k + " must be a list of names or {\"name\": ..., \"scale\": ..., \"offset\": ...}");
            }
            src.columnScale.push_back(scale);
            src.columnOffset.push_back(offset);
        }
        if (!scaled) {
            src.columnScale.clear();
            src.columnOffset.clear();
        }
    }

    SourceDef source(const json &s, const std::string &where) const
    {
        SourceDef src;
        src.name = name(s, where);
        std::string type = text(s, "type", where, true);
        if (type == "constant") {
            keys(s, where, {"name", "type", "value"});
            auto v = s.find("value");
            if (v == s.end()) bad(where, "'value' is missing");
            if (v->is_number()) {
                src.value.push_back(v->get<double>());
            } else if (v->is_array() && !v->empty()) {
                for (const json &e : *v) {
                    if (!e.is_number()) bad(where, "'value' must be a number or a list of numbers");
                    src.value.push_back(e.get<double>());
                }
            } else {
                bad(where, "'value' must be a number or a non-empty list of numbers");
            }
            src.kind = SourceDef::kConstant;
            return src;
        }
        if (type == "clock") {
            keys(s, where, {"name", "type", "period", "offset"});
            src.kind = SourceDef::kClock;
        } else if (type == "csv") {
            keys(s, where, {"name", "type", "file", "time", "time_unit", "columns", "interpolation", "period", "offset"});
            src.kind = SourceDef::kCsv;
            src.file = dataFile(s, where);
            src.timeColumn = text(s, "time", where, false);
            std::string unit = text(s, "time_unit", where, false);
            if (unit.empty() || unit == "s") src.timeScale = 1;
            else if (unit == "min") src.timeScale = 60;
            else if (unit == "h") src.timeScale = 3600;
            else if (unit == "d") src.timeScale = 86400;
            else bad(where, "'time_unit' must be \"s\", \"min\", \"h\" or \"d\"");
            columnList(s, "columns", where, src);
            src.linear = linearInterpolation(s, where);
        } else if (type == "epw") {
            keys(s, where, {"name", "type", "file", "fields", "period", "offset"});
            src.kind = SourceDef::kEpw;
            src.file = dataFile(s, where);
            if (!s.contains("fields")) bad(where, "'fields' is missing (the weather file's fields the model uses)");
            columnList(s, "fields", where, src);
        } else if (type == "matrix") {
            matrixSource(s, where, src);
        } else {
            bad(where, "unknown source type '" + printable(type) + "' (use \"constant\", \"clock\", \"csv\", \"epw\" or \"matrix\")");
        }
        src.period = number(s, "period", where, 0.0, false);
        src.offset = number(s, "offset", where, 0.0, false);
        if (src.period < 0) bad(where, "'period' must not be negative");
        return src;
    }

    BlockDef block(const json &b, const std::string &where) const
    {
        keys(b, where, {"name", "type", "parameters", "inputs"});
        BlockDef blk;
        blk.name = name(b, where);
        blk.type = text(b, "type", where, true);
        if (!validName(blk.type)) bad(where, "the block type '" + printable(blk.type) + "' is not a deliverable name");
        auto ps = b.find("parameters");
        if (ps != b.end()) {
            if (!ps->is_array()) bad(where, "'parameters' must be a list");
            for (std::size_t i = 0; i < ps->size(); ++i)
                blk.params.push_back(param((*ps)[i], where + ".parameters[" + std::to_string(i) + "]"));
        }
        auto in = b.find("inputs");
        if (in != b.end()) {
            if (!in->is_array()) bad(where, "'inputs' must be a list with one entry per input port");
            for (std::size_t i = 0; i < in->size(); ++i) {
                const json &port = (*in)[i];
                std::string w = where + ".inputs[" + std::to_string(i) + "]";
                std::vector<SignalRef> pieces;
                if (port.is_array()) {
                    if (port.empty()) bad(w, "an input built from pieces needs at least one");
                    for (const json &piece : port) pieces.push_back(ref(piece, w));
                } else {
                    pieces.push_back(ref(port, w));
                }
                blk.inputs.push_back(pieces);
            }
        }
        return blk;
    }

    // A sink's or the plot's "reduce", which needs an "every".
    Reduce reduce(const json &s, const std::string &where, double every) const
    {
        std::string name = text(s, "reduce", where, false);
        if (name.empty() && !s.contains("reduce")) return Reduce::kSample;
        for (Reduce r : {Reduce::kMean, Reduce::kMin, Reduce::kMax, Reduce::kSum, Reduce::kIntegral})
            if (name == reduceName(r)) {
                if (!(every > 0)) bad(where, "'reduce' needs 'every', the seconds of each interval");
                return r;
            }
        bad(where, "unknown 'reduce' '" + printable(name) + "' (use \"mean\", \"min\", \"max\", \"sum\" or \"integral\")");
    }

    SolverDef solver(const json &doc) const
    {
        SolverDef d;
        auto it = doc.find("solver");
        if (it == doc.end()) return d;
        keys(*it, "solver", {"method", "rtol", "atol", "max_step"});
        if (it->contains("method")) d.method = text(*it, "method", "solver", true);
        d.rtol = number(*it, "rtol", "solver", d.rtol, false);
        d.atol = number(*it, "atol", "solver", d.atol, false);
        d.maxStep = number(*it, "max_step", "solver", d.maxStep, false);
        if (d.method != "bdf" && d.method != "adams" && d.method != "rk4" && d.method != "euler")
            bad("", "solver: unknown method '" + printable(d.method) + "' (bdf, adams, rk4, euler)");
        if (!(d.rtol > 0)) bad("", "solver: rtol must be positive");
        if (!(d.atol > 0)) bad("", "solver: atol must be positive");
        if (d.maxStep < 0) bad("", "solver: max_step must be positive (or 0: no limit)");
        return d;
    }

    SinkDef sink(const json &s, const std::string &where) const
    {
        keys(s, where, {"type", "file", "every", "reduce", "signals"});
        SinkDef k;
        std::string type = text(s, "type", where, true);
        if (type == "csv") {
            k.kind = SinkDef::kCsv;
            k.file = text(s, "file", where, true);
            if (k.file.empty()) bad(where, "'file' is empty");
        } else if (type == "table") {
            k.kind = SinkDef::kTable;
            if (s.contains("file")) bad(where, "a table sink prints on standard output and takes no 'file'");
        } else if (type == "workspace") {
            k.kind = SinkDef::kWorkspace;
            if (s.contains("file")) bad(where, "a workspace sink returns its signals to the script and takes no 'file'");
        } else {
            bad(where, "unknown sink type '" + printable(type) + "' (use \"csv\", \"table\" or \"workspace\")");
        }
        k.every = number(s, "every", where, 0.0, false);
        if (k.every < 0) bad(where, "'every' must not be negative");
        k.reduce = reduce(s, where, k.every);
        if (k.reduce != Reduce::kSample && k.kind == SinkDef::kWorkspace)
            bad(where, "'reduce' is for csv and table sinks; a workspace sink returns samples");
        k.columns = columns(s, where, true);
        return k;
    }

    ModelDef model(const json &doc) const
    {
        keys(doc, "", {"description", "start", "stop", "step", "solver", "sources", "blocks", "sinks", "plot"});
        ModelDef m;
        m.description = text(doc, "description", "", false);
        m.start = number(doc, "start", "", 0.0, false);
        m.stop = number(doc, "stop", "", 0.0, true);
        m.step = number(doc, "step", "", 0.0, true);
        if (!(m.step > 0)) bad("", "'step' must be a positive number of seconds");
        m.solver = solver(doc);
        if (m.stop < m.start) bad("", "'stop' is before 'start'");
        auto list = [&](const char *key) -> const json * {
            auto it = doc.find(key);
            if (it == doc.end()) return nullptr;
            if (!it->is_array()) bad("", std::string("'") + key + "' must be a list");
            return &*it;
        };
        if (const json *l = list("sources"))
            for (std::size_t i = 0; i < l->size(); ++i) m.sources.push_back(source((*l)[i], "sources[" + std::to_string(i) + "]"));
        if (const json *l = list("blocks"))
            for (std::size_t i = 0; i < l->size(); ++i) m.blocks.push_back(block((*l)[i], "blocks[" + std::to_string(i) + "]"));
        if (const json *l = list("sinks"))
            for (std::size_t i = 0; i < l->size(); ++i) m.sinks.push_back(sink((*l)[i], "sinks[" + std::to_string(i) + "]"));
        auto plot = doc.find("plot");
        if (plot != doc.end()) {
            keys(*plot, "plot", {"signals", "title", "every", "reduce"});
            m.plot.columns = columns(*plot, "plot", false);
            m.plot.title = text(*plot, "title", "plot", false);
            m.plot.every = number(*plot, "every", "plot", 0.0, false);
            if (m.plot.every < 0) bad("plot", "'every' must not be negative");
            m.plot.reduce = reduce(*plot, "plot", m.plot.every);
        }
        if (m.blocks.empty() && m.sources.empty()) bad("", "the model has neither sources nor blocks");
        return m;
    }

private:
    // How values between rows are found, for csv and matrix sources.
    bool linearInterpolation(const json &s, const std::string &where) const
    {
        std::string interp = text(s, "interpolation", where, false);
        if (interp.empty() || interp == "linear") return true;
        if (interp != "hold") bad(where, "'interpolation' must be \"linear\" or \"hold\"");
        return false;
    }

    // A matrix of numbers: a list of rows (lists of numbers; a list of
    // numbers is one column), or a caller's array named {"workspace": index}.
    // Returns the columns.
    std::vector<std::vector<double>> matrix(const json &v, const char *key, const std::string &where) const
    {
        std::vector<std::vector<double>> cols;
        const std::string what = std::string("'") + key + "'";
        if (v.is_object()) {
            auto k = v.find("workspace");
            if (v.size() != 1 || k == v.end() || !k->is_number_unsigned() || k->get<std::size_t>() >= matrices_.size())
                bad(where, what + " must be a list of rows of numbers");
            const WorkspaceMatrix &m = matrices_[k->get<std::size_t>()];
            // Refused by its shape alone: an empty array may claim any
            // number of columns (zeros(0, 2^40)) at no cost to its maker.
            if (m.rows == 0 || m.cols == 0)
                bad(where, what + " is empty (" + std::to_string(m.rows) + " x " + std::to_string(m.cols) + ")");
            for (std::size_t c = 0; c < m.cols; ++c) cols.emplace_back(m.data + c * m.rows, m.data + (c + 1) * m.rows);
            return cols;
        }
        if (!v.is_array()) bad(where, what + " must be a list of rows of numbers");
        for (std::size_t r = 0; r < v.size(); ++r) {
            const json &row = v[r];
            std::size_t width = row.is_array() ? row.size() : 1;
            if (r == 0) cols.assign(width, std::vector<double>());
            if (width != cols.size())
                bad(where, what + ": row " + std::to_string(r + 1) + " has " + std::to_string(width) +
                               " numbers, the first row " + std::to_string(cols.size()));
            for (std::size_t c = 0; c < width; ++c) {
                const json &x = row.is_array() ? row[c] : row;
                if (!x.is_number()) bad(where, what + " must hold numbers only");
                cols[c].push_back(x.get<double>());
            }
        }
        return cols;
    }

    void matrixSource(const json &s, const std::string &where, SourceDef &src) const
    {
        keys(s, where, {"name", "type", "time", "values", "columns", "interpolation", "period", "offset"});
        src.kind = SourceDef::kMatrix;
        auto t = s.find("time");
        auto v = s.find("values");
        if (t == s.end()) bad(where, "'time' is missing");
        if (v == s.end()) bad(where, "'values' is missing");
        std::vector<std::vector<double>> time = matrix(*t, "time", where);
        if (time.size() != 1 || time[0].empty()) bad(where, "'time' must be a non-empty vector of times");
        src.time = std::move(time[0]);
        src.values = matrix(*v, "values", where);
        if (src.values.empty()) bad(where, "'values' must have at least one column");
        if (src.values[0].size() != src.time.size())
            bad(where, "'values' has " + std::to_string(src.values[0].size()) + " rows but 'time' has " +
                           std::to_string(src.time.size()) + " times");
        auto cols = s.find("columns");
        if (cols != s.end()) {
            if (!cols->is_array() || cols->size() != src.values.size())
                bad(where, "'columns' must be a list of " + std::to_string(src.values.size()) +
                               " column names, one per column of 'values'");
            for (const json &c : *cols) {
                if (!c.is_string() || c.get<std::string>().empty()) bad(where, "'columns' must be a list of column names");
                for (const std::string &known : src.columns)
                    if (known == c.get<std::string>()) bad(where, "'columns' names '" + known + "' twice");
                src.columns.push_back(c.get<std::string>());
            }
        } else {
            for (std::size_t c = 0; c < src.values.size(); ++c) src.columns.push_back(std::to_string(c + 1));
        }
        src.linear = linearInterpolation(s, where);
    }

    std::string path_;
    std::filesystem::path dir_;
    const std::vector<WorkspaceMatrix> &matrices_;
};

// Builds the document like the library's own reader, but keeps the place of
// the first error: the library's exception texts give no place for a number
// out of range, and echo the rest of the file for an unclosed comment.
struct PlacedDomParser : nlohmann::detail::json_sax_dom_parser<json> {
    explicit PlacedDomParser(json &doc) : nlohmann::detail::json_sax_dom_parser<json>(doc, false) {}
    template <class Exception>
    bool parse_error(std::size_t at, const std::string &token, const Exception &e)
    {
        position = at;
        lastToken = token;
        what = e.what();
        id = e.id;
        return false;
    }
    std::size_t position = 0;
    std::string lastToken, what;
    int id = 0;
};

json readJson(const std::string &text, const std::string &path)
{
    json doc;
    PlacedDomParser dom(doc);
    if (json::sax_parse(text, &dom, json::input_format_t::json, true, /*ignore_comments=*/true) && !dom.is_errored())
        return doc;
    std::size_t at = std::min(dom.position, text.size());
    std::size_t line = 1, lineStart = 0;
    for (std::size_t i = 0; i < at; ++i)
        if (text[i] == '\n') {
            ++line;
            lineStart = i + 1;
        }
    std::string place = "line " + std::to_string(line) + ", column " + std::to_string(at - lineStart);
    std::string token = dom.lastToken;
    constexpr std::size_t kShownToken = 40;
    if (token.size() > kShownToken) token = token.substr(0, kShownToken) + "...";
    if (dom.id == 406)  // a number that does not fit a double
        throw ModelError(path + ": " + place + ": the number " + token + " is out of the range of a double");
    std::string what = dom.what;
    std::size_t close = what.find("] ");
    if (close != std::string::npos) what = what.substr(close + 2);
    std::string read = "last read: '" + dom.lastToken + "'";
    std::size_t r = what.find(read);
    if (r != std::string::npos) what.replace(r, read.size(), "last read: '" + token + "'");
    throw ModelError(path + ": not a valid JSON document: " + what);
}

}  // namespace

bool parseSignalRef(const std::string &text, SignalRef &out, std::string &why)
{
    // name, then optionally ":port", then optionally "[selector]" with no ']' inside.
    std::size_t nameLen = nameLength(text, 0);
    std::size_t at = nameLen;
    std::size_t portAt = 0, portLen = 0;
    if (nameLen > 0 && at < text.size() && text[at] == ':') {
        portAt = at + 1;
        portLen = digitsLength(text, portAt);
        at = portAt + portLen;
    }
    bool hasSelector = nameLen > 0 && (portAt == 0 || portLen > 0) && at < text.size() && text[at] == '[';
    std::size_t selAt = at + 1, close = std::string::npos;
    if (hasSelector) close = text.find(']', selAt);
    bool whole = nameLen > 0 && (portAt == 0 || portLen > 0) &&
                 (hasSelector ? close == text.size() - 1 : at == text.size());
    if (!whole) {
        why = "'" + printable(text) + "' is not a signal reference (forms: name, name:port, name[element], name[first..last])";
        return false;
    }
    SignalRef r;
    r.text = text;
    r.node = text.substr(0, nameLen);
    auto small = [&](std::size_t from, std::size_t len, int &v) {
        if (len > 6) return false;
        v = std::stoi(text.substr(from, len));
        return v >= 1;
    };
    if (portAt > 0 && !small(portAt, portLen, r.port)) {
        why = "'" + text + "': ports count from 1";
        return false;
    }
    if (hasSelector) {
        std::string sel = text.substr(selAt, close - selAt);
        std::size_t firstLen = digitsLength(sel, 0);
        std::size_t lastLen = 0;
        bool isRange = firstLen > 0 && firstLen == sel.size();
        if (firstLen > 0 && sel.compare(firstLen, 2, "..") == 0) {
            lastLen = digitsLength(sel, firstLen + 2);
            isRange = lastLen > 0 && firstLen + 2 + lastLen == sel.size();
        }
        if (isRange) {
            r.selector = SignalRef::kRange;
            if (!small(selAt, firstLen, r.first) || (lastLen > 0 && !small(selAt + firstLen + 2, lastLen, r.last))) {
                why = "'" + text + "': elements count from 1";
                return false;
            }
            if (lastLen == 0) r.last = r.first;
            if (r.last < r.first) {
                why = "'" + text + "': the range runs backwards";
                return false;
            }
        } else if (!sel.empty()) {
            r.selector = SignalRef::kColumn;
            r.column = sel;
        } else {
            why = "'" + text + "': empty element selector";
            return false;
        }
    }
    out = r;
    return true;
}

json readModelDocument(const std::string &text, const std::string &path)
{
    return readJson(text, path);
}

ModelDef parseModelDocument(const json &doc, const std::string &path, const std::vector<WorkspaceMatrix> &matrices)
{
    std::filesystem::path p(path);
    std::error_code ec;
    std::filesystem::path abs = std::filesystem::absolute(p, ec);
    Reader reader(path, (ec ? p : abs).parent_path(), matrices);
    ModelDef m = reader.model(doc);
    m.path = path;
    m.name = p.stem().string();
    return m;
}

ModelDef parseModel(const std::string &text, const std::string &path)
{
    return parseModelDocument(readModelDocument(text, path), path);
}

const char *reduceName(Reduce r)
{
    switch (r) {
    case Reduce::kSample: break;
    case Reduce::kMean: return "mean";
    case Reduce::kMin: return "min";
    case Reduce::kMax: return "max";
    case Reduce::kSum: return "sum";
    case Reduce::kIntegral: return "integral";
    }
    return "";
}

std::string printable(const std::string &s)
{
    constexpr std::size_t kShown = 60;
    std::string out;
    for (std::size_t i = 0; i < s.size() && i < kShown; ++i) {
        unsigned char c = static_cast<unsigned char>(s[i]);
        if (c < 0x20 || c == 0x7f) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02x", c);
            out += hex;
        } else {
            out += static_cast<char>(c);
        }
    }
    if (s.size() > kShown) out += "... (" + std::to_string(s.size()) + " characters)";
    return out;
}

ModelDef loadModel(const std::string &path)
{
    std::string text, why;
    if (!readRegularFile(path, text, why)) throw ModelError(path + ": cannot open the model file: " + why);
    return parseModel(text, path);
}

}  // namespace simrun
