#include "trend.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <map>

#include "plot.h"

namespace study {

namespace {

std::string list(const std::vector<std::string> &names)
{
    std::string s;
    for (const std::string &n : names) s += (s.empty() ? "" : ", ") + n;
    return s.empty() ? "none" : s;
}

}  // namespace

TrendAxes trendAxes(const std::vector<std::string> &v, const std::vector<std::string> &s, const std::string &x,
                    const std::string &y)
{
    TrendAxes a;
    auto ix = std::find(v.begin(), v.end(), x);
    if (ix == v.end()) throw StudyError("--x '" + x + "' is not a varied path of the study (those: " + list(v) + ")");
    auto iy = std::find(s.begin(), s.end(), y);
    if (iy == s.end()) throw StudyError("--y '" + y + "' is not a summary column of the study (those: " + list(s) + ")");
    a.x = static_cast<std::size_t>(ix - v.begin());
    a.y = static_cast<std::size_t>(iy - s.begin());
    return a;
}

void TrendPlot::add(const RunRecord &r)
{
    if (r.status != Status::kOk || axes_.x >= r.set.size() || axes_.y >= r.values.size()) return;
    const std::string &text = r.set[axes_.x];
    char *end = nullptr;
    double x = std::strtod(text.c_str(), &end);
    if (text.empty() || end != text.c_str() + text.size()) return;  // not a number: no place on the axis
    std::string line;
    for (std::size_t i = 0; i < r.set.size(); ++i)
        if (i != axes_.x) line += (line.empty() ? "" : ", ") + results_.varied()[i] + " = " + r.set[i];
    points_.push_back(Point{line, x, r.values[axes_.y]});
}

std::string TrendPlot::draw(const std::string &png) const
{
    if (points_.empty()) return "no ok run has a number for " + results_.varied()[axes_.x];
    std::string gnuplot = simrun::findGnuplot();
    if (gnuplot.empty()) return "gnuplot is not installed (Debian package gnuplot-nox)";
    // The lines in the order of their first runs.
    std::vector<std::pair<std::string, std::vector<std::pair<double, double>>>> lines;
    std::map<std::string, std::size_t> at;
    for (const Point &p : points_) {
        auto it = at.emplace(p.line, lines.size()).first;
        if (it->second == lines.size()) lines.emplace_back(p.line, std::vector<std::pair<double, double>>());
        lines[it->second].second.emplace_back(p.x, p.y);
    }
    simrun::LinePlotData data;
    data.title = "study: " + results_.summary()[axes_.y] + " against " + results_.varied()[axes_.x];
    data.xlabel = results_.varied()[axes_.x];
    data.ylabel = results_.summary()[axes_.y];
    for (auto &[label, xy] : lines) {
        std::stable_sort(xy.begin(), xy.end(), [](const auto &a, const auto &b) { return a.first < b.first; });
        simrun::LinePlotData::Line l;
        l.label = label;
        for (const auto &p : xy) {
            l.x.push_back(p.first);
            l.y.push_back(p.second);
        }
        data.lines.push_back(std::move(l));
    }
    return simrun::writeLinePlot(data, png, gnuplot);
}

}  // namespace study
