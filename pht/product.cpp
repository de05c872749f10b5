// The product model and its loader; see product.h.
#include "product.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string_view>
#include <utility>

#include "camera_pixels.h"
#include "fits_table.h"
#include "row_loader.h"

namespace {

constexpr int kFitsFile = 1;                   // tgettyp() of a FITS binary table
constexpr std::size_t kProductNameMax = 79;    // characters kept of a FILENAME value
constexpr std::size_t kFilenameValueFrom = 9;  // its quote is searched from column 10
constexpr float kW2J = 3.338e14f;              // stored value x lambda^2 (um) -> mJy
constexpr double kMetresToMicrons = 1000000.0;

// The product type of a name: tried in this order, the first row whose
// prefix begins the name decides. Product names (FILENAME) are tried before
// file names, which test "pcap" before "pcas" and know no image files.
struct TypeName {
    bool product_name;  // the FILENAME value, else the file name
    const char *prefix;
    ProductType type;
};

constexpr TypeName kTypeNames[] = {
    {true, "PCAE", ProductType::pcae},  {true, "PCAS", ProductType::pcas},
    {true, "PCAP", ProductType::pcap},  {true, "PPAE", ProductType::ppae},
    {true, "PPAP", ProductType::ppap},  {true, "PLA", ProductType::pla},
    {true, "PSA", ProductType::psa},    {true, "PGA", ProductType::pga},
    {false, "pcae", ProductType::pcae}, {false, "pcap", ProductType::pcap},
    {false, "pcas", ProductType::pcas}, {false, "ppae", ProductType::ppae},
    {false, "ppap", ProductType::ppap}, {false, "pla", ProductType::pla},
    {false, "psa", ProductType::psa},
};

// The input path cut before its first ".fits" (or, failing that, ".FITS").
std::string base_name(const std::string &path)
{
    std::size_t at = path.find(".fits");
    if (at == std::string::npos) at = path.find(".FITS");
    return at == std::string::npos ? path : path.substr(0, at);
}

// The product name: the string value of the last FILENAME card of the
// primary header that has a quote from column 10 on.
std::string product_name(const CardStore &cards)
{
    std::string name;
    for (std::size_t i : cards.all("FILENAME")) {
        if (i >= cards.primary_size()) break;
        const std::string_view card = cards[i];
        const std::size_t open = card.find('\'', kFilenameValueFrom);
        if (open != std::string_view::npos) name = fits_string(card, open).text.substr(0, kProductNameMax);
    }
    return name;
}

std::optional<ProductType> type_of(const CardStore &cards, const std::string &path)
{
    const std::string from_card = product_name(cards);
    const std::string from_file = base_name(path);
    for (const TypeName &t : kTypeNames) {
        const std::string &name = t.product_name ? from_card : from_file;
        if (name.starts_with(t.prefix)) return t.type;
    }
    return std::nullopt;
}

std::string value_of(const CardStore &cards, std::optional<std::size_t> card)
{
    return card ? split_card(cards[*card]).value : std::string();
}

Counts counts_of(const CardStore &cards)
{
    Counts c;
    c.rows = value_count(value_of(cards, cards.last("NAXIS2")));
    c.points = value_count(value_of(cards, cards.last("ATTRNPTS")));
    c.lines = value_count(value_of(cards, cards.last("ATTRNLNS")));
    c.filters = static_cast<int>(cards.count("FILTER"));
    c.instrument.ra = value_double(value_of(cards, cards.last("INSTRA  ")));
    c.instrument.dec = value_double(value_of(cards, cards.last("INSTDEC ")));
    c.instrument.roll = value_double(value_of(cards, cards.last("INSTROLL")));
    return c;
}

// The column number of a TTYPE card: one digit and a blank, or two digits
// (no leading zero); 0 for anything else.
int column_number(std::string_view card)
{
    auto digit = [](char c) { return c >= '0' && c <= '9'; };
    const char first = card[5], second = card[6];
    if (first < '1' || first > '9') return 0;
    if (second == ' ') return first - '0';
    return digit(second) ? (first - '0') * 10 + (second - '0') : 0;
}

// The string value of a card without the trailing blanks, which FITS
// strings do not count; empty without one.
std::string string_value(std::string_view card)
{
    std::string text = card_string_value(card).value_or("");
    text.erase(text.find_last_not_of(' ') + 1);
    return text;
}

std::vector<TableColumn> columns_of(const CardStore &cards)
{
    std::vector<TableColumn> columns;
    for (std::size_t i : cards.all("TTYPE")) {
        const int n = column_number(cards[i]);
        if (n == 0) continue;
        TableColumn c{n, i, split_card(cards[i]), {}, {}, {}};
        c.name = string_value(cards[i]);
        c.listed_name = cleaned(c.parts.value);
        std::string unit_key = numbered_key("TUNIT", n);
        unit_key.resize(kFitsKeywordLength, ' ');
        if (const std::optional<std::size_t> unit = cards.first(unit_key))
            c.unit = string_value(cards[*unit]);
        columns.push_back(std::move(c));
    }
    return columns;
}

// Wavelengths of the cards LAMBDA1 to LAMBDA64; the last card of a pixel
// counts, other numbers are ignored.
std::array<float, kPlsPixels> wavelengths_of(const CardStore &cards)
{
    std::array<float, kPlsPixels> um{};
    for (std::size_t i : cards.all("LAMBDA")) {
        const CardParts p = split_card(cards[i]);
        const long n = std::strtol(p.keyword.c_str() + 6, nullptr, 10);
        if (n < 1 || n > kPlsPixels) continue;
        um[static_cast<std::size_t>(n - 1)] = static_cast<float>(value_double(p.value) * kMetresToMicrons);
    }
    return um;
}

Detector detector_of(const std::string &value)
{
    if (value.starts_with("'C100") || value.starts_with("C100")) return Detector::c100;
    if (value.starts_with("'C200") || value.starts_with("C200")) return Detector::c200;
    return Detector::none;
}

}  // namespace

