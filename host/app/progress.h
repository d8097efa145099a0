// A progress bar on standard error, drawn only when standard error is a
// terminal and only once a run has taken more than about a second.
#pragma once

#include <chrono>
#include <cstdio>

namespace simrun {

class Progress {
public:
    // 'allowed' false never draws; total is the number of steps of the run.
    Progress(bool allowed, long long total);
    ~Progress() { clear(); }

    // Called after step k; cheap on most calls.
    void tick(long long k)
    {
        if (enabled_ && --countdown_ <= 0) check(k);
    }
    // Takes the bar off the terminal (before other output goes there); the
    // next update draws it again.
    void clear();
    bool shown() const { return shown_; }

private:
    using Clock = std::chrono::steady_clock;
    void check(long long k);

    bool enabled_ = false, shown_ = false;
    long long total_ = 0, countdown_ = 1, interval_ = 1, lastStep_ = -1;
    Clock::time_point begin_, lastDraw_, lastCheck_;
};

}  // namespace simrun
