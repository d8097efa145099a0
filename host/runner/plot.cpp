#include "plot.h"

#include <sys/stat.h>
#ifndef _WIN32
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "number_text.h"

namespace simrun {

#ifdef _WIN32
// Plots are drawn through a POSIX shell pipe; on Windows simrun draws none.
std::string findGnuplot() { return std::string(); }

std::string writePlot(const PlotData &, const std::string &, const std::string &)
{
    return "plots are not drawn on Windows";
}

std::string writeLinePlot(const LinePlotData &, const std::string &, const std::string &)
{
    return "plots are not drawn on Windows";
}
#else

namespace {

// A text inside single quotes in a gnuplot script.
std::string gnuplotQuoted(const std::string &s)
{
    std::string out = "'";
    for (char c : s) {
        if (c == '\'') out += "''";
        else if (c != '\n' && c != '\r') out += c;
    }
    return out + "'";
}

// The same for the shell that popen starts.
std::string shellQuoted(const std::string &s)
{
    std::string out = "'";
    for (char c : s) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

}  // namespace

std::string findGnuplot()
{
    const char *path = std::getenv("PATH");
    std::string dirs = path != nullptr ? path : "/usr/bin:/bin";
    std::size_t begin = 0;
    while (begin <= dirs.size()) {
        std::size_t end = dirs.find(':', begin);
        if (end == std::string::npos) end = dirs.size();
        std::string dir = dirs.substr(begin, end - begin);
        std::string candidate = (dir.empty() ? std::string(".") : dir) + "/gnuplot";
        struct stat st;
        if (stat(candidate.c_str(), &st) == 0 && S_ISREG(st.st_mode) && access(candidate.c_str(), X_OK) == 0)
            return candidate;
        begin = end + 1;
    }
    return std::string();
}

namespace {

// Ends the script of an open gnuplot and checks that it wrote the image.
std::string finishPlot(std::FILE *gp, const std::string &pngPath)
{
    int status = pclose(gp);
    if (status == -1 || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return "gnuplot failed" + (status != -1 && WIFEXITED(status) ? " (exit status " + std::to_string(WEXITSTATUS(status)) + ")" : std::string());
    struct stat st;
    if (stat(pngPath.c_str(), &st) != 0 || st.st_size == 0) return "gnuplot wrote no image";
    return std::string();
}

// Starts gnuplot on a PNG of the given height, the old image removed.
std::FILE *startPlot(const std::string &pngPath, const std::string &gnuplot, std::size_t height)
{
    std::remove(pngPath.c_str());
    std::FILE *gp = popen((shellQuoted(gnuplot) + " >/dev/null").c_str(), "w");
    if (gp == nullptr) return nullptr;
    std::fprintf(gp,
                 "if (strstrt(GPVAL_TERMINALS, 'pngcairo') > 0) { set terminal pngcairo noenhanced size 1000,%zu } "
                 "else { set terminal png noenhanced size 1000,%zu }\n",
                 height, height);
    std::fprintf(gp, "set output %s\n", gnuplotQuoted(pngPath).c_str());
    return gp;
}

void putNumber(std::FILE *gp, double v)
{
    char buf[40];
    std::size_t len = numberText(v, buf, sizeof buf);
    std::fwrite(buf, 1, len, gp);
}

}  // namespace

std::string writeLinePlot(const LinePlotData &data, const std::string &pngPath, const std::string &gnuplot)
{
    if (data.lines.empty()) return "nothing to plot";
    std::FILE *gp = startPlot(pngPath, gnuplot, 600 + 20 * data.lines.size());
    if (gp == nullptr) return "cannot start gnuplot";
    for (std::size_t i = 0; i < data.lines.size(); ++i) {
        std::fprintf(gp, "$line%zu << EOD\n", i);
        for (std::size_t k = 0; k < data.lines[i].x.size(); ++k) {
            putNumber(gp, data.lines[i].x[k]);
            std::fputc(' ', gp);
            putNumber(gp, data.lines[i].y[k]);
            std::fputc('\n', gp);
        }
        std::fprintf(gp, "EOD\n");
    }
    std::fprintf(gp, "set title %s\nset grid\nset xlabel %s\nset ylabel %s\n", gnuplotQuoted(data.title).c_str(),
                 gnuplotQuoted(data.xlabel).c_str(), gnuplotQuoted(data.ylabel).c_str());
    std::fprintf(gp, "set key below left Left reverse\nplot ");
    for (std::size_t i = 0; i < data.lines.size(); ++i) {
        const std::string &label = data.lines[i].label;
        std::fprintf(gp, "%s$line%zu using 1:2 with linespoints linewidth 2 %s", i > 0 ? ", " : "", i,
                     label.empty() ? "notitle" : ("title " + gnuplotQuoted(label)).c_str());
    }
    std::fprintf(gp, "\nset output\n");
    return finishPlot(gp, pngPath);
}

std::string writePlot(const PlotData &data, const std::string &pngPath, const std::string &gnuplot)
{
    if (data.series.empty() || data.time.empty()) return "nothing to plot";
    // Hours for a few days, days beyond.
    double span = data.time.back() - data.time.front();
    bool hours = span <= 3 * 86400.0;
    double unit = hours ? 3600.0 : 86400.0;
    std::string xlabel = hours ? "time (hours since 1 January 00:00)" : "time (days since 1 January 00:00)";

    std::size_t n = data.series.size();
    std::FILE *gp = startPlot(pngPath, gnuplot, 220 * n + 80);
    if (gp == nullptr) return "cannot start gnuplot";
    std::fprintf(gp, "$data << EOD\n");
    for (std::size_t i = 0; i < data.time.size(); ++i) {
        putNumber(gp, data.time[i] / unit);
        for (std::size_t s = 0; s < n; ++s) {
            std::fputc(' ', gp);
            putNumber(gp, data.series[s][i]);
        }
        std::fputc('\n', gp);
    }
    std::fprintf(gp, "EOD\n");
    std::fprintf(gp, "set multiplot layout %zu,1 title %s\n", n, gnuplotQuoted(data.title).c_str());
    std::fprintf(gp, "set grid\nset key off\nset autoscale xfix\nset xlabel %s\n", gnuplotQuoted(xlabel).c_str());
    for (std::size_t s = 0; s < n; ++s) {
        std::fprintf(gp, "set ylabel %s\n", gnuplotQuoted(data.labels[s]).c_str());
        std::fprintf(gp, "plot $data using 1:%zu with lines linewidth 2\n", s + 2);
    }
    std::fprintf(gp, "unset multiplot\nset output\n");
    return finishPlot(gp, pngPath);
}

#endif

}  // namespace simrun
