// PNGs drawn by gnuplot: signals against time (one panel per signal), and
// lines of points against a quantity (a study's trend plot).
#pragma once

#include <string>
#include <vector>

namespace simrun {

struct PlotData {
    std::string title;
    std::vector<std::string> labels;          // one per series
    std::vector<double> time;                 // seconds
    std::vector<std::vector<double>> series;  // one value per time each
};

// The gnuplot program on the PATH, or "" when there is none.
std::string findGnuplot();

// Writes the PNG with the given gnuplot; returns "" or what went wrong.
std::string writePlot(const PlotData &data, const std::string &pngPath, const std::string &gnuplot);

struct LinePlotData {
    std::string title, xlabel, ylabel;
    struct Line {
        std::string label;        // in the key ("" = no key, for a single line)
        std::vector<double> x, y;
    };
    std::vector<Line> lines;
};

// Draws each line through its points (in the order given) into one panel.
std::string writeLinePlot(const LinePlotData &data, const std::string &pngPath, const std::string &gnuplot);

}  // namespace simrun
