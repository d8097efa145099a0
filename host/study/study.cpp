#include "study.h"

#include <sys/stat.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <limits>
#include <set>

#include <csv.h>

#include "model_file.h"
#include "number_text.h"
#include "overrides.h"
#include "posix_io.h"

namespace study {

using nlohmann::json;
using nlohmann::ordered_json;

namespace {

// A range's last value counts as on the grid when it lies within this
// fraction of a step of it (0.3 is on the grid of 0 and 0.1).
constexpr double kGridTolerance = 1e-9;

std::string absolute(const std::string &path, const std::string &folder)
{
    std::filesystem::path p(path);
    return (p.is_absolute() ? p : std::filesystem::path(folder) / p).lexically_normal().string();
}

std::string readText(const std::string &path, const std::string &what)
{
    std::string text, why;
    if (!simrun::readRegularFile(path, text, why)) throw StudyError("cannot open the " + what + " '" + path + "': " + why);
    return text;
}

// The cells of a CSV file, record by record, as text with the blanks around
// them taken off; 'what' names the file in messages.
std::vector<std::vector<std::string>> csvRecords(std::string data, const std::string &what)
{
    struct Records {
        std::vector<std::vector<std::string>> rows;
        std::vector<std::string> fields;
        std::uint64_t limit = kMaxRuns + 1;  // the header and more runs than a study may have
        static void field(void *s, std::size_t len, void *self)
        {
            auto *r = static_cast<Records *>(self);
            std::string f(static_cast<const char *>(s), len);
            std::size_t b = f.find_first_not_of(" \t"), e = f.find_last_not_of(" \t");
            r->fields.push_back(b == std::string::npos ? std::string() : f.substr(b, e - b + 1));
        }
        static void record(int, void *self)
        {
            auto *r = static_cast<Records *>(self);
            if (r->rows.size() <= r->limit) r->rows.push_back(std::move(r->fields));
            r->fields.clear();
        }
    } r;
    if (data.compare(0, 3, "\xEF\xBB\xBF") == 0) data.erase(0, 3);  // a UTF-8 byte-order mark
    struct csv_parser parser;
    if (csv_init(&parser, CSV_STRICT | CSV_STRICT_FINI) != 0) throw StudyError(what + ": cannot start the CSV parser");
    std::size_t used = csv_parse(&parser, data.data(), data.size(), Records::field, Records::record, &r);
    int status = used == data.size() ? csv_fini(&parser, Records::field, Records::record, &r) : -1;
    std::string why = status != 0 ? csv_strerror(csv_error(&parser)) : "";
    csv_free(&parser);
    if (status != 0) throw StudyError(what + " is not well-formed CSV: " + why);
    return std::move(r.rows);
}

class Reader {
public:
    Study read(const std::string &file)
    {
        std::error_code ec;
        s_.path = std::filesystem::absolute(file, ec).lexically_normal().string();
        if (ec) s_.path = file;
        s_.folder = std::filesystem::path(s_.path).parent_path().string();
        where_ = file;
        std::string text;
        try {
            text = readText(file, "study file");
            simrun::readModelDocument(text, file);  // the reader's messages, with the place of an error
        } catch (const std::exception &e) {
            throw StudyError(e.what());
        }
        ordered_json doc = ordered_json::parse(text, nullptr, false, /*ignore_comments=*/true);
        if (!doc.is_object()) bad("", "a study is a JSON object {\"model\": ..., \"vary\": [...], \"summary\": {...}}");
        for (auto it = doc.begin(); it != doc.end(); ++it)
            if (it.key() != "model" && it.key() != "vary" && it.key() != "combine" && it.key() != "runs" &&
                it.key() != "summary" && it.key() != "files" && it.key() != "description" && it.key() != "comment")
                bad("", "unknown key '" + simrun::printable(it.key()) +
                            "' (keys: model, vary, combine, runs, summary, files, description)");
        if (doc.contains("files")) {
            const ordered_json &f = doc["files"];
            if (!f.is_string() || !parseFiles(f.get<std::string>(), s_.files))
                bad("files", "must be \"all\", \"failed\" or \"none\" (which runs keep their files), not " +
                                 simrun::printable(f.dump()));
        }

        readModel(doc);
        bool vary = doc.contains("vary"), runs = doc.contains("runs");
        if (vary == runs) bad("", vary ? "'vary' and 'runs' are alternatives: give one" : "'vary' or 'runs' is missing");
        std::string runsText;
        if (vary) readVary(doc);
        else runsText = readRuns(doc);
        if (doc.contains("combine") && runs) bad("combine", "goes with 'vary', not with 'runs'");
        if (doc.contains("summary")) readSummary(doc["summary"]);
        countRuns();

        // The model with the first run's overrides must read; and the runs
        // write their sinks' files in folders of their own.
        simrun::ModelDef first;
        try {
            first = simrun::parseModelDocument(s_.runModel(1), s_.modelPath);
        } catch (const std::exception &e) {
            bad("run 1", e.what());
        }
        for (std::size_t i = 0; i < first.sinks.size(); ++i) {
            const simrun::SinkDef &k = first.sinks[i];
            std::filesystem::path f(k.file);
            bool outside = f.is_absolute();
            for (const auto &part : f) outside = outside || part == "..";
            if (k.kind == simrun::SinkDef::kCsv && outside)
                throw StudyError(s_.modelPath + ": sinks[" + std::to_string(i) + "]: '" + k.file +
                                 "' lies outside the run's folder, so every run would write that one file; "
                                 "a study's runs need a file name inside their folder such as \"out.csv\"");
        }
        s_.identity = digest({text, modelText_, runsText});
        return std::move(s_);
    }

private:
    [[noreturn]] void bad(const std::string &entry, const std::string &what) const
    {
        throw StudyError(where_ + ": " + (entry.empty() ? std::string() : entry + ": ") + what);
    }

