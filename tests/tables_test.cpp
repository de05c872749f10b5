// The product tables: every record of every family becomes rows with the
// product's units and descriptions; the derived columns (pixel places and
// positions, raster numbering, wavelengths, mJy) and the meta are right.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <sstream>

#include "tables.h"

namespace {

ProductSummary summary(const char *type, std::vector<std::string> names)
{
    ProductSummary p;
    p.product = type;
    for (auto &name : names) p.columns.push_back({name + "  ", " About " + name + "  ", "MJy/sr "});
    return p;
}

std::vector<std::string> names_of(const EcsvTable &t)
{
    std::vector<std::string> names;
    for (const auto &c : t.columns()) names.push_back(c.name);
    return names;
}

template <class T>
T last(const EcsvTable &t, const char *column)
{
    return t.values<T>(t.find(column)).back();
}

constexpr int kRecords = 2000;  // four times what a listing shows

// Places of camera records as the product model gives them: pixel k of a
// record (row by row from the top left) at RA 100 + k, Dec -k, so that a
// position names the place it was taken from.
CameraPlace place(int filter, Detector detector, int point = 0, int line = 0)
{
    CameraPlace p;
    p.filter = filter;
    p.point = point;
    p.line = line;
    p.detector = detector;
    const int pixels = detector == Detector::none ? 0 : detector == Detector::c100 ? 9 : 4;
    for (int k = 0; k < pixels; ++k) p.pixels.push_back({100.0 + k, -1.0 * k});
    return p;
}

}  // namespace

TEST(Tables, EveryRecordOfEveryFamilyIsExportedWithItsColumns)
{
    const std::vector<std::string> camera = {"FILTER", "FILTER_NAME", "DETECTOR", "PIXEL",
                                             "PIXEL_ROW", "PIXEL_COLUMN", "RA", "DEC"};
    const auto plus = [](std::vector<std::string> a, std::vector<std::string> b) {
        a.insert(a.end(), b.begin(), b.end());
        return a;
    };
    std::vector<data_pcae> pcae(kRecords);
    std::vector<data_pcas> pcas(kRecords);  // 2 filters of 25 x 40 points
    std::vector<data_pls> psa(kRecords);
    std::vector<PhotometerConfiguration> ppap(kRecords);
    pcae.back().b2u[8] = 7.5f;
    pcas.back().brgu[3] = 6.5f;
    psa.back().bk2u[63] = 5.5f;
    ppap.back().binu = 4.5f;
    const std::vector<std::string> c100(kRecords, "C100_90");
    const std::vector<std::string> raster = {"C100_90", "C200_160"};
    std::vector<CameraPlace> pcae_places, pcas_places;
    for (int k = 0; k < kRecords; ++k) {
        pcae_places.push_back(place(k + 1, Detector::c100));
        pcas_places.push_back(k < 1000 ? place(1, Detector::c100, k % 25 + 1, k / 25 + 1)
                                       : place(2, Detector::c200, k % 25 + 1, (k - 1000) / 25 + 1));
    }
    const struct {
        const char *family;
        std::function<EcsvTable(const TableSink &)> table;
        std::vector<std::string> columns;
        std::size_t rows;
        const char *last_column;
        float last_value;
    } cases[] = {
        {"PCAE",
         [&](const TableSink &sink) {
             return pcae_table(summary("PCAE", {"PCAEFILT", "PCAENBCK", "PCAESPB", "PCAESPBU", "PCAEB1",
                                                "PCAEB1U", "PCAEB2", "PCAEB2U", "PCAEBACK"}),
                               c100, pcae, pcae_places, sink);
         },
         plus(camera, {"PCAEB1", "PCAEB1U", "PCAESPB", "PCAESPBU", "PCAEB2", "PCAEB2U"}),
         kRecords * 9u, "PCAEB2U", 7.5f},
        {"PCAS",
         [&](const TableSink &sink) {
             return pcas_table(summary("PCAS", {"PCASRA", "PCASBRGT", "PCASBRGU", "PCASSTAT"}),
                               raster, pcas, pcas_places, sink);
         },
         plus(plus({"RASTER_POINT", "RASTER_LINE"}, camera), {"PCASBRGT", "PCASBRGU"}),
         1000 * 9u + 1000 * 4u, "PCASBRGU", 6.5f},
        {"PSA without OFF 2",
         [&](const TableSink &sink) {
             return spectrometer_table(summary("PSA", {"PSAPDFLG", "PSAPNBCK", "PSAPSRCE", "PSAPSRCU",
                                                       "PSAPBCK", "PSAPBCKU", "PSAPSPB", "PSAPSPBU",
                                                       "PSAPBCK1", "PSAPBK1U", "PSAPBK2U"}),
                                       {}, {}, psa, sink);
         },
         {"MEASUREMENT", "PSAPDFLG", "PSAPNBCK", "PIXEL", "WAVELENGTH", "PSAPSRCE", "PSAPSRCU",
          "PSAPBCK", "PSAPBCKU", "PSAPSPB", "PSAPSPBU", "PSAPBCK1", "PSAPBK1U", "PSAPBK2U",
          "PSAPSRCE_MJY", "PSAPSRCU_MJY", "PSAPBCK_MJY", "PSAPBCKU_MJY", "PSAPBCK1_MJY",
          "PSAPBK1U_MJY", "PSAPBK2U_MJY"},
         kRecords * 64u, "PSAPBK2U", 5.5f},
        {"PPAP",
         [&](const TableSink &) {  // a few rows: never handed over
             return photometer_table(summary("PPAP", {"PPAPFILT", "PPAPAPER", "PPAPNBCK", "PPAPSRCE",
                                                      "PPAPSRCU", "PPAPBACK", "PPAPBCKU", "PPAPSPB",
                                                      "PPAPSPBU", "PPAPBCK1", "PPAPBK1U", "PPAPBCK2",
                                                      "PPAPBK2U", "PPAPBINT", "PPAPBINU"}),
                                     ppap);
         },
         {"CONFIGURATION", "FILTER", "APERTURE", "PPAPNBCK", "PPAPSRCE", "PPAPSRCU", "PPAPBACK",
          "PPAPBCKU", "PPAPSPB", "PPAPSPBU", "PPAPBCK1", "PPAPBK1U", "PPAPBCK2", "PPAPBK2U",
          "PPAPBINT", "PPAPBINU"},
         kRecords, "PPAPBINU", 4.5f},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.family);
        const EcsvTable t = c.table({});
        EXPECT_EQ(names_of(t), c.columns);
        EXPECT_EQ(t.rows(), c.rows);
        std::string text;
        EXPECT_EQ(write_ecsv(t, text), EcsvStatus::ok);
        // Handed over in chunks of whole records and written piece by
        // piece, the table is the same text.
        std::ostringstream pieces;
        EcsvWriter writer(pieces);
        std::size_t largest = 0;
        const EcsvTable rest = c.table([&](EcsvTable &rows) {
            largest = std::max(largest, rows.rows());
            EXPECT_EQ(writer.write(rows), EcsvStatus::ok);
            rows.clear_rows();
            return true;
        });
        EXPECT_EQ(writer.write(rest), EcsvStatus::ok);
        EXPECT_EQ(writer.finish(), EcsvStatus::ok);
        EXPECT_EQ(pieces.str(), text);
        EXPECT_LT(largest, kTableChunkRows + 64);
        // Every row on its own line, over several of the writer's buffers.
        std::istringstream in(text);
        std::size_t data_lines = 0;
        for (std::string line; std::getline(in, line);) data_lines += !line.starts_with("#");
        EXPECT_EQ(data_lines, c.rows + 1);
        // Stored columns carry the product's unit and description.
        const auto &stored = t.columns()[t.find(c.last_column)];
        EXPECT_EQ(stored.unit, "MJy/sr");
        EXPECT_EQ(stored.description, std::string("About ") + c.last_column);
        EXPECT_EQ(last<float>(t, c.last_column), c.last_value);  // the last record's last pixel
    }
}

