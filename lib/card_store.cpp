// Header card store and its index; see card_store.h.
#include "card_store.h"

#include <algorithm>

namespace {

constexpr std::string_view kEndCard = "END     ";

// The first eight characters of text (fewer: padded with zero bytes) as a
// number that orders like the characters, unsigned.
std::uint64_t key_of(std::string_view text)
{
    std::uint64_t key = 0;
    for (std::size_t i = 0; i < kFitsKeywordLength; ++i)
        key = key << 8 | (i < text.size() ? static_cast<unsigned char>(text[i]) : 0u);
    return key;
}

// The bits of a key that its first n characters fill.
std::uint64_t mask_of(std::size_t n)
{
    return n == 0 ? 0 : ~std::uint64_t{0} << (8 * (kFitsKeywordLength - std::min(n, kFitsKeywordLength)));
}

}  // namespace

CardStore::CardStore(std::string_view primary, std::string_view extension)
{
    cards_.reserve(primary.size() + extension.size());
    add_header(primary);
    primary_size_ = size();
    add_header(extension);
    index_.reserve(size());
    for (std::size_t i = 0; i < size(); ++i) index_.push_back({key_of((*this)[i]), i});
    std::sort(index_.begin(), index_.end(), [](const Entry &a, const Entry &b) {
        return a.key != b.key ? a.key < b.key : a.card < b.card;
    });
}

void CardStore::add_header(std::string_view text)
{
    for (std::size_t at = 0; at + kFitsCardLength <= text.size(); at += kFitsCardLength) {
        const std::string_view card = text.substr(at, kFitsCardLength);
        cards_.append(card);
        if (card.substr(0, kFitsKeywordLength) == kEndCard) break;
    }
}

std::pair<const CardStore::Entry *, const CardStore::Entry *> CardStore::range(std::string_view text) const
{
    const std::uint64_t mask = mask_of(text.size());
    const std::uint64_t key = key_of(text) & mask;
    const Entry *from = index_.data();
    const Entry *to = from + index_.size();
    from = std::partition_point(from, to, [&](const Entry &e) { return (e.key & mask) < key; });
    to = std::partition_point(from, to, [&](const Entry &e) { return (e.key & mask) == key; });
    return {from, to};
}

bool CardStore::begins(std::size_t card, std::string_view text) const
{
    return text.size() <= kFitsKeywordLength || (*this)[card].substr(0, text.size()) == text;
}

std::optional<std::size_t> CardStore::first(std::string_view text) const
{
    std::optional<std::size_t> found;
    const auto [from, to] = range(text);
    for (const Entry *e = from; e != to; ++e)
        if ((!found || e->card < *found) && begins(e->card, text)) found = e->card;
    return found;
}

std::optional<std::size_t> CardStore::last(std::string_view text) const
{
    std::optional<std::size_t> found;
    const auto [from, to] = range(text);
    for (const Entry *e = from; e != to; ++e)
        if ((!found || e->card > *found) && begins(e->card, text)) found = e->card;
    return found;
}

std::vector<std::size_t> CardStore::all(std::string_view text) const
{
    std::vector<std::size_t> found;
    const auto [from, to] = range(text);
    for (const Entry *e = from; e != to; ++e)
        if (begins(e->card, text)) found.push_back(e->card);
    std::sort(found.begin(), found.end());
    return found;
}

std::string numbered_key(std::string_view stem, int n)
{
    std::string key(stem);
    key += std::to_string(n);
    if (n >= 1 && n <= 9) key += ' ';
    return key;
}

std::optional<std::string> numbered_prefix(std::string_view stem, int n, std::size_t compared)
{
    std::string key = numbered_key(stem, n);
    const std::size_t significant = key.find_last_not_of(' ') + 1;
    if (significant > compared) return std::nullopt;
    key.resize(std::min(key.size(), compared));
    return key;
}
