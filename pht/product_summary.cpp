// Inventory columns of a listed product; see product_summary.h.
#include "product_summary.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <optional>
#include <string_view>

#include "fits_card.h"
#include "listings.h"
#include "text_format.h"

namespace {

constexpr std::size_t kValue = 10;  // the value field starts at column 11

// The first value card of keyword (its whole keyword field) among the
// primary header's cards; none when there is none.
std::optional<std::string_view> find_card(const CardStore &cards, const char *keyword)
{
    std::string field = keyword;
    field.resize(kFitsKeywordLength, ' ');
    for (std::size_t i : cards.all(field)) {
        if (i >= cards.primary_size()) break;
        if (cards[i][kFitsKeywordLength] == '=') return cards[i];
    }
    return std::nullopt;
}

// A string value as FITS reads it: '' stands for one quote, trailing blanks
// do not count.
std::string text_value(const std::optional<std::string_view> &card)
{
    if (!card) return "";
    const std::size_t open = card->find('\'', kValue);
    if (open == std::string_view::npos) return "";
    std::string text = fits_string(*card, open).text;
    text.erase(text.find_last_not_of(' ') + 1);
    return text;
}

std::string degrees(const std::optional<std::string_view> &card)
{
    if (!card) return "";
    const std::string field(card->substr(kValue));
    char *end = nullptr;
    const double v = std::strtod(field.c_str(), &end);
    return end != field.c_str() ? text_format("%.6f", v) : "";
}

// Spectrometer images of the listing: consecutive files from the first.
int image_count(const std::string &image_base, std::size_t records)
{
    std::size_t n = 0;
    struct stat st {};
    while (n < records && ::stat(pls_image_name(image_base, n).c_str(), &st) == 0) ++n;
    return static_cast<int>(n);
}

}  // namespace

void summarize_product(const Product &product, const std::string &image_base, InventoryRow &row)
{
    const CardStore &cards = product.cards();
    row[Inv::product_type] = product_type_name(product.type());
    const auto key = [&](const char *keyword) { return find_card(cards, keyword); };
    row[Inv::filename] = text_value(key("FILENAME"));
    row[Inv::object] = text_value(key("OBJECT"));
    row[Inv::aot] = text_value(key("EOHAAOTN"));
    row[Inv::observer] = text_value(key("OBSERVER"));
    row[Inv::proposal] = text_value(key("EOHAPLID"));
    row[Inv::ra_deg] = degrees(key("ATTRA"));
    row[Inv::dec_deg] = degrees(key("ATTDEC"));
    row[Inv::obs_start_utc] = iso_utc(text_value(key("EOHAUTCS")));
    row[Inv::obs_end_utc] = iso_utc(text_value(key("EOHAUTCE")));
    if (cards.primary_size() == cards.size()) return;  // no table
    const std::size_t listed = product.record_count();
    row[Inv::records] = std::to_string(product.counts().rows);
    row[Inv::records_listed] = std::to_string(listed);
    const bool spectrometer = product.family() == Family::spectrometer;
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