TEST(Tables, DerivedColumnsPlaceEveryPixelAndConvertFluxes)
{
    // C100 rows on the sky (3 6 9) (2 5 8) (1 4 7), C200 rows (3 4) (2 1):
    // each pixel takes the position of its row and column from its place.
    // A filter without a detector shows its 9 elements without a place.
    const std::vector<std::string> filters = {"C100_90 "};
    const std::vector<data_pcap> pcap(3);
    const std::vector<CameraPlace> places = {place(1, Detector::c100), place(2, Detector::c200),
                                             place(3, Detector::none)};
    const EcsvTable t = pcap_table(summary("PCAP", {}), filters, pcap, places);
    ASSERT_EQ(t.rows(), 9u + 4u + 9u);
    const struct {
        std::size_t row;
        int pixel, place_row, place_column, k;
    } kPlaces[] = {{2, 3, 1, 1, 0}, {0, 1, 3, 1, 6}, {4, 5, 2, 2, 4}, {8, 9, 1, 3, 2},
                   {11, 3, 1, 1, 0}, {9, 1, 2, 2, 3}, {10, 2, 2, 1, 2}};
    for (const auto &p : kPlaces) {
        SCOPED_TRACE(p.row);
        EXPECT_EQ(t.values<std::int32_t>(t.find("PIXEL"))[p.row], p.pixel);
        EXPECT_EQ(t.values<std::int32_t>(t.find("PIXEL_ROW"))[p.row], p.place_row);
        EXPECT_EQ(t.values<std::int32_t>(t.find("PIXEL_COLUMN"))[p.row], p.place_column);
        EXPECT_EQ(t.values<double>(t.find("RA"))[p.row], 100.0 + p.k);
        EXPECT_EQ(t.values<double>(t.find("DEC"))[p.row], -p.k);
    }
    EXPECT_EQ(t.values<std::string>(t.find("FILTER_NAME"))[0], "C100_90");
    EXPECT_EQ(t.values<std::string>(t.find("FILTER_NAME"))[9], "");  // no FILTER2 card
    EXPECT_EQ(t.values<std::string>(t.find("DETECTOR"))[9], "C200");
    EXPECT_EQ(t.values<std::string>(t.find("DETECTOR"))[13], "");
    EXPECT_TRUE(std::isnan(t.values<double>(t.find("RA"))[21]));
    EXPECT_EQ(t.values<std::int32_t>(t.find("PIXEL_ROW"))[21], 0);

    // Raster point and line come from the place of each record.
    const std::vector<data_pcas> pcas(2);
    const std::vector<CameraPlace> raster = {place(1, Detector::c200, 3, 2),
                                             place(2, Detector::c100, 1, 1)};
    const EcsvTable r = pcas_table(summary("PCAS", {}), {}, pcas, raster);
    EXPECT_EQ(r.rows(), 4u + 9u);
    const auto points = r.values<std::int32_t>(r.find("RASTER_POINT"));
    const auto lines = r.values<std::int32_t>(r.find("RASTER_LINE"));
    const auto filter = r.values<std::int32_t>(r.find("FILTER"));
    EXPECT_EQ((std::array{points[3], lines[3], filter[3]}), (std::array{3, 2, 1}));
    EXPECT_EQ((std::array{points[4], lines[4], filter[4]}), (std::array{1, 1, 2}));

    // Fluxes in mJy are the stored value times the pixel's factor.
    std::vector<data_pls> pla(1);
    pla[0].srce[5] = 1.0e-15f;
    std::array<float, kPlsPixels> wavelength{};
    std::array<double, kPlsPixels> factor{};
    wavelength[5] = 2.5f;
    factor[5] = 2.08625e15;
    const EcsvTable s = spectrometer_table(summary("PLA", {"PLAPSRCE"}), wavelength, factor, pla);
    EXPECT_EQ(s.values<double>(s.find("PLAPSRCE_MJY"))[5], 2.08625e15 * 1.0e-15f);
    EXPECT_EQ(s.values<float>(s.find("WAVELENGTH"))[5], 2.5f);
    EXPECT_EQ(s.values<std::int32_t>(s.find("PIXEL"))[63], 64);
}

