// Listing of the camera products PCAE, PCAP and PCAS.
//
// Three stages: the head (banner, file name and header cards, normal
// summary or full verbose listing, taking the row count, raster size,
// filter count and pointing on the way), the loading of every table row
// into zero-filled records, and the measurement section (detector diagram,
// then per record its filter or raster-point heading, its column lines,
// the sky position of every pixel and, in the normal listing, the pixel
// tables). The three products share every piece; what differs between them
// is held in the column tables below. At most kMaxRecords records are
// listed; later rows are never read.
#include <cmath>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <span>
#include <string>
#include <type_traits>
#include <vector>

#include "listing.h"
#include "parse.h"
#include "pca_pixels.h"
#include "pca_records.h"
#include "pht.h"

namespace {

constexpr std::size_t kLabelWidth = 47;  // "%.47s" of every labelled line
constexpr int kMaxColumn = 30;           // TTYPE1 .. TTYPE30 are examined

struct Pointing {
    double ra = 0.0;   // degrees
    double dec = 0.0;  // degrees
    double phi = 0.0;  // roll angle, degrees
};

// What the head takes from the header cards for the later stages.
struct CameraListing {
    CameraProduct product = CameraProduct::pcae;
    int mode = 0;
    int rowno = 0;     // NAXIS2
    int points = 0;    // ATTRNPTS (PCAS)
    int lines = 0;     // ATTRNLNS (PCAS)
    int filterno = 0;  // cards whose keyword begins with FILTER
    Pointing pointing; // INSTRA, INSTDEC, INSTROLL (PCAE, PCAP)

