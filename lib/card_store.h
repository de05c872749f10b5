// A store of FITS header cards: every 80-character card of a primary header
// and of the extension header behind it, in file order, each header through
// its END card (the card whose keyword field is END and five blanks), with an
// index over the keyword fields.
//
// Cards are looked up by the beginning of their keyword field ("NAXIS2"
// finds NAXIS2 and NAXIS21; a text of eight characters such as "DATE    "
// is a whole keyword field). A lookup costs the logarithm of the number of
// cards plus the number of cards it finds, so a listing that looks up cards
// for every record costs cards plus records, not cards times records.
#pragma once

#include <cstdint>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "fits_card.h"

class CardStore {
public:
    CardStore() = default;
    // The cards of the primary header text and of the extension header text
    // (empty for a file without extension); text that does not fill a whole
    // card is left out.
    CardStore(std::string_view primary, std::string_view extension);

    std::size_t size() const { return cards_.size() / kFitsCardLength; }
    // Number of cards of the primary header, its END card included.
    std::size_t primary_size() const { return primary_size_; }
    // Card i (from 0), its 80 characters.
    std::string_view operator[](std::size_t i) const
    {
        return std::string_view(cards_).substr(i * kFitsCardLength, kFitsCardLength);
    }

    // The first and the last card whose keyword field begins with text.
    std::optional<std::size_t> first(std::string_view text) const;
    std::optional<std::size_t> last(std::string_view text) const;
    // Every card whose keyword field begins with text, in file order.
    std::vector<std::size_t> all(std::string_view text) const;
    std::size_t count(std::string_view text) const { return all(text).size(); }

private:
    // A keyword field as a number whose order is the order of its bytes.
    struct Entry {
        std::uint64_t key;
        std::size_t card;
    };
    void add_header(std::string_view text);
    // The index entries whose key begins with the first eight characters of
    // text, and whether a card of that range really begins with all of it.
    std::pair<const Entry *, const Entry *> range(std::string_view text) const;
    bool begins(std::size_t card, std::string_view text) const;

    std::string cards_;
    std::size_t primary_size_ = 0;
    std::vector<Entry> index_;  // sorted by key, then by card
};

// Keyword text of filter or configuration n: the stem, n in decimal and, for
// n from 1 to 9, one trailing blank ("FILTER3 ", "FILTER12").
std::string numbered_key(std::string_view stem, int n);

// The beginning of the keyword field of card n of a numbered family when
// `compared` characters are compared: the numbered key cut to that length.
// None when the stem and the number alone are longer, so FLUXUNC10 never
// stands for FLUXUNC1.
std::optional<std::string> numbered_prefix(std::string_view stem, int n, std::size_t compared);
