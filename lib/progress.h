// A progress line on a terminal: one line, redrawn in place at most ten
// times a second.
#pragma once

#include <chrono>
#include <cstddef>
#include <string>

struct ProgressCounts {
    std::size_t done = 0;
    std::size_t total = 0;
    std::size_t failed = 0;
    double elapsed = 0;  // seconds
};

// "120/2000 done  345.2/s  elapsed 0:03  left 0:05  failed 1": done and total,
// items per second, elapsed time, the estimated time left (at the rate so
// far) and the failures so far.
std::string progress_text(const ProgressCounts &c);

// Seconds as m:ss, or h:mm:ss from one hour on.
std::string clock_text(double seconds);

class ProgressLine {
public:
    // Draws on descriptor fd when enabled; does nothing otherwise.
    ProgressLine(int fd, bool enabled) : fd_(fd), enabled_(enabled) {}

    // Redraws the line, unless the last drawing is less than a tenth of a
    // second old.
    void update(const ProgressCounts &c);

    // Draws the final state and ends the line.
    void finish(const ProgressCounts &c);

private:
    void draw(const std::string &text);

    int fd_;
    bool enabled_;
    bool drawn_ = false;
    std::size_t width_ = 0;  // length of the text last drawn
    std::chrono::steady_clock::time_point last_{};
};
