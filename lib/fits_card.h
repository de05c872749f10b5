// FITS header cards: their geometry, the splitting of a card and the reading
// of its values. This is the one card parser of the program: the table
// library's keyword reads, the card store, the banner and the listings all
// read cards through it (parse.h declares parse and clean).
//
// A string value starts at its opening quote and ends at the next quote
// that is not doubled; a doubled quote ('') inside it stands for one quote.
// A string without its closing quote runs to the end of the text it is read
// from.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

inline constexpr std::size_t kFitsCardLength = 80;     // characters per header card
inline constexpr std::size_t kFitsKeywordLength = 8;   // keyword field, columns 1-8
inline constexpr std::size_t kFitsBlockLength = 2880;  // bytes per FITS block

struct FitsString {
    std::string text;         // the value with each '' turned into '
    std::size_t close = 0;    // index of the closing quote; text length when unterminated
    bool terminated = false;  // a closing quote was found
};

// The string whose opening quote stands at text[open].
FitsString fits_string(std::string_view text, std::size_t open);

// The text behind the card's first "=", to the end of the card; none
// without an "=".
std::optional<std::string_view> text_after_equals(std::string_view card);

// The string value of a card as keyword reads give it: the string from the
// first quote behind the "="; none without "=" or without such a quote.
std::optional<std::string> card_string_value(std::string_view card);

// A card split as parse() splits it.
struct CardParts {
    std::string keyword;  // the 8-character keyword field with its blanks
    std::string value;    // the value field as written
    std::string comment;  // the text behind the slash of the comment
};
CardParts split_card(std::string_view card);

// A value with its string shown in parentheses, as clean() writes it.
std::string cleaned(std::string value);

// Numeric values of a card's value field, converted like atoi/atof: leading
// blanks skipped, conversion stops at the first character that is not part
// of the number. Integers are clamped to the range of int, never wrapped.
int    value_int(const std::string &value);
double value_double(const std::string &value);
// A count (rows, raster points, raster lines): value_int, negative as 0.
int    value_count(const std::string &value);
