// A progress bar on standard error, drawn only when standard error is a
// terminal and only once a run has taken more than about a second; or, given
// a writer (a script host's command window), drawn there with carriage
// returns alone.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdio>
#include <functional>
#include <string>

namespace simrun {

class Progress {
public:
    // 'allowed' false never draws; total is the number of steps of the run
    // (or of what 'unit' names: "runs done:" for a study).
    using Writer = std::function<void(const char *text, std::size_t len)>;
    Progress(bool allowed, long long total, Writer writer = nullptr, const char *unit = "step");
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
    // A few words shown after the time left ("2 failed"), from the next draw.
    void setNote(std::string note) { note_ = std::move(note); }

private:
    using Clock = std::chrono::steady_clock;
    void check(long long k);
    void put(const char *text, std::size_t len);

    bool enabled_ = false, shown_ = false;
    long long total_ = 0, countdown_ = 1, interval_ = 1, lastStep_ = -1;
    Clock::time_point begin_, lastDraw_, lastCheck_;
    Writer writer_;
    const char *unit_;
    std::string note_;
};

}  // namespace simrun
