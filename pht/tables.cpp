#include "tables.h"

#include <algorithm>
#include <cctype>
#include <limits>
#include <string_view>

#include "camera_pixels.h"
#include "text_format.h"

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

std::string trim_end(std::string_view s)
{
    const std::size_t end = s.find_last_not_of(' ');
    return std::string(end == std::string_view::npos ? std::string_view() : s.substr(0, end + 1));
}

// Descriptions and units without the blanks of the card layout.
std::string trim(std::string_view s)
{
    const std::size_t begin = s.find_first_not_of(' ');
    return begin == std::string_view::npos ? std::string() : trim_end(s.substr(begin));
}

const ProductColumn *find_column(const ProductSummary &product, std::string_view name)
{
    for (const auto &column : product.columns)
        if (trim_end(column.name) == name) return &column;
    return nullptr;
}

// The stored column of that name, added to the table with the product's
// unit and description; nothing when the product has no such column.
template <class T>
std::optional<EcsvColumnId<T>> stored_column(EcsvTable &table, const ProductSummary &product,
                                             std::string_view name)
{
    const ProductColumn *column = find_column(product, name);
    if (column == nullptr) return std::nullopt;
    return table.add_column<T>(std::string(name), trim(column->unit), trim(column->description));
}

// The spectrometer products name a column PLA... or, failing that, PSA...
template <class T>
std::optional<EcsvColumnId<T>> stored_column(EcsvTable &table, const ProductSummary &product,
                                             std::string_view pla, std::string_view psa)
{
    auto id = stored_column<T>(table, product, pla);
    return id ? id : stored_column<T>(table, product, psa);
}

// Hands the rows over when the table holds a chunk of them; false when
// the sink stopped the export.
bool hand_over(EcsvTable &table, const TableSink &sink)
{
    return !sink || table.rows() < kTableChunkRows || sink(table);
}

// Room for the rows the table will hold at once: a chunk and the rows of
// one more record with a sink, else all of them.
void reserve_rows(EcsvTable &table, const TableSink &sink, std::size_t records, std::size_t per_record)
{
    table.reserve(sink ? std::min(records * per_record, kTableChunkRows + per_record)
                       : records * per_record);
}

void add_product_meta(EcsvTable &table, const ProductSummary &p)
{
    const auto text = [](const std::string &s) { return EcsvScalar(trim_end(s)); };
    const auto number = [](std::optional<double> v) { return v ? EcsvScalar(*v) : EcsvScalar(); };
    const auto time = [](const std::string &s) {
        const auto iso = iso_time(trim_end(s));
        return iso ? EcsvScalar(*iso) : EcsvScalar();
    };
    table.add_meta("FILENAME", text(p.filename));
    table.add_meta("PRODUCT", text(p.product));
    table.add_meta("OBJECT", text(p.object));
    table.add_meta("OBSERVER", text(p.observer));
    table.add_meta("PROPOSAL", text(p.proposal));
    table.add_meta("AOT", text(p.aot));
    table.add_meta("RA_PNT", number(p.ra));
    table.add_meta("DEC_PNT", number(p.dec));
    table.add_meta("EQUINOX", number(p.equinox));
    table.add_meta("DATE-OBS", time(p.start_utc));
    table.add_meta("DATE-END", time(p.end_utc));
    table.add_meta("TIMESYS", std::string("UTC"));
    table.add_meta("CREATED", text(p.created));
    table.add_meta("PIPELINE_VERSION", text(p.pipeline));
    table.add_meta("SOURCE", p.source_path);
    table.add_meta("CREATOR", p.program);
    table.add_meta("CREATOR_VERSION", p.program_version);
}

// ---------------------------------------------------------------------------
// Camera

// Pixel numbers in the order of the record arrays (pixel n is element
// n - 1): a C200 array has 4, a C100 array 9, and without a detector all 9
// elements are shown.
int pixel_count(Detector detector) { return detector == Detector::c200 ? 4 : kPixels; }

