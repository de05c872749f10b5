// Listing of the photometer (PHT-P) products PPAE and PPAP, one table row
// per filter/aperture configuration: the head (normal summary or full
// header listing), then one block per configuration with its FILTER and
// APER cards, in the verbose form its user parameters, and one value line
// per column labelled by the comment of the column's TTYPE card.
#include <cmath>
#include <span>

#include "listing_head.h"
#include "listings.h"

namespace {

constexpr unsigned kPpae = for_types({ProductType::ppae});
constexpr unsigned kPpap = for_types({ProductType::ppap});

// Every card of the full header listing gets a standard line unless a rule
// says otherwise. Creation date, attitude and chopper mode come first; the
// per-configuration user parameters are listed with their configuration
// (FLUX also covers FLUXUNC, BRGT covers BRGTUNC). COMMENT and HISTORY
// cards follow the shared rules of listing_head.h.
const HeadRule kVerboseRules[] = {
    {.begins = "DATE    ", .line = Line::skip},
    {.begins = "ATTTYPE ", .line = Line::skip},
    {.begins = "FPCMODE ", .line = Line::skip},
    {.begins = "ORIGIN  ", .line = Line::labelled, .label = "Data Origin                                    "},
    {.begins = "TELESCOP", .line = Line::labelled, .label = "Telescope                                      "},
    {.begins = "FILEVERS", .line = Line::labelled, .label = "File version ID in ISO archive                 "},
    {.begins = "XTENSION", .each = "\n\nExtension Table Column Formats:\n================================\n\n"},
    {.begins = "FILTER",
     .heading = "\n\nUser specified parameters per filter/aperture configuration:\n"
                "--------------------------------------------------------------\n",
     .each = "\n\nFilter/aperture configuration No.%d:\n===================================\n\n"},
    {.begins = "FLUX", .line = Line::skip, .only = kPpap},
    {.begins = "BRGT", .line = Line::skip, .only = kPpae},
    {.begins = "BACK", .line = Line::skip},
};

const HeadSpec kVerboseHead{"\nPrimary FITS headers:\n======================\n\n", kLeadCards,
                            {kVerboseRules, kCommentaryCards}, Line::standard};

// The configuration's FILTER and APER cards, and its user parameters.
constexpr NumberedStem kConfigurationCards[] = {{"FILTER", 8}, {"APER", 6}};
constexpr NumberedStem kPpaeParameters[] = {{"BRGT", 6}, {"BRGTUNC", 8}, {"BACK", 6}};
constexpr NumberedStem kPpapParameters[] = {{"FLUX", 6}, {"FLUXUNC", 8}, {"BACK", 6}};

// The floating fields in the order of the table's columns from the fourth
// on: TTYPE4 labels srce, TTYPE5 srcu, ... (TTYPE3 labels nbck).
using FloatField = float data_ppa::*;
constexpr FloatField kFloatFields[] = {
    &data_ppa::srce, &data_ppa::srcu, &data_ppa::back, &data_ppa::bcku, &data_ppa::spb,  &data_ppa::spbu,
    &data_ppa::bck1, &data_ppa::bk1u, &data_ppa::bck2, &data_ppa::bk2u, &data_ppa::bint, &data_ppa::binu,
};
constexpr int kFirstFloatColumn = 4;

// Magnitude from which a value is written in the general form.
constexpr double kGeneralFormFrom = 100000.0;

struct Photometer {
    std::span<const NumberedStem> parameters;
    std::size_t float_columns;  // PPAE products have no BINT and BINU
    const char *fixed_format;   // of the value lines below kGeneralFormFrom
};

const Photometer kPpaeListing{kPpaeParameters, 10, "%.47s= %8.2f             %s\n"};
const Photometer kPpapListing{kPpapParameters, 12, "%.47s= %8.4f             %s\n"};

void write_cards(ListingWriter &out, const CardStore &cards, const std::vector<std::size_t> &which)
{
    for (std::size_t i : which) write_card_line(out, cards[i]);
}

// One line per measured value, in the order of the TTYPE cards.
void value_lines(ListingWriter &out, const Product &product, const Photometer &kind, const data_ppa &rec)
{
    for (const TableColumn &c : product.columns()) {
        const char *label = c.parts.comment.c_str();
        if (c.n == kFirstFloatColumn - 1) {
            out.line("%.47s= %8d             %s\n", label, rec.nbck, c.listed_name.c_str());
            continue;
        }
        const std::size_t f = static_cast<std::size_t>(c.n - kFirstFloatColumn);
        if (c.n < kFirstFloatColumn || f >= kind.float_columns) continue;
        const double v = rec.*kFloatFields[f];
        if (!(std::fabs(v) < kGeneralFormFrom))
            out.line("%.47s= %g             %s\n", label, v, c.listed_name.c_str());
        else
            out.line(kind.fixed_format, label, v, c.listed_name.c_str());
    }
}

void write_configuration(ListingWriter &out, const Product &product, const Photometer &kind, bool verbose,
                         int n)
{
    const CardStore &cards = product.cards();
    out.line("\n\nFilter/aperture configuration No.%d:\n", n);
    out.put("===================================\n\n");
    write_cards(out, cards, numbered_cards(cards, kConfigurationCards, n));
    out.put("\n\n");
    if (verbose) write_cards(out, cards, numbered_cards(cards, kind.parameters, n));
    value_lines(out, product, kind, product.records<data_ppa>()[static_cast<std::size_t>(n - 1)]);
}

}  // namespace

void write_photometer_listing(ListingWriter &out, const Product &product, bool verbose)
{
    const Photometer &kind = product.type() == ProductType::ppap ? kPpapListing : kPpaeListing;
    write_listing_start(out, product);
    write_head(out, product, verbose ? kVerboseHead : kCardSummary);
    out.put("\n\nMeasurements per filter/aperture configuration:\n"
            "-----------------------------------------------\n");
    for (std::size_t k = 0; k < product.record_count(); ++k)
        write_configuration(out, product, kind, verbose, static_cast<int>(k) + 1);
}
