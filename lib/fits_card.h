// FITS header cards: their geometry and the reading of string values.
//
// A string value starts at its opening quote and ends at the next quote
// that is not doubled; a doubled quote ('') inside it stands for one quote.
// A string without its closing quote runs to the end of the text it is read
// from.
#pragma once

#include <cstddef>
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
