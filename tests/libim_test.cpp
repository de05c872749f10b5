// FITS image writer: card layouts, header and data framing to 2880-byte
// records, big-endian pixels, and the result codes of misuse.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <functional>
#include <limits>
#include <string>

#include "libim.h"
#include "test_util.h"

namespace {

constexpr std::size_t kCard = 80;
constexpr std::size_t kBlock = 2880;

std::string card(const std::string &text) { return text + std::string(kCard - text.size(), ' '); }
std::string card_at(const std::string &file, std::size_t n) { return file.substr(n * kCard, kCard); }

// Writes one image through the given body (keyword and pixel calls) and
// returns the file's bytes.
template <typename Body>
std::string make_image(const ScratchDir &dir, Body body)
{
    std::string path = dir / "img.fits";
    EXPECT_EQ(im_open(path.c_str(), "write"), 0);
    body();
    EXPECT_EQ(im_close(0), 0);
    return read_file(path);
}

}  // namespace

TEST(ImageWriter, CardLayouts)
{
    ScratchDir dir;
    std::string f = make_image(dir, [] {
        EXPECT_EQ(im_wkey_i(0, 3, "NAXIS"), 0);
        EXPECT_EQ(im_wkey_i(0, -32, "BITPIXELS"), 0);   // keyword cut to 8
        EXPECT_EQ(im_wkey_d(0, 5.0, "INTEGRAL"), 0);
        EXPECT_EQ(im_wkey_d(0, 1e20, "EXPONENT"), 0);
        EXPECT_EQ(im_wkey_d(0, -2.25, "FRACTION"), 0);
        EXPECT_EQ(im_wkey_d(0, 1.0 / 3.0, "THIRD"), 0);
        EXPECT_EQ(im_wkey_c(0, "AB", "OBJECT"), 0);
        EXPECT_EQ(im_wkey_c(0, std::string(70, 'x').c_str(), "LONG"), 0);
        EXPECT_EQ(im_wkey_raw(0, card("COMMENT raw card").c_str()), 0);
        EXPECT_EQ(im_wkey_raw(0, "HISTORY short"), 0);  // completed, not over-read
        float one = 1.0f;
        EXPECT_EQ(im_wpix_r(0, &one, 1), 1);
    });
    ASSERT_EQ(f.size(), 2 * kBlock);
    EXPECT_EQ(card_at(f, 0), card("SIMPLE  =                    T"));
    EXPECT_EQ(card_at(f, 1), card("NAXIS   =                    3"));
    EXPECT_EQ(card_at(f, 2), card("BITPIXEL=                  -32"));
    EXPECT_EQ(card_at(f, 3), card("INTEGRAL=                   5."));
    EXPECT_EQ(card_at(f, 4), card("EXPONENT=               1.E+20"));
    EXPECT_EQ(card_at(f, 5), card("FRACTION=                -2.25"));
    EXPECT_EQ(card_at(f, 6), card("THIRD   =         0.3333333333"));
    EXPECT_EQ(card_at(f, 7), card("OBJECT  = 'AB      '"));
    EXPECT_EQ(card_at(f, 8), "LONG    = '" + std::string(68, 'x') + "'");
    EXPECT_EQ(card_at(f, 9), card("COMMENT raw card"));
    EXPECT_EQ(card_at(f, 10), card("HISTORY short"));
    EXPECT_EQ(card_at(f, 11), card("END"));
    EXPECT_EQ(f.substr(12 * kCard, kBlock - 12 * kCard), std::string(kBlock - 12 * kCard, ' '));
}