    void readModel(const ordered_json &doc)
    {
        auto m = doc.find("model");
        if (m == doc.end() || !m->is_string() || m->get<std::string>().empty())
            bad("", "'model' (the model file) is missing or not a file name");
        s_.modelPath = absolute(m->get<std::string>(), s_.folder);
        try {
            modelText_ = readText(s_.modelPath, "model file");
            s_.model = simrun::readModelDocument(modelText_, s_.modelPath);
            base_ = simrun::parseModelDocument(s_.model, s_.modelPath);
        } catch (const std::exception &e) {
            bad("model", e.what());
        }
    }

    // Checks a path and one of its values against the model (in a scratch
    // copy of its document), and that a file named as a value exists.
    void checkValue(const std::string &entry, const std::string &path, const json &value)
    {
        try {
            simrun::applyOverride(scratch_, path, value, s_.folder);
        } catch (const std::exception &e) {
            bad(entry, e.what());
        }
        bool file = path.rfind("sources.", 0) == 0 && path.size() > 5 && path.compare(path.size() - 5, 5, ".file") == 0;
        if (!file) return;
        std::string f = absolute(value.get<std::string>(), s_.folder);
        if (!checkedFiles_.insert(f).second) return;
        struct stat st;
        if (::stat(f.c_str(), &st) != 0) bad(entry, path + ": no file '" + f + "': " + std::strerror(errno));
        if (!S_ISREG(st.st_mode)) bad(entry, path + ": '" + f + "' is not a regular file");
    }

    void newPath(const std::string &entry, const std::string &path)
    {
        if (path.empty()) bad(entry, "the path is empty");
        for (const Varied &v : s_.varied)
            if (v.path == path) bad(entry, "'" + simrun::printable(path) + "' is varied twice (also by " + v.where + ")");
        scratch_ = s_.model;
    }

    void readVary(const ordered_json &doc)
    {
        const ordered_json &vary = doc["vary"];
        if (!vary.is_array() || vary.empty()) bad("vary", "must be a non-empty list of {\"set\": PATH, \"values\": [...]} or {\"set\": PATH, \"range\": [first, last, step]}");
        for (std::size_t i = 0; i < vary.size(); ++i) {
            const ordered_json &e = vary[i];
            std::string entry = "vary[" + std::to_string(i) + "]";
            if (!e.is_object()) bad(entry, "must be an object {\"set\": PATH, \"values\": [...]}");
            for (auto it = e.begin(); it != e.end(); ++it)
                if (it.key() != "set" && it.key() != "values" && it.key() != "range" && it.key() != "comment")
                    bad(entry, "unknown key '" + simrun::printable(it.key()) + "' (keys: set, values, range)");
            auto set = e.find("set");
            if (set == e.end() || !set->is_string()) bad(entry, "'set' (the path of the value to vary) is missing");
            Varied v;
            v.path = set->get<std::string>();
            v.where = entry;
            newPath(entry, v.path);
            bool values = e.contains("values"), range = e.contains("range");
            if (values == range) bad(entry, values ? "'values' and 'range' are alternatives: give one" : "'values' or 'range' is missing");
            if (values) {
                const ordered_json &list = e["values"];
                if (!list.is_array() || list.empty()) bad(entry + ".values", "must be a non-empty list");
                if (list.size() > kMaxRuns) bad(entry + ".values", "has more than " + std::to_string(kMaxRuns) + " values");
                for (std::size_t k = 0; k < list.size(); ++k) {
                    v.list.emplace_back(list[k]);
                    checkValue(entry + ".values[" + std::to_string(k) + "]", v.path, v.list.back());
                }
                v.count = v.list.size();
            } else {
                readRange(e["range"], entry + ".range", v);
                checkValue(entry + ".range", v.path, v.value(s_.model, 0));
            }
            s_.varied.push_back(std::move(v));
        }
        std::string combine = "product";
        if (doc.contains("combine")) {
            if (!doc["combine"].is_string()) bad("combine", "must be \"product\" or \"zip\"");
            combine = doc["combine"].get<std::string>();
        }
        if (combine == "zip") s_.combine = Study::Combine::kZip;
        else if (combine != "product") bad("combine", "must be \"product\" or \"zip\", not \"" + simrun::printable(combine) + "\"");
    }

