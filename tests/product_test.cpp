// The product model as other programs read it: what load_product gives for
// committed products of each family (values as the fixture generators wrote
// them), and the errors of unusable inputs.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "product.h"
#include "test_util.h"

TEST(ProductModel, LoadsCardsCountsColumnsRecordsAndDerivedValues)
{
    ProductLoad pcap = load_product(fixture("pca/pcap3.fits"));
    ASSERT_EQ(pcap.error, LoadError::none);
    const Product &p = pcap.product;
    EXPECT_EQ(p.type(), ProductType::pcap);
    EXPECT_EQ(p.family(), Family::camera);
    EXPECT_EQ(p.counts().rows, 3);
    EXPECT_EQ(p.counts().filters, 3);
    EXPECT_DOUBLE_EQ(p.counts().instrument.roll, 30.0);
    ASSERT_EQ(p.columns().size(), 30u);
    EXPECT_EQ(p.columns()[3].n, 4);
    EXPECT_EQ(p.columns()[3].name, "PCAPSRCE");
    EXPECT_EQ(p.columns()[3].unit, "Jy");
    EXPECT_EQ(p.columns()[3].parts.comment.rfind(" Source flux per pixel from the point-source fit", 0), 0u);
    EXPECT_EQ(p.columns()[4].unit, "");
    ASSERT_EQ(p.records<data_pcap>().size(), 3u);
    EXPECT_TRUE(p.records<data_pls>().empty());
    EXPECT_EQ(p.camera_place(0).pixels.size(), 9u);  // filter 1: C100_90
    EXPECT_EQ(p.camera_place(1).detector, Detector::c200);
    EXPECT_EQ(p.camera_place(2).pixels.size(), 0u);  // C160_X: neither array

    ProductLoad pcas = load_product(fixture("pca/pcas3x2.fits"));
    const CameraPlace place = pcas.product.camera_place(6);  // 3 x 2 points per filter
    EXPECT_EQ(place.filter, 2);
    EXPECT_TRUE(place.first_of_filter);
    EXPECT_EQ(place.point, 1);
    EXPECT_EQ(place.line, 1);
    EXPECT_EQ(place.detector, Detector::c200);
    // The pointing is the record's own (single precision): 316.75 + 0.0125
    // (i mod 3), 42.25 + 0.025 (i / 3 mod 2), 45.
    EXPECT_NEAR(pcas.product.camera_place(7).pointing.ra, 316.7625, 1e-4);
    EXPECT_NEAR(pcas.product.camera_place(9).pointing.dec, 42.275, 1e-4);
    EXPECT_NEAR(place.pointing.roll, 45.0, 1e-5);
    EXPECT_EQ(pcas.product.camera_place(4).point, 2);
    EXPECT_EQ(pcas.product.camera_place(4).line, 2);

    ProductLoad pla = load_product(fixture("pls/pla3.fits"));
    const Product &s = pla.product;
    EXPECT_EQ(s.type(), ProductType::pla);
    EXPECT_EQ(s.record_count(), 3u);
    EXPECT_FLOAT_EQ(s.wavelengths_um()[0], 2.5f);
    EXPECT_EQ(s.wavelengths_um()[32], 0.0f);  // no LAMBDA33 card
    EXPECT_NEAR(s.flux_mjy(0, &data_pls::srce, 0), 3.338e14 * 2.5 * 2.5 * 1e-15, 1e-5);
    EXPECT_EQ(s.columns()[2].unit, "W/m2/um");
}

TEST(ProductModel, UnusableInputs)
{
    EXPECT_EQ(load_product(fixture("driver/no-such-file.fits")).error, LoadError::cannot_open);
    EXPECT_EQ(load_product(fixture("driver/table.tbl")).error, LoadError::not_fits);
    EXPECT_EQ(load_product(fixture("driver/unknown.fits")).error, LoadError::unknown_type);
    ProductLoad image = load_product(fixture("driver/pga_image.fits"));
    EXPECT_EQ(image.error, LoadError::none);
    EXPECT_EQ(image.product.family(), Family::image);
    EXPECT_EQ(image.product.record_count(), 0u);
}
