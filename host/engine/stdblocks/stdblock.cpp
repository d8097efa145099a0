#include "stdblocks/stdblock.h"

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

}  // namespace engine
