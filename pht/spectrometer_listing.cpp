// Listing of the spectrometer (PHT-S) products PLA and PSA: the head
// (normal summary or full header listing), then one block per measurement
// (table row). The verbose listing shows the ten 64-pixel arrays of a row as
// 8 x 8 tables; the normal listing shows one flux table in mJy, one line
// per pixel with its wavelength.
#include "listing_head.h"
#include "listings.h"

namespace {

constexpr int kLinePixels = 8;  // pixels per line of a verbose table

constexpr const char *kDarkFlag = " Dark meas. flag (1 if dark meas, 0 otherwise) ";

// Raster cards name themselves when their comment is blank.
const HeadRule kNormalRules[] = {
    {.begins = "ATTRNPTS", .line = Line::raster},
    {.begins = "ATTRNLNS", .line = Line::raster},
    {.begins = "ATTRDPTS", .line = Line::raster},
    {.begins = "ATTRDLNS", .line = Line::raster},
};

const HeadSpec kNormalHead{"\n", kLeadCards, {kNormalRules}, Line::skip};

// Every card of the full header listing gets a standard line unless a rule
// says otherwise (creation date, attitude, chopper mode, COMMENT and HISTORY
// cards follow the shared rules of listing_head.h).
const HeadRule kVerboseRules[] = {
    {.begins = "USERNAME", .line = Line::skip},
    {.begins = "ORIGIN  ", .line = Line::labelled, .label = " Data Origin                                   "},
    {.begins = "TELESCOP", .line = Line::labelled, .label = " Telescope                                     "},
    {.begins = "FILEVERS", .line = Line::labelled, .label = " File version ID in ISO archive                "},
    {.begins = "XTENSION", .each = "\n\n\nBinary Table Extension Headers:\n-------------------------------\n\n"},
    {.begins = "TTYPE1  ", .line = Line::labelled, .label = kDarkFlag},
    {.begins = "LAMBDA", .heading = "\n\n\nPixel Wavelength Array:\n-----------------------\n\n"},
};

const HeadSpec kVerboseHead{"\nPrimary FITS headers:\n---------------------\n\n", {},
                            {kVerboseRules, kLeadCards, kCommentaryCards}, Line::standard};

// The arrays of the flux table, in its column order.
constexpr PlsArray kFluxColumns[] = {
    &data_pls::srce, &data_pls::srcu, &data_pls::bck,  &data_pls::bcku,
    &data_pls::bck1, &data_pls::bk1u, &data_pls::bck2, &data_pls::bk2u,
};

void pixel_table(ListingWriter &out, const std::string &title, const float (&values)[kPlsPixels])
{
    out.line("\n%s\n", title.c_str());
    for (int i = 0; i < kPlsPixels; i += kLinePixels) {
        const float *v = values + i;
        out.line("%8.2e %8.2e %8.2e %8.2e %8.2e %8.2e %8.2e %8.2e\n", v[0], v[1], v[2], v[3], v[4], v[5],
                 v[6], v[7]);
    }
}

void flux_table(ListingWriter &out, const Product &product, std::size_t k)
{
    out.put("\n\n"
            "               ON-SOURCE       MEAN of OFF's       OFF #1            OFF #2\n"
            " Lambda       Flux  Uncer.      Flux  Uncer.      Flux  Uncer.      Flux  Uncer.\n"
            "  (um)           (mJy)              (mJy)            (mJy)            (mJy)\n"
            " (F8.5)         (F8.1)             (F8.1)           (F8.1)           (F8.1)\n");
    for (int p = 0; p < kPlsPixels; ++p) {
        double mjy[std::size(kFluxColumns)];
        for (std::size_t c = 0; c < std::size(kFluxColumns); ++c) mjy[c] = product.flux_mjy(k, kFluxColumns[c], p);
        out.line("%8.2e %8.2e %8.2e %8.2e %8.2e %8.2e %8.2e %8.2e %8.2e\n",
                 static_cast<double>(product.wavelengths_um()[static_cast<std::size_t>(p)]), mjy[0], mjy[1],
                 mjy[2], mjy[3], mjy[4], mjy[5], mjy[6], mjy[7]);
    }
    out.put("\n\n");
}

// Dark flag, background count and, in the verbose listing, the ten arrays,
// in the order of their TTYPE cards (TTYPE3 to TTYPE12 the arrays).
void column_lines(ListingWriter &out, const Product &product, const data_pls &rec, bool verbose)
{
    for (const TableColumn &c : product.columns()) {
        if (c.n == 1)
            out.line("%s= %9d            %s\n", kDarkFlag, rec.dflag, c.listed_name.c_str());
        else if (c.n == 2)
            out.line("%.47s= %9d            %s\n", c.parts.comment.c_str(), rec.nbck, c.listed_name.c_str());
        else if (verbose && c.n >= 3 && c.n < 3 + kPlsPlanes)
            pixel_table(out, c.parts.comment, rec.*kPlsPlaneOrder[static_cast<std::size_t>(c.n - 3)]);
    }
}

}  // namespace

void write_spectrometer_listing(ListingWriter &out, const Product &product, bool verbose)
{
    write_listing_start(out, product);
    write_head(out, product, verbose ? kVerboseHead : kNormalHead);
    out.put("\n\nMeasurements:\n=============\n");
    if (verbose) out.put("\nPixels below are ordered by increasing wavelengths along with lines from left to right.\n\n");
    const std::vector<data_pls> &records = product.records<data_pls>();
    for (std::size_t k = 0; k < records.size(); ++k) {
        out.line("\nMeasurement No. %zu\n", k + 1);
        out.put("-----------------\n\n");
        column_lines(out, product, records[k], verbose);
        if (!verbose) flux_table(out, product, k);
    }
}
