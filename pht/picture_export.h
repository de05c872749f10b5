// The picture of a loaded product: the inputs of the renderers of
// pictures.h filled from the product model, and the SVG text.
//
//     ProductLoad load = load_product("pla3.fits");
//     std::string svg = product_picture(load.product);
//
// Every value comes from the model, its records and its derived values
// (pixel wavelengths, fluxes in mJy, filters, detectors, raster points and
// pointings), so a picture shows what the listing of the product lists:
// - PLA, PSA: the spectrum of the ON-SOURCE flux and its uncertainty, in Jy
//   (the listing's mJy / 1000), one line per measurement; a measurement
//   whose dark flag is 1 is dark. Pixels without a wavelength are left out.
// - PPAE, PPAP: the source value (SRCE) and its uncertainty (SRCU) of each
//   configuration, with its FILTERn and APERn values.
// - PCAE, PCAP: the ON+OFF intensities (SPB) of each filter's pixels.
// - PCAS: the surface brightness (BRGT) of each raster point's pixels at the
//   point's own pointing, grouped by filter.
// Titles name OBJECT, FILENAME (the file name without the card), the AOT
// (EOHAAOTN) and the start of the observation (EOHAUTCS) in the listing's
// form, "02 May 96 04:56:12 UT".
#pragma once

#include <string>

#include "pictures.h"
#include "product.h"

PictureTitle picture_title(const Product &product);
SpectrumInput spectrum_input(const Product &product);        // PLA, PSA
SedInput sed_input(const Product &product);                  // PPAE, PPAP
CameraArrayInput camera_array_input(const Product &product);  // PCAE, PCAP
RasterMapInput raster_map_input(const Product &product);      // PCAS

// The SVG picture of a product whose records are read, by its type; empty
// for an image product.
std::string product_picture(const Product &product);

// Writes the picture of the product to path in one write. False, with the
// system's reason in error, when the file cannot be created or written.
bool write_picture_file(const Product &product, const std::string &path, std::string &error);
