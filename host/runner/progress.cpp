#include "progress.h"

#include <unistd.h>

#include <algorithm>
#include <string>

namespace simrun {

namespace {
constexpr double kDelay = 1.0;      // seconds before the bar appears
constexpr double kInterval = 0.1;   // seconds between redraws
constexpr int kBarWidth = 40;
}  // namespace

Progress::Progress(bool allowed, long long total, Writer writer, const char *unit)
    : enabled_(allowed && total > 0 && (writer || isatty(STDERR_FILENO) == 1)), total_(total), begin_(Clock::now()),
      lastDraw_(begin_), lastCheck_(begin_), writer_(std::move(writer)), unit_(unit)
{
}

void Progress::put(const char *text, std::size_t len)
{
    if (writer_) {
        writer_(text, len);
        return;
    }
    std::fwrite(text, 1, len, stderr);
    std::fflush(stderr);
}

void Progress::check(long long k)
{
    Clock::time_point now = Clock::now();
    double elapsed = std::chrono::duration<double>(now - begin_).count();
    // Look at the clock again after about a twentieth of a second's worth of
    // steps at the latest pace; the interval at most doubles from one look to
    // the next, so a run that slows down is still seen in time.
    double since = std::chrono::duration<double>(now - lastCheck_).count();
    double steps = static_cast<double>(k - lastStep_);
    double next = since > 0 ? steps / since * 0.05 : 2.0 * static_cast<double>(interval_);
    interval_ = std::max<long long>(1, static_cast<long long>(std::min(next, 2.0 * static_cast<double>(interval_))));
    countdown_ = interval_;
    lastCheck_ = now;
    lastStep_ = k;
    if (elapsed < kDelay) return;
    if (shown_ && std::chrono::duration<double>(now - lastDraw_).count() < kInterval) return;
    lastDraw_ = now;
    double done = static_cast<double>(k + 1) / static_cast<double>(total_);
    int filled = static_cast<int>(done * kBarWidth);
    char bar[kBarWidth + 1];
    for (int i = 0; i < kBarWidth; ++i) bar[i] = i < filled ? '#' : '.';
    bar[kBarWidth] = '\0';
    double left = done > 0 ? elapsed * (1 - done) / done : 0;
    char line[200];
    int n = std::snprintf(line, sizeof line, "\r[%s] %3d%%  %s %lld of %lld  %.0f s left%s%.40s%s", bar,
                          static_cast<int>(done * 100), unit_, k + 1, total_, left, note_.empty() ? "" : "  ",
                          note_.c_str(), writer_ ? "   " : "\033[K");
    put(line, static_cast<std::size_t>(std::min<int>(std::max(n, 0), sizeof line - 1)));
    shown_ = true;
}

void Progress::clear()
{
    if (!shown_) return;
    // A command window may not know the terminal's erase sequence: blanks.
    static const std::string blanks = "\r" + std::string(100, ' ') + "\r";
    if (writer_) put(blanks.data(), blanks.size());
    else put("\r\033[K", 4);
    shown_ = false;
}

}  // namespace simrun