const char *detector_name(Detector detector)
{
    switch (detector) {
    case Detector::c100: return "C100";
    case Detector::c200: return "C200";
    case Detector::none: break;
    }
    return "";
}

// Row and column on the sky (1-based from the top left) of every element
// of the detector's arrays; 0 without a detector.
struct PixelPlace {
    int row = 0, column = 0;
};
std::array<PixelPlace, kPixels> pixel_places(Detector detector)
{
    std::array<PixelPlace, kPixels> places{};
    if (detector == Detector::none) return places;
    const PixelLayout &layout = pixel_layout(detector);
    for (int r = 0; r < layout.size; ++r)
        for (int c = 0; c < layout.size; ++c)
            places[static_cast<std::size_t>(layout.element[r][c])] = {r + 1, c + 1};
    return places;
}

std::string filter_name(FilterNames filters, int filter)
{
    const auto index = static_cast<std::size_t>(filter - 1);
    return filter >= 1 && index < filters.size() ? trim_end(filters[index]) : std::string();
}

struct CameraColumns {
    EcsvColumnId<std::int32_t> filter;
    EcsvColumnId<std::string> filter_name, detector;
    EcsvColumnId<std::int32_t> pixel, row, column;
    EcsvColumnId<double> ra, dec;
};

CameraColumns add_camera_columns(EcsvTable &t)
{
    return {
        t.add_column<std::int32_t>("FILTER", "", "Filter number"),
        t.add_column<std::string>("FILTER_NAME", "", "Filter (value of the FILTERn card)"),
        t.add_column<std::string>("DETECTOR", "", "Detector array of the filter: C100 or C200"),
        t.add_column<std::int32_t>("PIXEL", "", "Detector pixel number"),
        t.add_column<std::int32_t>("PIXEL_ROW", "",
                                   "Row of the pixel on the sky, 1 at the top (0: no detector)"),
        t.add_column<std::int32_t>("PIXEL_COLUMN", "",
                                   "Column of the pixel on the sky, 1 at the left (0: no detector)"),
        t.add_column<double>("RA", "deg", "Right ascension of the pixel centre (J2000)"),
        t.add_column<double>("DEC", "deg", "Declination of the pixel centre (J2000)"),
    };
}

// A per-pixel array of a camera record and the table column it fills.
template <class Record>
using PixelArray = float (Record::*)[kPixels];

template <class Record>
struct PixelField {
    const char *suffix;  // behind the product's prefix
    PixelArray<Record> values;
};

template <class Record>
struct BoundPixelField {
    EcsvColumnId<float> id;
    PixelArray<Record> values;
};

template <class Record, std::size_t N>
std::vector<BoundPixelField<Record>> add_pixel_fields(EcsvTable &t, const ProductSummary &product,
                                                      const std::string &prefix,
                                                      const PixelField<Record> (&fields)[N])
{
    std::vector<BoundPixelField<Record>> bound;
    for (const auto &field : fields)
        if (auto id = stored_column<float>(t, product, prefix + field.suffix))
            bound.push_back({*id, field.values});
    return bound;
}

// The rows of one camera record: one per pixel of its detector, placed on
// the detector and positioned where the record's place puts it, with the
// record's stored values. Returns the number of rows.
template <class Record>
int add_pixel_rows(EcsvTable &t, const CameraColumns &c, FilterNames filters,
                   const CameraPlace &place, const Record &record,
                   const std::vector<BoundPixelField<Record>> &fields)
{
    const auto places = pixel_places(place.detector);
    const int pixels = pixel_count(place.detector);
    const std::string name = filter_name(filters, place.filter);
    // The place's positions run row by row from the top left.
    const int size = place.detector == Detector::none ? 0 : pixel_layout(place.detector).size;
    for (int e = 0; e < pixels; ++e) {
        const PixelPlace at = places[static_cast<std::size_t>(e)];
        const auto k = static_cast<std::size_t>((at.row - 1) * size + (at.column - 1));
        const SkyPosition sky = size > 0 && k < place.pixels.size() ? place.pixels[k]
                                                                    : SkyPosition{kNaN, kNaN};
        t.push(c.filter, place.filter);
        t.push(c.filter_name, name);
        t.push(c.detector, detector_name(place.detector));
        t.push(c.pixel, e + 1);
        t.push(c.row, at.row);
        t.push(c.column, at.column);
        t.push(c.ra, sky.ra);
        t.push(c.dec, sky.dec);
        for (const auto &field : fields) t.push(field.id, (record.*field.values)[e]);
    }
    return pixels;
}

