// Listing of photometer (PHT-P) products, PPAE and PPAP. Each row of the
// binary table holds the results of one filter/aperture configuration.
//
// The listing runs in three stages: the head (banner, AAR file name, then a
// short summary or the full header listing), the loading of every row into a
// zero-filled record, and one measurement block per configuration with its
// FILTER/APER cards, in the verbose form its user parameters, and one value
// line per column labelled by the comment of the column's TTYPE card.
//
// Invariants: the row count comes from the last NAXIS2 card of the store and
// is never negative; at most kMaxRecords records are read and listed; the
// listing ends with the last row that could be read.
#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "listing.h"
#include "parse.h"
#include "pht.h"

namespace {

// One table row. The fields from nbck on follow the table's columns from
// the third on; a field whose name ends in u is the uncertainty of the one
// before it. filt, aper and ncyc have no column and stay 0. PPAE products
// have no bint/binu columns.
struct PhotometerRecord {
    int filt = 0;
    int aper = 0;
    int nbck = 0;
    float srce = 0, srcu = 0;
    float back = 0, bcku = 0;
    float spb = 0, spbu = 0;
    float bck1 = 0, bk1u = 0;
    float bck2 = 0, bk2u = 0;
    float bint = 0, binu = 0;
    int ncyc = 0;
};

using FloatField = float PhotometerRecord::*;

// The floating columns from the fourth on, in table order: the column name
// behind the product prefix, the record field, and the TTYPE card whose
// comment labels the value line (matched on its first 7 characters).
struct FloatColumn {
    const char *suffix;
    FloatField field;
    const char *ttype;
};

constexpr FloatColumn kFloatColumns[] = {
    {"SRCE", &PhotometerRecord::srce, "TTYPE4 "},
    {"SRCU", &PhotometerRecord::srcu, "TTYPE5 "},
    {"BACK", &PhotometerRecord::back, "TTYPE6 "},
    {"BCKU", &PhotometerRecord::bcku, "TTYPE7 "},
    {"SPB", &PhotometerRecord::spb, "TTYPE8 "},  // a prefix of SPBU, which must follow it
    {"SPBU", &PhotometerRecord::spbu, "TTYPE9 "},
    {"BCK1", &PhotometerRecord::bck1, "TTYPE10"},
    {"BK1U", &PhotometerRecord::bk1u, "TTYPE11"},
    {"BCK2", &PhotometerRecord::bck2, "TTYPE12"},
    {"BK2U", &PhotometerRecord::bk2u, "TTYPE13"},
    {"BINT", &PhotometerRecord::bint, "TTYPE14"},  // PPAP only
    {"BINU", &PhotometerRecord::binu, "TTYPE15"},  // PPAP only
};

// The integer column, the third of the table.
constexpr const char *kCountSuffix = "NBCK";
constexpr const char *kCountTtype = "TTYPE3 ";

enum class Family { any, ppae, ppap };

// What tells the two products apart.
struct Product {
    Family family;
    const char *prefix;           // of every column name
    std::size_t float_columns;    // leading entries of kFloatColumns
    int decimals;                 // of the value lines below kGeneralFormFrom
    const char *user_stem;        // user parameter cards per configuration
    const char *user_unc_stem;    // and their uncertainties
};

constexpr Product kPpae{Family::ppae, "PPAE", 10, 2, "BRGT", "BRGTUNC"};
constexpr Product kPpap{Family::ppap, "PPAP", 12, 4, "FLUX", "FLUXUNC"};

// Magnitude from which a value is printed in the general form.
constexpr double kGeneralFormFrom = 100000.0;

// Characters compared between a card and a per-configuration keyword text.
constexpr std::size_t kFilterCompare = 8;
constexpr std::size_t kAperCompare = 6;
constexpr std::size_t kUserCompare = 6;
constexpr std::size_t kUserUncCompare = 8;

// ---------------------------------------------------------------------------
// Header cards

const std::string *first_card(const char *key)
{
    for (const std::string &card : header)
        if (card_is(card, key)) return &card;
    return nullptr;
}

// The card split, with a coded ATTTYPE or FPCMODE value replaced by its word.
CardParts decoded(const std::string &card)
{
    CardParts p = split_card(card);
    p.value = decoded_value(p);
    return p;
}

void write_card(const std::string &card) { put(card_line(card)); }

void write_card_as(const std::string &card, const char *description)
{
    CardParts p = split_card(card);
    put(card_line(description, p.value, p.keyword));
}

// The three cards both forms show first, wherever they stand in the store.
void write_creation_date()
{
    if (const std::string *card = first_card("DATE    ")) {
        CardParts p = split_card(*card);
        put(text_format("%s: %s (%s)\n", kCreationDateLabel,
                      p.value.c_str(), p.keyword.c_str()));
    }
}

void write_attitude_type()
{
    if (const std::string *card = first_card("ATTTYPE ")) {
        CardParts p = decoded(*card);
        put(card_line(p.comment, p.value, p.keyword));
    }
}

void write_chopper_mode(int mode)
{
    if (const std::string *card = first_card("FPCMODE ")) {
        CardParts p = decoded(*card);
        const std::string description =
            mode == 1 ? p.comment : kChopperModeLabel;
        put(card_line(description, p.value, p.keyword));
    }
}

// ---------------------------------------------------------------------------
// Header pass: each card gets the action of the first rule it matches.

enum class Action {
    skip,           // no line
    print,          // standard card line
    print_as,       // standard card line with a fixed description
    comment_card,   // the whole card as it stands
    extension,      // heading of the extension header, then the card
    configuration,  // heading of the next configuration, then the card
    count_rows,     // no line; the value is the row count
    print_rows,     // standard card line; the value is the row count
};

struct HeaderRule {
    const char *key;  // matched on its own length
    Action action;
    const char *description = nullptr;
    Family only = Family::any;  // the rule holds for this product only
};

// Short summary: the raster geometry and orientation; the rest is skipped.
const HeaderRule kSummaryRules[] = {
    {"ATTRNPTS", Action::print}, {"ATTRNLNS", Action::print}, {"ATTRDPTS", Action::print},
    {"ATTRDLNS", Action::print}, {"ATTRORIE", Action::print}, {"ATTRROTA", Action::print},
    {"NAXIS1", Action::skip},    {"NAXIS2", Action::count_rows},
};

// Full header listing: every card is printed unless a rule says otherwise.
// The per-configuration user parameters are skipped here (FLUX also covers
// FLUXUNC, BRGT covers BRGTUNC) and listed with their configuration.
const HeaderRule kVerboseRules[] = {
    {" ", Action::skip},
    {"\t", Action::skip},
    {"END     ", Action::skip},
    {"DATE    ", Action::skip},
    {"ATTTYPE ", Action::skip},
    {"FPCMODE ", Action::skip},
    {"ORIGIN  ", Action::print_as, "Data Origin                                    "},
    {"TELESCOP", Action::print_as, "Telescope                                      "},
    {"FILEVERS", Action::print_as, "File version ID in ISO archive                 "},
    {"COMMENT", Action::comment_card},
    {"HISTORY", Action::comment_card},
    {"XTENSION", Action::extension},
    {"FILTER", Action::configuration},
    {"NAXIS1", Action::print},
    {"NAXIS2", Action::print_rows},
    {"FLUX", Action::skip, nullptr, Family::ppap},
    {"BRGT", Action::skip, nullptr, Family::ppae},
    {"BACK", Action::skip},
};

// Running state of the header pass.
struct HeadState {
    Family family;
    int rowno = 0;     // from the last NAXIS2 card; 0 without one
    int k = 0;         // FILTER cards seen
    bool user_done = false;
};

int row_count(const std::string &card) { return value_count(split_card(card).value); }

void apply(const HeaderRule &rule, const std::string &card, HeadState &st)
{
    switch (rule.action) {
    case Action::skip: break;
    case Action::print: write_card(card); break;
    case Action::print_as: write_card_as(card, rule.description); break;
    case Action::comment_card: put(text_format("%s\n", card.c_str())); break;
    case Action::extension:
        put("\n\nExtension Table Column Formats:\n");
        put("================================\n\n");
        write_card(card);
        break;
    case Action::configuration:
        if (!st.user_done) {
            put("\n\nUser specified parameters per filter/aperture configuration:\n");
            put("--------------------------------------------------------------\n");
            st.user_done = true;
        }
        put(text_format("\n\nFilter/aperture configuration No.%d:\n", st.k + 1));
        put("===================================\n\n");
        write_card(card);
        ++st.k;
        break;
    case Action::count_rows: st.rowno = row_count(card); break;
    case Action::print_rows:
        write_card(card);
        st.rowno = row_count(card);
        break;
    }
}

template <std::size_t N>
void header_pass(const HeaderRule (&rules)[N], Action otherwise, HeadState &st)
{
    for (const std::string &card : header) {
        const HeaderRule *hit = nullptr;
        for (const HeaderRule &rule : rules) {
            if (rule.only != Family::any && rule.only != st.family) continue;
            if (card_is(card, rule.key)) {
                hit = &rule;
                break;
            }
        }
        if (hit != nullptr) apply(*hit, card, st);
        else if (otherwise == Action::print) write_card(card);
    }
}

void write_summary(HeadState &st)
{
    write_creation_date();
    write_attitude_type();
    write_chopper_mode(0);
    header_pass(kSummaryRules, Action::skip, st);
}

void write_full_header(HeadState &st)
{
    put("\nPrimary FITS headers:\n");
    put("======================\n\n");
    write_creation_date();
    write_attitude_type();
    write_chopper_mode(1);
    header_pass(kVerboseRules, Action::print, st);
}

// ---------------------------------------------------------------------------
// Loading

struct ColumnNumbers {
    int nbck = 0;
    std::array<int, std::size(kFloatColumns)> value{};
};

ColumnNumbers find_columns(const Product &product)
{
    ColumnNumbers col;
    const std::string prefix = product.prefix;
    tindp(unitin, (prefix + kCountSuffix).c_str(), &col.nbck);
    for (std::size_t i = 0; i < product.float_columns; ++i)
        tindp(unitin, (prefix + kFloatColumns[i].suffix).c_str(), &col.value[i]);
    return col;
}

// Reads up to `rows` rows; a read failure ends the loading with a message,
// and the records end with the last row read.
std::vector<PhotometerRecord> load_records(const Product &product, int rows)
{
    const ColumnNumbers col = find_columns(product);
    std::vector<PhotometerRecord> records(static_cast<std::size_t>(rows));
    std::size_t read = 0;
    for (; read < records.size(); ++read) {
        PhotometerRecord &rec = records[read];
        tblread(unitin);
        if (itstat() > 0) {
            std::fprintf(stderr, "error reading tablefile\n");
            break;
        }
        if (itstat() < 0) {
            std::fprintf(stderr, "EOF reading tablefile\n");
            break;
        }
        fetch(unitin, col.nbck, rec.nbck);
        for (std::size_t i = 0; i < product.float_columns; ++i)
            fetch(unitin, col.value[i], rec.*kFloatColumns[i].field);
    }
    records.resize(read);
    return records;
}

// ---------------------------------------------------------------------------
// Measurement blocks

// The FILTER and APER cards of configuration n, in store order.
void write_filter_cards(int n)
{
    const std::string filter = numbered_key("FILTER", n);
    const std::string aper = numbered_key("APER", n);
    for (const std::string &card : header)
        if (numbered_key_matches(card, filter, kFilterCompare) ||
            numbered_key_matches(card, aper, kAperCompare))
            write_card(card);
}

// The user parameter cards of configuration n, in store order.
void write_user_parameters(const Product &product, int n)
{
    const std::string value = numbered_key(product.user_stem, n);
    const std::string unc = numbered_key(product.user_unc_stem, n);
    const std::string back = numbered_key("BACK", n);
    for (const std::string &card : header)
        if (numbered_key_matches(card, value, kUserCompare) ||
            numbered_key_matches(card, unc, kUserUncCompare) ||
            numbered_key_matches(card, back, kUserCompare))
            write_card(card);
}

// The column name of a TTYPE card, in parentheses.
std::string column_name(std::string value)
{
    clean(value.data());
    value.resize(std::strlen(value.c_str()));
    return value;
}

std::string float_line(const Product &product, const CardParts &p, float field)
{
    const double v = field;
    const std::string name = column_name(p.value);
    if (!(std::fabs(v) < kGeneralFormFrom))
        return text_format("%.47s= %g             %s\n", p.comment.c_str(), v, name.c_str());
    if (product.decimals == 2)
        return text_format("%.47s= %8.2f             %s\n", p.comment.c_str(), v, name.c_str());
    return text_format("%.47s= %8.4f             %s\n", p.comment.c_str(), v, name.c_str());
}

// One line per measured value, in the order of the TTYPE cards in the store.
void write_value_lines(const Product &product, const PhotometerRecord &rec)
{
    for (const std::string &card : header) {
        if (card_is(card, kCountTtype)) {
            CardParts p = split_card(card);
            put(text_format("%.47s= %8d             %s\n", p.comment.c_str(), rec.nbck,
                          column_name(p.value).c_str()));
            continue;
        }
        for (std::size_t i = 0; i < product.float_columns; ++i)
            if (card_is(card, kFloatColumns[i].ttype)) {
                put(float_line(product, split_card(card), rec.*kFloatColumns[i].field));
                break;
            }
    }
}

void write_configuration(const Product &product, int mode, const PhotometerRecord &rec, int n)
{
    put(text_format("\n\nFilter/aperture configuration No.%d:\n", n));
    put("===================================\n\n");
    write_filter_cards(n);
    put("\n\n");
    if (mode == 1) write_user_parameters(product, n);
    write_value_lines(product, rec);
}

void write_measurements(const Product &product, int mode,
                        const std::vector<PhotometerRecord> &records)
{
    put("\n\nMeasurements per filter/aperture configuration:\n");
    put("-----------------------------------------------\n");
    for (std::size_t k = 0; k < records.size(); ++k)
        write_configuration(product, mode, records[k], static_cast<int>(k) + 1);
}

}  // namespace

int readppa(const char *filename, int mode, const char *outfile)
{
    const Product &product = ppap_done == 1 ? kPpap : kPpae;

    if (!open_listing(filename, outfile)) return 1;
    put(text_format("Name of the AAR file                           : '%s'\n", filename));

    HeadState head{product.family};
    if (mode == 1) write_full_header(head);
    else write_summary(head);

    const int rows = limit_records(head.rowno);
    const std::vector<PhotometerRecord> records = load_records(product, rows);
    write_measurements(product, mode, records);

    tcls(unitout);
    return 0;
}
