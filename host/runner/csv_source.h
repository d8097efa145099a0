// Columns of a CSV file as a signal of time: the file has a header row of
// column names, a time column and numeric columns. Between two rows a value
// is held (the earlier row's) or interpolated linearly; before the first row
// it is the first row's value and after the last row the last row's.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace simrun {

class CsvSignal {
public:
    // Reads 'path'; timeColumn empty = the first column; columns empty = every
    // column but the time. timeScale turns the time column into seconds.
    // Throws ModelError with a message that starts with 'who'.
    CsvSignal(const std::string &who, const std::string &path, const std::string &timeColumn,
              std::vector<std::string> columns, double timeScale, bool linear);

    // The same signal from columns held in memory (a script's matrix): the
    // times must be finite and increase, as a file's must.
    CsvSignal(const std::string &who, std::vector<std::string> names, std::vector<double> time,
              std::vector<std::vector<double>> values, bool linear);

    int width() const { return static_cast<int>(names_.size()); }
    const std::vector<std::string> &columnNames() const { return names_; }
    std::size_t rows() const { return time_.size(); }

    // The values at time t (seconds) into out[0 .. width - 1].
    void fill(double t, double *out);

private:
    std::vector<std::string> names_;
    std::vector<double> time_;
    std::vector<std::vector<double>> values_;  // per column, one per row
    std::size_t cursor_ = 0;                   // time_[cursor_] <= t, kept between calls
    bool linear_ = true;
};

}  // namespace simrun
