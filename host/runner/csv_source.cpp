#include "csv_source.h"

#include <cmath>
#include <cstdlib>

#include <csv.h>

#include "model_file.h"
#include "posix_io.h"

namespace simrun {

namespace {

std::string trim(const std::string &s)
{
    std::size_t b = s.find_first_not_of(" \t");
    if (b == std::string::npos) return std::string();
    std::size_t e = s.find_last_not_of(" \t");
    return s.substr(b, e - b + 1);
}

// What the parser's callbacks collect. The callbacks are called from C code,
// so they record the first error instead of throwing.
struct Collector {
    std::string timeName;
    std::vector<std::string> wanted;  // value columns, empty = all but the time
    double timeScale = 1.0;

    std::vector<std::string> fields;  // of the current record
    std::vector<std::string> header;
    std::size_t timeIndex = 0;
    std::vector<std::size_t> indices;  // of the value columns
    std::vector<double> time;
    std::vector<std::vector<double>> values;
    std::size_t record = 0;  // 1 = the header
    std::string error;

    void fail(const std::string &what)
    {
        if (error.empty()) error = what;
    }

    std::string columnList() const
    {
        std::string s;
        for (const std::string &h : header) s += (s.empty() ? "" : ", ") + printable(h);
        return s;
    }

    void takeHeader()
    {
        header = fields;
        for (std::size_t i = 0; i < header.size(); ++i)
            for (std::size_t j = 0; j < i; ++j)
                if (header[i] == header[j])
                    return fail("columns " + std::to_string(j + 1) + " and " + std::to_string(i + 1) +
                                " are both named '" + printable(header[i]) + "'");
        auto find = [&](const std::string &name, std::size_t &at) {
            for (std::size_t i = 0; i < header.size(); ++i)
                if (header[i] == name) {
                    at = i;
                    return true;
                }
            return false;
        };
        if (timeName.empty()) {
            timeIndex = 0;
            timeName = header.empty() ? std::string() : header[0];
        } else if (!find(timeName, timeIndex)) {
            return fail("no time column '" + printable(timeName) + "' (its columns: " + columnList() + ")");
        }
        if (wanted.empty()) {
            for (std::size_t i = 0; i < header.size(); ++i)
                if (i != timeIndex) wanted.push_back(header[i]);
            if (wanted.empty()) return fail("it has no column besides the time");
        }
        for (const std::string &w : wanted) {
            std::size_t at = 0;
            if (!find(w, at)) return fail("no column '" + printable(w) + "' (its columns: " + columnList() + ")");
            indices.push_back(at);
        }
        values.assign(indices.size(), std::vector<double>());
    }

    bool number(std::size_t column, double &out)
    {
        const std::string &f = fields[column];
        const char *begin = f.c_str();
        char *end = nullptr;
        out = std::strtod(begin, &end);
        if (f.empty() || end != begin + f.size()) {
            fail("row " + std::to_string(record) + ", column '" + printable(header[column]) + "': '" + printable(f) +
                 "' is not a number");
            return false;
        }
        if (std::isinf(out)) {
            // Interpolating an infinite value would give NaN rows.
            fail("row " + std::to_string(record) + ", column '" + printable(header[column]) + "': '" + printable(f) +
                 "' is infinite");
            return false;
        }
        return true;
    }

    void takeRow()
    {
        if (fields.size() != header.size()) {
            return fail("row " + std::to_string(record) + " has " + std::to_string(fields.size()) +
                        " fields, the header has " + std::to_string(header.size()));
        }
        double t = 0;
        if (!number(timeIndex, t)) return;
        t *= timeScale;
        if (!std::isfinite(t)) return fail("row " + std::to_string(record) + ": the time is not a finite number");
        if (!time.empty() && !(t > time.back()))
            return fail("row " + std::to_string(record) + ": the time does not increase");
        time.push_back(t);
        for (std::size_t c = 0; c < indices.size(); ++c) {
            double v = 0;
            if (!number(indices[c], v)) return;
            values[c].push_back(v);
        }
    }

    static void onField(void *s, std::size_t len, void *data)
    {
        auto *c = static_cast<Collector *>(data);
        if (!c->error.empty()) return;
        c->fields.push_back(trim(std::string(static_cast<const char *>(s), len)));
    }

