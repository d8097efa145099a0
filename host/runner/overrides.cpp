#include "overrides.h"

#include <cmath>
#include <cstdlib>
#include <filesystem>

#include <nlohmann/json.hpp>

#include "model_file.h"

namespace simrun {

using nlohmann::json;

namespace {

// What a path takes.
enum class Kind {
    kTime,        // start, stop, step: a finite number
    kEvery,       // a sink's every: a finite number >= 0
    kNumberParam, // a parameter that is a number: a number or a site value
    kTextParam,   // a parameter that is text
    kListParam,   // a parameter that is a list: a list of numbers (or one number)
    kConstant,    // a constant's value: a number or a non-empty list of numbers
    kFile,        // a data file: non-empty text
    kMethod,      // solver.method: text (the reader checks the name)
    kSolverNumber,// solver.rtol, atol, max_step: a finite number (the reader checks the range)
    kReduce,      // a sink's reduce: text (the reader checks the name)
};

struct Target {
    Kind kind;
    json::json_pointer at;
};

const char kPaths[] =
    "start, stop, step, blocks.<name>.parameters[i], sources.<name>.file, sources.<name>.value, sinks[i].every, "
    "sinks[i].reduce, solver.method, solver.rtol, solver.atol or solver.max_step";

[[noreturn]] void bad(const std::string &path, const std::string &what)
{
    throw ModelError(printable(path) + ": " + what);
}

// "[i]" at s[at..], i counted from 1: the index from 0 (so "[0]" gives -1),
// or -2 when there is no such thing.
long index(const std::string &s, std::size_t &at)
{
    if (at >= s.size() || s[at] != '[') return -2;
    std::size_t close = s.find(']', at);
    if (close == std::string::npos || close == at + 1 || close - at > 10) return -2;
    long i = 0;
    for (std::size_t k = at + 1; k < close; ++k) {
        if (s[k] < '0' || s[k] > '9') return -2;
        i = i * 10 + (s[k] - '0');
    }
    at = close + 1;
    return i - 1;
}

// The element of the list doc[key] whose "name" is 'name', or -1.
long named(const json &doc, const char *key, const std::string &name)
{
    auto list = doc.find(key);
    if (list == doc.end() || !list->is_array()) return -1;
    for (std::size_t i = 0; i < list->size(); ++i) {
        const json &e = (*list)[i];
        auto n = e.is_object() ? e.find("name") : e.end();
        if (n != e.end() && n->is_string() && n->get<std::string>() == name) return static_cast<long>(i);
    }
    return -1;
}

std::string count(std::size_t n, const char *what)
{
    return std::to_string(n) + " " + what + (n == 1 ? "" : "s");
}

Target locate(const json &doc, const std::string &path)
{
    if (path == "start" || path == "stop" || path == "step") return {Kind::kTime, json::json_pointer("/" + path)};
    // The solver's settings may be absent from the model (its defaults): the override adds them.
    if (path == "solver.method" || path == "solver.rtol" || path == "solver.atol" || path == "solver.max_step") {
        auto solver = doc.find("solver");
        if (solver != doc.end() && !solver->is_object()) bad(path, "the model's 'solver' is not an object");
        return {path == "solver.method" ? Kind::kMethod : Kind::kSolverNumber,
                json::json_pointer("/solver/" + path.substr(7))};
    }
    auto prefixed = [&](const char *prefix) { return path.rfind(prefix, 0) == 0; };
    if (prefixed("blocks.")) {
        std::size_t dot = path.find(".parameters[", 7);
        std::size_t at = dot == std::string::npos ? 0 : dot + 11;
        long i = dot == std::string::npos ? -2 : index(path, at);
        if (i < -1 || at != path.size() || dot == 7) bad(path, std::string("not a path of a model (use ") + kPaths + ")");
        if (i < 0) bad(path, "parameters count from 1");
        std::string name = path.substr(7, dot - 7);
        long b = named(doc, "blocks", name);
        if (b < 0) bad(path, "the model has no block named '" + printable(name) + "'");
        const json &block = doc["blocks"][static_cast<std::size_t>(b)];
        auto ps = block.find("parameters");
        std::size_t n = ps != block.end() && ps->is_array() ? ps->size() : 0;
        if (static_cast<std::size_t>(i) >= n) bad(path, "block '" + name + "' has " + count(n, "parameter"));
        const json &p = (*ps)[static_cast<std::size_t>(i)];
        Kind k = p.is_string() ? Kind::kTextParam : p.is_array() ? Kind::kListParam : Kind::kNumberParam;
        return {k, json::json_pointer("/blocks/" + std::to_string(b) + "/parameters/" + std::to_string(i))};
    }
    if (prefixed("sources.")) {
        std::size_t dot = path.rfind('.');
        std::string name = path.substr(8, dot > 8 ? dot - 8 : 0), field = path.substr(dot + 1);
        if (name.empty() || (field != "file" && field != "value"))
            bad(path, std::string("not a path of a model (use ") + kPaths + ")");
        long s = named(doc, "sources", name);
        if (s < 0) bad(path, "the model has no source named '" + printable(name) + "'");
        const json &src = doc["sources"][static_cast<std::size_t>(s)];
        auto t = src.find("type");
        std::string type = t != src.end() && t->is_string() ? t->get<std::string>() : std::string();
        if (field == "file" && type != "csv" && type != "epw")
            bad(path, "source '" + name + "' is of type \"" + printable(type) + "\", which reads no file");
        if (field == "value" && type != "constant")
            bad(path, "source '" + name + "' is of type \"" + printable(type) + "\"; only a constant has a value");
        return {field == "file" ? Kind::kFile : Kind::kConstant,
                json::json_pointer("/sources/" + std::to_string(s) + "/" + field)};
    }
    if (prefixed("sinks[")) {
        std::size_t at = 5;
        long i = index(path, at);
        const bool every = path.compare(at, std::string::npos, ".every") == 0;
        if (i < -1 || (!every && path.compare(at, std::string::npos, ".reduce") != 0))
            bad(path, std::string("not a path of a model (use ") + kPaths + ")");
        if (i < 0) bad(path, "sinks count from 1");
        auto sinks = doc.find("sinks");
        std::size_t n = sinks != doc.end() && sinks->is_array() ? sinks->size() : 0;
        if (static_cast<std::size_t>(i) >= n) bad(path, "the model has " + count(n, "sink"));
        return {every ? Kind::kEvery : Kind::kReduce,
                json::json_pointer("/sinks/" + std::to_string(i) + (every ? "/every" : "/reduce"))};
    }
    bad(path, std::string("not a path of a model (use ") + kPaths + ")");
}

const char *kindOf(const json &v)
{
    if (v.is_number()) return "a number";
    if (v.is_string()) return "text";
    if (v.is_array()) return "a list";
    if (v.is_object()) return "an object";
    if (v.is_boolean()) return "true or false";
    return "null";
}

bool numbers(const json &v)
{
    if (!v.is_array()) return false;
    for (const json &e : v)
        if (!e.is_number() && !e.is_boolean()) return false;
    return true;
}

// A list of rows that are lists of numbers (the reader checks their lengths).
bool matrix(const json &v)
{
    if (!v.is_array() || v.empty()) return false;
    for (const json &row : v)
        if (!numbers(row)) return false;
    return true;
}

void check(Kind kind, const json &v, const std::string &path)
{
    auto refuse = [&](const char *want) { bad(path, std::string("takes ") + want + "; the value given is " + kindOf(v)); };
    switch (kind) {
    case Kind::kTime:
        if (!v.is_number() || !std::isfinite(v.get<double>())) refuse("a finite number");
        if (path == "step" && !(v.get<double>() > 0)) bad(path, "must be a positive number of seconds");
        break;
    case Kind::kEvery:
        if (!v.is_number() || !std::isfinite(v.get<double>())) refuse("a finite number");
        if (v.get<double>() < 0) bad(path, "must not be negative");
        break;
    case Kind::kNumberParam:
        if (!v.is_number() && !v.is_boolean() && !v.is_object())
            refuse("a number (or a site value {\"source\": ..., \"site\": ...}), as in the model");
        break;
    case Kind::kTextParam:
        if (!v.is_string()) refuse("text, as in the model");
        break;
    case Kind::kListParam:
        if (!numbers(v) && !matrix(v) && !v.is_number()) refuse("a list of numbers or a list of rows (a matrix), as in the model");
        break;
    case Kind::kMethod:
    case Kind::kReduce:
        if (!v.is_string()) refuse("text");
        break;
    case Kind::kSolverNumber:
        if (!v.is_number() || !std::isfinite(v.get<double>())) refuse("a finite number");
        break;
    case Kind::kConstant:
        if (!v.is_number() && !(numbers(v) && !v.empty())) refuse("a number or a non-empty list of numbers");
        break;
    case Kind::kFile:
        if (!v.is_string() || v.get<std::string>().empty()) refuse("a file name");
        break;
    }
}

}  // namespace

void applyOverride(json &doc, const std::string &path, const json &value, const std::string &fileBase)
{
    if (!doc.is_object()) return;  // the reader says what is wrong with such a document
    Target t = locate(doc, path);
    check(t.kind, value, path);
    if (t.kind == Kind::kFile && !fileBase.empty()) {
        std::filesystem::path p(value.get<std::string>());
        if (p.is_relative()) {
            doc[t.at] = (std::filesystem::path(fileBase) / p).lexically_normal().string();
            return;
        }
    }
    // A number where the model has a list is a list of one.
    doc[t.at] = t.kind == Kind::kListParam && value.is_number() ? json::array({value}) : value;
}

json overrideValue(const json &doc, const std::string &path, const std::string &text)
{
    if (!doc.is_object()) return json(text);
    Target t = locate(doc, path);
    if (t.kind == Kind::kTextParam || t.kind == Kind::kFile || t.kind == Kind::kMethod || t.kind == Kind::kReduce)
        return json(text);
    char *end = nullptr;
    double x = std::strtod(text.c_str(), &end);
    if (!text.empty() && end == text.c_str() + text.size() && std::isfinite(x)) return json(x);
    json v = json::parse(text, nullptr, /*allow_exceptions=*/false);
    if (v.is_discarded()) {
        bool list = t.kind == Kind::kListParam || t.kind == Kind::kConstant;
        bad(path, std::string("takes a number") +
                      (t.kind == Kind::kListParam ? " or a list such as [1, 2] or [[1, 0], [0, 1]]"
                       : list                     ? " or a list such as [1, 2]"
                                                  : "") +
                      "; the value given is '" +
                      printable(text) + "'");
    }
    check(t.kind, v, path);
    return v;
}

bool splitOverride(const std::string &arg, std::string &path, std::string &value)
{
    std::size_t eq = arg.find('=');
    if (eq == std::string::npos || eq == 0) return false;
    path = arg.substr(0, eq);
    value = arg.substr(eq + 1);
    return true;
}

}  // namespace simrun
