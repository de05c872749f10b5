// Pieces shared by the camera, photometer and spectrometer listings: opening
// the listing unit with its banner, formatting lines without a fixed-size
// buffer, matching and splitting header cards of the card store, numbered
// per-filter keyword texts, and field fetches that never write past a
// record field.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "fits_card.h"
#include "fits_table.h"
#include "text_format.h"

inline constexpr const char *kProgramName    = "qrpht";
inline constexpr const char *kProgramVersion = "5.0";

// Largest number of records a listing holds.
inline constexpr int kMaxRecords = 500;


// Write a text to the listing unit unchanged (the caller supplies newlines).
void put(const char *text);
void put(const std::string &text);

// Open the listing file as unitout and write the banner of the product
// followed by two empty lines. When the file cannot be created, writes
// "problem opening output file <path>: <reason>" on the standard error and
// returns false; the caller then ends with status 1 and writes nothing else.
bool open_listing(const char *filename, const char *outfile);

// True when the card begins with key over the whole length of key.
// Listings test every card against many keys, and most differ in the first
// character: the comparison runs as it goes instead of measuring the key
// first. The card's terminator differs from every character of the key, so
// a card shorter than the key never matches.
inline bool card_is(const std::string &card, const char *key)
{
    const char *c = card.c_str();
    for (; *key != '\0'; ++key, ++c)
        if (*c != *key) return false;
    return true;
}
inline bool card_is(const std::string &card, const std::string &key)
{
    return card_is(card, key.c_str());
}


// Descriptions that replace a card's own comment in every product's head.
inline constexpr const char *kCreationDateLabel = " AAR file Creation date                        ";
inline constexpr const char *kChopperModeLabel = "Chopper mode (ST/RE/SW/TR/C1&C2)               ";

// The value of an ATTTYPE or FPCMODE card spelled out as a 20-character word
// (Raster, Pointed, Tracking; Staring, Rectangular, Sawtooth, Absolute
// photometry); any other card or value is returned as written.
std::string decoded_value(const CardParts &p);

// The standard card line "%.47s: %s (%s)\n": the comment cut to 47
// characters, the value and the keyword.
std::string card_line(const std::string &comment, const std::string &value,
                      const std::string &keyword);
// The standard card line of a stored card.
std::string card_line(const std::string &card);


// Keyword text of filter or configuration n: the stem, n in decimal and, for
// n from 1 to 9, one trailing blank ("FILTER3 ", "FILTER12").
std::string numbered_key(const char *stem, int n);

// True when the first len characters of the card equal the first len
// characters of the numbered text. A text whose stem and number alone are
// longer than len matches no card, so FLUXUNC10 never stands for FLUXUNC1.
bool numbered_key_matches(const std::string &card, const std::string &text,
                          std::size_t len);

// Record limit: for more than kMaxRecords records, writes
// "Too many rows (N); only the first 500 are listed." on the standard error
// and returns kMaxRecords; otherwise returns count (never negative).
int limit_records(long long count);
// The same for counts that may exceed 64 bits (a product of three counts).
int limit_records_wide(unsigned __int128 count);

// Field fetches into record fields of n elements. The column's values are
// fetched whole and only the first n are kept, so a column with more
// elements than its field never writes past it; a column with fewer leaves
// the remaining elements as they were. A failed fetch (column 0, wrong type)
// leaves the field unchanged, as the table library does.
void fetch_ints(int unit, int col, int *field, std::size_t n);
void fetch_floats(int unit, int col, float *field, std::size_t n);

template <std::size_t N> void fetch(int unit, int col, int (&field)[N]) { fetch_ints(unit, col, field, N); }
template <std::size_t N> void fetch(int unit, int col, float (&field)[N]) { fetch_floats(unit, col, field, N); }
inline void fetch(int unit, int col, int &field) { fetch_ints(unit, col, &field, 1); }
inline void fetch(int unit, int col, float &field) { fetch_floats(unit, col, &field, 1); }
