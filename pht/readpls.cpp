// Listing of PHT-S (spectrometer) products, PLA and PSA: a summary of the
// header cards, then one block per measurement (table row). The verbose
// listing shows the ten 64-pixel arrays of a row as 8 x 8 tables; the normal
// listing shows one flux table in mJy, one line per pixel with its
// wavelength. With an image base name, every measurement is also written as
// a FITS image once the listing is closed.
//
// Records start zero-filled, so anything not loaded (a missing column) lists
// as 0; the measurements end with the last row that could be read. Pixel wavelengths come from the
// cards LAMBDA1 to LAMBDA64 (metres); other LAMBDA numbers are ignored and
// pixels without a card have wavelength 0.
#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "listing.h"
#include "parse.h"
#include "pht.h"
#include "pls_records.h"

namespace {

constexpr int kLinePixels = 8;            // pixels per line of a verbose table
constexpr float kW2J = 3.338e14f;         // stored value x lambda^2 (um) -> mJy
constexpr double kMetresToMicrons = 1000000.0;

constexpr const char *kDarkFlag = " Dark meas. flag (1 if dark meas, 0 otherwise) ";

// ---------------------------------------------------------------- columns

enum Role { kDflag, kNbck, kSrce, kSrcu, kBck, kBcku, kBck1, kBk1u, kBck2, kBk2u, kSpb, kSpbu, kRoles };

struct ColumnNames {
    const char *pla;
    const char *psa;
};

// Column names of each role; a PSA product is recognised by the PLA name
// failing. The order is the order of lookup.
constexpr std::array<ColumnNames, kRoles> kColumnNames = {{
    {"PLAPDFLG", "PSAPDFLG"}, {"PLAPNBCK", "PSAPNBCK"}, {"PLAPSRCE", "PSAPSRCE"},
    {"PLAPSRCU", "PSAPSRCU"}, {"PLAPBCK", "PSAPBCK"},   {"PLAPBCKU", "PSAPBCKU"},
    {"PLAPBCK1", "PSAPBCK1"}, {"PLAPBK1U", "PSAPBK1U"}, {"PLAPBCK2", "PSAPBCK2"},
    {"PLAPBK2U", "PSAPBK2U"}, {"PLAPSPB", "PSAPSPB"},   {"PLAPSPBU", "PSAPSPBU"},
}};

// The float arrays in the order they are fetched from a row; the SPB pair
// comes last and only when it was looked up.
constexpr std::array<std::pair<Role, PlsArray>, 10> kFetchOrder = {{
    {kSrce, &data_pls::srce}, {kSrcu, &data_pls::srcu}, {kBck, &data_pls::bck},
    {kBcku, &data_pls::bcku}, {kBck1, &data_pls::bck1}, {kBk1u, &data_pls::bk1u},
    {kBck2, &data_pls::bck2}, {kBk2u, &data_pls::bk2u}, {kSpb, &data_pls::spb},
    {kSpbu, &data_pls::spbu},
}};

// --------------------------------------------------------- verbose header

enum class Rule { creation_date, replaced, skip, described, verbatim, extension, row_count, wavelength, common };

struct HeaderRule {
    const char *begins;
    Rule rule;
    const char *description;  // for Rule::described
};

// The first rule whose text begins the card applies; other cards get the
// common line.
constexpr HeaderRule kVerboseRules[] = {
    {"DATE    ", Rule::creation_date, nullptr},
    {"ATTTYPE ", Rule::replaced, nullptr},
    {"FPCMODE ", Rule::replaced, nullptr},
    {"USERNAME", Rule::skip, nullptr},
    {"ORIGIN  ", Rule::described, " Data Origin                                   "},
    {"TELESCOP", Rule::described, " Telescope                                     "},
    {"FILEVERS", Rule::described, " File version ID in ISO archive                "},
    {"COMMENT", Rule::verbatim, nullptr},
    {"HISTORY", Rule::verbatim, nullptr},
    {"XTENSION", Rule::extension, nullptr},
    {"NAXIS1", Rule::common, nullptr},
    {"NAXIS2", Rule::row_count, nullptr},
    {"TTYPE1  ", Rule::described, kDarkFlag},
    {"LAMBDA", Rule::wavelength, nullptr},
    {" ", Rule::skip, nullptr},
    {"\t", Rule::skip, nullptr},
    {"END     ", Rule::skip, nullptr},
};

// Raster cards of the normal header summary.
constexpr const char *kRasterCards[] = {"ATTRNPTS", "ATTRNLNS", "ATTRDPTS", "ATTRDLNS"};

// Verbose 8 x 8 tables: the column number in a TTYPE card selects the
// array (3 srce ... 12 bk2u), in the product's column order.
constexpr std::array<const char *, kPlsPlanes> kTableCards = {
    "TTYPE3 ", "TTYPE4 ", "TTYPE5 ", "TTYPE6 ", "TTYPE7 ",
    "TTYPE8 ", "TTYPE9 ", "TTYPE10", "TTYPE11", "TTYPE12",
};

class PlsListing {
public:
    explicit PlsListing(int mode, bool images) : verbose_(mode == 1), images_(images) {}