TEST(Tables, MetaHoldsTheObservationAndItsProvenance)
{
    ProductSummary p = summary("PCAP ", {});
    p.filename = "PCAP71200401";
    p.object = "O'BRIEN: NGC 1068 / M77  ";
    p.ra = 316.757;
    p.start_utc = "96123045612";
    p.end_utc = "96366235960";
    p.created = "1997-03-14";
    p.source_path = "dir/pcap 01.fits ";
    p.program = "qrpht";
    p.program_version = "5.0";
    const EcsvTable t = pcap_table(p, {}, {}, {});
    const std::vector<std::pair<std::string, EcsvScalar>> expected = {
        {"FILENAME", std::string("PCAP71200401")}, {"PRODUCT", std::string("PCAP")},
        {"OBJECT", std::string("O'BRIEN: NGC 1068 / M77")}, {"OBSERVER", std::string()},
        {"PROPOSAL", std::string()}, {"AOT", std::string()}, {"RA_PNT", 316.757},
        {"DEC_PNT", std::monostate{}}, {"EQUINOX", std::monostate{}},
        {"DATE-OBS", std::string("1996-05-02T04:56:12")},
        {"DATE-END", std::string("1996-12-31T23:59:60")}, {"TIMESYS", std::string("UTC")},
        {"CREATED", std::string("1997-03-14")}, {"PIPELINE_VERSION", std::string()},
        {"SOURCE", std::string("dir/pcap 01.fits ")}, {"CREATOR", std::string("qrpht")},
        {"CREATOR_VERSION", std::string("5.0")}};
    EXPECT_EQ(t.meta(), expected);

    const std::pair<const char *, const char *> kTimes[] = {
        {"96060000000", "1996-02-29T00:00:00"}, {"97060000000", "1997-03-01T00:00:00"},
        {"97366000000", nullptr}, {"96000000000", nullptr}, {"89123045612", nullptr},
        {"96123245612", nullptr}, {"9612304561", nullptr}, {"96123 45612", nullptr}};
    for (const auto &[text, iso] : kTimes) {
        SCOPED_TRACE(text);
        const auto got = iso_time(text);
        EXPECT_EQ(got.value_or("none"), iso ? iso : "none");
    }
}