TEST(ImageWriter, ValuesAreValidFits)
{
    // Each call on a fresh image; the card it leaves as card 1, or END when
    // the call writes none.
    const double inf = std::numeric_limits<double>::infinity();
    const std::string pair66 = std::string(66, 'x') + "'";  // its pair ends at 68
    const std::string pair67 = std::string(67, 'x') + "'";  // its pair would straddle 68
    struct Case {
        std::function<int()> call;
        int result;
        std::string card;
    };
    const Case cases[] = {
        {[] { return im_wkey_d(0, 1e20, "BIG"); }, 0, "BIG     =               1.E+20"},
        {[] { return im_wkey_d(0, -1e-20, "SMALL"); }, 0, "SMALL   =              -1.E-20"},
        {[] { return im_wkey_d(0, 2.5e30, "MANTISSA"); }, 0, "MANTISSA=              2.5E+30"},
        {[] { return im_wkey_d(0, -7.0, "INTEGRAL"); }, 0, "INTEGRAL=                  -7."},
        {[] { return im_wkey_d(0, std::nan(""), "NAN"); }, -4, "END"},
        {[=] { return im_wkey_d(0, -inf, "INF"); }, -4, "END"},
        {[] { return im_wkey_c(0, "O'BRIEN", "OBSERVER"); }, 0, "OBSERVER= 'O''BRIEN'"},
        {[] { return im_wkey_c(0, "'", "QUOTE"); }, 0, "QUOTE   = '''      '"},
        {[&] { return im_wkey_c(0, pair66.c_str(), "CUT"); }, 0, "CUT     = '" + std::string(66, 'x') + "'''"},
        {[&] { return im_wkey_c(0, pair67.c_str(), "CUT"); }, 0, "CUT     = '" + std::string(67, 'x') + "'"},
    };
    ScratchDir dir;
    for (const Case &c : cases) {
        std::string f = make_image(dir, [&] { EXPECT_EQ(c.call(), c.result) << c.card; });
        EXPECT_EQ(card_at(f, 1), card(c.card));
    }
}

TEST(ImageWriter, HeaderFillToRecordBoundary)
{
    ScratchDir dir;
    // SIMPLE, BITPIX, NAXIS, three axes, 20 cards and END: 27 cards, then 9
    // blank cards, data at 2880.
    std::string f = make_image(dir, [] {
        im_wkey_i(0, -32, "BITPIX");
        im_wkey_i(0, 3, "NAXIS");
        for (const char *k : {"NAXIS1", "NAXIS2", "NAXIS3"}) im_wkey_i(0, 1, k);
        for (int i = 0; i < 20; ++i) im_wkey_i(0, i, "KEY");
        float v = 2.0f;
        im_wpix_r(0, &v, 1);
    });
    EXPECT_EQ(card_at(f, 26), card("END"));
    EXPECT_EQ(card_at(f, 27), std::string(kCard, ' '));
    EXPECT_EQ(card_at(f, 35), std::string(kCard, ' '));
    EXPECT_EQ(f.substr(kBlock, 4), std::string("\x40\x00\x00\x00", 4));

    // END as card 36: the data follows directly.
    f = make_image(dir, [] {
        for (int i = 0; i < 34; ++i) im_wkey_i(0, i, "KEY");
        unsigned char b = 7;
        im_wpix_c(0, &b, 1);
    });
    EXPECT_EQ(card_at(f, 35), card("END"));
    EXPECT_EQ(f[kBlock], '\x07');
    EXPECT_EQ(f.size(), 2 * kBlock);
}

TEST(ImageWriter, DataFillAndByteOrder)
{
    ScratchDir dir;
    std::vector<float> px(640, 1.0f);  // 2560 bytes, then 320 zero bytes
    std::string f = make_image(dir, [&] { EXPECT_EQ(im_wpix_r(0, px.data(), 640), 640); });
    ASSERT_EQ(f.size(), 2 * kBlock);
    EXPECT_EQ(f.substr(kBlock, 4), std::string("\x3F\x80\x00\x00", 4));
    EXPECT_EQ(f.substr(kBlock + 2560), std::string(320, '\0'));

    std::vector<double> exact(360, -1.0);  // 2880 bytes in two calls: no fill
    f = make_image(dir, [&] {
        EXPECT_EQ(im_wpix_d(0, exact.data(), 180), 180);
        EXPECT_EQ(im_wpix_d(0, exact.data() + 180, 180), 180);
    });
    EXPECT_EQ(f.size(), 2 * kBlock);
    EXPECT_EQ(f.substr(f.size() - 8), std::string("\xBF\xF0\0\0\0\0\0\0", 8));

    const int16_t s[2] = {-2, 0x0102};
    const int32_t i[1] = {0x01020304};
    const unsigned char c[1] = {0xFF};
    f = make_image(dir, [&] {
        EXPECT_EQ(im_wpix_s(0, s, 2), 2);
        EXPECT_EQ(im_wpix_i(0, i, 1), 1);
        EXPECT_EQ(im_wpix_c(0, c, 1), 1);
    });
    EXPECT_EQ(f.substr(kBlock, 9), std::string("\xFF\xFE\x01\x02\x01\x02\x03\x04\xFF", 9));
    EXPECT_EQ(f.size(), 2 * kBlock);
}