    void readRange(const ordered_json &r, const std::string &entry, Varied &v)
    {
        if (!r.is_array() || r.size() != 3 || !r[0].is_number() || !r[1].is_number() || !r[2].is_number())
            bad(entry, "must be [first, last, step], three numbers");
        v.isRange = true;
        v.first = r[0].get<double>();
        v.last = r[1].get<double>();
        v.step = r[2].get<double>();
        if (v.step == 0) bad(entry, "the step is 0");
        double steps = (v.last - v.first) / v.step;
        if (steps < 0) bad(entry, "the step " + simrun::numberText(v.step) + " leads away from " + simrun::numberText(v.last));
        if (!(steps < static_cast<double>(kMaxRuns)))
            bad(entry, "has more than " + std::to_string(kMaxRuns) + " values");
        double whole = std::round(steps);
        bool onGrid = std::fabs(steps - whole) <= kGridTolerance;
        v.count = static_cast<std::uint64_t>(onGrid ? whole : std::floor(steps)) + 1;
        if (!onGrid) v.last = v.first + static_cast<double>(v.count - 1) * v.step;
    }

    std::string readRuns(const ordered_json &doc)
    {
        const ordered_json &r = doc["runs"];
        if (!r.is_string() || r.get<std::string>().empty()) bad("runs", "must name a CSV file whose header row holds paths");
        std::string file = absolute(r.get<std::string>(), s_.folder);
        std::string what = "runs '" + r.get<std::string>() + "'";
        std::string text;
        std::vector<std::vector<std::string>> rows;
        try {
            text = readText(file, "runs file");
            rows = csvRecords(text, what);
        } catch (const StudyError &e) {
            bad("", e.what());
        }
        if (rows.empty()) bad(what, "is empty");
        if (rows.size() == 1) bad(what, "has a header but no runs");
        if (rows.size() - 1 > kMaxRuns) bad(what, "has more than " + std::to_string(kMaxRuns) + " runs");
        s_.combine = Study::Combine::kRows;
        const std::vector<std::string> &header = rows[0];
        for (std::size_t c = 0; c < header.size(); ++c) {
            Varied v;
            v.path = header[c];
            v.where = what + " column " + std::to_string(c + 1);
            newPath(v.where, v.path);
            s_.varied.push_back(std::move(v));
        }
        for (std::size_t i = 1; i < rows.size(); ++i) {
            std::vector<std::string> &row = rows[i];
            std::string entry = what + ", run " + std::to_string(i) + " (line " + std::to_string(i + 1) + ")";
            if (row.size() != header.size())
                bad(entry, "has " + std::to_string(row.size()) + (row.size() == 1 ? " cell" : " cells") + "; the header has " +
                               std::to_string(header.size()));
            for (std::size_t c = 0; c < row.size(); ++c) {
                Varied &v = s_.varied[c];
                try {
                    json value = simrun::overrideValue(s_.model, v.path, row[c]);
                    checkValue(entry, v.path, value);
                } catch (const simrun::ModelError &e) {
                    bad(entry, e.what());
                }
                v.cells.push_back(std::move(row[c]));
            }
        }
        for (Varied &v : s_.varied) v.count = v.cells.size();
        return text;
    }

