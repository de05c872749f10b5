// Card geometry, splitting and values; see fits_card.h and parse.h.
#include "fits_card.h"

#include <climits>
#include <cstdlib>
#include <cstring>

#include "parse.h"

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

FitsString fits_string(std::string_view text, std::size_t open)
{
    FitsString s;
    std::size_t pos = open + 1;
    while (pos < text.size()) {
        if (text[pos] != '\'') {
            s.text.push_back(text[pos++]);
        } else if (pos + 1 < text.size() && text[pos + 1] == '\'') {
            s.text.push_back('\'');
            pos += 2;
        } else {
            s.close = pos;
            s.terminated = true;
            return s;
        }
    }
    s.close = text.size();
    return s;
}

std::optional<std::string_view> text_after_equals(std::string_view card)
{
    const std::size_t eq = card.find('=');
    if (eq == std::string_view::npos) return std::nullopt;
    return card.substr(eq + 1);
}

std::optional<std::string> card_string_value(std::string_view card)
{
    const std::optional<std::string_view> text = text_after_equals(card);
    if (!text) return std::nullopt;
    const std::size_t quote = text->find('\'');
    if (quote == std::string_view::npos) return std::nullopt;
    return fits_string(*text, quote).text;
}

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

CardParts split_card(std::string_view card)
{
    // parse() reads at most one card, which need not be terminated when it
    // has its full length, and fills buffers of 9 and 71 characters.
    std::string text(card.substr(0, kFitsCardLength));
    char keyword[kFitsKeywordLength + 1] = {0};
    char value[kFieldMax + 1] = {0};
    char comment[kFieldMax + 1] = {0};
    parse(text.c_str(), keyword, value, comment);
    return {keyword, value, comment};
}

std::string cleaned(std::string value)
{
    clean(value.data());
    value.resize(std::strlen(value.c_str()));
    return value;
}

int value_int(const std::string &value)
{
    const long v = std::strtol(value.c_str(), nullptr, 10);
    if (v > INT_MAX) return INT_MAX;
    if (v < INT_MIN) return INT_MIN;
    return static_cast<int>(v);
}

double value_double(const std::string &value) { return std::strtod(value.c_str(), nullptr); }

int value_count(const std::string &value)
{
    const int n = value_int(value);
    return n < 0 ? 0 : n;
}
