// Listing of the camera products PCAE, PCAP and PCAS: the head (normal
// summary or full verbose header listing), then the measurement section:
// the detector diagram and per record its filter or raster-point heading,
// its column lines, the sky position of every pixel and, in the normal
// listing, the pixel tables. The three products share every piece; what
// differs between them is held in the tables below.
#include <algorithm>
#include <array>
#include <optional>
#include <span>
#include <string>
#include <type_traits>
#include <vector>

#include "camera_pixels.h"
#include "listings.h"
#include "listing_head.h"

namespace {

// ---------------------------------------------------------------- head

constexpr unsigned kOnlyPcae = for_types({ProductType::pcae});
constexpr unsigned kOnlyPcap = for_types({ProductType::pcap});
constexpr unsigned kOnlyPcas = for_types({ProductType::pcas});

// Every card of the full header listing gets a standard line unless a rule
// says otherwise. The per-filter user parameters are left out here and
// listed with their filter. Creation date, attitude, chopper mode, COMMENT
// and HISTORY cards follow the shared rules of listing_head.h.
const HeadRule kVerboseRules[] = {
    {.begins = "FPCMODE ", .line = Line::decoded,
     .after = "\n\n\nUser specified parameters:\n--------------------------\n\n"},
    {.begins = "ORIGIN  ", .line = Line::labelled, .label = " Data Origin                                    "},
    {.begins = "TELESCOP", .line = Line::labelled, .label = " Telescope                                      "},
    {.begins = "FILEVERS", .line = Line::labelled, .label = " File version ID in ISO archive                 "},
    {.begins = "XTENSION", .each = "\n\nBinary Table Extension Headers:\n================================\n\n\n"},
    {.begins = "FILTER", .line = Line::numbered, .label = "Filter No. %d                                   "},
    {.begins = "MXBACK", .after = "\n"},
    {.begins = "FLUX", .line = Line::skip, .only = kOnlyPcap},
    {.begins = "BRGT", .line = Line::skip, .only = kOnlyPcae},
    {.begins = "BACK", .line = Line::skip, .only = kOnlyPcae | kOnlyPcap},
    {.begins = "MXBRGT", .line = Line::skip, .only = kOnlyPcas},
    {.begins = "UNBRGT", .line = Line::skip, .only = kOnlyPcas},
};

const HeadSpec kVerboseHead{"\n\nPrimary FITS headers:\n=====================\n\n", {},
                            {kVerboseRules, kLeadCards, kCommentaryCards}, Line::standard};

// ---------------------------------------------------------------- columns

// How column n of a record is written.
enum class Shape {
    int8,           // "%8d"
    int7,           // "%7d"
    real8,          // "%8.4f" or "%g"
    real7,          // "%7.2f" or "%g"
    pair8,          // "(%8.4f,%8.4f)" or "(%g,%g)"
    pair2,          // "(%8.2f,%8.2f)" or "(%g,%g)"
    pixels,         // verbose pixel table
    source_pixels,  // verbose PCAP source table (earlier %g switch on C100)
    last_pixels,    // verbose pixel table closed by an empty line on C100
    status,         // verbose PCAS status table
    fill,           // verbose PCAS fill row
    cycles,         // verbose PCAP cycle counts
};

bool is_table(Shape s) { return s >= Shape::pixels; }

// The values of one field of a record, whatever its type.
struct FieldValue {
    int32_t integer = 0;
    double real[2] = {0.0, 0.0};
    const float *floats = nullptr;
    const int32_t *ints = nullptr;
};

template <class M> struct member_of;
template <class R, class T> struct member_of<T R::*> {
    using record = R;
    using type = T;
};
template <auto M> using record_of = typename member_of<decltype(M)>::record;

template <auto M> FieldValue value_of(const record_of<M> &rec)
{
    using T = typename member_of<decltype(M)>::type;
    const auto &f = rec.*M;
    FieldValue v;
    if constexpr (std::is_same_v<T, int32_t>) {
        v.integer = f;
    } else if constexpr (std::is_same_v<T, float>) {
        v.real[0] = static_cast<double>(f);
    } else if constexpr (std::is_same_v<T, float[2]>) {
        v.real[0] = static_cast<double>(f[0]);
        v.real[1] = static_cast<double>(f[1]);
    } else if constexpr (std::is_same_v<std::remove_extent_t<T>, float>) {
        v.floats = f;
    } else {
        v.ints = f;
    }
    return v;
}

// Column n of a record: the n of its TTYPEn card.
template <class Rec> struct ColumnOut {
    int n = 0;
    Shape shape = Shape::int8;
    bool verbose_only = false;
    FieldValue (*value)(const Rec &) = nullptr;
    const char *label = nullptr;  // fixed label instead of the TTYPE comment
};

template <auto M>
constexpr ColumnOut<record_of<M>> col(int n, Shape shape, bool verbose = false, const char *label = nullptr)
{
    return {n, shape, verbose, &value_of<M>, label};
}

constexpr bool V = true;  // verbose listing only

const ColumnOut<data_pcae> kPcaeLines[] = {
    col<&data_pcae::filt>(1, Shape::int8, V),     col<&data_pcae::nbck>(2, Shape::int7),
    col<&data_pcae::npix>(3, Shape::int7),        col<&data_pcae::srce>(4, Shape::pixels, V),
    col<&data_pcae::srcu>(5, Shape::pixels, V),   col<&data_pcae::spb>(6, Shape::pixels, V),
    col<&data_pcae::spbu>(7, Shape::pixels, V),   col<&data_pcae::b1>(8, Shape::pixels, V),
    col<&data_pcae::b1u>(9, Shape::pixels, V),    col<&data_pcae::b2>(10, Shape::pixels, V),
    col<&data_pcae::b2u>(11, Shape::last_pixels, V),
    col<&data_pcae::back>(12, Shape::real7),      col<&data_pcae::bcku>(13, Shape::real7),
    col<&data_pcae::bck1>(14, Shape::real7),      col<&data_pcae::bk1u>(15, Shape::real7),
    col<&data_pcae::bck2>(16, Shape::real7),      col<&data_pcae::bk2u>(17, Shape::real7),
};

const ColumnOut<data_pcap> kPcapLines[] = {
    col<&data_pcap::filt>(1, Shape::int8, V),     col<&data_pcap::nbck>(2, Shape::int8),
    col<&data_pcap::npix>(3, Shape::int8),        col<&data_pcap::srce>(4, Shape::source_pixels, V),
    col<&data_pcap::srcu>(5, Shape::pixels, V),   col<&data_pcap::spb>(6, Shape::pixels, V),
    col<&data_pcap::spbu>(7, Shape::pixels, V),   col<&data_pcap::b1>(8, Shape::pixels, V),
    col<&data_pcap::b1u>(9, Shape::pixels, V),    col<&data_pcap::b2>(10, Shape::pixels, V),
    col<&data_pcap::b2u>(11, Shape::last_pixels, V),
    col<&data_pcap::peak>(12, Shape::real8),      col<&data_pcap::pku>(13, Shape::real8),
    col<&data_pcap::bcks>(14, Shape::real8),      col<&data_pcap::bksu>(15, Shape::real8),
    col<&data_pcap::bck1>(16, Shape::real8),      col<&data_pcap::bk1u>(17, Shape::real8),
    col<&data_pcap::bck2>(18, Shape::real8),      col<&data_pcap::bk2u>(19, Shape::real8),
    col<&data_pcap::bins>(20, Shape::real8),      col<&data_pcap::bisu>(21, Shape::real8),
    col<&data_pcap::bin1>(22, Shape::real8),      col<&data_pcap::bi1u>(23, Shape::real8),
    col<&data_pcap::bin2>(24, Shape::real8),      col<&data_pcap::bi2u>(25, Shape::real8),
    col<&data_pcap::off>(26, Shape::pair8),       col<&data_pcap::offu>(27, Shape::pair2),
    col<&data_pcap::fitu>(28, Shape::real8),      col<&data_pcap::stat>(29, Shape::int8),
    col<&data_pcap::ncyc>(30, Shape::cycles, V),
};

constexpr const char *kRaLabel = "Right Ascension (degrees)                      ";
constexpr const char *kDecLabel = "Declination (degrees)                          ";
constexpr const char *kRollLabel = "Roll angle (degrees)                           ";
constexpr const char *kErrLabel = "Uncertainty (degrees)                          ";

const ColumnOut<data_pcas> kPcasLines[] = {
    col<&data_pcas::filt>(1, Shape::int8, V),
    col<&data_pcas::ra>(2, Shape::real8, false, kRaLabel),
    col<&data_pcas::rau>(3, Shape::real8, false, kErrLabel),
    col<&data_pcas::dec>(4, Shape::real8, false, kDecLabel),
    col<&data_pcas::decu>(5, Shape::real8, false, kErrLabel),
    col<&data_pcas::roll>(6, Shape::real8, false, kRollLabel),
    col<&data_pcas::rolu>(7, Shape::real8, false, kErrLabel),
    col<&data_pcas::avgb>(8, Shape::real8),
    col<&data_pcas::npix>(9, Shape::int8, V),
    col<&data_pcas::brgt>(10, Shape::pixels, V),
    col<&data_pcas::brgu>(11, Shape::pixels, V),
    col<&data_pcas::stat>(12, Shape::status, V),
    col<&data_pcas::fill>(13, Shape::fill, V),
};

// Per-filter user parameter cards.
constexpr NumberedStem kPcaeParameters[] = {{"BRGT", 6}, {"BRGTUNC", 8}, {"BACK", 6}};
constexpr NumberedStem kPcapParameters[] = {{"FLUX", 6}, {"FLUXUNC", 8}, {"BACK", 6}};
constexpr NumberedStem kPcasParameters[] = {{"MXBRGT", 8}, {"UNBRGT", 8}};

// What differs between the three products.
template <class Rec> struct Camera {
    std::span<const ColumnOut<Rec>> lines;
    std::span<const NumberedStem> parameters;
};

const Camera<data_pcae> kPcae{kPcaeLines, kPcaeParameters};
const Camera<data_pcap> kPcap{kPcapLines, kPcapParameters};
const Camera<data_pcas> kPcas{kPcasLines, kPcasParameters};

// ---------------------------------------------------------------- lines

struct Listing {
    ListingWriter &out;
    const Product &product;
    bool verbose;

