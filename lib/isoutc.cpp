// Conversion of the ISO UTC strings of AAR products (YYDDDHHMMSS: year of
// the century, day of the year, hour, minute, second, without separators)
// into a calendar date ("02 May 96") and a time of day ("04:56:12").
// Years 90 to 99 stand for 1990 to 1999; a year divisible by 4 is a leap
// year. The outputs always hold valid texts, empty when the input is
// rejected, and never exceed 10 (date) and 9 (time) characters.
#include "qr_header.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

constexpr std::size_t kIsoUtcLength = 11;  // YYDDDHHMMSS
constexpr std::size_t kDateSize = 10;      // "02 May 96" and terminator
constexpr std::size_t kTimeSize = 9;       // "04:56:12" and terminator
constexpr int kFebruary = 1;
constexpr int kDecember = 11;

struct Month {
    const char *mon;
    int days;
};

// February holds 28 days; the month walk adds the leap day.
constexpr std::array<Month, 12> months{{{"Jan", 31}, {"Feb", 28}, {"Mar", 31},
                                        {"Apr", 30}, {"May", 31}, {"Jun", 30},
                                        {"Jul", 31}, {"Aug", 31}, {"Sep", 30},
                                        {"Oct", 31}, {"Nov", 30}, {"Dec", 31}}};

// One digit group of the text, converted like atoi.
int group(const std::string &group_text)
{
    return std::atoi(group_text.c_str());
}

// Copies src into a field of size characters (terminator included).
void copy_bounded(char *dst, const char *src, std::size_t size)
{
    std::size_t n = std::min(std::strlen(src), size - 1);
    std::memcpy(dst, src, n);
    dst[n] = '\0';
}

}  // namespace

int qr_isoutc(const char *isoutc, char *date, char *time)
{
    date[0] = '\0';
    time[0] = '\0';
    if (isoutc == nullptr || std::strlen(isoutc) != kIsoUtcLength) return -1;

    const std::string text(isoutc);
    const std::string yy = text.substr(0, 2), ddd = text.substr(2, 3), hh = text.substr(5, 2),
                      mm = text.substr(7, 2), ss = text.substr(9, 2);
    const int year = group(yy), day_of_year = group(ddd), hour = group(hh),
              minute = group(mm), second = group(ss);

    if (hour > 24 || minute > 59 || second > 60 || year <= 89 || day_of_year > 366) return -1;
    // A day of the year below 0 names no day (and "-99" would not fit the
    // date field); day 000 is let through as day 00 of January.
    if (day_of_year < 0) return -1;

    const bool leap = year % 4 == 0;
    int remaining = day_of_year;
    int month = 0;
    for (; month < kDecember; ++month) {
        const int days = months[month].days;
        if (days >= remaining) break;
        if (month == kFebruary && leap) {
            if (remaining == 29) break;
            remaining -= 1;
        }
        remaining -= days;
    }
    if (remaining > 31) return -1;  // day 366 of a common year

    // Day 0..31 and year 90..99 fill the date field exactly; the copies are
    // bounded all the same.
    char text_out[32];
    std::snprintf(text_out, sizeof text_out, "%02d %3s %02d", remaining, months[month].mon, year);
    copy_bounded(date, text_out, kDateSize);
    std::snprintf(text_out, sizeof text_out, "%2s:%2s:%2s", hh.c_str(), mm.c_str(), ss.c_str());
    copy_bounded(time, text_out, kTimeSize);
    return 0;
}
