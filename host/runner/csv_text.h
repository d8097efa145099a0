// A field of a CSV file as the runner writes it: as it is, or quoted by
// libcsv's rules when it holds a comma, a quote or a line break.
#pragma once

#include <string>

#include <csv.h>

namespace simrun {

inline void appendCsvField(std::string &line, const std::string &text)
{
    if (text.find_first_of(",\"\r\n") == std::string::npos) {
        line += text;
        return;
    }
    std::string quoted(csv_write(nullptr, 0, text.data(), text.size()), '\0');
    csv_write(&quoted[0], quoted.size(), text.data(), text.size());
    line += quoted;
}

}  // namespace simrun
