// Arithmetic blocks: gain, sum, product, expression. None has states or
// modes; each output follows its inputs at the same instant.
#include <cctype>
#include <cmath>
#include <muParser.h>

#include "stdblocks/blocks.h"

namespace engine {
namespace stdblocks {

namespace {

// gain [k]: k times the input, k one factor or one per element.
class Gain : public StdBlock {
public:
    explicit Gain(const std::vector<StdParam> &p) : params_(p, {"k"}, 1), k_(params_.list(0)) { ports(1, 1); }
    bool resolveOutputs() override
    {
        if (outWidth_[0] >= 0 || inWidth_[0] < 0) return false;
        outWidth_[0] = inWidth_[0];
        return true;
    }
    void setup() override { k_ = perElement(params_, 0, k_, inWidth_[0]); }
    void outputs(double, const double *) override
    {
        double *y = out(0);
        for (int e = 0; e < outWidth_[0]; ++e) y[e] = k_[static_cast<std::size_t>(e)] * in(0, e);
    }

private:
    Params params_;
    std::vector<double> k_;
};

// sum [signs] and product [ops]: one input port per character; elements
// combined one by one, a one-element input spread over the others' width.
class Combine : public StdBlock {
public:
    Combine(const std::vector<StdParam> &p, bool product) : product_(product)
    {
        Params params(p, {product ? "ops" : "signs"}, 1);
        const std::string &ops = params.text(0);
        const char plus = product ? '*' : '+', minus = product ? '/' : '-';
        if (ops.empty()) params.fail(0, "is empty (one character per input port: '" + std::string(1, plus) + "' or '" + std::string(1, minus) + "')");
        for (std::size_t i = 0; i < ops.size(); ++i) {
            if (ops[i] != plus && ops[i] != minus)
                params.fail(0, "'" + ops + "' has '" + std::string(1, ops[i]) + "' at character " + std::to_string(i + 1) +
                                   " (only '" + std::string(1, plus) + "' and '" + std::string(1, minus) + "')");
            inverse_.push_back(ops[i] == minus);
        }
        ports(static_cast<int>(ops.size()), 1);
    }
    void setup() override
    {
        const int w = outWidth_[0];
        for (int p = 0; p < numInputs(); ++p)
            if (inWidth_[static_cast<std::size_t>(p)] != 1 && inWidth_[static_cast<std::size_t>(p)] != w)
                throw StdBlockError("input port " + std::to_string(p + 1) + " has width " + std::to_string(inWidth_[static_cast<std::size_t>(p)]) +
                                    " but another has " + std::to_string(w) + " (inputs have one width, or one element)");
    }
    void outputs(double, const double *) override
    {
        double *y = out(0);
        const int n = numInputs();
        for (int e = 0; e < outWidth_[0]; ++e) {
            double acc = product_ ? 1.0 : 0.0;
            for (int p = 0; p < n; ++p) {
                const double v = in(p, inWidth_[static_cast<std::size_t>(p)] == 1 ? 0 : e);
                if (product_) acc = inverse_[static_cast<std::size_t>(p)] ? acc / v : acc * v;
                else acc = inverse_[static_cast<std::size_t>(p)] ? acc - v : acc + v;
            }
            y[e] = acc;
        }
    }

private:
    bool product_;
    std::vector<bool> inverse_;
};

// The functions of C's maths library, as C computes them. muparser has its
// own versions of some (its log2 divides two logarithms, its rint rounds
// half up) and lacks others, so every one is defined here.
double cRint(double v) { return std::rint(v); }
double cLog(double v) { return std::log(v); }
double cLog2(double v) { return std::log2(v); }
double cLog10(double v) { return std::log10(v); }
void defineCMaths(mu::Parser &p)
{
    using F1 = double (*)(double);
    using F2 = double (*)(double, double);
    const struct {
        const char *name;
        F1 f;
    } one[] = {{"sin", [](double v) { return std::sin(v); }},     {"cos", [](double v) { return std::cos(v); }},
               {"tan", [](double v) { return std::tan(v); }},     {"asin", [](double v) { return std::asin(v); }},
               {"acos", [](double v) { return std::acos(v); }},   {"atan", [](double v) { return std::atan(v); }},
               {"sinh", [](double v) { return std::sinh(v); }},   {"cosh", [](double v) { return std::cosh(v); }},
               {"tanh", [](double v) { return std::tanh(v); }},   {"asinh", [](double v) { return std::asinh(v); }},
               {"acosh", [](double v) { return std::acosh(v); }}, {"atanh", [](double v) { return std::atanh(v); }},
               {"exp", [](double v) { return std::exp(v); }},     {"exp2", [](double v) { return std::exp2(v); }},
               {"expm1", [](double v) { return std::expm1(v); }}, {"log", cLog},
               {"log2", cLog2},                                   {"log10", cLog10},
               {"log1p", [](double v) { return std::log1p(v); }}, {"sqrt", [](double v) { return std::sqrt(v); }},
               {"cbrt", [](double v) { return std::cbrt(v); }},   {"abs", [](double v) { return std::fabs(v); }},
               {"fabs", [](double v) { return std::fabs(v); }},   {"floor", [](double v) { return std::floor(v); }},
               {"ceil", [](double v) { return std::ceil(v); }},   {"round", [](double v) { return std::round(v); }},
               {"trunc", [](double v) { return std::trunc(v); }}, {"rint", cRint},
               {"erf", [](double v) { return std::erf(v); }},     {"erfc", [](double v) { return std::erfc(v); }}};
    for (const auto &f : one) p.DefineFun(f.name, f.f);
    const struct {
        const char *name;
        F2 f;
    } two[] = {{"atan2", [](double a, double b) { return std::atan2(a, b); }},
               {"pow", [](double a, double b) { return std::pow(a, b); }},
               {"fmod", [](double a, double b) { return std::fmod(a, b); }},
               {"hypot", [](double a, double b) { return std::hypot(a, b); }},
               {"fmin", [](double a, double b) { return std::fmin(a, b); }},
               {"fmax", [](double a, double b) { return std::fmax(a, b); }},
               {"copysign", [](double a, double b) { return std::copysign(a, b); }}};
    for (const auto &f : two) p.DefineFun(f.name, f.f);
}

// A variable of a formula: 't', 'u', or 'u<k>' (k from 1); 0 for 'u', k for
// 'uk', -1 for 't', -2 for anything else.
int variableIndex(const std::string &name)
{
    if (name == "t") return -1;
    if (name == "u") return 0;
    if (name.size() < 2 || name[0] != 'u' || name[1] == '0' || name.size() > 8) return -2;
    for (std::size_t i = 1; i < name.size(); ++i)
        if (!std::isdigit(static_cast<unsigned char>(name[i]))) return -2;
    return std::stoi(name.substr(1));
}

// expression [formula]: one number from the input's elements u1, u2, ...
// (u when it has one) and the time t, by muparser.
class Expression : public StdBlock {
public:
    explicit Expression(const std::vector<StdParam> &p) : params_(p, {"formula"}, 1), formula_(params_.text(0))
    {
        ports(1, 1);
        outWidth_[0] = 1;
        // Parsed here with every name allowed, to refuse a formula that does
        // not parse or names anything but t and u's before the run.
        mu::Parser probe;
        defineCMaths(probe);
        try {
            probe.SetExpr(formula_);
            for (const auto &v : probe.GetUsedVar()) {
                int k = variableIndex(v.first);
                if (k == -2)
                    params_.fail(0, "names an unknown variable '" + v.first +
                                        "' (the input's elements are u1, u2, ..., or u when it has one; t is the time)");
                used_.emplace_back(v.first, k);
            }
        } catch (const mu::Parser::exception_type &e) {
            params_.fail(0, "'" + formula_ + "' does not parse: " + e.GetMsg());
        }
    }
    void setup() override
    {
        const int n = inWidth_[0];
        for (const auto &v : used_) {
            if (v.second == 0 && n != 1)
                params_.fail(0, "names 'u' but the input has " + std::to_string(n) + " elements (u1 ... u" + std::to_string(n) + ")");
            if (v.second > n)
                params_.fail(0, "names '" + v.first + "' but the input has " + std::to_string(n) + " element" + (n == 1 ? "" : "s"));
        }
        values_.assign(static_cast<std::size_t>(n) + 1, 0.0);  // u1..un, then t
        defineCMaths(parser_);
        try {
            for (int e = 0; e < n; ++e) parser_.DefineVar("u" + std::to_string(e + 1), &values_[static_cast<std::size_t>(e)]);
            if (n == 1) parser_.DefineVar("u", &values_[0]);
            parser_.DefineVar("t", &values_[static_cast<std::size_t>(n)]);
            parser_.SetExpr(formula_);
            parser_.Eval();
        } catch (const mu::Parser::exception_type &e) {
            params_.fail(0, "'" + formula_ + "' does not parse: " + e.GetMsg());
        }
    }
    void outputs(double t, const double *) override
    {
        const int n = inWidth_[0];
        for (int e = 0; e < n; ++e) values_[static_cast<std::size_t>(e)] = in(0, e);
        values_[static_cast<std::size_t>(n)] = t;
        out(0)[0] = parser_.Eval();
    }

private:
    Params params_;
    std::string formula_;
    std::vector<std::pair<std::string, int>> used_;
    std::vector<double> values_;
    mu::Parser parser_;
};

}  // namespace

std::unique_ptr<StdBlock> makeGain(const std::vector<StdParam> &p) { return std::make_unique<Gain>(p); }
std::unique_ptr<StdBlock> makeSum(const std::vector<StdParam> &p) { return std::make_unique<Combine>(p, false); }
std::unique_ptr<StdBlock> makeProduct(const std::vector<StdParam> &p) { return std::make_unique<Combine>(p, true); }
std::unique_ptr<StdBlock> makeExpression(const std::vector<StdParam> &p) { return std::make_unique<Expression>(p); }

}  // namespace stdblocks
}  // namespace engine