    static void onRecord(int, void *data)
    {
        auto *c = static_cast<Collector *>(data);
        if (!c->error.empty()) return;
        ++c->record;
        if (c->record == 1) c->takeHeader();
        else c->takeRow();
        c->fields.clear();
    }
};

}  // namespace

CsvSignal::CsvSignal(const std::string &who, const std::string &path, const std::string &timeColumn,
                     std::vector<std::string> columns, double timeScale, bool linear)
    : linear_(linear)
{
    auto bad = [&](const std::string &what) { throw ModelError(who + ": " + what); };
    std::string data, why;
    if (!readRegularFile(path, data, why)) bad("cannot open the CSV file '" + path + "': " + why);
    if (data.compare(0, 3, "\xEF\xBB\xBF") == 0) data.erase(0, 3);  // a UTF-8 byte-order mark

    Collector c;
    c.timeName = timeColumn;
    c.wanted = std::move(columns);
    c.timeScale = timeScale;
    struct csv_parser parser;
    if (csv_init(&parser, CSV_STRICT | CSV_STRICT_FINI) != 0) bad("cannot start the CSV parser");
    std::size_t used = csv_parse(&parser, data.data(), data.size(), Collector::onField, Collector::onRecord, &c);
    int status = used == data.size() ? csv_fini(&parser, Collector::onField, Collector::onRecord, &c) : -1;
    std::string parseError = status != 0 ? csv_strerror(csv_error(&parser)) : "";
    csv_free(&parser);
    if (!c.error.empty()) bad("'" + path + "': " + c.error);
    if (status != 0) bad("'" + path + "' is not well-formed CSV: " + parseError);
    if (c.record == 0) bad("'" + path + "' is empty");
    if (c.time.empty()) bad("'" + path + "' has a header but no rows");

    names_ = c.wanted;
    time_ = std::move(c.time);
    values_ = std::move(c.values);
}

CsvSignal::CsvSignal(const std::string &who, std::vector<std::string> names, std::vector<double> time,
                     std::vector<std::vector<double>> values, bool linear)
    : names_(std::move(names)), time_(std::move(time)), values_(std::move(values)), linear_(linear)
{
    if (time_.empty() || values_.size() != names_.size()) throw ModelError(who + ": no rows or columns");
    for (std::size_t r = 0; r < time_.size(); ++r) {
        if (!std::isfinite(time_[r]))
            throw ModelError(who + ": row " + std::to_string(r + 1) + ": the time is not a finite number");
        if (r > 0 && !(time_[r] > time_[r - 1]))
            throw ModelError(who + ": row " + std::to_string(r + 1) + ": the time does not increase");
    }
    for (std::size_t c = 0; c < values_.size(); ++c) {
        if (values_[c].size() != time_.size()) throw ModelError(who + ": the columns differ in length");
        // Interpolating an infinite value would give NaN rows, as in a file.
        for (std::size_t r = 0; r < time_.size(); ++r)
            if (std::isinf(values_[c][r]))
                throw ModelError(who + ": row " + std::to_string(r + 1) + ", column '" + printable(names_[c]) + "': " +
                                 (values_[c][r] > 0 ? "Inf" : "-Inf") + " is infinite");
    }
}

void CsvSignal::fill(double t, double *out)
{
    std::size_t n = time_.size();
    std::size_t width = values_.size();
    if (!(t > time_[0]) || n == 1) {  // at or before the first row (or a NaN time)
        for (std::size_t c = 0; c < width; ++c) out[c] = values_[c][0];
        return;
    }
    if (t >= time_[n - 1]) {
        for (std::size_t c = 0; c < width; ++c) out[c] = values_[c][n - 1];
        return;
    }
    // Runs move forward in time: continue from the last row found. An ODE
    // solver that retries a step asks a little earlier: step back to it.
    while (time_[cursor_] > t) --cursor_;
    while (time_[cursor_ + 1] <= t) ++cursor_;
    std::size_t i = cursor_;
    if (!linear_) {
        for (std::size_t c = 0; c < width; ++c) out[c] = values_[c][i];
        return;
    }
    double w = (t - time_[i]) / (time_[i + 1] - time_[i]);
    for (std::size_t c = 0; c < width; ++c) {
        double v0 = values_[c][i], v1 = values_[c][i + 1];
        out[c] = v0 + (v1 - v0) * w;
    }
}

}  // namespace simrun