    ProductType type() const { return product.type(); }
};

void value_line(const Listing &L, Shape shape, const std::string &label, const FieldValue &v,
                const std::string &name)
{
    const char *lab = label.c_str();
    const char *nm = name.c_str();
    const double *pair = v.real;
    const bool g1 = row_uses_g(L.type(), std::span<const double>(pair, 1));
    const bool g2 = row_uses_g(L.type(), std::span<const double>(pair, 2));
    switch (shape) {
    case Shape::int8: L.out.line("%.47s= %8d             %s\n", lab, v.integer, nm); break;
    case Shape::int7: L.out.line("%.47s= %7d              %s\n", lab, v.integer, nm); break;
    case Shape::real8:
        if (g1) L.out.line("%.47s= %g             %s\n", lab, pair[0], nm);
        else L.out.line("%.47s= %8.4f             %s\n", lab, pair[0], nm);
        break;
    case Shape::real7:
        if (g1) L.out.line("%.47s= %g              %s\n", lab, pair[0], nm);
        else L.out.line("%.47s= %7.2f              %s\n", lab, pair[0], nm);
        break;
    case Shape::pair8:
    case Shape::pair2:
        if (g2) L.out.line("%.47s= (%g,%g)  %s\n", lab, pair[0], pair[1], nm);
        else if (shape == Shape::pair8) L.out.line("%.47s= (%8.4f,%8.4f)  %s\n", lab, pair[0], pair[1], nm);
        else L.out.line("%.47s= (%8.2f,%8.2f)  %s\n", lab, pair[0], pair[1], nm);
        break;
    default: break;
    }
}

void pixel_table(const Listing &L, Shape shape, Detector detector, const std::string &heading,
                 const FieldValue &v)
{
    L.out.line("\n%s\n", heading.c_str());
    // PCAS brightness tables always have the nine C100 pixels.
    const Detector pixels = L.type() == ProductType::pcas ? Detector::c100 : detector;
    switch (shape) {
    case Shape::pixels: L.out.put(float_pixel_rows(L.type(), pixels, v.floats, false, false)); break;
    case Shape::source_pixels: L.out.put(float_pixel_rows(L.type(), detector, v.floats, true, false)); break;
    case Shape::last_pixels: L.out.put(float_pixel_rows(L.type(), detector, v.floats, false, true)); break;
    case Shape::status: L.out.put(status_rows(v.ints)); break;
    case Shape::fill: L.out.put(fill_row(v.ints)); break;
    case Shape::cycles: L.out.put(cycle_rows(v.ints)); break;
    default: break;
    }
}

// The columns a product lists, by the n of their TTYPEn card.
template <class Rec> using ColumnsByNumber = std::array<const ColumnOut<Rec> *, 100>;

template <class Rec> ColumnsByNumber<Rec> by_number(std::span<const ColumnOut<Rec>> lines)
{
    ColumnsByNumber<Rec> found{};
    for (const ColumnOut<Rec> &c : lines) found[static_cast<std::size_t>(c.n)] = &c;
    return found;
}

// The column lines and verbose pixel tables of one record, in the order of
// the TTYPEn cards.
template <class Rec>
void column_lines(const Listing &L, const ColumnsByNumber<Rec> &columns, const Rec &rec, Detector detector)
{
    for (const TableColumn &tc : L.product.columns()) {
        const ColumnOut<Rec> *col = columns[static_cast<std::size_t>(tc.n)];
        if (col == nullptr || (col->verbose_only && !L.verbose)) continue;
        const FieldValue v = col->value(rec);
        if (is_table(col->shape))
            pixel_table(L, col->shape, detector, tc.parts.comment, v);
        else
            value_line(L, col->shape, col->label != nullptr ? std::string(col->label) : tc.parts.comment, v,
                       tc.listed_name);
    }
}

// ---------------------------------------------------------------- records

void section_start(ListingWriter &out)
{
    out.put("\n\n\nMeasurements:\n"
            "-------------\n\n"
            "Layout of C100 and C200 pixel numbers: \n\n"
            "                     C100             C200   \n"
            "                 +-----------+     +-------+ \n"
            "                 | 3 | 6 | 9 |     | 3 | 4 | \n"
            "                 |---+---+---|     |---+---| \n"
            "                 | 2 | 5 | 8 |     | 2 | 1 | \n"
            "                 |---+---+---|     +-------+ \n"
            "                 | 1 | 4 | 7 | \n"
            "                 +-----------+ \n");
}

// The heading of filter f from its FILTER card; none without the card.
void filter_heading(const Listing &L, int f)
{
    const std::optional<std::size_t> card = L.product.filter_card(f);
    if (!card) return;
    const CardParts p = split_card(L.product.cards()[*card]);
    L.out.line(L.type() == ProductType::pcas ? "\nFilter No. %d                                   : %s (%s)\n"
                                             : "\n\nFilter No. %d                                   : %s (%s)\n",
               f, p.value.c_str(), p.keyword.c_str());
    L.out.put("============\n\n");
}

// The user parameter cards of filter f, in file order. PCAE cards keep
// their whole comment.
void filter_parameters(const Listing &L, std::span<const NumberedStem> stems, int f)
{
    for (std::size_t i : numbered_cards(L.product.cards(), stems, f)) {
        if (L.type() != ProductType::pcae) {
            write_card_line(L.out, L.product.cards()[i]);
            continue;
        }
        const CardParts p = split_card(L.product.cards()[i]);
        L.out.line("%s: %s (%s)\n", p.comment.c_str(), p.value.c_str(), p.keyword.c_str());
    }
}

// The pixel tables of the normal listing.
template <class Rec> void normal_tables(const Listing &L, const Rec &r, Detector detector)
{
    if constexpr (std::is_same_v<Rec, data_pcas>)
        L.out.put(brightness_tables(r.brgt, r.brgu));
    else
        L.out.put(intensity_tables(L.type(), detector, {r.b1, r.spb, r.b2, r.b1u, r.spbu, r.b2u}));
}

// One record: a PCAE or PCAP filter, or a PCAS raster point (each filter's
// first point under the filter's heading).
template <class Rec>
void write_record(const Listing &L, const Camera<Rec> &camera, const ColumnsByNumber<Rec> &columns, std::size_t i)
{
    const CameraPlace place = L.product.camera_place(i);
    if (place.first_of_filter) {
        L.out.put("\n\n");
        filter_heading(L, place.filter);
        if (L.verbose) filter_parameters(L, camera.parameters, place.filter);
    }
    if (L.type() == ProductType::pcas) L.out.line("\nRaster point: (%d, %d)\n\n", place.point, place.line);
    const Rec &rec = L.product.records<Rec>()[i];
    column_lines(L, columns, rec, place.detector);
    L.out.put(pixel_coordinates(place.pixels));
    if (!L.verbose) normal_tables(L, rec, place.detector);
}

template <class Rec> void write_records(const Listing &L, const Camera<Rec> &camera)
{
    const ColumnsByNumber<Rec> columns = by_number(camera.lines);
    section_start(L.out);
    for (std::size_t i = 0; i < L.product.record_count(); ++i) write_record(L, camera, columns, i);
}

}  // namespace

void write_camera_listing(ListingWriter &out, const Product &product, bool verbose)
{
    const Listing L{out, product, verbose};
    write_listing_start(out, product);
    write_head(out, product, verbose ? kVerboseHead : kCardSummary);
    switch (product.type()) {
    case ProductType::pcae: write_records(L, kPcae); break;
    case ProductType::pcap: write_records(L, kPcap); break;
    default: write_records(L, kPcas); break;
    }
}
