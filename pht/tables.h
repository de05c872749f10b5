// Tables of the products' measurements: every record of a product as rows
// of an ECSV table (ecsv.h), with the units (TUNITn) and descriptions (the
// comment of TTYPEn) the product gives its columns, the values the listings
// derive (pixel positions, wavelengths, fluxes in mJy), and the observation
// and its provenance as the table's meta.
//
// The exporters take plain inputs, filled from a loaded product: card
// values as texts, the product's columns, and its records, all of them (the
// listings' limit of 500 records does not apply to a table). A stored
// column becomes a table column only when the product has it, so a table
// never shows zeros for a column the product does not hold.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "ecsv.h"
#include "product.h"
#include "records.h"

// One column of the product's table.
struct ProductColumn {
    std::string name;         // TTYPEn value
    std::string description;  // comment of the TTYPEn card
    std::string unit;         // TUNITn value; empty without the card
};

// The product as a whole. Card values are string values with their quotes
// resolved ('' as '), empty when the card is absent; trailing blanks, which
// FITS does not count, are dropped here.
struct ProductSummary {
    std::string filename;            // FILENAME
    std::string product;             // PCAE, PCAP, PCAS, PPAE, PPAP, PLA or PSA
    std::string object;              // OBJECT
    std::string observer;            // OBSERVER
    std::string proposal;            // EOHAPLID
    std::string aot;                 // EOHAAOTN
    std::optional<double> ra, dec;   // ATTRA, ATTDEC (degrees)
    std::optional<double> equinox;   // EQUINOX
    std::string start_utc, end_utc;  // EOHAUTCS, EOHAUTCE (YYDDDHHMMSS)
    std::string created;             // DATE
    std::string pipeline;            // OLPVERS
    std::string source_path;         // the product's path as given
    std::string program, program_version;  // the tool that writes the table
    std::vector<ProductColumn> columns;    // in table order
};

// The names of a camera product's filters: filter f is element f - 1 of
// the span handed to the exporters (the FILTERn value; empty without the
// card).
using FilterNames = std::span<const std::string>;

// One filter/aperture configuration of a photometer product (one table
// row): its FILTERn and APERn values and the stored values.
struct PhotometerConfiguration {
    std::string filter, aperture;
    std::int32_t nbck = 0;
    float srce = 0, srcu = 0, back = 0, bcku = 0, spb = 0, spbu = 0;
    float bck1 = 0, bk1u = 0, bck2 = 0, bk2u = 0;
    float bint = 0, binu = 0;  // PPAP only
};

// Where an exporter hands its rows over while it makes them, so that a long
// table need not be held whole: called at the end of a record whenever the
// table holds kTableChunkRows rows or more, it takes them (writes them and
// clears them with EcsvTable::clear_rows); false stops the export. An
// exporter returns the rows it has not handed over: without a sink, all.
using TableSink = std::function<bool(EcsvTable &)>;
inline constexpr std::size_t kTableChunkRows = 2048;

// The camera exporters take each record's place (product.h): its filter,
// raster point, detector and the J2000 positions of its pixels, as the
// product model derives them for the listing; places[i] is record i's.

// PCAE, PCAP: one row per record (filter) and detector pixel (9 for C100,
// 4 for C200, all 9 elements without a detector): filter number, name and
// detector, pixel number, its row and column on the sky (1 at the top
// left; 0 without a detector), its J2000 position (NaN without a
// detector), and OFF #1, ON+OFF, OFF #2 with their uncertainties.
EcsvTable pcae_table(const ProductSummary &product, FilterNames filters,
                     std::span<const data_pcae> records, std::span<const CameraPlace> places,
                     const TableSink &sink = {});
EcsvTable pcap_table(const ProductSummary &product, FilterNames filters,
                     std::span<const data_pcap> records, std::span<const CameraPlace> places,
                     const TableSink &sink = {});

// PCAS: one row per raster point, filter and pixel: raster point and line,
// the filter and pixel columns as above (positions from each record's own
// pointing), and the surface brightness with its uncertainty.
EcsvTable pcas_table(const ProductSummary &product, FilterNames filters,
                     std::span<const data_pcas> records, std::span<const CameraPlace> places,
                     const TableSink &sink = {});

// PLA, PSA: one row per measurement and pixel (1-64): measurement number,
// dark flag, background count, pixel, wavelength (um), the ten stored
// arrays, and the flux densities in mJy that the listing shows (value x
// mjy_factor of the pixel) of the source, mean OFF and both OFF positions
// and their uncertainties.
EcsvTable spectrometer_table(const ProductSummary &product,
                             const std::array<float, kPlsPixels> &wavelength_um,
                             const std::array<double, kPlsPixels> &mjy_factor,
                             std::span<const data_pls> records, const TableSink &sink = {});

// PPAE, PPAP: one row per configuration: its number, filter and aperture,
// and every stored value column.
EcsvTable photometer_table(const ProductSummary &product,
                           std::span<const PhotometerConfiguration> configurations);

// The ISO 8601 form (1996-05-02T04:56:12) of an ISO time text YYDDDHHMMSS
// (years 90-99 are 1990-1999); nothing when the text is not such a time.
std::optional<std::string> iso_time(const std::string &yydddhhmmss);
