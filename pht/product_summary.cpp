// Inventory columns of a listed product; see product_summary.h.
#include "product_summary.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>

#include "fits_table.h"
#include "listing.h"
#include "pht.h"
#include "pls_records.h"
#include "text_format.h"

namespace {

constexpr int kSummaryUnit = 3;  // apart from the driver's, the listing's and the banner's units
constexpr std::size_t kKeyText = 80;

// A string value without its trailing blanks, which FITS does not count.
std::string text_key(const char *keyword)
{
    char value[kKeyText] = "";
    t_rkey_c(kSummaryUnit, value, keyword);
    if (itstat() != 0) return "";
    std::string text = value;
    text.erase(text.find_last_not_of(' ') + 1);
    return text;
}

std::string degrees_key(const char *keyword)
{
    double value = 0;
    t_rkey_d(kSummaryUnit, &value, keyword);
    return itstat() == 0 ? text_format("%.6f", value) : "";
}

// Rows 1..n of the table that can be read, counting up to limit. A table
// cut short loses its last rows, so the readable rows are a prefix.
int readable_rows(int limit)
{
    const auto readable = [](int row) {
        tseek(kSummaryUnit, row);
        if (itstat() != 0) return false;
        tblread(kSummaryUnit);
        return itstat() == 0;
    };
    if (limit <= 0 || readable(limit)) return std::max(limit, 0);
    int lo = 0, hi = limit;  // row lo is readable (or 0), row hi is not
    while (hi - lo > 1) {
        const int mid = lo + (hi - lo) / 2;
        (readable(mid) ? lo : hi) = mid;
    }
    return lo;
}

// Spectrometer images of the listing: consecutive files from the first.
int image_count(const std::string &image_base, int records)
{
    int n = 0;
    struct stat st {};
    while (n < records && ::stat(pls_image_name(image_base, static_cast<std::size_t>(n)).c_str(), &st) == 0)
        ++n;
    return n;
}

}  // namespace

void summarize_product(const char *input, const std::string &image_base, InventoryRow &row)
{
    const std::string &type = dispatched_product_type();
    row[Inv::product_type] = type;
    int nparms = 0;
    topenr(kSummaryUnit, input, &nparms);
    if (itstat() != 0 || tgettyp(kSummaryUnit) != 1) return;
    row[Inv::filename] = text_key("FILENAME");
    row[Inv::object] = text_key("OBJECT");
    row[Inv::aot] = text_key("EOHAAOTN");
    row[Inv::observer] = text_key("OBSERVER");
    row[Inv::proposal] = text_key("EOHAPLID");
    row[Inv::ra_deg] = degrees_key("ATTRA");
    row[Inv::dec_deg] = degrees_key("ATTDEC");
    row[Inv::obs_start_utc] = iso_utc(text_key("EOHAUTCS"));
    row[Inv::obs_end_utc] = iso_utc(text_key("EOHAUTCE"));
    const int rows = tgetrowcount(kSummaryUnit);
    row[Inv::records] = std::to_string(rows);
    const int listed = readable_rows(std::min(rows, kMaxRecords));
    row[Inv::records_listed] = std::to_string(listed);
    const bool spectrometer = type == "PLA" || type == "PSA";
    const int images = spectrometer && !image_base.empty() ? image_count(image_base, listed) : 0;
    row[Inv::images] = std::to_string(images);
    tcls(kSummaryUnit);
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