// OFF #1, ON+OFF and OFF #2 with their uncertainties.
template <class Record>
constexpr PixelField<Record> kIntensityFields[] = {
    {"B1", &Record::b1},   {"B1U", &Record::b1u}, {"SPB", &Record::spb},
    {"SPBU", &Record::spbu}, {"B2", &Record::b2},  {"B2U", &Record::b2u},
};

template <class Record>
EcsvTable filter_pixel_table(const ProductSummary &product, const std::string &prefix,
                             FilterNames filters, std::span<const Record> records,
                             std::span<const CameraPlace> places, const TableSink &sink)
{
    EcsvTable t;
    add_product_meta(t, product);
    const CameraColumns c = add_camera_columns(t);
    const auto fields = add_pixel_fields(t, product, prefix, kIntensityFields<Record>);
    reserve_rows(t, sink, records.size(), kPixels);
    for (std::size_t k = 0; k < records.size() && k < places.size(); ++k) {
        add_pixel_rows(t, c, filters, places[k], records[k], fields);
        if (!hand_over(t, sink)) break;
    }
    return t;
}

constexpr PixelField<data_pcas> kBrightnessFields[] = {
    {"BRGT", &data_pcas::brgt},
    {"BRGU", &data_pcas::brgu},
};

// ---------------------------------------------------------------------------
// Spectrometer

// A stored array under its PLA and PSA names; mjy_description names its
// flux density column, for the arrays the listing converts to mJy.
struct SpectrometerField {
    const char *pla, *psa;
    PlsArray values;
    const char *mjy_description;
};

constexpr SpectrometerField kSpectrometerFields[] = {
    {"PLAPSRCE", "PSAPSRCE", &data_pls::srce, "ON-source flux density"},
    {"PLAPSRCU", "PSAPSRCU", &data_pls::srcu, "Uncertainty of the ON-source flux density"},
    {"PLAPBCK", "PSAPBCK", &data_pls::bck, "Flux density of the mean of the OFF positions"},
    {"PLAPBCKU", "PSAPBCKU", &data_pls::bcku, "Uncertainty of the mean OFF flux density"},
    {"PLAPSPB", "PSAPSPB", &data_pls::spb, nullptr},
    {"PLAPSPBU", "PSAPSPBU", &data_pls::spbu, nullptr},
    {"PLAPBCK1", "PSAPBCK1", &data_pls::bck1, "Flux density of OFF position 1"},
    {"PLAPBK1U", "PSAPBK1U", &data_pls::bk1u, "Uncertainty of the OFF position 1 flux density"},
    {"PLAPBCK2", "PSAPBCK2", &data_pls::bck2, "Flux density of OFF position 2"},
    {"PLAPBK2U", "PSAPBK2U", &data_pls::bk2u, "Uncertainty of the OFF position 2 flux density"},
};

struct BoundSpectrometerField {
    PlsArray values;
    EcsvColumnId<float> stored;
    std::optional<EcsvColumnId<double>> mjy;
};

