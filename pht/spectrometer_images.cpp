// FITS images of spectrometer measurements: one 64 x 1 x 10 image of 32-bit
// floats per measurement, the ten arrays of a table row as its planes, with
// the product's header cards copied so that the image can be traced back to
// its product. Cards that describe the product's own structure (primary
// array, binary table, column descriptions) are left out: they would
// contradict the image's structure or are not allowed in an image header.
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <vector>

#include "libim.h"
#include "listings.h"

namespace {

constexpr int kDescriptor = 0;

// Cards left out of the copy when they begin with one of these texts.
// "NAXIS" covers every NAXISn, "TTYPE" every column name, "TFORM" every
// column format; END, BSCALE, BZERO and BLANK fill the whole keyword field,
// so ENDDATE or BLANKS is copied.
constexpr const char *kStructurePrefixes[] = {
    "BITPIX", "SIMPLE", "EXTEND", "XTENSION", "NAXIS", "PCOUNT", "GCOUNT", "TFIELDS",
    "TTYPE",  "TFORM",  "THEAP",  "END     ",
    // Scaling and blank value of the product's (empty) primary array: on the
    // image they would rescale or blank the stored float pixels.
    "BSCALE  ", "BZERO   ", "BLANK   ",
};

// Column description keywords: a stem followed by the column number.
constexpr const char *kColumnStems[] = {
    "TUNIT", "TDIM", "TNULL", "TSCAL", "TZERO", "TDISP", "TBCOL",
    "TCTYP", "TCRPX", "TCRVL", "TCDLT",
};

bool is_copied(std::string_view card)
{
    for (const char *prefix : kStructurePrefixes)
        if (card.starts_with(prefix)) return false;
    for (const char *stem : kColumnStems) {
        const std::size_t n = std::strlen(stem);
        if (card.starts_with(stem) && card.size() > n && std::isdigit(static_cast<unsigned char>(card[n])))
            return false;
    }
    return true;
}

// The cards copied into every image, in file order. They are the same for
// every measurement, so they are chosen once for all images.
std::vector<std::string> copied_cards(const CardStore &cards)
{
    std::vector<std::string> copied;
    for (std::size_t i = 0; i < cards.size(); ++i)
        if (is_copied(cards[i])) copied.emplace_back(cards[i]);
    return copied;
}

// Writes the open image: structure, copied cards, the ten planes. False
// when any part failed to reach the file (a full disk shows up at the
// latest when the file is closed); the image is closed in any case.
bool write_image(const data_pls &record, const std::vector<std::string> &cards)
{
    bool ok = im_wkey_i(kDescriptor, -32, "BITPIX") == 0;
    ok = im_wkey_i(kDescriptor, 3, "NAXIS") == 0 && ok;
    ok = im_wkey_i(kDescriptor, kPlsPixels, "NAXIS1") == 0 && ok;
    ok = im_wkey_i(kDescriptor, 1, "NAXIS2") == 0 && ok;
    ok = im_wkey_i(kDescriptor, kPlsPlanes, "NAXIS3") == 0 && ok;
    for (const std::string &card : cards) ok = im_wkey_raw(kDescriptor, card.c_str()) == 0 && ok;
    for (PlsArray plane : kPlsPlaneOrder)
        ok = im_wpix_r(kDescriptor, record.*plane, kPlsPixels) == kPlsPixels && ok;
    ok = im_close(kDescriptor) == 0 && ok;
    return ok;
}

}  // namespace

std::string pls_image_name(const std::string &base, std::size_t k)
{
    // Bijective base 26: 0 -> A, 25 -> Z, 26 -> AA, 27 -> AB, ...
    std::string letters;
    for (std::size_t n = k + 1; n > 0; n = (n - 1) / 26)
        letters.insert(letters.begin(), static_cast<char>('A' + (n - 1) % 26));
    return base + letters + ".FITS";
}

int write_spectrometer_images(const std::string &base, const Product &product)
{
    const std::vector<data_pls> &records = product.records<data_pls>();
    const std::vector<std::string> cards = copied_cards(product.cards());
    for (std::size_t k = 0; k < records.size(); ++k) {
        const std::string name = pls_image_name(base, k);
        if (im_open(name.c_str(), "write") < 0 || !write_image(records[k], cards)) {
            std::fprintf(stderr, "%s: error opening or writing file.\n", name.c_str());
            return 1;
        }
    }
    return 0;
}