    bool verbose() const { return mode == 1; }
    bool pcas() const { return product == CameraProduct::pcas; }
};

// ---------------------------------------------------------------------------
// Head

std::string date_line(const CardParts &p)
{
    return text_format("%s: %s (%s)\n", kCreationDateLabel, p.value.c_str(), p.keyword.c_str());
}

// Raster size (PCAS) and pointing (PCAE, PCAP) are taken from the cards
// that both forms of the head print.
void take_value(CameraListing &L, const std::string &card, const CardParts &p)
{
    if (L.pcas()) {
        if (card_is(card, "ATTRNPTS")) L.points = value_count(p.value);
        if (card_is(card, "ATTRNLNS")) L.lines = value_count(p.value);
    } else {
        if (card_is(card, "INSTRA  ")) L.pointing.ra = value_double(p.value);
        if (card_is(card, "INSTDEC ")) L.pointing.dec = value_double(p.value);
        if (card_is(card, "INSTROLL")) L.pointing.phi = value_double(p.value);
    }
}

const std::string *first_card(const char *key)
{
    for (int i = 0; i < header_row; ++i)
        if (card_is(header[static_cast<std::size_t>(i)], key)) return &header[static_cast<std::size_t>(i)];
    return nullptr;
}

void normal_head(CameraListing &L)
{
    if (const std::string *card = first_card("DATE    ")) put(date_line(split_card(*card)));
    if (const std::string *card = first_card("ATTTYPE ")) {
        CardParts p = split_card(*card);
        put(card_line(p.comment, decoded_value(p), p.keyword));
    }
    if (const std::string *card = first_card("FPCMODE ")) {
        CardParts p = split_card(*card);
        put(card_line(kChopperModeLabel, decoded_value(p), p.keyword));
    }

    static constexpr const char *kPrinted[] = {"ATTRNPTS", "ATTRNLNS", "INSTRA  ", "INSTDEC ",
                                               "INSTROLL", "ATTRDPTS", "ATTRDLNS", "ATTRORIE",
                                               "ATTRROTA"};
    for (int i = 0; i < header_row; ++i) {
        const std::string &card = header[static_cast<std::size_t>(i)];
        if (card_is(card, "FILTER")) {
            ++L.filterno;
            continue;
        }
        if (card_is(card, "NAXIS2")) {
            L.rowno = value_count(split_card(card).value);
            continue;
        }
        for (const char *key : kPrinted) {
            if (!card_is(card, key)) continue;
            CardParts p = split_card(card);
            put(card_line(p.comment, p.value, p.keyword));
            take_value(L, card, p);
            break;
        }
    }
}

// Per-filter user parameters, listed filter by filter in the measurement
// section instead of in the verbose head.
bool is_filter_parameter(const CameraListing &L, const std::string &card)
{
    switch (L.product) {
    case CameraProduct::pcap: return card_is(card, "FLUX") || card_is(card, "BACK");
    case CameraProduct::pcae: return card_is(card, "BRGT") || card_is(card, "BACK");
    case CameraProduct::pcas: return card_is(card, "MXBRGT") || card_is(card, "UNBRGT");
    }
    return false;
}

// Replacement descriptions of the verbose head (48 characters, of which
// the standard card line prints 47).
struct Relabel {
    const char *key;
    const char *label;
};
constexpr Relabel kRelabelled[] = {
    {"ORIGIN  ", " Data Origin                                    "},
    {"TELESCOP", " Telescope                                      "},
    {"FILEVERS", " File version ID in ISO archive                 "},
};

// One card of the verbose head.
std::string verbose_card(CameraListing &L, const std::string &card)
{
    if (card_is(card, "DATE    ")) return date_line(split_card(card));
    if (card_is(card, "ATTTYPE ")) {
        CardParts p = split_card(card);
        return card_line(p.comment, decoded_value(p), p.keyword);
    }
    if (card_is(card, "INSTRA  ") || card_is(card, "INSTDEC ") || card_is(card, "INSTROLL")) {
        CardParts p = split_card(card);
        take_value(L, card, p);
        return card_line(p.comment, p.value, p.keyword);
    }
    if (card_is(card, "FPCMODE ")) {
        CardParts p = split_card(card);
        return card_line(p.comment, decoded_value(p), p.keyword) + "\n" +
               "\n\nUser specified parameters:\n" + "--------------------------\n\n";
    }
    for (const Relabel &r : kRelabelled) {
        if (card_is(card, r.key)) {
            CardParts p = split_card(card);
            return card_line(r.label, p.value, p.keyword);
        }
    }
    if (card_is(card, "COMMENT") || card_is(card, "HISTORY")) return card + "\n";
    if (card_is(card, "XTENSION"))
        return std::string("\n\nBinary Table Extension Headers:\n") +
               "================================\n\n\n" + card_line(card);
    if (card_is(card, "ATTRNPTS") || card_is(card, "ATTRNLNS")) {
        CardParts p = split_card(card);
        take_value(L, card, p);
        return card_line(p.comment, p.value, p.keyword);
    }
    if (card_is(card, "FILTER")) {
        CardParts p = split_card(card);
        ++L.filterno;
        return text_format("Filter No. %d                                   : %s (%s)\n", L.filterno,
                         p.value.c_str(), p.keyword.c_str());
    }
    if (card_is(card, "MXBACK")) return card_line(card) + "\n";
    if (card_is(card, "NAXIS1")) return card_line(card);
    if (card_is(card, "NAXIS2")) {
        CardParts p = split_card(card);
        L.rowno = value_count(p.value);
        return card_line(p.comment, p.value, p.keyword);
    }
    if (is_filter_parameter(L, card)) return {};
    if (card_is(card, " ") || card_is(card, "\t") || card_is(card, "END     ")) return {};
    return card_line(card);
}

void verbose_head(CameraListing &L)
{
    put("\n\nPrimary FITS headers:\n");
    put("=====================\n\n");
    for (int i = 0; i < header_row; ++i) put(verbose_card(L, header[static_cast<std::size_t>(i)]));
}

// ---------------------------------------------------------------------------
// Records and row loading

template <class T> struct member_of;
template <class R, class T> struct member_of<T R::*> {
    using record = R;
    using type = T;
};
template <auto M> using record_of = typename member_of<decltype(M)>::record;

template <auto M> void read_member(int unit, int col, record_of<M> &rec)
{
    fetch(unit, col, rec.*M);
}

// A table column and the record field it is read into. Verbose-only
// columns are neither looked up nor read in the normal listing.
template <class Rec> struct LoadColumn {
    const char *name;
    bool verbose_only;
    void (*read)(int unit, int col, Rec &rec);
};

template <auto M> constexpr LoadColumn<record_of<M>> always(const char *name)
{
    return {name, false, &read_member<M>};
}
template <auto M> constexpr LoadColumn<record_of<M>> verbose_only(const char *name)
{
    return {name, true, &read_member<M>};
}

// Lookup and read order. The short names (PCAESPB, PCAEB1, PCAPOFF...)
// find their column by prefix because it stands before the longer names
// that begin with it.
const LoadColumn<data_pcae> kPcaeColumns[] = {
    always<&data_pcae::nbck>("PCAENBCK"),       always<&data_pcae::npix>("PCAENPIX"),
    always<&data_pcae::back>("PCAEBACK"),       always<&data_pcae::bcku>("PCAEBCKU"),
    always<&data_pcae::bck1>("PCAEBCK1"),       always<&data_pcae::bk1u>("PCAEBK1U"),
    always<&data_pcae::bck2>("PCAEBCK2"),       always<&data_pcae::bk2u>("PCAEBK2U"),
    always<&data_pcae::spb>("PCAESPB"),         always<&data_pcae::spbu>("PCAESPBU"),
    always<&data_pcae::b1>("PCAEB1"),           always<&data_pcae::b1u>("PCAEB1U"),
    always<&data_pcae::b2>("PCAEB2"),           always<&data_pcae::b2u>("PCAEB2U"),
    verbose_only<&data_pcae::filt>("PCAEFILT"), verbose_only<&data_pcae::srce>("PCAESRCE"),
    verbose_only<&data_pcae::srcu>("PCAESRCU"),
};

const LoadColumn<data_pcap> kPcapColumns[] = {
    always<&data_pcap::nbck>("PCAPNBCK"),       always<&data_pcap::npix>("PCAPNPIX"),
    always<&data_pcap::peak>("PCAPPEAK"),       always<&data_pcap::pku>("PCAPPKU"),
    always<&data_pcap::bcks>("PCAPBCKS"),       always<&data_pcap::bksu>("PCAPBKSU"),
    always<&data_pcap::bck1>("PCAPBCK1"),       always<&data_pcap::bk1u>("PCAPBK1U"),
    always<&data_pcap::bck2>("PCAPBCK2"),       always<&data_pcap::bk2u>("PCAPBK2U"),
    always<&data_pcap::bins>("PCAPBINS"),       always<&data_pcap::bisu>("PCAPBISU"),
    always<&data_pcap::bin1>("PCAPBIN1"),       always<&data_pcap::bi1u>("PCAPBI1U"),
    always<&data_pcap::bin2>("PCAPBIN2"),       always<&data_pcap::bi2u>("PCAPBI2U"),
    always<&data_pcap::off>("PCAPOFF"),         always<&data_pcap::offu>("PCAPOFFU"),
    always<&data_pcap::fitu>("PCAPFITU"),       always<&data_pcap::stat>("PCAPSTAT"),
    always<&data_pcap::spb>("PCAPSPB"),         always<&data_pcap::spbu>("PCAPSPBU"),
    always<&data_pcap::b1>("PCAPB1"),           always<&data_pcap::b1u>("PCAPB1U"),
    always<&data_pcap::b2>("PCAPB2"),           always<&data_pcap::b2u>("PCAPB2U"),
    verbose_only<&data_pcap::filt>("PCAPFILT"), verbose_only<&data_pcap::srce>("PCAPSRCE"),
    verbose_only<&data_pcap::srcu>("PCAPSRCU"), verbose_only<&data_pcap::ncyc>("PCAPNCYC"),
};

const LoadColumn<data_pcas> kPcasColumns[] = {
    always<&data_pcas::ra>("PCASRA"),           always<&data_pcas::rau>("PCASRAU"),
    always<&data_pcas::dec>("PCASDEC"),         always<&data_pcas::decu>("PCASDECU"),
    always<&data_pcas::roll>("PCASROLL"),       always<&data_pcas::rolu>("PCASROLU"),
    always<&data_pcas::avgb>("PCASAVGB"),       always<&data_pcas::brgt>("PCASBRGT"),
    always<&data_pcas::brgu>("PCASBRGU"),       verbose_only<&data_pcas::filt>("PCASFILT"),
    verbose_only<&data_pcas::npix>("PCASNPIX"), verbose_only<&data_pcas::stat>("PCASSTAT"),
    verbose_only<&data_pcas::fill>("PCASFILL"),
};

// Reads table rows into records through the product's column table.
template <class Rec, std::size_t N> class RowLoader {
public:
    RowLoader(const LoadColumn<Rec> (&columns)[N], int mode) : columns_(columns)
    {
        for (std::size_t i = 0; i < N; ++i) {
            if (columns[i].verbose_only && mode != 1) continue;
            tindp(unitin, columns[i].name, &col_[i]);
        }
    }

    // Reads the next row into rec; false (after the message) when the
    // table has no further row or cannot be read.
    bool read_next(Rec &rec) const
    {
        tblread(unitin);
        const int status = itstat();
        if (status > 0) {
            std::fputs("error reading tablefile\n", stderr);
            return false;
        }
        if (status < 0) {
            std::fputs("EOF reading tablefile\n", stderr);
            return false;
        }
        for (std::size_t i = 0; i < N; ++i)
            if (col_[i] != 0) columns_[i].read(unitin, col_[i], rec);
        return true;
    }

private:
    const LoadColumn<Rec> (&columns_)[N];
    int col_[N] = {};  // field numbers, 0 when not looked up or not found
};

// PCAE and PCAP: one row per filter, read in order until count records.
// The records end with the last row read.
template <class Rec, std::size_t N>
std::vector<Rec> load_rows(const LoadColumn<Rec> (&columns)[N], int mode, int count)
{
    std::vector<Rec> records(static_cast<std::size_t>(count));
    RowLoader<Rec, N> loader(columns, mode);
    std::size_t read = 0;
    while (read < records.size() && loader.read_next(records[read])) ++read;
    records.resize(read);
    return records;
}

// PCAS: per filter, one row per raster position. A failed read ends only
// the positions of its filter; the next filter starts with a new read.
// Record index = filter * per_filter + position; only the first count
// records are read, and the records end with the last one read.
std::vector<data_pcas> load_raster(int mode, int filters, long long per_filter, int count)
{
    std::vector<data_pcas> records(static_cast<std::size_t>(count));
    RowLoader<data_pcas, std::size(kPcasColumns)> loader(kPcasColumns, mode);
    std::size_t end = 0;  // one past the last record read
    for (long long j = 0; j < filters && j * per_filter < count; ++j) {
        for (long long k = 0; k < per_filter; ++k) {
            const auto index = static_cast<std::size_t>(j * per_filter + k);
            if (index >= records.size()) break;
            if (!loader.read_next(records[index])) break;
            end = index + 1;
        }
    }
    records.resize(end);
    return records;
}

// ---------------------------------------------------------------------------
// Column lines

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

enum class Sets { nothing, ra, dec, phi };

// The values of one field of a record, whatever its type.
struct FieldValue {
    int32_t integer = 0;
    double real[2] = {0.0, 0.0};
    const float *floats = nullptr;
    const int32_t *ints = nullptr;
};

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

template <class Rec> struct ColumnOut {
    int n = 0;  // column number: the n of its TTYPEn card
    Shape shape = Shape::int8;
    bool verbose_only = false;
    FieldValue (*value)(const Rec &) = nullptr;
    const char *label = nullptr;  // fixed label instead of the TTYPE comment
    Sets sets = Sets::nothing;
};

template <auto M>
constexpr ColumnOut<record_of<M>> col_line(int n, Shape shape, bool verbose = false,
                                      const char *label = nullptr, Sets sets = Sets::nothing)
{
    return {n, shape, verbose, &value_of<M>, label, sets};
}

constexpr bool V = true;  // verbose listing only

const ColumnOut<data_pcae> kPcaeLines[] = {
    col_line<&data_pcae::filt>(1, Shape::int8, V),     col_line<&data_pcae::nbck>(2, Shape::int7),
    col_line<&data_pcae::npix>(3, Shape::int7),        col_line<&data_pcae::srce>(4, Shape::pixels, V),
    col_line<&data_pcae::srcu>(5, Shape::pixels, V),   col_line<&data_pcae::spb>(6, Shape::pixels, V),
    col_line<&data_pcae::spbu>(7, Shape::pixels, V),   col_line<&data_pcae::b1>(8, Shape::pixels, V),
    col_line<&data_pcae::b1u>(9, Shape::pixels, V),    col_line<&data_pcae::b2>(10, Shape::pixels, V),
    col_line<&data_pcae::b2u>(11, Shape::last_pixels, V),
    col_line<&data_pcae::back>(12, Shape::real7),      col_line<&data_pcae::bcku>(13, Shape::real7),
    col_line<&data_pcae::bck1>(14, Shape::real7),      col_line<&data_pcae::bk1u>(15, Shape::real7),
    col_line<&data_pcae::bck2>(16, Shape::real7),      col_line<&data_pcae::bk2u>(17, Shape::real7),
};

const ColumnOut<data_pcap> kPcapLines[] = {
    col_line<&data_pcap::filt>(1, Shape::int8, V),     col_line<&data_pcap::nbck>(2, Shape::int8),
    col_line<&data_pcap::npix>(3, Shape::int8),        col_line<&data_pcap::srce>(4, Shape::source_pixels, V),
    col_line<&data_pcap::srcu>(5, Shape::pixels, V),   col_line<&data_pcap::spb>(6, Shape::pixels, V),
    col_line<&data_pcap::spbu>(7, Shape::pixels, V),   col_line<&data_pcap::b1>(8, Shape::pixels, V),
    col_line<&data_pcap::b1u>(9, Shape::pixels, V),    col_line<&data_pcap::b2>(10, Shape::pixels, V),
    col_line<&data_pcap::b2u>(11, Shape::last_pixels, V),
    col_line<&data_pcap::peak>(12, Shape::real8),      col_line<&data_pcap::pku>(13, Shape::real8),
    col_line<&data_pcap::bcks>(14, Shape::real8),      col_line<&data_pcap::bksu>(15, Shape::real8),
    col_line<&data_pcap::bck1>(16, Shape::real8),      col_line<&data_pcap::bk1u>(17, Shape::real8),
    col_line<&data_pcap::bck2>(18, Shape::real8),      col_line<&data_pcap::bk2u>(19, Shape::real8),
    col_line<&data_pcap::bins>(20, Shape::real8),      col_line<&data_pcap::bisu>(21, Shape::real8),
    col_line<&data_pcap::bin1>(22, Shape::real8),      col_line<&data_pcap::bi1u>(23, Shape::real8),
    col_line<&data_pcap::bin2>(24, Shape::real8),      col_line<&data_pcap::bi2u>(25, Shape::real8),
    col_line<&data_pcap::off>(26, Shape::pair8),       col_line<&data_pcap::offu>(27, Shape::pair2),
    col_line<&data_pcap::fitu>(28, Shape::real8),      col_line<&data_pcap::stat>(29, Shape::int8),
    col_line<&data_pcap::ncyc>(30, Shape::cycles, V),
};

constexpr const char *kRaLabel = "Right Ascension (degrees)                      ";
constexpr const char *kDecLabel = "Declination (degrees)                          ";
constexpr const char *kRollLabel = "Roll angle (degrees)                           ";
constexpr const char *kErrLabel = "Uncertainty (degrees)                          ";

const ColumnOut<data_pcas> kPcasLines[] = {
    col_line<&data_pcas::filt>(1, Shape::int8, V),
    col_line<&data_pcas::ra>(2, Shape::real8, false, kRaLabel, Sets::ra),
    col_line<&data_pcas::rau>(3, Shape::real8, false, kErrLabel),
    col_line<&data_pcas::dec>(4, Shape::real8, false, kDecLabel, Sets::dec),
    col_line<&data_pcas::decu>(5, Shape::real8, false, kErrLabel),
    col_line<&data_pcas::roll>(6, Shape::real8, false, kRollLabel, Sets::phi),
    col_line<&data_pcas::rolu>(7, Shape::real8, false, kErrLabel),
    col_line<&data_pcas::avgb>(8, Shape::real8),
    col_line<&data_pcas::npix>(9, Shape::int8, V),
    col_line<&data_pcas::brgt>(10, Shape::pixels, V),
    col_line<&data_pcas::brgu>(11, Shape::pixels, V),
    col_line<&data_pcas::stat>(12, Shape::status, V),
    col_line<&data_pcas::fill>(13, Shape::fill, V),
};

// The TTYPEn cards of the store, in store order, with their column number.
// A card selects column n when its first 7 characters are "TTYPEn " (n up
// to 9, the blank keeping TTYPE1 from TTYPE10) or "TTYPEnn".
struct TypeCard {
    int n;
    CardParts parts;
    std::string name;  // the cleaned value: column name in parentheses
};

std::vector<TypeCard> type_cards()
{
    std::vector<TypeCard> found;
    for (int i = 0; i < header_row; ++i) {
        const std::string &card = header[static_cast<std::size_t>(i)];
        if (!card_is(card, "TTYPE")) continue;
        for (int n = 1; n <= kMaxColumn; ++n) {
            const std::string key = n <= 9 ? text_format("TTYPE%d ", n) : text_format("TTYPE%d", n);
            if (card.compare(0, key.size(), key) != 0) continue;
            CardParts p = split_card(card);
            std::string name = cleaned(p.value);
            found.push_back({n, std::move(p), std::move(name)});
            break;
        }
    }
    return found;
}

std::string value_line(CameraProduct product, Shape shape, const std::string &label,
                       const FieldValue &v, const std::string &name)
{
    const char *lab = label.c_str();
    const char *nm = name.c_str();
    const double pair[2] = {v.real[0], v.real[1]};
    switch (shape) {
    case Shape::int8: return text_format("%.47s= %8d             %s\n", lab, v.integer, nm);
    case Shape::int7: return text_format("%.47s= %7d              %s\n", lab, v.integer, nm);
    case Shape::real8:
        return row_uses_g(product, std::span<const double>(pair, 1))
                   ? text_format("%.47s= %g             %s\n", lab, v.real[0], nm)
                   : text_format("%.47s= %8.4f             %s\n", lab, v.real[0], nm);
    case Shape::real7:
        return row_uses_g(product, std::span<const double>(pair, 1))
                   ? text_format("%.47s= %g              %s\n", lab, v.real[0], nm)
                   : text_format("%.47s= %7.2f              %s\n", lab, v.real[0], nm);
    case Shape::pair8:
    case Shape::pair2:
        if (row_uses_g(product, pair))
            return text_format("%.47s= (%g,%g)  %s\n", lab, pair[0], pair[1], nm);
        return shape == Shape::pair8
                   ? text_format("%.47s= (%8.4f,%8.4f)  %s\n", lab, pair[0], pair[1], nm)
                   : text_format("%.47s= (%8.2f,%8.2f)  %s\n", lab, pair[0], pair[1], nm);
    default: return {};
    }
}

std::string pixel_table(CameraProduct product, Shape shape, Detector detector,
                        const std::string &heading, const FieldValue &v)
{
    std::string out = text_format("\n%s\n", heading.c_str());
    switch (shape) {
    case Shape::pixels:
        // PCAS brightness tables always have the nine C100 pixels.
        out += float_pixel_rows(product, product == CameraProduct::pcas ? Detector::c100 : detector,
                                v.floats, false, false);
        break;
    case Shape::source_pixels: out += float_pixel_rows(product, detector, v.floats, true, false); break;
    case Shape::last_pixels: out += float_pixel_rows(product, detector, v.floats, false, true); break;
    case Shape::status: out += status_rows(v.ints); break;
    case Shape::fill: out += fill_row(v.ints); break;
    case Shape::cycles: out += cycle_rows(v.ints); break;
    default: break;
    }
    return out;
}

// The column lines and verbose pixel tables of one record, in the order of
// the TTYPEn cards. PCAS pointing columns also set the pointing of the
// record's pixel coordinates.
template <class Rec, std::size_t N>
std::string column_lines(const CameraListing &L, const ColumnOut<Rec> (&table)[N],
                         const std::vector<TypeCard> &cards, const Rec &rec, Detector detector,
                         Pointing &pointing)
{
    std::string out;
    for (const TypeCard &tc : cards) {
        const ColumnOut<Rec> *col = nullptr;
        for (const ColumnOut<Rec> &c : table)
            if (c.n == tc.n) col = &c;
        if (col == nullptr) continue;  // a column this product does not list
        if (col->verbose_only && !L.verbose()) continue;
        const FieldValue v = col->value(rec);
        switch (col->shape) {
        case Shape::pixels:
        case Shape::source_pixels:
        case Shape::last_pixels:
        case Shape::status:
        case Shape::fill:
        case Shape::cycles:
            out += pixel_table(L.product, col->shape, detector, tc.parts.comment, v);
            break;
        default:
            out += value_line(L.product, col->shape,
                              col->label != nullptr ? std::string(col->label) : tc.parts.comment,
                              v, tc.name);
            break;
        }
        switch (col->sets) {
        case Sets::ra: pointing.ra = v.real[0]; break;
        case Sets::dec: pointing.dec = v.real[0]; break;
        case Sets::phi: pointing.phi = v.real[0]; break;
        case Sets::nothing: break;
        }
    }
    return out;
}

// ---------------------------------------------------------------------------
// Measurement section

void section_start()
{
    put("\n\n\nMeasurements:\n");
    put("-------------\n\n");
    put("Layout of C100 and C200 pixel numbers: \n\n");
    put("                     C100             C200   \n");
    put("                 +-----------+     +-------+ \n");
    put("                 | 3 | 6 | 9 |     | 3 | 4 | \n");
    put("                 |---+---+---|     |---+---| \n");
    put("                 | 2 | 5 | 8 |     | 2 | 1 | \n");
    put("                 |---+---+---|     +-------+ \n");
    put("                 | 1 | 4 | 7 | \n");
    put("                 +-----------+ \n");
}

Detector detector_of(const std::string &value)
{
    if (card_is(value, "'C100") || card_is(value, "C100")) return Detector::c100;
    if (card_is(value, "'C200") || card_is(value, "C200")) return Detector::c200;
    return Detector::none;
}

// The heading of filter f from its FILTER card (the first that matches),
// and the detector that card names. No card: no heading, no detector.
std::string filter_heading(const CameraListing &L, int f, Detector &detector)
{
    const std::string text = numbered_key("FILTER", f);
    for (int i = 0; i < header_row; ++i) {
        const std::string &card = header[static_cast<std::size_t>(i)];
        if (!numbered_key_matches(card, text, 8)) continue;
        CardParts p = split_card(card);
        const char *fmt = L.pcas() ? "\nFilter No. %d                                   : %s (%s)\n"
                                   : "\n\nFilter No. %d                                   : %s (%s)\n";
        detector = detector_of(p.value);
        return text_format(fmt, f, p.value.c_str(), p.keyword.c_str()) + "============\n\n";
    }
    detector = Detector::none;
    return {};
}

struct NumberedStem {
    const char *stem;
    std::size_t compared;  // characters of the card compared with the text
};

// The per-filter user parameter cards of filter f, in store order.
std::string filter_parameters(const CameraListing &L, int f)
{
    static constexpr NumberedStem kPcae[] = {{"BRGT", 6}, {"BRGTUNC", 8}, {"BACK", 6}};
    static constexpr NumberedStem kPcap[] = {{"FLUX", 6}, {"FLUXUNC", 8}, {"BACK", 6}};
    static constexpr NumberedStem kPcas[] = {{"MXBRGT", 8}, {"UNBRGT", 8}};
    std::span<const NumberedStem> stems;
    switch (L.product) {
    case CameraProduct::pcae: stems = kPcae; break;
    case CameraProduct::pcap: stems = kPcap; break;
    case CameraProduct::pcas: stems = kPcas; break;
    }
    std::vector<std::string> texts;
    for (const NumberedStem &s : stems) texts.push_back(numbered_key(s.stem, f));

    std::string out;
    for (int i = 0; i < header_row; ++i) {
        const std::string &card = header[static_cast<std::size_t>(i)];
        bool match = false;
        for (std::size_t s = 0; s < stems.size() && !match; ++s)
            match = numbered_key_matches(card, texts[s], stems[s].compared);
        if (!match) continue;
        CardParts p = split_card(card);
        // PCAE cards keep their whole comment.
        out += L.product == CameraProduct::pcae
                   ? text_format("%s: %s (%s)\n", p.comment.c_str(), p.value.c_str(), p.keyword.c_str())
                   : card_line(p.comment, p.value, p.keyword);
    }
    return out;
}

template <class Rec> IntensityFields intensity_fields(const Rec &r)
{
    return {r.b1, r.spb, r.b2, r.b1u, r.spbu, r.b2u};
}

// PCAE and PCAP: one record per filter.
template <class Rec, std::size_t N>
void list_filters(const CameraListing &L, const std::vector<Rec> &records,
                  const ColumnOut<Rec> (&table)[N])
{
    const std::vector<TypeCard> cards = type_cards();
    for (std::size_t k = 0; k < records.size(); ++k) {
        const int f = static_cast<int>(k) + 1;
        Detector detector = Detector::none;
        std::string out = "\n\n" + filter_heading(L, f, detector);
        if (L.verbose()) out += filter_parameters(L, f);
        Pointing pointing = L.pointing;
        out += column_lines(L, table, cards, records[k], detector, pointing);
        out += pixel_coordinates(detector, pointing.ra, pointing.dec, pointing.phi);
        if (!L.verbose()) out += intensity_tables(L.product, detector, intensity_fields(records[k]));
        put(out);
    }
}

// PCAS: per filter, the raster points (n1, n2) line by line; each return
// to (1, 1) begins the next filter.
void list_raster(const CameraListing &L, const std::vector<data_pcas> &records)
{
    const std::vector<TypeCard> cards = type_cards();
    int n1 = 1, n2 = 1, filters_begun = 0;
    Detector detector = Detector::none;
    Pointing pointing;  // taken from each record's own pointing columns
    for (const data_pcas &rec : records) {
        std::string out;
        if (n1 > L.points) {
            ++n2;
            n1 = 1;
        }
        if (n2 > L.lines) {
            n1 = n2 = 1;
            detector = Detector::none;
        }
        if (n1 == 1 && n2 == 1) {
            const int f = filters_begun + 1;
            out += "\n\n";
            out += filter_heading(L, f, detector);
            if (L.verbose()) out += filter_parameters(L, f);
            ++filters_begun;
        }
        out += text_format("\nRaster point: (%d, %d)\n\n", n1, n2);
        ++n1;
        out += column_lines(L, kPcasLines, cards, rec, detector, pointing);
        out += pixel_coordinates(detector, pointing.ra, pointing.dec, pointing.phi);
        if (!L.verbose()) out += brightness_tables(rec.brgt, rec.brgu);
        put(out);
    }
}

CameraProduct product_in_hand()
{
    if (pcae_done == 1) return CameraProduct::pcae;
    if (pcap_done == 1) return CameraProduct::pcap;
    return CameraProduct::pcas;
}

}  // namespace

