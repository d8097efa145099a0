#include "stdblocks/stdblock.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "stdblocks/blocks.h"

namespace engine {

const std::vector<std::string> &standardBlockTypes()
{
    static const std::vector<std::string> types = {"gain",   "sum",   "product",    "expression", "lookup",   "saturation",
                                                   "switch", "relay", "integrator", "statespace", "transfer", "delay"};
    return types;
}

bool isStandardBlock(const std::string &type)
{
    for (const std::string &t : standardBlockTypes())
        if (t == type) return true;
    return false;
}

std::unique_ptr<StdBlock> makeStandardBlock(const std::string &type, const std::vector<StdParam> &params)
{
    using namespace stdblocks;
    if (type == "gain") return makeGain(params);
    if (type == "sum") return makeSum(params);
    if (type == "product") return makeProduct(params);
    if (type == "expression") return makeExpression(params);
    if (type == "lookup") return makeLookup(params);
    if (type == "saturation") return makeSaturation(params);
    if (type == "switch") return makeSwitch(params);
    if (type == "relay") return makeRelay(params);
    if (type == "integrator") return makeIntegrator(params);
    if (type == "statespace") return makeStateSpace(params);
    if (type == "transfer") return makeTransfer(params);
    if (type == "delay") return makeDelay(params);
    throw StdBlockError("'" + type + "' is no standard block");
}

bool StdBlock::resolveOutputs()
{
    int widest = 0;
    for (int w : inWidth_) {
        if (w < 0) return false;
        widest = std::max(widest, w);
    }
    bool changed = false;
    for (int &w : outWidth_)
        if (w < 0) {
            w = widest;
            changed = true;
        }
    return changed;
}

void StdBlock::allocate()
{
    in_.resize(inWidth_.size());
    for (std::size_t p = 0; p < inWidth_.size(); ++p) in_[p].assign(static_cast<std::size_t>(inWidth_[p]), nullptr);
    out_.resize(outWidth_.size());
    for (std::size_t p = 0; p < outWidth_.size(); ++p) out_[p].assign(static_cast<std::size_t>(outWidth_[p]), 0.0);
    allocated_ = true;
}

namespace stdblocks {

std::string numberText(double v)
{
    char buf[40];
    std::snprintf(buf, sizeof buf, "%.15g", v);
    return buf;
}

Params::Params(const std::vector<StdParam> &params, std::initializer_list<const char *> names, std::size_t required)
    : p_(params), names_(names)
{
    if (p_.size() >= required && p_.size() <= names_.size()) return;
    std::string list;
    for (const char *n : names_) list += (list.empty() ? "" : ", ") + std::string(n);
    std::string count = required == names_.size() ? std::to_string(required)
                                                  : std::to_string(required) + " to " + std::to_string(names_.size());
    throw StdBlockError("expects " + count + " parameter" + (names_.size() == 1 ? "" : "s") + " (" + list + "), got " +
                        std::to_string(p_.size()));
}

std::string Params::name(std::size_t i) const
{
    return "parameter " + std::to_string(i + 1) + " (" + names_.at(i) + ")";
}

void Params::fail(std::size_t i, const std::string &what) const { throw StdBlockError(name(i) + " " + what); }

const StdParam &Params::matrix(std::size_t i) const
{
    const StdParam &q = p_.at(i);
    if (q.isText) fail(i, "must be numbers, not the text '" + q.text + "'");
    if (q.rows < 0 || q.cols < 0 || static_cast<std::size_t>(q.rows) * static_cast<std::size_t>(q.cols) != q.values.size())
        fail(i, "has " + std::to_string(q.values.size()) + " values for " + std::to_string(q.rows) + " rows and " +
                    std::to_string(q.cols) + " columns");
    if (q.values.empty()) fail(i, "is empty");
    for (std::size_t k = 0; k < q.values.size(); ++k)
        if (!std::isfinite(q.values[k]))
            fail(i, q.values.size() == 1 ? "is not a finite number" : "has a value that is not finite (element " + std::to_string(k + 1) + ")");
    return q;
}

double Params::number(std::size_t i) const
{
    const StdParam &q = matrix(i);
    if (q.values.size() != 1) fail(i, "must be one number, not " + std::to_string(q.rows) + "x" + std::to_string(q.cols));
    return q.values[0];
}

std::vector<double> Params::list(std::size_t i) const
{
    const StdParam &q = matrix(i);
    if (q.rows != 1 && q.cols != 1)
        fail(i, "must be a number or a list of numbers, not a " + std::to_string(q.rows) + "x" + std::to_string(q.cols) + " matrix");
    return q.values;
}

const std::string &Params::text(std::size_t i) const
{
    const StdParam &q = p_.at(i);
    if (!q.isText) fail(i, "must be a text");
    return q.text;
}

std::vector<double> perElement(const Params &p, std::size_t i, const std::vector<double> &v, int width)
{
    if (v.size() == 1) return std::vector<double>(static_cast<std::size_t>(width), v[0]);
    if (v.size() != static_cast<std::size_t>(width))
        p.fail(i, "has " + std::to_string(v.size()) + " values but the signal has " + std::to_string(width) +
                      " element" + (width == 1 ? "" : "s") + " (give one value, or one per element)");
    return v;
}

}  // namespace stdblocks
}  // namespace engine
