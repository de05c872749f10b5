// Shared listing pieces; see listing.h.
#include "listing.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "parse.h"
#include "pht.h"
#include "qr_header.h"

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
    return text_format("%.47s: %s (%s)\n", comment.c_str(), value.c_str(), keyword.c_str());
}

std::string card_line(const std::string &card)
{
    CardParts p = split_card(card);
    return card_line(p.comment, p.value, p.keyword);
}

std::string numbered_key(const char *stem, int n)
{
    return (n >= 1 && n <= 9) ? text_format("%s%d ", stem, n) : text_format("%s%d", stem, n);
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

// Number of elements of a column, or -1 when the column is not usable.
long column_elements(int unit, int col)
{
    char name[16] = {0};
    char type = 0;
    char unitname[96] = {0};
    int start = 0, width = 0, elements = 0;
    tpinfo(unit, col, name, &type, nullptr, unitname, nullptr, nullptr, &start, &width, &elements);
    return itstat() == 0 ? elements : -1;
}

}  // namespace

void fetch_ints(int unit, int col, int *field, std::size_t n)
{
    long count = column_elements(unit, col);
    if (count < 0 || static_cast<std::size_t>(count) <= n) {
        tgeti(unit, col, field);  // fits, or fails without writing
        return;
    }
    std::vector<int> all(static_cast<std::size_t>(count));
    tgeti(unit, col, all.data());
    if (itstat() == 0) std::copy_n(all.begin(), n, field);
}

void fetch_floats(int unit, int col, float *field, std::size_t n)
{
    long count = column_elements(unit, col);
    if (count < 0 || static_cast<std::size_t>(count) <= n) {
        tgetr(unit, col, field);
        return;
    }
    std::vector<float> all(static_cast<std::size_t>(count));
    tgetr(unit, col, all.data());
    if (itstat() == 0) std::copy_n(all.begin(), n, field);
}
