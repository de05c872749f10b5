// Minimal writer of FITS primary images, one image at a time.
//
// The file is framed as FITS requires: 80-byte header cards beginning with
// SIMPLE, the END card, blank cards up to the next 2880-byte record, the
// pixel values in big-endian order, and zero bytes up to the next 2880-byte
// record. The caller supplies BITPIX, NAXIS and the axis lengths and keeps
// them consistent with the pixels it writes.
//
// State is module-wide: an image is open exactly while `image.out` is open,
// and the only descriptor handed out is 0. The file is written under a
// temporary name and put in place by im_close only when every byte of it
// was written (see output_file.h): an image that fails half-way leaves
// whatever its name held before. The header stays open until the
// first pixel call ends it (or im_close, for an image without pixels), so
// every file that is closed carries its END card. Nothing is ever printed;
// every call reports through its result.
#include "libim.h"
#include "output_file.h"
#include "fits_card.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstdio>
#include <cstdint>
#include <cstring>
#include <span>
#include <string>
#include <type_traits>
#include <vector>

namespace {

constexpr std::size_t kCardLength = kFitsCardLength;
constexpr std::size_t kBlockBytes = kFitsBlockLength;
constexpr std::size_t kCardsPerBlock = kBlockBytes / kCardLength;  // 36
constexpr int kDescriptor = 0;

// Result codes.
constexpr int kOk = 0;
constexpr int kWriteFailed = -2;   // open failed, or short pixel/fill write
constexpr int kBadCall = -3;       // wrong mode, busy, bad descriptor, close failed
constexpr int kCardFailed = -4;    // a header card was not written

constexpr const char kSimpleCard[] =
    "SIMPLE  =                    T                                                  ";
static_assert(sizeof kSimpleCard - 1 == kCardLength);

// Blanks for card completion and fill cards; zeros for the data fill.
const std::array<char, kBlockBytes> kSpaces = [] {
    std::array<char, kBlockBytes> a{};
    a.fill(' ');
    return a;
}();
constexpr std::array<char, kBlockBytes> kZeros{};

// Stream buffer of the open image: an image of a few records then goes out
// in one or two system calls instead of one per 4 KiB.
constexpr std::size_t kStreamBuffer = 32 * 1024;

struct ImageState {
    std::array<char, kStreamBuffer> buffer;  // outlives out's stream: declared first
    OutputFile out;                   // discarded at exit unless closed
    long long cards_written = 0;      // header cards so far, SIMPLE included
    long long pix_bytes_written = 0;  // pixel bytes so far
    bool header_ended = false;        // END and its blank cards are written
};

ImageState image;

bool valid(int fid) { return fid == kDescriptor && image.out.is_open(); }

bool write_all(const void *data, std::size_t n) { return image.out.write(data, n); }

// Writes a card text and completes it with blanks to 80 characters.
int write_card(const char *text, std::size_t len)
{
    len = std::min(len, kCardLength);
    if (!write_all(text, len)) return kCardFailed;
    if (!write_all(kSpaces.data(), kCardLength - len)) return kCardFailed;
    ++image.cards_written;
    return kOk;
}

int write_card(const std::string &text) { return write_card(text.data(), text.size()); }

// A keyword card: keyword cut and padded to 8 characters, "= ", value text.
int write_value_card(int fid, const char *keyword, const std::string &value)
{
    if (!valid(fid)) return kBadCall;
    // A card written after the header has ended would land among the pixels
    // and corrupt the image; it is refused instead.
    if (image.header_ended) return kCardFailed;
    char key[9] = {0};
    std::snprintf(key, sizeof key, "%-8.8s", keyword ? keyword : "");
    return write_card(std::string(key) + "= " + value);
}

// A real value text of 20 characters, right-justified, 10 significant
// digits. FITS requires a decimal point: an integral value (5) gains a
// trailing one ("5."), a bare exponent form (1E+20) one before its
// exponent ("1.E+20"); the leading blank makes room for it.
std::string fits_real(double value)
{
    char text[32];
    std::snprintf(text, sizeof text, " %19.10G", value);
    std::string s = text;
    if (s.find('.') == std::string::npos) {
        const std::size_t e = s.find('E');
        // Built by appending: GCC 12 at -O3 wrongly warns of an overlapping
        // copy in a string insert here.
        const std::size_t at = e == std::string::npos ? s.size() : e;
        s = s.substr(1, at - 1).append(".").append(s, at);
    }
    return s;
}

// A string value without its enclosing quotes: each quote doubled, cut to
// 68 characters (never between the two quotes of a pair) and padded with
// blanks to at least 8.
std::string fits_string(const char *text)
{
    constexpr std::size_t kMaxText = 68;
    constexpr std::size_t kMinText = 8;
    std::string s;
    for (const char *c = text; *c != '\0'; ++c) {
        const std::size_t need = *c == '\'' ? 2 : 1;
        if (s.size() + need > kMaxText) break;
        s.append(need, *c);
    }
    if (s.size() < kMinText) s.resize(kMinText, ' ');
    return s;
}

// END card and blank cards up to the 2880-byte record boundary.
int end_header()
{
    if (image.header_ended) return kOk;
    image.header_ended = true;
    if (write_card("END") != kOk) return kWriteFailed;
    std::size_t rest = static_cast<std::size_t>(image.cards_written % kCardsPerBlock);
    std::size_t fill = (kCardsPerBlock - rest) % kCardsPerBlock;
    if (!write_all(kSpaces.data(), fill * kCardLength)) return kWriteFailed;
    return kOk;
}

// Copies one value of N bytes, reversing its bytes when swap is set.
template <std::size_t N>
void big_endian(const unsigned char *from, unsigned char *to, bool swap)
{
    if constexpr (N == 2 || N == 4 || N == 8) {
        using U = std::conditional_t<N == 2, std::uint16_t,
                                     std::conditional_t<N == 4, std::uint32_t, std::uint64_t>>;
        U u;
        std::memcpy(&u, from, N);
        if (swap) {
            if constexpr (N == 2) u = __builtin_bswap16(u);
            if constexpr (N == 4) u = __builtin_bswap32(u);
            if constexpr (N == 8) u = __builtin_bswap64(u);
        }
        std::memcpy(to, &u, N);
    } else {
        for (std::size_t b = 0; b < N; ++b) to[b] = from[swap ? N - 1 - b : b];
    }
}

// Writes n values of type T in FITS (big-endian) byte order. Values are
// converted in chunks so that memory stays bounded for large images.
template <typename T>
int write_pixels(int fid, const T *buffer, int n_pix)
{
    if (!valid(fid)) return kBadCall;
    if (n_pix < 0 || (n_pix > 0 && buffer == nullptr)) return kBadCall;
    if (end_header() != kOk) return kWriteFailed;

    constexpr std::size_t kChunkBytes = 8192;  // bytes per conversion chunk
    constexpr std::size_t kChunk = kChunkBytes / sizeof(T);
    constexpr bool kSwap = std::endian::native == std::endian::little;
    std::array<unsigned char, kChunkBytes> converted;
    const auto *in = reinterpret_cast<const unsigned char *>(buffer);
    for (std::size_t done = 0; done < static_cast<std::size_t>(n_pix);) {
        std::size_t count = std::min(kChunk, static_cast<std::size_t>(n_pix) - done);
        std::span<const unsigned char> bytes(converted.data(), count * sizeof(T));
        const unsigned char *from = in + done * sizeof(T);
        for (std::size_t i = 0; i < bytes.size(); i += sizeof(T))
            big_endian<sizeof(T)>(from + i, converted.data() + i, kSwap);
        if (!write_all(bytes.data(), bytes.size())) return kWriteFailed;
        image.pix_bytes_written += static_cast<long long>(bytes.size());
        done += count;
    }
    return n_pix;
}

}  // namespace