    // The summary: an object {"<signal>": stats, ...}, or a list of entries
    // {"signal": ..., "stats": ..., "scale": ..., "name": ...}; either way,
    // each signal (with its scale) gets a slot of its own.
    void readSummary(const ordered_json &summary)
    {
        if (summary.is_object()) {
            for (auto it = summary.begin(); it != summary.end(); ++it)
                addSummary("summary: '" + simrun::printable(it.key()) + "'", it.key(), *it, 1.0, "");
            return;
        }
        if (!summary.is_array())
            bad("summary", "must be an object {\"<signal>\": [\"mean\", \"max\", ...]} or a list of entries "
                           "{\"signal\": ..., \"stats\": [...], \"scale\": ..., \"name\": ...}");
        for (std::size_t i = 0; i < summary.size(); ++i) {
            const ordered_json &e = summary[i];
            std::string entry = "summary[" + std::to_string(i + 1) + "]";
            if (!e.is_object()) bad(entry, "must be an object {\"signal\": ..., \"stats\": [...]}");
            for (auto it = e.begin(); it != e.end(); ++it)
                if (it.key() != "signal" && it.key() != "stats" && it.key() != "scale" && it.key() != "name" &&
                    it.key() != "comment")
                    bad(entry, "unknown key '" + simrun::printable(it.key()) + "' (keys: signal, stats, scale, name)");
            auto signal = e.find("signal");
            if (signal == e.end() || !signal->is_string()) bad(entry, "'signal' must be given, as a text");
            auto stats = e.find("stats");
            if (stats == e.end()) bad(entry, "'stats' is missing (mean, min, max, sum, integral)");
            double scale = 1.0;
            if (auto sc = e.find("scale"); sc != e.end()) {
                if (!sc->is_number() || !std::isfinite(sc->get<double>()))
                    bad(entry, "'scale' must be a finite number (the factor applied to the signal before the statistics)");
                scale = sc->get<double>();
            }
            std::string name;
            if (auto n = e.find("name"); n != e.end()) {
                if (!n->is_string() || n->get<std::string>().empty()) bad(entry, "'name' must be a non-empty text");
                name = n->get<std::string>();
                if (name.find_first_of(",\"\r\n") != std::string::npos)
                    bad(entry, "'name' must not hold commas, quotes or line ends (it names columns)");
            }
            addSummary(entry, signal->get<std::string>(), *stats, scale, name);
        }
    }

    // One summary signal: its statistics' columns "<name or signal>.<statistic>".
    void addSummary(const std::string &entry, const std::string &signalText, const ordered_json &statsJson, double scale,
                    const std::string &name)
    {
        simrun::SignalRef ref;
        std::string why;
        if (!simrun::parseSignalRef(signalText, ref, why)) bad(entry, why);
        bool known = false;
        for (const simrun::SourceDef &s : base_.sources) known = known || s.name == ref.node;
        for (const simrun::BlockDef &b : base_.blocks) known = known || b.name == ref.node;
        if (!known) bad(entry, "the model has no source or block named '" + ref.node + "'");
        std::vector<std::string> stats;
        if (statsJson.is_string()) stats.push_back(statsJson.get<std::string>());
        else if (statsJson.is_array() && !statsJson.empty())
            for (const ordered_json &x : statsJson) stats.push_back(x.is_string() ? x.get<std::string>() : std::string("?"));
        else bad(entry, "takes a statistic or a list of them (mean, min, max, sum, integral)");
        std::size_t signal = s_.signals.size();
        s_.signals.push_back(signalText);
        s_.scales.push_back(scale);
        for (const std::string &stat : stats) {
            SummaryColumn c;
            c.signal = signal;
            c.name = (name.empty() ? signalText : name) + "." + stat;
            bool found = false;
            for (Statistic st : {Statistic::kMean, Statistic::kMin, Statistic::kMax, Statistic::kSum, Statistic::kIntegral})
                if (stat == statisticName(st)) {
                    c.statistic = st;
                    found = true;
                }
            if (!found) bad(entry, "unknown statistic '" + simrun::printable(stat) + "' (use mean, min, max, sum, integral)");
            for (const SummaryColumn &other : s_.summary)
                if (other.name == c.name) bad(entry, "the column '" + simrun::printable(c.name) + "' is asked for twice");
            s_.summary.push_back(c);
        }
    }

