// What the inventory tells about one product, read from the product after
// its listing: the type the driver dispatched, the identifying keywords of
// the primary header (as the banner reads them), the pointing, the
// observation times in ISO 8601 and the record counts.
#pragma once

#include <string>

#include "inventory.h"

// Fills the product columns of row (product_type to records_listed, and
// images) for the product input just listed by qrpht_main in this process.
// input is the path or registered name the listing read; image_base the -i
// base name, empty without -i. The product is read through its own table
// unit; nothing is written on the output streams.
void summarize_product(const char *input, const std::string &image_base, InventoryRow &row);

// An AAR time, YYDDDHHMMSS (years 90 to 99 stand for 1990 to 1999), as ISO
// 8601 UTC ("1996-05-02T04:56:12Z"); empty when it is not a valid time.
std::string iso_utc(const std::string &isoutc);
