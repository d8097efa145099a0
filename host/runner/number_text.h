// The text of a number in output files: the shortest form that reads back
// as the same double ("0.1", "1414.9133500000001", "nan", "inf").
#pragma once

#include <charconv>
#include <cstddef>
#include <string>

namespace simrun {

// Writes the text into buf (at least 32 characters); returns its length.
inline std::size_t numberText(double v, char *buf, std::size_t size)
{
    std::to_chars_result r = std::to_chars(buf, buf + size, v);
    return r.ec == std::errc() ? static_cast<std::size_t>(r.ptr - buf) : 0;
}

inline std::string numberText(double v)
{
    char buf[40];
    return std::string(buf, numberText(v, buf, sizeof buf));
}

}  // namespace simrun
