// The product model: one ISO PHT Auto-Analysis Result product, loaded from
// its FITS file into one value, apart from any rendering. The text listings
// render from it; so can anything else that needs a product's cards,
// records or derived values.
//
//     ProductLoad load = load_product("pcap01.fits");
//     if (load.error != LoadError::none) ...;           // see LoadError
//     const Product &p = load.product;
//     p.type();                                          // ProductType::pcap
//     p.cards().first("OBJECT  ");                       // index of a card
//     p.columns();                                       // names, units, descriptions
//     for (const data_pcap &r : p.records<data_pcap>()) ...
//     p.camera_place(0).pixels;                          // J2000 pixel positions
//
// What a product holds:
// - cards(): every header card of the file (primary and extension header,
//   each through its END card) with an index over their keywords;
// - type() and family(): from the FILENAME card, else the file name;
// - counts(): the numbers the cards give (rows, raster, filters, pointing);
// - columns(): the TTYPEn cards in file order, with n, name, unit (TUNITn)
//   and description (the TTYPEn comment);
// - records<R>(): the table rows read, as records of the product's type
//   (data_pcae, data_pcap, data_pcas, data_ppa, data_pls; records.h), at
//   most kMaxRecords unless LoadOptions::every_record, ending with the last
//   row the file holds;
// - derived values: per camera record its filter, detector, raster point,
//   pointing and pixel positions (camera_place); per spectrometer pixel its
//   wavelength in micrometres and its fluxes in mJy (flux_mjy).
//
// Loading runs in two stages so that a caller can act between them: the
// listing program creates its listing file after open_product and before
// read_records, so that an unwritable listing fails before any row is read.
// Only one product is read at a time: the input is the table library's
// unit kInputUnit while the rows are read, and is closed after.
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "card_store.h"
#include "records.h"

enum class ProductType { pcae, pcap, pcas, ppae, ppap, pla, psa, pga };
enum class Family { camera, photometer, spectrometer, image };

Family family_of(ProductType type);
// The type's name as product names begin with it ("PCAE", ..., "PGA").
const char *product_type_name(ProductType type);

// Largest number of records a product holds; longer tables are cut.
inline constexpr int kMaxRecords = 500;
// Table unit of the input while a product is loaded.
inline constexpr int kInputUnit = 9;

struct Pointing {
    double ra = 0.0;    // degrees
    double dec = 0.0;   // degrees
    double roll = 0.0;  // degrees
};

// The numbers the header cards give. Integer values are converted like
// strtol and clamped to int; a negative count counts 0; a missing card 0.
struct Counts {
    int rows = 0;         // NAXIS2 (the last card of that name)
    int points = 0;       // ATTRNPTS: raster points per line
    int lines = 0;        // ATTRNLNS: raster lines
    int filters = 0;      // cards whose keyword begins with FILTER
    Pointing instrument;  // INSTRA, INSTDEC, INSTROLL (the last of each)
};

// A TTYPEn card: the column it names. n is read from the keyword: one digit
// and a blank (TTYPE1 to TTYPE9) or two digits (TTYPE10 to TTYPE99).
struct TableColumn {
    int n = 0;
    std::size_t card = 0;     // index in cards()
    CardParts parts;          // keyword, value ('NAME'), comment (the description)
    std::string name;         // the string value, NAME (trailing blanks, not
                              // significant in FITS strings, removed)
    std::string listed_name;  // the value as listings show it: "(NAME)"
    std::string unit;         // likewise the first TUNITn card's value; empty without
};

// Where a camera record lies: its filter and detector, its raster point
// (PCAS), the pointing of the array centre and the J2000 position of every
// pixel, row by row from the top left (3 x 3 for C100, 2 x 2 for C200,
// none without a detector).
struct CameraPlace {
    int filter = 0;             // from 1
    int point = 0, line = 0;    // raster point (n1, n2) from 1; 0 for PCAE and PCAP
    bool first_of_filter = true;
    Detector detector = Detector::none;
    Pointing pointing;
    std::vector<SkyPosition> pixels;
};

