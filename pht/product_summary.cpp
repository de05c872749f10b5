// Inventory columns of a listed product; see product_summary.h.
#include "product_summary.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>

#include "listing.h"
#include "pht.h"
#include "pls_records.h"
#include "text_format.h"

namespace {

constexpr std::size_t kCard = 80;
constexpr long long kBlock = 2880;
constexpr std::size_t kValue = 10;  // the value field starts at column 11

bool is_end(const std::string &card)
{
    return card.compare(0, 8, "END     ") == 0;
}

// The store holds the primary header's cards through its END card, then
// the extension's: [0, split) and [split, size).
std::size_t primary_cards()
{
    for (std::size_t i = 0; i < header.size(); ++i)
        if (is_end(header[i])) return i + 1;
    return header.size();
}

// The value card of keyword among cards [from, to); null when there is none.
const std::string *find_card(std::size_t from, std::size_t to, const char *keyword)
{
    const std::size_t n = std::strlen(keyword);
    for (std::size_t i = from; i < to; ++i) {
        const std::string &c = header[i];
        if (c.size() > kValue && c.compare(0, n, keyword) == 0 &&
            c.find_first_not_of(' ', n) == 8 && c[8] == '=')
            return &c;
    }
    return nullptr;
}

// A string value as FITS reads it: '' stands for one quote, trailing blanks
// do not count.
std::string text_value(const std::string *card)
{
    if (!card) return "";
    const std::size_t open = card->find('\'', kValue);
    if (open == std::string::npos) return "";
    std::string text;
    for (std::size_t i = open + 1; i < card->size() && i < kCard; ++i) {
        if ((*card)[i] != '\'') text += (*card)[i];
        else if (i + 1 < card->size() && (*card)[i + 1] == '\'') text += (*card)[++i];
        else break;
    }
    text.erase(text.find_last_not_of(' ') + 1);
    return text;
}

bool number_value(const std::string *card, double &value)
{
    if (!card) return false;
    const std::string field = card->substr(kValue);
    char *end = nullptr;
    value = std::strtod(field.c_str(), &end);
    return end != field.c_str();
}

long long count_value(const std::string *card)
{
    double v = 0;
    return number_value(card, v) && v > 0 ? static_cast<long long>(std::min(v, 1e15)) : 0;
}

std::string degrees(const std::string *card)
{
    double v = 0;
    return number_value(card, v) ? text_format("%.6f", v) : "";
}

long long header_bytes(std::size_t cards)
{
    return (static_cast<long long>(cards) * static_cast<long long>(kCard) + kBlock - 1) / kBlock * kBlock;
}

// Bytes of the primary data array, in whole blocks.
long long primary_data_bytes(std::size_t primary)
{
    double bytes = std::abs(static_cast<double>(count_value(find_card(0, primary, "BITPIX")))) / 8;
    const long long axes = count_value(find_card(0, primary, "NAXIS"));
    if (axes == 0) return 0;
    for (long long n = 1; n <= std::min(axes, 999LL); ++n) {
        const std::string axis = "NAXIS" + std::to_string(n);
        bytes *= static_cast<double>(count_value(find_card(0, primary, axis.c_str())));
    }
    return static_cast<long long>(std::min((bytes + kBlock - 1) / kBlock, 1e15)) * kBlock;
}

// Table rows held whole in the product's bytes.
long long rows_present(long long product_bytes, std::size_t primary, long long row_bytes)
{
    const long long start = header_bytes(primary) + primary_data_bytes(primary) +
                            header_bytes(header.size() - primary);
    return row_bytes > 0 && product_bytes > start ? (product_bytes - start) / row_bytes : 0;
}

// Spectrometer images of the listing: consecutive files from the first.
int image_count(const std::string &image_base, long long records)
{
    int n = 0;
    struct stat st {};
    while (n < records && ::stat(pls_image_name(image_base, static_cast<std::size_t>(n)).c_str(), &st) == 0)
        ++n;
    return n;
}

}  // namespace

void summarize_product(long long product_bytes, const std::string &image_base, InventoryRow &row)
{
    const std::string &type = dispatched_product_type();
    row[Inv::product_type] = type;
    const std::size_t primary = primary_cards();
    const auto key = [&](const char *keyword) { return find_card(0, primary, keyword); };
    row[Inv::filename] = text_value(key("FILENAME"));
    row[Inv::object] = text_value(key("OBJECT"));
    row[Inv::aot] = text_value(key("EOHAAOTN"));
    row[Inv::observer] = text_value(key("OBSERVER"));
    row[Inv::proposal] = text_value(key("EOHAPLID"));
    row[Inv::ra_deg] = degrees(key("ATTRA"));
    row[Inv::dec_deg] = degrees(key("ATTDEC"));
    row[Inv::obs_start_utc] = iso_utc(text_value(key("EOHAUTCS")));
    row[Inv::obs_end_utc] = iso_utc(text_value(key("EOHAUTCE")));
    if (primary == header.size()) return;  // no table
    const long long rows = count_value(find_card(primary, header.size(), "NAXIS2"));
    const long long row_bytes = count_value(find_card(primary, header.size(), "NAXIS1"));
    const long long listed = std::min({rows, static_cast<long long>(kMaxRecords),
                                       rows_present(product_bytes, primary, row_bytes)});
    row[Inv::records] = std::to_string(rows);
    row[Inv::records_listed] = std::to_string(listed);
    const bool spectrometer = type == "PLA" || type == "PSA";
    const int images = spectrometer && !image_base.empty() ? image_count(image_base, listed) : 0;
    row[Inv::images] = std::to_string(images);
}

std::string iso_utc(const std::string &t)
{
    if (t.size() != 11 || !std::all_of(t.begin(), t.end(), [](unsigned char c) { return std::isdigit(c); }))
        return "";
    const auto num = [&](std::size_t at, std::size_t n) { return std::stoi(t.substr(at, n)); };
    const int yy = num(0, 2), doy = num(2, 3), hh = num(5, 2), mm = num(7, 2), ss = num(9, 2);
    if (yy < 90) return "";
    const int year = 1900 + yy;
    const bool leap = year % 4 == 0;  // 1990-1999
    const int days[12] = {31, leap ? 29 : 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (doy < 1 || doy > (leap ? 366 : 365) || hh > 23 || mm > 59 || ss > 60) return "";
    int month = 0, day = doy;
    while (day > days[month]) day -= days[month++];
    return text_format("%04d-%02d-%02dT%02d:%02d:%02dZ", year, month + 1, day, hh, mm, ss);
}
