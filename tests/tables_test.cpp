// The product tables: every record of every family becomes rows with the
// product's units and descriptions; the derived columns (pixel places and
// positions, raster numbering, wavelengths, mJy) and the meta are right.
#include <gtest/gtest.h>

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
    const std::vector<CameraFilter> c100(kRecords, {"C100_90", Detector::c100});
    const std::vector<CameraFilter> raster = {{"C100_90", Detector::c100}, {"C200_160", Detector::c200}};
    const struct {
        const char *family;
        std::function<EcsvTable()> table;
        std::vector<std::string> columns;
        std::size_t rows;
        const char *last_column;
        float last_value;
    } cases[] = {
        {"PCAE",
         [&] {
             return pcae_table(summary("PCAE", {"PCAEFILT", "PCAENBCK", "PCAESPB", "PCAESPBU", "PCAEB1",
                                                "PCAEB1U", "PCAEB2", "PCAEB2U", "PCAEBACK"}),
                               {}, c100, pcae);
         },
         plus(camera, {"PCAEB1", "PCAEB1U", "PCAESPB", "PCAESPBU", "PCAEB2", "PCAEB2U"}),
         kRecords * 9u, "PCAEB2U", 7.5f},
        {"PCAS",
         [&] {
             return pcas_table(summary("PCAS", {"PCASRA", "PCASBRGT", "PCASBRGU", "PCASSTAT"}),
                               {25, 40}, raster, pcas);
         },
         plus(plus({"RASTER_POINT", "RASTER_LINE"}, camera), {"PCASBRGT", "PCASBRGU"}),
         1000 * 9u + 1000 * 4u, "PCASBRGU", 6.5f},
        {"PSA without OFF 2",
         [&] {
             return spectrometer_table(summary("PSA", {"PSAPDFLG", "PSAPNBCK", "PSAPSRCE", "PSAPSRCU",
                                                       "PSAPBCK", "PSAPBCKU", "PSAPSPB", "PSAPSPBU",
                                                       "PSAPBCK1", "PSAPBK1U", "PSAPBK2U"}),
                                       {}, psa);
         },
         {"MEASUREMENT", "PSAPDFLG", "PSAPNBCK", "PIXEL", "WAVELENGTH", "PSAPSRCE", "PSAPSRCU",
          "PSAPBCK", "PSAPBCKU", "PSAPSPB", "PSAPSPBU", "PSAPBCK1", "PSAPBK1U", "PSAPBK2U",
          "PSAPSRCE_MJY", "PSAPSRCU_MJY", "PSAPBCK_MJY", "PSAPBCKU_MJY", "PSAPBCK1_MJY",
          "PSAPBK1U_MJY", "PSAPBK2U_MJY"},
         kRecords * 64u, "PSAPBK2U", 5.5f},
        {"PPAP",
         [&] {
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
        const EcsvTable t = c.table();
        EXPECT_EQ(names_of(t), c.columns);
        EXPECT_EQ(t.rows(), c.rows);
        std::string text;
        EXPECT_EQ(write_ecsv(t, text), EcsvStatus::ok);
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
    // C100 at RA 10, Dec 0, no roll: pixel 3 is at the top left (9.9873,
    // 0.0127), pixel 1 below it at the bottom left. C200 at RA 0, Dec 0,
    // roll 90: pixel 3 at (0.0131, 0.0131), pixel 1 wraps to RA 359.9869.
    // A filter without a detector shows its 9 elements without a place.
    const std::vector<CameraFilter> filters = {{"C100_90 ", Detector::c100}};
    const std::vector<data_pcap> pcap(2);
    const EcsvTable t = pcap_table(summary("PCAP", {}), {10, 0, 0}, filters, pcap);
    ASSERT_EQ(t.rows(), 18u);
    const struct {
        std::size_t row;
        int pixel, place_row, place_column;
        double ra, dec;
    } kPlaces[] = {{2, 3, 1, 1, 9.9873, 0.0127}, {0, 1, 3, 1, 9.9873, -0.0127},
                   {4, 5, 2, 2, 10.0, 0.0}, {8, 9, 1, 3, 10.0128, 0.0127}};
    for (const auto &p : kPlaces) {
        SCOPED_TRACE(p.pixel);
        EXPECT_EQ(t.values<std::int32_t>(t.find("PIXEL"))[p.row], p.pixel);
        EXPECT_EQ(t.values<std::int32_t>(t.find("PIXEL_ROW"))[p.row], p.place_row);
        EXPECT_EQ(t.values<std::int32_t>(t.find("PIXEL_COLUMN"))[p.row], p.place_column);
        EXPECT_NEAR(t.values<double>(t.find("RA"))[p.row], p.ra, 0.0001);
        EXPECT_NEAR(t.values<double>(t.find("DEC"))[p.row], p.dec, 0.0001);
        EXPECT_EQ(t.values<std::string>(t.find("FILTER_NAME"))[p.row], "C100_90");
    }
    EXPECT_EQ(t.values<std::string>(t.find("DETECTOR"))[9], "");  // filter 2: no FILTER2 card
    EXPECT_TRUE(std::isnan(t.values<double>(t.find("RA"))[17]));
    EXPECT_EQ(t.values<std::int32_t>(t.find("PIXEL_ROW"))[17], 0);

    std::vector<data_pcas> pcas(12);  // 2 filters of 3 points x 2 lines
    pcas[0].roll = 90;
    const std::vector<CameraFilter> c200 = {{"C200_160", Detector::c200}};
    const EcsvTable raster = pcas_table(summary("PCAS", {}), {3, 2}, c200, pcas);
    EXPECT_EQ(raster.rows(), 6 * 4u + 6 * 9u);
    EXPECT_NEAR(raster.values<double>(raster.find("RA"))[0], 359.9869, 0.0001);  // pixel 1
    EXPECT_NEAR(raster.values<double>(raster.find("RA"))[2], 0.0131, 0.0001);    // pixel 3
    const auto points = raster.values<std::int32_t>(raster.find("RASTER_POINT"));
    const auto lines = raster.values<std::int32_t>(raster.find("RASTER_LINE"));
    const auto filter = raster.values<std::int32_t>(raster.find("FILTER"));
    // Record 4 (rows 16-19) is point 2 of line 2; record 6 (rows 24-32) starts filter 2.
    EXPECT_EQ((std::array{points[16], lines[16], filter[16]}), (std::array{2, 2, 1}));
    EXPECT_EQ((std::array{points[24], lines[24], filter[24]}), (std::array{1, 1, 2}));

    // A wavelength of 2.5 um and a source value of 1e-15 make 2.086 mJy.
    std::vector<data_pls> pla(1);
    pla[0].srce[5] = 1.0e-15f;
    std::array<float, kPlsPixels> wavelength{};
    wavelength[5] = 2.5f;
    const EcsvTable s = spectrometer_table(summary("PLA", {"PLAPSRCE"}), wavelength, pla);
    EXPECT_NEAR(s.values<double>(s.find("PLAPSRCE_MJY"))[5], 2.08625, 1e-6);
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
