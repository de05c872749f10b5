// The head of a listing, common to the three product families: the banner
// and the file name, then the header cards chosen by a table of rules and
// written by one function (write_head).
//
// A head is a HeadSpec: a title, rules applied to the first card each one
// matches, then rules applied to every card in file order (the first rule
// whose text begins the card decides; a listing's own table comes first,
// then the shared ones it names), and what becomes of the cards no rule
// matches. A rule that holds for some product types only names them.
#pragma once

#include <array>
#include <initializer_list>
#include <span>
#include <string_view>
#include <vector>

#include "listing_writer.h"
#include "product.h"
#include "qrpht_version.h"


// Descriptions that replace a card's own comment.
inline constexpr const char *kCreationDateLabel = " AAR file Creation date                        ";
inline constexpr const char *kChopperModeLabel = "Chopper mode (ST/RE/SW/TR/C1&C2)               ";

// How a card is written. Lines other than whole and raster are standard
// card lines, "%.47s: %s (%s)\n": description, value field and keyword.
enum class Line {
    skip,      // nothing
    standard,  // described by the card's comment
    labelled,  // described by the rule's label
    decoded,   // ATTTYPE and FPCMODE codes spelled out; the label, else the comment
    whole,     // the whole card, as COMMENT cards are written
    numbered,  // the label, a printf format of the card's number among the rule's
               // cards, then ": value (keyword)"
    raster,    // the keyword as description when the comment begins with 12
               // blanks; else the whole comment, uncut
};

struct HeadRule {
    const char *begins;             // the first characters of the card
    Line line = Line::standard;
    const char *label = nullptr;
    const char *heading = nullptr;  // written before the first card the rule matches
    const char *each = nullptr;     // written before every card it matches; a printf
                                    // format of the card's number among them
    const char *after = nullptr;    // written behind every card it matches
    unsigned only = 0;              // the product types it holds for (for_types); 0: all
};

constexpr unsigned for_types(std::initializer_list<ProductType> types)
{
    unsigned set = 0;
    for (ProductType t : types) set |= 1u << static_cast<unsigned>(t);
    return set;
}

struct HeadSpec {
    const char *title;
    std::span<const HeadRule> first;  // each rule: the first card it matches
    // Each card: the first rule it matches, trying the tables in this order.
    std::array<std::span<const HeadRule>, 3> pass;
    Line others;  // cards no rule of the pass matches
};

// Creation date, attitude and chopper mode, described by their comments
// (the chopper mode's codes spelled out).
extern const std::span<const HeadRule> kLeadCards;
// The rules every full header listing ends with: COMMENT and HISTORY cards
// whole; blank, tab-led and END cards left out.
extern const std::span<const HeadRule> kCommentaryCards;

// The normal head of the camera and photometer listings: creation date,
// attitude and chopper mode, then the raster cards (and, for the camera, the
// pointing cards) wherever they stand.
extern const HeadSpec kCardSummary;

// Banner, two empty lines and the line naming the AAR file.
void write_listing_start(ListingWriter &out, const Product &product);

void write_head(ListingWriter &out, const Product &product, const HeadSpec &head);

// The standard card line of a card, described by its comment.
void write_card_line(ListingWriter &out, std::string_view card);

// A family of numbered cards (FILTER1, FILTER2, ...): the stem, and how many
// characters of a card are compared with the stem and number.
struct NumberedStem {
    const char *stem;
    std::size_t compared;
};

// The cards of the stems numbered n, in file order.
std::vector<std::size_t> numbered_cards(const CardStore &cards, std::span<const NumberedStem> stems, int n);