    void write_header_summary()
    {
        if (verbose_) verbose_summary();
        else normal_summary();
    }

    void load_rows()
    {
        find_columns();
        const int rows = limit_records(rowno_);
        records_.assign(static_cast<std::size_t>(rows), data_pls{});
        std::size_t read = 0;
        for (; read < records_.size(); ++read) {
            data_pls &rec = records_[read];
            tblread(unitin);
            if (itstat() > 0) {
                std::fputs("error reading tablefile\n", stderr);
                break;
            }
            if (itstat() < 0) {
                std::fputs("EOF reading tablefile\n", stderr);
                break;
            }
            fetch(unitin, col_[kDflag], rec.dflag);
            fetch(unitin, col_[kNbck], rec.nbck);
            for (const auto &[role, array] : kFetchOrder)
                if (looked_up(role)) fetch(unitin, col_[role], rec.*array);
        }
        records_.resize(read);  // measurements and images end with the last row read
    }

    void write_measurements() const
    {
        put("\n\nMeasurements:\n");
        put("=============\n");
        if (verbose_)
            put("\nPixels below are ordered by increasing wavelengths along with lines from left to right.\n\n");
        for (std::size_t k = 0; k < records_.size(); ++k) write_measurement(k);
    }

    const std::vector<data_pls> &records() const { return records_; }

private:
    // ---- header summary

    static std::string creation_date_line(const std::string &card)
    {
        CardParts p = split_card(card);
        return text_format("%s: %s (%s)\n", kCreationDateLabel, p.value.c_str(), p.keyword.c_str());
    }

    static std::string replaced_line(const std::string &card)
    {
        CardParts p = split_card(card);
        return card_line(p.comment, decoded_value(p), p.keyword);
    }

    // Raster cards name themselves when their comment is blank.
    static std::string raster_line(const std::string &card)
    {
        CardParts p = split_card(card);
        if (card_is(p.comment, "            "))
            return text_format("%.47s: %s (%s)\n", p.keyword.c_str(), p.value.c_str(), p.keyword.c_str());
        return text_format("%s: %s (%s)\n", p.comment.c_str(), p.value.c_str(), p.keyword.c_str());
    }

    void store_wavelength(const std::string &card)
    {
        CardParts p = split_card(card);
        long n = std::strtol(p.keyword.c_str() + 6, nullptr, 10);
        if (n < 1 || n > kPlsPixels) return;
        lambda_[static_cast<std::size_t>(n - 1)] =
            static_cast<float>(value_double(p.value) * kMetresToMicrons);
    }

    void set_row_count(const std::string &card)
    {
        rowno_ = value_count(split_card(card).value);
    }

    const std::string *first_card(const char *key) const
    {
        for (int i = 0; i < cards(); ++i)
            if (card_is(header[i], key)) return &header[i];
        return nullptr;
    }

    static int cards() { return std::min(header_row, static_cast<int>(header.size())); }

    void normal_summary()
    {
        if (const std::string *c = first_card("DATE    ")) put(creation_date_line(*c));
        if (const std::string *c = first_card("ATTTYPE ")) put(replaced_line(*c));
        if (const std::string *c = first_card("FPCMODE ")) put(replaced_line(*c));
        for (int i = 0; i < cards(); ++i) {
            const std::string &card = header[i];
            for (const char *key : kRasterCards)
                if (card_is(card, key)) put(raster_line(card));
            if (card_is(card, "NAXIS2")) set_row_count(card);
            if (card_is(card, "LAMBDA")) store_wavelength(card);
        }
    }

    void verbose_summary()
    {
        put("Primary FITS headers:\n");
        put("---------------------\n\n");
        for (int i = 0; i < cards(); ++i) verbose_card(header[i]);
    }