int limit_records(unsigned __int128 count)
{
    if (count <= static_cast<unsigned __int128>(kMaxRecords)) return static_cast<int>(count);
    std::string digits;
    for (; count > 0; count /= 10) digits.insert(digits.begin(), static_cast<char>('0' + count % 10));
    std::fprintf(stderr, "Too many rows (%s); only the first %d are listed.\n", digits.c_str(),
                 kMaxRecords);
    return kMaxRecords;
}

const char *product_type_name(ProductType type)
{
    for (const TypeName &row : kTypeNames)
        if (row.product_name && row.type == type) return row.prefix;
    return "";
}

Family family_of(ProductType type)
{
    switch (type) {
    case ProductType::pcae:
    case ProductType::pcap:
    case ProductType::pcas: return Family::camera;
    case ProductType::ppae:
    case ProductType::ppap: return Family::photometer;
    case ProductType::pla:
    case ProductType::psa: return Family::spectrometer;
    case ProductType::pga: break;
    }
    return Family::image;
}

// ---------------------------------------------------------------- Product

Product::Product(Product &&other) noexcept { *this = std::move(other); }

Product &Product::operator=(Product &&other) noexcept
{
    if (this == &other) return *this;
    if (unit_open_) tcls(kInputUnit);
    type_ = other.type_;
    path_ = std::move(other.path_);
    cards_ = std::move(other.cards_);
    counts_ = other.counts_;
    columns_ = std::move(other.columns_);
    records_ = std::move(other.records_);
    wavelengths_um_ = other.wavelengths_um_;
    unit_open_ = std::exchange(other.unit_open_, false);
    return *this;
}

void Product::close_input()
{
    if (std::exchange(unit_open_, false)) tcls(kInputUnit);
}

Product::~Product()
{
    if (unit_open_) tcls(kInputUnit);
}

std::size_t Product::record_count() const
{
    return std::visit([](const auto &records) { return records.size(); }, records_);
}

std::optional<std::size_t> Product::filter_card(int n) const
{
    const std::optional<std::string> key = numbered_prefix("FILTER", n, kFitsKeywordLength);
    return key ? cards_.first(*key) : std::nullopt;
}

CameraPlace Product::camera_place(std::size_t i) const
{
    CameraPlace place;
    place.filter = static_cast<int>(i) + 1;
    place.pointing = counts_.instrument;
    if (type_ == ProductType::pcas) {
        // Record i is raster point (point, line) of its filter. Its pointing
        // comes from its own columns, for the columns the product describes.
        const std::size_t per_filter = static_cast<std::size_t>(counts_.points) * counts_.lines;
        const std::size_t at = i % per_filter;
        place.filter = static_cast<int>(i / per_filter) + 1;
        place.point = static_cast<int>(at % counts_.points) + 1;
        place.line = static_cast<int>(at / counts_.points) + 1;
        place.first_of_filter = at == 0;
        const data_pcas &rec = records<data_pcas>().at(i);
        auto described = [this](int n) {
            return std::any_of(columns_.begin(), columns_.end(), [n](const TableColumn &c) { return c.n == n; });
        };
        place.pointing.ra = described(2) ? rec.ra : 0.0;
        place.pointing.dec = described(4) ? rec.dec : 0.0;
        place.pointing.roll = described(6) ? rec.roll : 0.0;
    }
    if (const std::optional<std::size_t> card = filter_card(place.filter))
        place.detector = detector_of(split_card(cards_[*card]).value);
    place.pixels = pixel_positions(place.detector, place.pointing);
    return place;
}