// The stored arrays the product has, in its column order, then the flux
// density in mJy of those the listing converts.
std::vector<BoundSpectrometerField> add_spectrometer_fields(EcsvTable &t,
                                                            const ProductSummary &product)
{
    std::vector<BoundSpectrometerField> bound;
    std::vector<const char *> mjy_descriptions;
    for (const auto &field : kSpectrometerFields)
        if (auto id = stored_column<float>(t, product, field.pla, field.psa)) {
            bound.push_back({field.values, *id, std::nullopt});
            mjy_descriptions.push_back(field.mjy_description);
        }
    for (std::size_t i = 0; i < bound.size(); ++i)
        if (mjy_descriptions[i] != nullptr)
            bound[i].mjy = t.add_column<double>(t.columns()[bound[i].stored.index].name + "_MJY",
                                                "mJy", mjy_descriptions[i]);
    return bound;
}

// ---------------------------------------------------------------------------
// Photometer

struct PhotometerField {
    const char *suffix;
    float PhotometerConfiguration::*value;
};

constexpr PhotometerField kPhotometerFields[] = {
    {"SRCE", &PhotometerConfiguration::srce}, {"SRCU", &PhotometerConfiguration::srcu},
    {"BACK", &PhotometerConfiguration::back}, {"BCKU", &PhotometerConfiguration::bcku},
    {"SPB", &PhotometerConfiguration::spb},   {"SPBU", &PhotometerConfiguration::spbu},
    {"BCK1", &PhotometerConfiguration::bck1}, {"BK1U", &PhotometerConfiguration::bk1u},
    {"BCK2", &PhotometerConfiguration::bck2}, {"BK2U", &PhotometerConfiguration::bk2u},
    {"BINT", &PhotometerConfiguration::bint}, {"BINU", &PhotometerConfiguration::binu},
};

}  // namespace

EcsvTable pcae_table(const ProductSummary &product, FilterNames filters,
                     std::span<const data_pcae> records, std::span<const CameraPlace> places,
                     const TableSink &sink)
{
    return filter_pixel_table(product, "PCAE", filters, records, places, sink);
}

EcsvTable pcap_table(const ProductSummary &product, FilterNames filters,
                     std::span<const data_pcap> records, std::span<const CameraPlace> places,
                     const TableSink &sink)
{
    return filter_pixel_table(product, "PCAP", filters, records, places, sink);
}

EcsvTable pcas_table(const ProductSummary &product, FilterNames filters,
                     std::span<const data_pcas> records, std::span<const CameraPlace> places,
                     const TableSink &sink)
{
    EcsvTable t;
    add_product_meta(t, product);
    const auto point = t.add_column<std::int32_t>("RASTER_POINT", "", "Raster point along its line");
    const auto line = t.add_column<std::int32_t>("RASTER_LINE", "", "Raster line");
    const CameraColumns c = add_camera_columns(t);
    const auto fields = add_pixel_fields(t, product, "PCAS", kBrightnessFields);
    reserve_rows(t, sink, records.size(), kPixels);
    for (std::size_t i = 0; i < records.size() && i < places.size(); ++i) {
        const int rows = add_pixel_rows(t, c, filters, places[i], records[i], fields);
        for (int n = 0; n < rows; ++n) {
            t.push(point, places[i].point);
            t.push(line, places[i].line);
        }
        if (!hand_over(t, sink)) break;
    }
    return t;
}

