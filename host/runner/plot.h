// A PNG of signals against time, drawn by gnuplot (one panel per signal).
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

}  // namespace simrun
