// The trend plot of a study: a summary column (y) against the values of one
// varied path (x), one line per combination of the other varied paths'
// values, from the ok runs of the table.
#pragma once

#include <string>

#include "results.h"

namespace study {

struct TrendAxes {
    std::size_t x = 0;  // index into Results::varied()
    std::size_t y = 0;  // index into Results::summary()
};

// The axes named on the command line (--x PATH, --y SIGNAL.STAT) among a
// study's varied paths and summary columns; throws StudyError naming those.
TrendAxes trendAxes(const std::vector<std::string> &varied, const std::vector<std::string> &summary, const std::string &x,
                    const std::string &y);

// Collects the points of the records it is shown, then draws them.
class TrendPlot {
public:
    TrendPlot(const Results &results, TrendAxes axes) : results_(results), axes_(axes) {}
    void add(const RunRecord &r);
    // Draws the PNG; returns "" or why there is none (no gnuplot, no points).
    std::string draw(const std::string &png) const;

private:
    const Results &results_;
    TrendAxes axes_;
    struct Point {
        std::string line;
        double x, y;
    };
    std::vector<Point> points_;
};

}  // namespace study