    void countRuns()
    {
        if (s_.combine == Study::Combine::kProduct) {
            std::uint64_t n = 1;
            std::string factors;
            for (const Varied &v : s_.varied) {
                n = n > kMaxRuns || v.count > kMaxRuns ? kMaxRuns + 1 : n * v.count;
                factors += (factors.empty() ? "" : " x ") + std::to_string(v.count);
            }
            if (n > kMaxRuns) bad("vary", "the product of " + factors + " values is more than 10 million runs; a study has at most " + std::to_string(kMaxRuns));
            s_.runs = n;
            return;
        }
        if (s_.combine == Study::Combine::kZip)
            for (const Varied &v : s_.varied)
                if (v.count != s_.varied[0].count)
                    bad("combine", "\"zip\" takes lists of one length, but " + v.where + " has " + std::to_string(v.count) +
                                       " values and " + s_.varied[0].where + " has " + std::to_string(s_.varied[0].count));
        s_.runs = s_.varied[0].count;
    }

    Study s_;
    std::string where_, modelText_;
    simrun::ModelDef base_;
    json scratch_;
    std::set<std::string> checkedFiles_;
};

}  // namespace

json Varied::value(const json &model, std::uint64_t i) const
{
    if (!cells.empty()) return simrun::overrideValue(model, path, cells[i]);
    if (!isRange) return list[i];
    if (i + 1 == count) return last;  // exactly the last value of the range when it is on the grid
    return first + static_cast<double>(i) * step;
}

std::string Varied::text(std::uint64_t i) const
{
    if (!cells.empty()) return cells[i];
    json v = isRange ? value(json(), i) : list[i];
    if (v.is_string()) return v.get<std::string>();
    if (v.is_number()) return simrun::numberText(v.get<double>());
    return v.dump();
}

std::vector<std::string> Study::paths() const
{
    std::vector<std::string> out;
    for (const Varied &v : varied) out.push_back(v.path);
    return out;
}

std::vector<std::string> Study::columns() const
{
    std::vector<std::string> out;
    for (const SummaryColumn &c : summary) out.push_back(c.name);
    return out;
}

std::vector<std::uint64_t> Study::choice(std::uint64_t id) const
{
    std::vector<std::uint64_t> index(varied.size(), id - 1);
    if (combine != Combine::kProduct) return index;
    std::uint64_t rest = id - 1;
    for (std::size_t i = varied.size(); i-- > 0;) {
        index[i] = rest % varied[i].count;
        rest /= varied[i].count;
    }
    return index;
}

json Study::runModel(std::uint64_t id) const
{
    json doc = model;
    std::vector<std::uint64_t> index = choice(id);
    for (std::size_t i = 0; i < varied.size(); ++i) simrun::applyOverride(doc, varied[i].path, varied[i].value(model, index[i]), folder);
    return doc;
}

const char *filesName(Files f)
{
    return f == Files::kNone ? "none" : f == Files::kFailed ? "failed" : "all";
}

bool parseFiles(const std::string &word, Files &out)
{
    for (Files f : {Files::kAll, Files::kFailed, Files::kNone})
        if (word == filesName(f)) {
            out = f;
            return true;
        }
    return false;
}

Study loadStudy(const std::string &path) { return Reader().read(path); }

void Accumulator::add(double t, double v)
{
    if (std::isnan(v)) nan_ = true;
    if (rows_ > 0) integral_ += lastV_ * (t - lastT_);
    if (rows_ == 0 || v < min_) min_ = v;
    if (rows_ == 0 || v > max_) max_ = v;
    sum_ += v;
    lastT_ = t;
    lastV_ = v;
    ++rows_;
}

double Accumulator::get(Statistic s) const
{
    if (nan_ || rows_ == 0) return std::numeric_limits<double>::quiet_NaN();
    switch (s) {
    case Statistic::kMean: return sum_ / static_cast<double>(rows_);
    case Statistic::kMin: return min_;
    case Statistic::kMax: return max_;
    case Statistic::kSum: return sum_;
    case Statistic::kIntegral: return integral_;
    }
    return 0;
}

const char *statisticName(Statistic s)
{
    switch (s) {
    case Statistic::kMean: return "mean";
    case Statistic::kMin: return "min";
    case Statistic::kMax: return "max";
    case Statistic::kSum: return "sum";
    case Statistic::kIntegral: return "integral";
    }
    return "";
}

std::string digest(const std::vector<std::string> &texts)
{
    std::uint64_t h = 14695981039346656037ull;
    auto mix = [&h](const char *p, std::size_t n) {
        for (std::size_t i = 0; i < n; ++i) {
            h ^= static_cast<unsigned char>(p[i]);
            h *= 1099511628211ull;
        }
    };
    for (const std::string &t : texts) {
        std::string length = std::to_string(t.size()) + ":";  // so that no two lists give one stream
        mix(length.data(), length.size());
        mix(t.data(), t.size());
    }
    char hex[17];
    std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(h));
    return hex;
}

}  // namespace study
