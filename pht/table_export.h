// Tables of loaded products: the product model (product.h) feeds the
// exporter of the product's type (tables.h), so that a table carries the
// values the listing derives from the same model: the pixel positions of
// the camera records, the wavelengths and mJy fluxes of the spectrometer
// pixels.
//
//     std::string error;
//     if (!write_table_file(product, "pcap01.ecsv", error)) ...;  // error says why
#pragma once

#include <string>

#include "ecsv.h"
#include "product.h"
#include "tables.h"

// The product's cards, type, columns, source path and this program, as the
// exporters take them.
ProductSummary product_summary(const Product &product);

// The table of the records the product holds, by the exporter of its type
// (the rows it has not handed to the sink, tables.h); a table without
// columns for an image product.
EcsvTable product_table(const Product &product, const TableSink &sink = {});

// Writes the table of every record of the product (not only the
// kMaxRecords a listing holds) to path, "-" being the standard output. The
// records are read anew from product.path() with every column. False, with
// error set to the reason, when the product cannot be read again or has no
// table, when path is the product file itself, or when the table cannot be
// written; a table that could not be written whole may be left behind.
bool write_table_file(const Product &product, const std::string &path, std::string &error);