int readpca(const char *filename, int mode, const char *outfile)
{
    CameraListing L;
    L.product = product_in_hand();
    L.mode = mode;
    if (!open_listing(filename, outfile)) return 1;
    put(text_format("Name of the AAR file                           : '%s'\n", filename));
    if (L.verbose())
        verbose_head(L);
    else
        normal_head(L);

    switch (L.product) {
    case CameraProduct::pcae: {
        const int count = limit_records(L.rowno);
        std::vector<data_pcae> records = load_rows(kPcaeColumns, mode, count);
        section_start();
        list_filters(L, records, kPcaeLines);
        break;
    }
    case CameraProduct::pcap: {
        const int count = limit_records(L.rowno);
        std::vector<data_pcap> records = load_rows(kPcapColumns, mode, count);
        section_start();
        list_filters(L, records, kPcapLines);
        break;
    }
    case CameraProduct::pcas: {
        // Records: points x lines per filter. Each factor fits an int, so
        // the product of the three is computed in 128 bits.
        const long long per_filter = static_cast<long long>(L.points) * L.lines;
        const unsigned __int128 total = static_cast<unsigned __int128>(per_filter) *
                                        static_cast<unsigned>(L.filterno);
        const int count = limit_records_wide(total);
        std::vector<data_pcas> records = load_raster(mode, L.filterno, per_filter, count);
        section_start();
        list_raster(L, records);
        break;
    }
    }
    tcls(unitin);
    tcls(unitout);
    return 0;
}
