// What the families of standard blocks share: reading and checking their
// parameters, and their makers (one per block type).
#pragma once

#include <initializer_list>
#include <string>
#include <vector>

#include "stdblocks/stdblock.h"

namespace engine {
namespace stdblocks {

// A block's parameters with their names, for reading them with errors that
// name the parameter: "parameter 2 (B) must be a matrix of numbers".
class Params {
public:
    // Between 'required' and names.size() parameters, named in order.
    Params(const std::vector<StdParam> &params, std::initializer_list<const char *> names, std::size_t required);
    std::size_t size() const { return p_.size(); }
    // "parameter 2 (B)"
    std::string name(std::size_t i) const;
    [[noreturn]] void fail(std::size_t i, const std::string &what) const;

    const StdParam &matrix(std::size_t i) const;   // numbers (finite), any shape, not empty
    double number(std::size_t i) const;            // one number
    std::vector<double> list(std::size_t i) const; // a number, a row or a column
    const std::string &text(std::size_t i) const;

private:
    std::vector<StdParam> p_;
    std::vector<const char *> names_;
};

std::string numberText(double v);

std::unique_ptr<StdBlock> makeGain(const std::vector<StdParam> &);
std::unique_ptr<StdBlock> makeSum(const std::vector<StdParam> &);
std::unique_ptr<StdBlock> makeProduct(const std::vector<StdParam> &);
std::unique_ptr<StdBlock> makeExpression(const std::vector<StdParam> &);
std::unique_ptr<StdBlock> makeLookup(const std::vector<StdParam> &);
std::unique_ptr<StdBlock> makeSaturation(const std::vector<StdParam> &);
std::unique_ptr<StdBlock> makeSwitch(const std::vector<StdParam> &);
std::unique_ptr<StdBlock> makeRelay(const std::vector<StdParam> &);
std::unique_ptr<StdBlock> makeIntegrator(const std::vector<StdParam> &);
std::unique_ptr<StdBlock> makeStateSpace(const std::vector<StdParam> &);
std::unique_ptr<StdBlock> makeTransfer(const std::vector<StdParam> &);
std::unique_ptr<StdBlock> makeDelay(const std::vector<StdParam> &);

// A factor, limit or initial value given once for all elements or once per
// element: checks the count against the width (StdBlockError naming the
// parameter) and returns one value per element.
std::vector<double> perElement(const Params &p, std::size_t i, const std::vector<double> &v, int width);

}  // namespace stdblocks
}  // namespace engine
