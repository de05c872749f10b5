// Splitting of header cards into keyword, value and comment, and the marking
// of quoted string values. A card is an 80-character FITS header record:
// keyword in columns 1-8, "= " in columns 9-10 for value cards, then the
// value and an optional comment introduced by " /".
#include "parse.h"

#include <cstddef>

namespace {

constexpr std::size_t kKeywordLength = 8;   // columns 1-8
constexpr std::size_t kValueStart = 10;     // column 11, counted from 0
constexpr std::size_t kCardLength = 80;
constexpr std::size_t kFieldMax = kCardLength - kValueStart;  // 70 characters

// Length of the card text, never more than one card.
std::size_t card_length(const char *card)
{
    std::size_t n = 0;
    while (n < kCardLength && card[n] != '\0') ++n;
    return n;
}

}  // namespace

void parse(const char *card, char *keyword, char *value, char *comment)
{
    const std::size_t len = card_length(card);

    std::size_t k = 0;
    for (; k < kKeywordLength && k < len; ++k) keyword[k] = card[k];
    keyword[k] = '\0';

    // The value runs from column 11 up to the blank of the first " /" that
    // stands behind a copied character. The search ignores quotes, so a
    // string holding " /" is cut there, as the card reads to a person.
    std::size_t v = 0;
    std::size_t comment_from = len;  // no comment unless a " /" is found
    for (std::size_t pos = kValueStart; pos < len && v < kFieldMax; ++pos) {
        value[v++] = card[pos];
        if (pos + 2 < len && card[pos + 1] == ' ' && card[pos + 2] == '/') {
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
    char *p = str;
    while (*p != '\0' && *p != '\'') ++p;
    if (*p == '\0') return;
    *p++ = '(';
    while (*p != '\0' && *p != '\'') ++p;
    if (*p == '\0') return;
    *p++ = ')';
    *p = '\0';
}