int im_open(const char *in_filename, const char *mode)
{
    if (mode == nullptr || mode[0] != 'w') return kBadCall;
    if (image.out.is_open()) return kBadCall;
    if (in_filename == nullptr) return kWriteFailed;
    if (!image.out.open(in_filename)) return kWriteFailed;
    std::setvbuf(image.out.stream(), image.buffer.data(), _IOFBF, image.buffer.size());
    image.pix_bytes_written = 0;
    image.header_ended = false;
    image.cards_written = 0;
    write_all(kSimpleCard, kCardLength);
    image.cards_written = 1;
    return kOk;
}

int im_wkey_i(int fid, int value, const char *keyword)
{
    char text[32];
    std::snprintf(text, sizeof text, "%20d", value);
    return write_value_card(fid, keyword, text);
}

int im_wkey_d(int fid, double value, const char *keyword)
{
    if (!valid(fid)) return kBadCall;
    // NaN and infinity have no FITS notation: no card is written.
    if (!std::isfinite(value)) return kCardFailed;
    return write_value_card(fid, keyword, fits_real(value));
}

int im_wkey_c(int fid, const char *ptr, const char *keyword)
{
    std::string quoted(1, '\'');
    quoted.append(fits_string(ptr ? ptr : "")).push_back('\'');
    return write_value_card(fid, keyword, quoted);
}

int im_wkey_raw(int fid, const char *ptr)
{
    if (!valid(fid)) return kBadCall;
    if (image.header_ended) return kCardFailed;
    // The card is the caller's 80 characters; a shorter text is completed
    // with blanks rather than read beyond its end.
    std::size_t len = ptr ? strnlen(ptr, kCardLength) : 0;
    return write_card(ptr ? ptr : "", len);
}

int im_wpix_c(int fid, const unsigned char *buffer, int n_pix) { return write_pixels(fid, buffer, n_pix); }
int im_wpix_s(int fid, const int16_t *buffer, int n_pix) { return write_pixels(fid, buffer, n_pix); }
int im_wpix_i(int fid, const int32_t *buffer, int n_pix) { return write_pixels(fid, buffer, n_pix); }
int im_wpix_r(int fid, const float *buffer, int n_pix) { return write_pixels(fid, buffer, n_pix); }
int im_wpix_d(int fid, const double *buffer, int n_pix) { return write_pixels(fid, buffer, n_pix); }

int im_close(int fid)
{
    if (!valid(fid)) return kBadCall;
    // An image closed before any pixel call still gets its END card.
    end_header();
    std::size_t rest = static_cast<std::size_t>(image.pix_bytes_written % kBlockBytes);
    write_all(kZeros.data(), (kBlockBytes - rest) % kBlockBytes);
    // Put in place only when whole; an image with a failed write is removed.
    return image.out.commit() ? kOk : kBadCall;
}
