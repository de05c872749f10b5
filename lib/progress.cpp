// Progress line; see progress.h.
#include "progress.h"

#include <unistd.h>

#include <cmath>

#include "text_format.h"

namespace {

constexpr auto kMinInterval = std::chrono::milliseconds(100);  // ten redraws a second

// A progress line that cannot be shown is no failure: writing just stops.
void write_text(int fd, const std::string &text)
{
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n <= 0) return;
        done += static_cast<std::size_t>(n);
    }
}

}  // namespace

std::string clock_text(double seconds)
{
    const long s = std::isfinite(seconds) && seconds > 0 ? std::lround(seconds) : 0;
    if (s >= 3600) return text_format("%ld:%02ld:%02ld", s / 3600, s / 60 % 60, s % 60);
    return text_format("%ld:%02ld", s / 60, s % 60);
}

std::string progress_text(const ProgressCounts &c)
{
    const double rate = c.elapsed > 0 ? static_cast<double>(c.done) / c.elapsed : 0;
    const std::string left =
        rate > 0 && c.total >= c.done ? clock_text(static_cast<double>(c.total - c.done) / rate) : "-:--";
    return text_format("%zu/%zu done  %.1f/s  elapsed %s  left %s  failed %zu", c.done, c.total, rate,
                       clock_text(c.elapsed).c_str(), left.c_str(), c.failed);
}

void ProgressLine::update(const ProgressCounts &c)
{
    if (!enabled_) return;
    const auto now = std::chrono::steady_clock::now();
    if (drawn_ && now - last_ < kMinInterval) return;
    last_ = now;
    draw(progress_text(c));
}

void ProgressLine::finish(const ProgressCounts &c)
{
    if (!enabled_) return;
    draw(progress_text(c));
    write_text(fd_, "\n");
}

void ProgressLine::draw(const std::string &text)
{
    // Carriage return, the text, and blanks over what is left of a longer
    // earlier text.
    std::string line = "\r" + text;
    if (text.size() < width_) line.append(width_ - text.size(), ' ');
    width_ = text.size();
    drawn_ = true;
    write_text(fd_, line);
}
