// What the inventory tells about one product, taken from the product model
// the listing was made from: its type, the identifying
// keywords of the primary header, the pointing, the observation times in
// ISO 8601 and the record counts.
#pragma once

#include <string>

#include "inventory.h"
#include "product.h"

// Fills the product columns of row (product_type to records_listed, and
// images) for a product qrpht_main has opened: records listed are the
// records it read (rows cut off the end of a damaged product are not);
// image_base is the -i base name, empty without -i.
void summarize_product(const Product &product, const std::string &image_base, InventoryRow &row);

// An AAR time, YYDDDHHMMSS (years 90 to 99 stand for 1990 to 1999), as ISO
// 8601 UTC ("1996-05-02T04:56:12Z"); empty when it is not a valid time.
std::string iso_utc(const std::string &isoutc);
