// Builds small FITS and text files for the table library tests: header cards,
// a BINTABLE extension with big-endian rows, and deliberate damage (missing
// END cards, truncation). Independent of the library under test.
#pragma once

#include <cctype>
#include <cstdint>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

namespace fitsb {

constexpr std::size_t kCard = 80;
constexpr std::size_t kBlock = 2880;

inline std::string card(const std::string &text)
{
    std::string c = text.substr(0, kCard);
    c.resize(kCard, ' ');
    return c;
}

// "KEY     =                    12" with the value right-justified to column 30.
inline std::string int_card(const std::string &key, long long v)
{
    std::string k = key;
    k.resize(8, ' ');
    std::string value = std::to_string(v);
    return card(k + "= " + std::string(value.size() < 20 ? 20 - value.size() : 0, ' ') + value);
}

inline std::string text_card(const std::string &key, const std::string &v)
{
    std::string k = key;
    k.resize(8, ' ');
    return card(k + "= '" + v + "'");
}

// Cards padded with blanks to whole blocks, with an END card unless told not to.
inline std::string header_blocks(std::vector<std::string> cards, bool with_end = true)
{
    if (with_end) cards.push_back(card("END"));
    std::string s;
    for (auto &c : cards) s += card(c);
    if (s.size() % kBlock) s.append(kBlock - s.size() % kBlock, ' ');
    return s;
}

inline std::vector<std::string> primary_cards()
{
    return {card("SIMPLE  =                    T"), card("BITPIX  =                    8"),
            card("NAXIS   =                    0"), card("EXTEND  =                    T")};
}

// Bytes of a column of the given TFORM (repeat count, then type letter).
inline long long tform_bytes(const std::string &tform)
{
    std::size_t pos = 0;
    long long count = 0;
    while (pos < tform.size() && tform[pos] >= '0' && tform[pos] <= '9') count = count * 10 + (tform[pos++] - '0');
    if (pos == 0) count = 1;
    switch (pos < tform.size() ? std::toupper(static_cast<unsigned char>(tform[pos])) : ' ') {
    case 'X': return (count + 7) / 8;
    case 'I': return 2 * count;
    case 'J': case 'E': return 4 * count;
    case 'D': case 'K': case 'C': case 'P': return 8 * count;
    case 'M': case 'Q': return 16 * count;
    default: return count;  // A, B, L
    }
}

// Extension cards of a BINTABLE with the given (name, TFORM) columns; NAXIS1
// is the width of the columns.
inline std::vector<std::string> table_cards(long long rows, const std::vector<std::pair<std::string, std::string>> &cols)
{
    long long width = 0;
    for (const auto &col : cols) width += tform_bytes(col.second);
    std::vector<std::string> c = {card("XTENSION= 'BINTABLE'"), int_card("BITPIX", 8), int_card("NAXIS", 2),
                                  int_card("NAXIS1", width), int_card("NAXIS2", rows), int_card("PCOUNT", 0),
                                  int_card("GCOUNT", 1), int_card("TFIELDS", static_cast<long long>(cols.size()))};
    for (std::size_t i = 0; i < cols.size(); ++i) {
        c.push_back(text_card("TTYPE" + std::to_string(i + 1), cols[i].first));
        c.push_back(text_card("TFORM" + std::to_string(i + 1), cols[i].second));
    }
    return c;
}

// Data padded with zeros to whole blocks.
inline std::string data_blocks(std::string data)
{
    if (data.size() % kBlock) data.append(kBlock - data.size() % kBlock, '\0');
    return data;
}

// Big-endian encoders for row data.
template <typename T>
std::string be(T v)
{
    char b[sizeof(T)];
    std::memcpy(b, &v, sizeof(T));
    std::string s;
    for (std::size_t i = sizeof(T); i-- > 0;) s += b[i];
    return s;
}

inline std::string be32(std::int32_t v) { return be(v); }
inline std::string be16(std::int16_t v) { return be(v); }
inline std::string bef(float v) { return be(v); }
inline std::string bed(double v) { return be(v); }

// A whole product: primary header, table header and rows.
inline std::string table_file(long long rows, const std::vector<std::pair<std::string, std::string>> &cols,
                              const std::string &data)
{
    return header_blocks(primary_cards()) + header_blocks(table_cards(rows, cols)) + data_blocks(data);
}

}  // namespace fitsb
