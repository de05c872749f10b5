// The row loader of every product family: looks up the columns of a
// product's record type by name, then reads table rows from the input unit
// into zero-filled records. Part of the product model (product.cpp).
#pragma once

#include <cstddef>
#include <vector>

#include "product.h"

// How many records to read and how: records are read in groups of `group`
// (the raster positions of one PCAS filter; else one group of all). A row
// that cannot be read ends its group, with "error reading tablefile" or
// "EOF reading tablefile" on the standard error, and the next group starts
// with a read of its own. The records end with the last one read.
struct RowPlan {
    std::size_t count = 0;
    std::size_t group = 0;
    std::size_t reported_from = 0;  // rows that end records before this one are not reported
};

// The records of a product of the given type, read from kInputUnit. With
// all_columns false, the columns the normal listing does not show are
// neither looked up nor read. Defined for data_pcae, data_pcap, data_pcas,
// data_ppa and data_pls.
template <class Rec>
std::vector<Rec> read_rows(ProductType type, const RowPlan &plan, bool all_columns);
