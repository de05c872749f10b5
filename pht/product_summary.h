// What the inventory tells about one product, taken from the header card
// store after its listing: the type the driver dispatched, the identifying
// keywords of the primary header, the pointing, the observation times in
// ISO 8601 and the record counts.
#pragma once

#include <string>

#include "inventory.h"

// Fills the product columns of row (product_type to records_listed, and
// images) for the product qrpht_main just listed in this process, from the
// card store. product_bytes is the size of the product (decompressed), so
// that rows cut off the end of a damaged product are not counted as
// listed; image_base is the -i base name, empty without -i.
void summarize_product(long long product_bytes, const std::string &image_base, InventoryRow &row);

// An AAR time, YYDDDHHMMSS (years 90 to 99 stand for 1990 to 1999), as ISO
// 8601 UTC ("1996-05-02T04:56:12Z"); empty when it is not a valid time.
std::string iso_utc(const std::string &isoutc);
