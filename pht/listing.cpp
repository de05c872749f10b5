// Shared listing pieces; see listing.h.
#include "listing.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "fast_format.h"
#include "parse.h"
#include "pht.h"
#include "qr_header.h"

std::string strprintf(const char *fmt, ...)
{
    va_list args;
    va_start(args, fmt);
    va_list again;
    va_copy(again, args);
    std::string out;
    out.reserve(128);
    bool done = format_append(out, fmt, args);
    va_end(args);
    if (!done) {
        // A conversion the fast formatter leaves to the C library.
        char small[256];
        va_list last;
        va_copy(last, again);
        int len = std::vsnprintf(small, sizeof small, fmt, again);
        if (len >= 0 && static_cast<std::size_t>(len) < sizeof small) {
            out.assign(small, static_cast<std::size_t>(len));
        } else if (len >= 0) {
            out.resize(static_cast<std::size_t>(len));
            std::vsnprintf(out.data(), out.size() + 1, fmt, last);
        }
        va_end(last);
    }
    va_end(again);
    return out;
}

void put(const char *text) { tblwrit_raw(unitout, text); }
void put(const std::string &text) { tblwrit_raw(unitout, text.c_str()); }

bool open_listing(const char *filename, const char *outfile)
{
    topenw(unitout, outfile);
    if (itstat() != 0) {
        std::fprintf(stderr, "problem opening output file %s: %s\n", outfile, t_error());
        return false;
    }
    put(qr_header(filename, kProgramName, kProgramVersion));
    put("\n");
    put("\n");
    return true;
}

int close_listing(const char *outfile)
{
    tcls(unitout);
    if (itstat() == 0) return 0;
    const int err = t_errno();
    std::fprintf(stderr, "problem writing output file %s: %s\n", outfile,
                 err != 0 ? std::strerror(err) : t_error());
    return 1;
}

CardParts split_card(const std::string &card)
{
    // parse() takes a terminated card of at most 80 characters and fills
    // buffers of 9 and 71 characters.
    char keyword[9] = {0};
    char value[71] = {0};
    char comment[71] = {0};
    parse(card.c_str(), keyword, value, comment);
    return {keyword, value, comment};
}

namespace {

struct ValueWord {
    const char *keyword;
    const char *begins;
    const char *word;
};

constexpr ValueWord kValueWords[] = {
    {"ATTTYPE ", "'R", "Raster              "},
    {"ATTTYPE ", "'P", "Pointed             "},
    {"ATTTYPE ", "'T", "Tracking            "},
    {"FPCMODE ", "'ST", "Staring             "},
    {"FPCMODE ", "'RE", "Rectangular         "},
    {"FPCMODE ", "'SW", "Sawtooth            "},
    {"FPCMODE ", "'C1", "Absolute photometry "},
    {"FPCMODE ", "'C2", "Absolute photometry "},
};

}  // namespace

std::string decoded_value(const CardParts &p)
{
    for (const ValueWord &v : kValueWords)
        if (p.keyword == v.keyword && card_is(p.value, v.begins)) return v.word;
    return p.value;
}

std::string card_line(const std::string &comment, const std::string &value,
                      const std::string &keyword)
{
    return strprintf("%.47s: %s (%s)\n", comment.c_str(), value.c_str(), keyword.c_str());
}

std::string card_line(const std::string &card)
{
    CardParts p = split_card(card);
    return card_line(p.comment, p.value, p.keyword);
}

int card_int(const std::string &value)
{
    errno = 0;
    long v = std::strtol(value.c_str(), nullptr, 10);
    if (v > INT_MAX) return INT_MAX;
    if (v < INT_MIN) return INT_MIN;
    return static_cast<int>(v);
}

int card_count(const std::string &value)
{
    int n = card_int(value);
    return n < 0 ? 0 : n;
}

double card_double(const std::string &value)
{
    return std::strtod(value.c_str(), nullptr);
}

std::string numbered_key(const char *stem, int n)
{
    return (n >= 1 && n <= 9) ? strprintf("%s%d ", stem, n) : strprintf("%s%d", stem, n);
}

bool numbered_key_matches(const std::string &card, const std::string &text, std::size_t len)
{
    std::size_t significant = text.size();
    while (significant > 0 && text[significant - 1] == ' ') --significant;
    if (significant > len) return false;
    std::string key = text.substr(0, len);
    return card.size() >= key.size() && card.compare(0, key.size(), key) == 0;
}

int limit_records(long long count)
{
    if (count > kMaxRecords) {
        std::fprintf(stderr, "Too many rows (%lld); only the first %d are listed.\n", count,
                     kMaxRecords);
        return kMaxRecords;
    }
    return count < 0 ? 0 : static_cast<int>(count);
}

int limit_records_wide(unsigned __int128 count)
{
    if (count <= static_cast<unsigned __int128>(kMaxRecords)) return static_cast<int>(count);
    std::string digits;
    for (; count > 0; count /= 10) digits.insert(digits.begin(), static_cast<char>('0' + count % 10));
    std::fprintf(stderr, "Too many rows (%s); only the first %d are listed.\n", digits.c_str(),
                 kMaxRecords);
    return kMaxRecords;
}

namespace {

int field_elements(std::size_t n) { return static_cast<int>(std::min<std::size_t>(n, INT_MAX)); }

}  // namespace

void fetch_ints(int unit, int col, int *field, std::size_t n)
{
    tgeti_max(unit, col, field, field_elements(n));
}

void fetch_floats(int unit, int col, float *field, std::size_t n)
{
    tgetr_max(unit, col, field, field_elements(n));
}