    void verbose_card(const std::string &card)
    {
        const HeaderRule *rule = nullptr;
        for (const HeaderRule &r : kVerboseRules)
            if (card_is(card, r.begins)) {
                rule = &r;
                break;
            }
        switch (rule ? rule->rule : Rule::common) {
        case Rule::creation_date: put(creation_date_line(card)); break;
        case Rule::replaced: put(replaced_line(card)); break;
        case Rule::skip: break;
        case Rule::described: {
            CardParts p = split_card(card);
            put(card_line(rule->description, p.value, p.keyword));
            break;
        }
        case Rule::verbatim: put(card + "\n"); break;
        case Rule::extension:
            put("\n\n\nBinary Table Extension Headers:\n");
            put("-------------------------------\n\n");
            put(card_line(card));
            break;
        case Rule::row_count:
            set_row_count(card);
            put(card_line(card));
            break;
        case Rule::wavelength:
            if (!pixhdr_done_) {
                put("\n\n\nPixel Wavelength Array:\n");
                put("-----------------------\n\n");
                pixhdr_done_ = true;
            }
            store_wavelength(card);
            put(card_line(card));
            break;
        case Rule::common: put(card_line(card)); break;
        }
    }

    // ---- rows

    // The SPB pair is needed by the verbose tables and by the images only.
    bool looked_up(Role role) const { return (role != kSpb && role != kSpbu) || verbose_ || images_; }

    void find_columns()
    {
        for (int role = 0; role < kRoles; ++role) {
            if (!looked_up(static_cast<Role>(role))) continue;
            tindp(unitin, kColumnNames[role].pla, &col_[role]);
            if (itstat() == 1) tindp(unitin, kColumnNames[role].psa, &col_[role]);
        }
    }

    // ---- measurements

    void write_measurement(std::size_t k) const
    {
        const data_pls &rec = records_[k];
        put(text_format("\nMeasurement No. %zu\n", k + 1));
        put("-----------------\n\n");
        for (int i = 0; i < cards(); ++i) measurement_card(header[i], rec);
        if (!verbose_) flux_table(rec);
    }

    void measurement_card(const std::string &card, const data_pls &rec) const
    {
        if (card_is(card, "TTYPE1 ")) {
            CardParts p = split_card(card);
            put(text_format("%s= %9d            %s\n", kDarkFlag, rec.dflag, cleaned(p.value).c_str()));
        } else if (card_is(card, "TTYPE2 ")) {
            CardParts p = split_card(card);
            put(text_format("%.47s= %9d            %s\n", p.comment.c_str(), rec.nbck,
                          cleaned(p.value).c_str()));
        } else if (verbose_) {
            for (std::size_t plane = 0; plane < kTableCards.size(); ++plane)
                if (card_is(card, kTableCards[plane])) {
                    pixel_table(split_card(card).comment, rec.*kPlsPlaneOrder[plane]);
                    break;
                }
        }
    }

    static void pixel_table(const std::string &title, const float (&values)[kPlsPixels])
    {
        put(text_format("\n%s\n", title.c_str()));
        for (int i = 0; i < kPlsPixels; i += kLinePixels) {
            const float *v = values + i;
            put(text_format("%8.2e %8.2e %8.2e %8.2e %8.2e %8.2e %8.2e %8.2e\n", v[0], v[1], v[2], v[3],
                          v[4], v[5], v[6], v[7]));
        }
    }

    void flux_table(const data_pls &rec) const
    {
        put("\n\n");
        put("               ON-SOURCE       MEAN of OFF's       OFF #1            OFF #2\n");
        put(" Lambda       Flux  Uncer.      Flux  Uncer.      Flux  Uncer.      Flux  Uncer.\n");
        put("  (um)           (mJy)              (mJy)            (mJy)            (mJy)\n");
        put(" (F8.5)         (F8.1)             (F8.1)           (F8.1)           (F8.1)\n");
        for (int p = 0; p < kPlsPixels; ++p) {
            const double lambda = lambda_[static_cast<std::size_t>(p)];
            const double f = static_cast<double>(kW2J) * lambda * lambda;
            put(text_format("%8.2e %8.2e %8.2e %8.2e %8.2e %8.2e %8.2e %8.2e %8.2e\n", lambda,
                          f * rec.srce[p], f * rec.srcu[p], f * rec.bck[p], f * rec.bcku[p],
                          f * rec.bck1[p], f * rec.bk1u[p], f * rec.bck2[p], f * rec.bk2u[p]));
        }
        put("\n\n");
    }

    bool verbose_;
    bool images_;
    int rowno_ = 0;
    bool pixhdr_done_ = false;
    std::array<int, kRoles> col_{};
    std::array<float, kPlsPixels> lambda_{};
    std::vector<data_pls> records_;
};

}  // namespace

int readpls(const char *filename, int mode, const char *outfile, const char *im_file)
{
    const bool im_flag = im_file != nullptr;
    if (!open_listing(filename, outfile)) return 1;
    put(text_format("Name of the AAR file                           : '%s'\n\n", filename));

    PlsListing listing(mode, im_flag);
    listing.write_header_summary();
    listing.load_rows();
    listing.write_measurements();
    tcls(unitout);

    if (im_flag) return write_pls_images(im_file, listing.records());
    return 0;
}
