// Splitting of header cards into keyword, value and comment, and the marking
// of quoted string values. A card is an 80-character FITS header record:
// keyword in columns 1-8, "= " in columns 9-10 for value cards, then the
// value and an optional comment introduced by " /".
#include "parse.h"

#include <cstddef>
#include <cstring>
#include <string_view>

#include "fits_card.h"

namespace {

constexpr std::size_t kValueStart = 10;  // column 11, counted from 0
constexpr std::size_t kFieldMax = kFitsCardLength - kValueStart;  // 70 characters

// Length of the card text, never more than one card.
std::size_t card_length(const char *card)
{
    std::size_t n = 0;
    while (n < kFitsCardLength && card[n] != '\0') ++n;
    return n;
}

bool is_commentary(std::string_view card)
{
    for (std::string_view key : {"COMMENT ", "HISTORY ", "        "})
        if (card.substr(0, kFitsKeywordLength) == key) return true;
    return false;
}

// The first position whose following " /" may start the comment: behind the
// closing quote of a string value (never, for a string without one), else
// the value's first column. A string value is the value of a card with "= "
// in columns 9-10, not a commentary card, whose first character other than
// a blank is a quote.
std::size_t comment_search_start(std::string_view card)
{
    if (card.size() <= kValueStart || card.substr(8, 2) != "= " || is_commentary(card))
        return kValueStart;
    const std::size_t quote = card.find_first_not_of(' ', kValueStart);
    if (quote == std::string_view::npos || card[quote] != '\'') return kValueStart;
    const FitsString s = fits_string(card, quote);
    return s.terminated ? s.close : card.size();
}

}  // namespace

void parse(const char *card, char *keyword, char *value, char *comment)
{
    const std::string_view text(card, card_length(card));
    const std::size_t len = text.size();

    std::size_t k = 0;
    for (; k < kFitsKeywordLength && k < len; ++k) keyword[k] = card[k];
    keyword[k] = '\0';

    // The value runs from column 11 up to the blank of the first " /" that
    // stands behind a copied character and behind the closing quote of a
    // string value.
    const std::size_t search_from = comment_search_start(text);
    std::size_t v = 0;
    std::size_t comment_from = len;  // no comment unless a " /" is found
    for (std::size_t pos = kValueStart; pos < len && v < kFieldMax; ++pos) {
        value[v++] = card[pos];
        if (pos >= search_from && pos + 2 < len && card[pos + 1] == ' ' && card[pos + 2] == '/') {
            comment_from = pos + 3;
            break;
        }
    }
    value[v] = '\0';

    std::size_t c = 0;
    for (std::size_t pos = comment_from; pos < len && c < kFieldMax; ++pos) comment[c++] = card[pos];
    comment[c] = '\0';
}

void clean(char *str)
{
    char *quote = std::strchr(str, '\'');
    if (quote == nullptr) return;
    // The text between the quotes is never longer than the quoted original,
    // so it is written in place.
    const FitsString s = fits_string(quote, 0);
    char *out = quote;
    *out++ = '(';
    for (char ch : s.text) *out++ = ch;
    if (s.terminated) *out++ = ')';
    *out = '\0';
}