EcsvTable spectrometer_table(const ProductSummary &product,
                             const std::array<float, kPlsPixels> &wavelength_um,
                             const std::array<double, kPlsPixels> &mjy_factor,
                             std::span<const data_pls> records, const TableSink &sink)
{
    EcsvTable t;
    add_product_meta(t, product);
    const auto measurement = t.add_column<std::int32_t>("MEASUREMENT", "", "Measurement number");
    const auto dark = stored_column<std::int32_t>(t, product, "PLAPDFLG", "PSAPDFLG");
    const auto nbck = stored_column<std::int32_t>(t, product, "PLAPNBCK", "PSAPNBCK");
    const auto pixel = t.add_column<std::int32_t>("PIXEL", "", "Detector pixel number");
    const auto wavelength =
        t.add_column<float>("WAVELENGTH", "um", "Wavelength of the pixel (LAMBDAn card)");
    const auto fields = add_spectrometer_fields(t, product);
    reserve_rows(t, sink, records.size(), kPlsPixels);
    std::array<std::int32_t, kPlsPixels> pixels{};
    for (int p = 0; p < kPlsPixels; ++p) pixels[static_cast<std::size_t>(p)] = p + 1;
    std::array<double, kPlsPixels> mjy{};
    // A record's 64 rows, column by column.
    for (std::size_t k = 0; k < records.size(); ++k) {
        const data_pls &r = records[k];
        t.fill(measurement, kPlsPixels, static_cast<std::int32_t>(k + 1));
        if (dark) t.fill(*dark, kPlsPixels, r.dflag);
        if (nbck) t.fill(*nbck, kPlsPixels, r.nbck);
        t.append<std::int32_t>(pixel, pixels);
        t.append<float>(wavelength, wavelength_um);
        for (const auto &field : fields) {
            const float(&values)[kPlsPixels] = r.*field.values;
            t.append<float>(field.stored, values);
            if (!field.mjy) continue;
            for (std::size_t p = 0; p < mjy.size(); ++p) mjy[p] = mjy_factor[p] * values[p];
            t.append<double>(*field.mjy, mjy);
        }
        if (!hand_over(t, sink)) break;
    }
    return t;
}

EcsvTable photometer_table(const ProductSummary &product,
                           std::span<const PhotometerConfiguration> configurations)
{
    EcsvTable t;
    add_product_meta(t, product);
    const std::string prefix = trim_end(product.product);
    const auto number = t.add_column<std::int32_t>("CONFIGURATION", "",
                                                   "Filter/aperture configuration number");
    const auto filter = t.add_column<std::string>("FILTER", "", "Filter (value of the FILTERn card)");
    const auto aperture =
        t.add_column<std::string>("APERTURE", "", "Aperture (value of the APERn card)");
    const auto nbck = stored_column<std::int32_t>(t, product, prefix + "NBCK");
    std::vector<std::pair<EcsvColumnId<float>, float PhotometerConfiguration::*>> values;
    for (const auto &field : kPhotometerFields)
        if (auto id = stored_column<float>(t, product, prefix + field.suffix))
            values.emplace_back(*id, field.value);
    for (std::size_t k = 0; k < configurations.size(); ++k) {
        const PhotometerConfiguration &c = configurations[k];
        t.push(number, static_cast<std::int32_t>(k + 1));
        t.push(filter, trim_end(c.filter));
        t.push(aperture, trim_end(c.aperture));
        if (nbck) t.push(*nbck, c.nbck);
        for (const auto &[id, value] : values) t.push(id, c.*value);
    }
    return t;
}

std::optional<std::string> iso_time(const std::string &text)
{
    if (text.size() != 11) return std::nullopt;
    for (char ch : text)
        if (!std::isdigit(static_cast<unsigned char>(ch))) return std::nullopt;
    const auto field = [&](std::size_t at, std::size_t n) { return std::stoi(text.substr(at, n)); };
    const int yy = field(0, 2), day_of_year = field(2, 3);
    const int hour = field(5, 2), minute = field(7, 2), second = field(9, 2);
    // The mission's years, 1990-1999, have a leap day every fourth year.
    const bool leap = yy % 4 == 0;
    if (yy < 90 || day_of_year < 1 || day_of_year > (leap ? 366 : 365) || hour > 23 ||
        minute > 59 || second > 60)
        return std::nullopt;
    int month_days[12] = {31, leap ? 29 : 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    int month = 0, day = day_of_year;
    while (day > month_days[month]) day -= month_days[month++];
    return text_format("%04d-%02d-%02dT%02d:%02d:%02d", 1900 + yy, month + 1, day, hour, minute,
                       second);
}