enum class LoadError {
    none,
    cannot_open,   // topenr failed (missing, unreadable, damaged file)
    not_fits,      // a table, but not a FITS binary table
    unknown_type,  // no product type from the FILENAME card or the file name
};

// Which columns and records read_records reads.
struct LoadOptions {
    // Also the columns the normal listing does not show (verbose-only
    // columns of the camera products, the SPB arrays of the spectrometer).
    bool all_columns = true;
    // Every record the table holds (up to its NAXIS2 rows), for a table of
    // the product, instead of at most kMaxRecords; no "Too many rows" note.
    bool every_record = false;
    // Rows ending the records before this one are not reported again: an
    // earlier read of the same product (the listing's) reported them.
    std::size_t reported_from = 0;
};

class Product {
public:
    Product() = default;
    Product(Product &&other) noexcept;
    Product &operator=(Product &&other) noexcept;
    Product(const Product &) = delete;
    Product &operator=(const Product &) = delete;
    ~Product();

    ProductType type() const { return type_; }
    Family family() const { return family_of(type_); }
    // The path the product was loaded from, as given.
    const std::string &path() const { return path_; }
    const CardStore &cards() const { return cards_; }
    const Counts &counts() const { return counts_; }
    const std::vector<TableColumn> &columns() const { return columns_; }

    // The records, when R is the record type of the product; else none.
    template <class R> const std::vector<R> &records() const;
    std::size_t record_count() const;
    // The records the read set out to read (before a row could end them).
    std::size_t records_planned() const { return records_planned_; }

    // Closes the input table of a product opened but not to be read (an
    // image file, a listing that could not be started); read_records
    // closes it itself.
    void close_input();

    // Camera products: where record i lies.
    CameraPlace camera_place(std::size_t i) const;
    // The first FILTERn card of filter n (compared on 8 characters).
    std::optional<std::size_t> filter_card(int n) const;

    // Spectrometer products: pixel wavelengths from the cards LAMBDA1 to
    // LAMBDA64 (metres there), 0 without a card.
    const std::array<float, kPlsPixels> &wavelengths_um() const { return wavelengths_um_; }
    // Factor from a stored value of pixel p to a flux density in mJy.
    double mjy_factor(int p) const;
    // The value of pixel p of an array of record i as a flux density in mJy.
    double flux_mjy(std::size_t i, PlsArray array, int p) const
    {
        return mjy_factor(p) * (records<data_pls>().at(i).*array)[p];
    }

private:
    friend struct ProductLoader;
    using Records = std::variant<std::vector<data_pcae>, std::vector<data_pcap>,
                                 std::vector<data_pcas>, std::vector<data_ppa>,
                                 std::vector<data_pls>>;

    ProductType type_ = ProductType::pga;
    std::string path_;
    CardStore cards_;
    Counts counts_;
    std::vector<TableColumn> columns_;
    Records records_;
    std::array<float, kPlsPixels> wavelengths_um_{};
    std::size_t records_planned_ = 0;
    bool unit_open_ = false;  // the input table unit, until the rows are read
};

struct ProductLoad {
    LoadError error = LoadError::none;
    Product product;
};

// Stage 1: opens the product, reads its cards, type and counts; its table
// stays open for read_records.
ProductLoad open_product(const std::string &path);
// Stage 2: reads the records (none for an image product). Unless
// options.every_record, more than kMaxRecords records to read give "Too many rows (N); only the first 500
// are listed." on the standard error; a row that cannot be read ends the
// records with "error reading tablefile" or "EOF reading tablefile" there.
void read_records(Product &product, const LoadOptions &options);
// Both stages.
ProductLoad load_product(const std::string &path, const LoadOptions &options = {});

// The number of records to read of count: count, or kMaxRecords after the
// "Too many rows" note when count is larger.
int limit_records(unsigned __int128 count);

template <class R> const std::vector<R> &Product::records() const
{
    static const std::vector<R> none;
    const std::vector<R> *held = std::get_if<std::vector<R>>(&records_);
    return held != nullptr ? *held : none;
}