double Product::mjy_factor(int p) const
{
    const double lambda = wavelengths_um_.at(static_cast<std::size_t>(p));
    return static_cast<double>(kW2J) * lambda * lambda;
}

// ---------------------------------------------------------------- loading

struct ProductLoader {
    static LoadError open(Product &p, const std::string &path);
    static void read(Product &p, const LoadOptions &options);
    static void finish(Product &p, const LoadOptions &options)
    {
        if (p.unit_open_ && p.type_ != ProductType::pga) read(p, options);
        if (std::exchange(p.unit_open_, false)) tcls(kInputUnit);
    }
    template <class Rec> static void read_as(Product &p, const RowPlan &plan, const LoadOptions &options)
    {
        p.records_ = read_rows<Rec>(p.type_, plan, options.all_columns);
    }
};

LoadError ProductLoader::open(Product &p, const std::string &path)
{
    p.path_ = path;
    int nparms = 0;
    topenr(kInputUnit, path.c_str(), &nparms);
    p.unit_open_ = true;
    if (itstat() != 0) return LoadError::cannot_open;
    if (tgettyp(kInputUnit) != kFitsFile) return LoadError::not_fits;

    const char *primary = nullptr, *extension = nullptr;
    int primary_bytes = 0, extension_bytes = 0;
    tget_primary(kInputUnit, &primary, &primary_bytes);
    tget_extension(kInputUnit, &extension, &extension_bytes);
    auto text = [](const char *at, int bytes) {
        return at != nullptr && bytes > 0 ? std::string_view(at, static_cast<std::size_t>(bytes))
                                          : std::string_view();
    };
    p.cards_ = CardStore(text(primary, primary_bytes), text(extension, extension_bytes));

    const std::optional<ProductType> type = type_of(p.cards_, path);
    if (!type) return LoadError::unknown_type;
    p.type_ = *type;
    p.counts_ = counts_of(p.cards_);
    p.columns_ = columns_of(p.cards_);
    p.wavelengths_um_ = wavelengths_of(p.cards_);
    return LoadError::none;
}

void ProductLoader::read(Product &p, const LoadOptions &options)
{
    const Counts &c = p.counts_;
    // The records to read of count: at most kMaxRecords for a listing; for a
    // table every one, but no more than the table's rows.
    const auto limit = [&](unsigned __int128 count) -> std::size_t {
        if (!options.every_record) return static_cast<std::size_t>(limit_records(count));
        return static_cast<std::size_t>(std::min<unsigned __int128>(count, static_cast<unsigned>(c.rows)));
    };
    if (p.type_ == ProductType::pcas) {
        // Points x lines per filter. Each factor fits an int, so the product
        // of the three is computed in 128 bits.
        const auto per_filter = static_cast<unsigned long long>(c.points) * static_cast<unsigned>(c.lines);
        const std::size_t count = limit(static_cast<unsigned __int128>(per_filter) * static_cast<unsigned>(c.filters));
        p.records_planned_ = count;
        read_as<data_pcas>(p, {count, per_filter, options.reported_from}, options);
        return;
    }
    const std::size_t rows = limit(static_cast<unsigned>(c.rows));
    const RowPlan plan{rows, rows, options.reported_from};
    p.records_planned_ = rows;
    switch (p.type_) {
    case ProductType::pcae: read_as<data_pcae>(p, plan, options); break;
    case ProductType::pcap: read_as<data_pcap>(p, plan, options); break;
    case ProductType::ppae:
    case ProductType::ppap: read_as<data_ppa>(p, plan, options); break;
    case ProductType::pla:
    case ProductType::psa: read_as<data_pls>(p, plan, options); break;
    case ProductType::pcas:
    case ProductType::pga: break;
    }
}

ProductLoad open_product(const std::string &path)
{
    ProductLoad load;
    load.error = ProductLoader::open(load.product, path);
    return load;
}

void read_records(Product &product, const LoadOptions &options) { ProductLoader::finish(product, options); }

ProductLoad load_product(const std::string &path, const LoadOptions &options)
{
    ProductLoad load = open_product(path);
    if (load.error == LoadError::none) read_records(load.product, options);
    return load;
}
