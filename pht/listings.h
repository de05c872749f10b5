// The renderings of a loaded product (product.h): one listing per product
// family, and the measurement images of the spectrometer products.
#pragma once

#include <string>

#include "listing_writer.h"
#include "product.h"

// The text listing of a product of each family; verbose selects the full
// listing (option -v) over the normal one.
void write_camera_listing(ListingWriter &out, const Product &product, bool verbose);
void write_photometer_listing(ListingWriter &out, const Product &product, bool verbose);
void write_spectrometer_listing(ListingWriter &out, const Product &product, bool verbose);

// One FITS image per spectrometer measurement, named from base. Returns 0,
// or 1 after a message when an image cannot be created or written.
int write_spectrometer_images(const std::string &base, const Product &product);

// File name of the image of measurement k (from 0): the base name, the
// letters A..Z, AA, AB, ... and ".FITS".
std::string pls_image_name(const std::string &base, std::size_t k);
