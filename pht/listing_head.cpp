// The head of a listing; see listing_head.h.
#include "listing_head.h"

#include <algorithm>
#include <vector>

#include "qr_header.h"

namespace {

// Codes of ATTTYPE and FPCMODE values and the 20-character words listed
// for them.
struct ValueWord {
    const char *keyword;
    const char *begins;
    const char *word;
};

constexpr ValueWord kValueWords[] = {
    {"ATTTYPE ", "'R", "Raster              "},
    {"ATTTYPE ", "'P", "Pointed             "},
    {"ATTTYPE ", "'T", "Tracking            "},
    {"FPCMODE ", "'ST", "Staring             "},
    {"FPCMODE ", "'RE", "Rectangular         "},
    {"FPCMODE ", "'SW", "Sawtooth            "},
    {"FPCMODE ", "'C1", "Absolute photometry "},
    {"FPCMODE ", "'C2", "Absolute photometry "},
};

std::string decoded_value(const CardParts &p)
{
    for (const ValueWord &v : kValueWords)
        if (p.keyword == v.keyword && p.value.starts_with(v.begins)) return v.word;
    return p.value;
}

void card_line(ListingWriter &out, const std::string &description, const std::string &value,
               const std::string &keyword)
{
    out.line("%.47s: %s (%s)\n", description.c_str(), value.c_str(), keyword.c_str());
}

void raster_line(ListingWriter &out, const CardParts &p)
{
    if (p.comment.starts_with("            "))
        card_line(out, p.keyword, p.value, p.keyword);
    else
        out.line("%s: %s (%s)\n", p.comment.c_str(), p.value.c_str(), p.keyword.c_str());
}

void write_line(ListingWriter &out, Line line, const char *label, std::string_view card, int n)
{
    if (line == Line::skip) return;
    if (line == Line::whole) {
        out.put(std::string(card) + "\n");
        return;
    }
    const CardParts p = split_card(card);
    switch (line) {
    case Line::standard: card_line(out, p.comment, p.value, p.keyword); break;
    case Line::labelled: card_line(out, label, p.value, p.keyword); break;
    case Line::decoded: card_line(out, label != nullptr ? label : p.comment, decoded_value(p), p.keyword); break;
    case Line::numbered:
        out.line(label, n);
        out.line(": %s (%s)\n", p.value.c_str(), p.keyword.c_str());
        break;
    case Line::raster: raster_line(out, p); break;
    case Line::skip:
    case Line::whole: break;
    }
}

// Writes a card by its rule; n counts the cards of the rule, from 1.
void write_rule(ListingWriter &out, const HeadRule &rule, std::string_view card, int n)
{
    if (n == 1 && rule.heading != nullptr) out.put(rule.heading);
    if (rule.each != nullptr) out.line(rule.each, n);
    write_line(out, rule.line, rule.label, card, n);
    if (rule.after != nullptr) out.put(rule.after);
}

bool holds(const HeadRule &rule, ProductType type)
{
    return rule.only == 0 || (rule.only & for_types({type})) != 0;
}

constexpr unsigned kCamera = for_types({ProductType::pcae, ProductType::pcap, ProductType::pcas});

const HeadRule kLeadRules[] = {
    {.begins = "DATE    ", .line = Line::labelled, .label = kCreationDateLabel},
    {.begins = "ATTTYPE ", .line = Line::decoded},
    {.begins = "FPCMODE ", .line = Line::decoded},
};

const HeadRule kCommentaryRules[] = {
    {.begins = "COMMENT", .line = Line::whole},
    {.begins = "HISTORY", .line = Line::whole},
    {.begins = " ", .line = Line::skip},
    {.begins = "\t", .line = Line::skip},
    {.begins = "END     ", .line = Line::skip},
};

const HeadRule kSummaryFirst[] = {
    {.begins = "DATE    ", .line = Line::labelled, .label = kCreationDateLabel},
    {.begins = "ATTTYPE ", .line = Line::decoded},
    {.begins = "FPCMODE ", .line = Line::decoded, .label = kChopperModeLabel},
};

const HeadRule kSummaryRules[] = {
    {.begins = "ATTRNPTS"},
    {.begins = "ATTRNLNS"},
    {.begins = "INSTRA  ", .only = kCamera},
    {.begins = "INSTDEC ", .only = kCamera},
    {.begins = "INSTROLL", .only = kCamera},
    {.begins = "ATTRDPTS"},
    {.begins = "ATTRDLNS"},
    {.begins = "ATTRORIE"},
    {.begins = "ATTRROTA"},
};

// The rules of a pass, its tables one after the other, each with the number
// of cards it has matched so far.
class Pass {
public:
    explicit Pass(const HeadSpec &head)
    {
        for (std::span<const HeadRule> table : head.pass)
            for (const HeadRule &rule : table) rules_.push_back({&rule, 0});
    }

    // The rule of a card and the card's number among the rule's cards.
    std::pair<const HeadRule *, int> match(ProductType type, std::string_view card)
    {
        for (auto &[rule, matched] : rules_)
            if (holds(*rule, type) && card.starts_with(rule->begins)) return {rule, ++matched};
        return {nullptr, 0};
    }

private:
    std::vector<std::pair<const HeadRule *, int>> rules_;
};

}  // namespace

const std::span<const HeadRule> kLeadCards = kLeadRules;
const std::span<const HeadRule> kCommentaryCards = kCommentaryRules;
const HeadSpec kCardSummary{"", kSummaryFirst, {kSummaryRules}, Line::skip};

void write_listing_start(ListingWriter &out, const Product &product)
{
    const char *path = product.path().c_str();
    out.put(qr_banner(product.cards(), path, kProgramName, kProgramVersion));
    out.put("\n\n");
    out.line("Name of the AAR file                           : '%s'\n", path);
}

void write_head(ListingWriter &out, const Product &product, const HeadSpec &head)
{
    const CardStore &cards = product.cards();
    out.put(head.title);
    for (const HeadRule &rule : head.first) {
        if (!holds(rule, product.type())) continue;
        if (const std::optional<std::size_t> i = cards.first(rule.begins)) write_rule(out, rule, cards[*i], 1);
    }
    Pass pass(head);
    for (std::size_t i = 0; i < cards.size(); ++i) {
        const auto [rule, n] = pass.match(product.type(), cards[i]);
        if (rule == nullptr)
            write_line(out, head.others, nullptr, cards[i], 0);
        else
            write_rule(out, *rule, cards[i], n);
    }
}

void write_card_line(ListingWriter &out, std::string_view card)
{
    const CardParts p = split_card(card);
    card_line(out, p.comment, p.value, p.keyword);
}

std::vector<std::size_t> numbered_cards(const CardStore &cards, std::span<const NumberedStem> stems, int n)
{
    std::vector<std::size_t> found;
    for (const NumberedStem &s : stems) {
        if (const std::optional<std::string> key = numbered_prefix(s.stem, n, s.compared)) {
            const std::vector<std::size_t> some = cards.all(*key);
            found.insert(found.end(), some.begin(), some.end());
        }
    }
    std::sort(found.begin(), found.end());
    found.erase(std::unique(found.begin(), found.end()), found.end());
    return found;
}
