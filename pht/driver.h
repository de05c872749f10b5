// What the driver (qrpht_main) made of the product it was given, for a
// caller that lists products through it and reports on them.
#pragma once

#include <string>

#include "product.h"

// What the last qrpht_main call made of its product, for a caller that
// reports on the products it lists: how opening it ended and, when it was
// opened as a product of a known type, that product with its cards, counts
// and the records read (kept until the next call).
struct DispatchedProduct {
    bool opened = false;  // opening was tried: load tells how it went
    ProductLoad load;     // its product, when load.error is none
};
const DispatchedProduct &dispatched_product();

// Product type name of the last qrpht_main call's product ("PCAE", "PCAS",
// "PCAP", "PPAE", "PPAP", "PLA", "PSA", or "PGA" for an image file); empty
// when the call ended before its type was known.
std::string dispatched_product_type();