TEST(ImageWriter, ResultCodesOfMisuse)
{
    ScratchDir dir;
    std::string first = dir / "first.fits";
    EXPECT_EQ(im_open(first.c_str(), "read"), -3);
    EXPECT_EQ(im_open((dir / "no/such/dir.fits").c_str(), "w"), -2);

    ASSERT_EQ(im_open(first.c_str(), "w"), 0);
    EXPECT_EQ(im_open((dir / "second.fits").c_str(), "w"), -3);  // one image at a time
    EXPECT_EQ(im_open(first.c_str(), "r"), -3);
    float v = 1.0f;
    EXPECT_EQ(im_wkey_i(1, 1, "A"), -3);
    EXPECT_EQ(im_wkey_d(1, 1.0, "A"), -3);
    EXPECT_EQ(im_wkey_c(1, "x", "A"), -3);
    EXPECT_EQ(im_wkey_raw(1, card("A").c_str()), -3);
    EXPECT_EQ(im_wpix_r(1, &v, 1), -3);
    EXPECT_EQ(im_wpix_r(0, &v, -1), -3);
    EXPECT_EQ(im_close(1), -3);
    EXPECT_EQ(im_wkey_i(0, 1, "NAXIS"), 0);  // the open image is untouched
    EXPECT_EQ(im_wpix_r(0, &v, 1), 1);
    // A card after the data has begun would corrupt the pixels: refused.
    EXPECT_EQ(im_wkey_i(0, 1, "LATE"), -4);
    EXPECT_EQ(im_close(0), 0);
    EXPECT_FALSE(std::filesystem::exists(dir / "second.fits"));
    std::string f = read_file(first);
    EXPECT_EQ(card_at(f, 1), card("NAXIS   =                    1"));
    EXPECT_EQ(card_at(f, 2), card("END"));
    EXPECT_EQ(f.size(), 2 * kBlock);

    // Closed: every call is refused until the next open.
    EXPECT_EQ(im_close(0), -3);
    EXPECT_EQ(im_wkey_i(0, 1, "A"), -3);
    EXPECT_EQ(im_wpix_r(0, &v, 1), -3);
}

TEST(ImageWriter, HeaderEndsExactlyOnce)
{
    ScratchDir dir;
    // Closed without pixels: END and blank fill are still written.
    std::string f = make_image(dir, [] { im_wkey_i(0, 0, "NAXIS"); });
    EXPECT_EQ(f.size(), kBlock);
    EXPECT_EQ(card_at(f, 2), card("END"));
    EXPECT_EQ(f.substr(3 * kCard), std::string(kBlock - 3 * kCard, ' '));

    // A first pixel call of no pixels ends the header; the next does not.
    float v = 1.0f;
    f = make_image(dir, [&] {
        EXPECT_EQ(im_wpix_r(0, &v, 0), 0);
        EXPECT_EQ(im_wpix_r(0, &v, 1), 1);
    });
    EXPECT_EQ(f.size(), 2 * kBlock);
    EXPECT_EQ(card_at(f, 1), card("END"));
    EXPECT_EQ(f.substr(kBlock, 4), std::string("\x3F\x80\x00\x00", 4));
}
