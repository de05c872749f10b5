// The inventory of a batch run: one CSV row per product with what the
// product is (type, target, AOT, observer, proposal, pointing, times, record
// counts), where its listing went and how its listing ended.
#pragma once

#include <array>
#include <cstddef>
#include <map>
#include <string>
#include <utility>
#include <vector>

struct Inv {
    enum Column : std::size_t {
        source,          // path of the file, as found
        member,          // path inside the archive; empty for a file
        product_type,    // PCAE, PCAS, PCAP, PPAE, PPAP, PLA, PSA (PGA: an image)
        filename,        // FILENAME card
        object,          // OBJECT
        aot,             // EOHAAOTN
        observer,        // OBSERVER
        proposal,        // EOHAPLID
        ra_deg,          // ATTRA
        dec_deg,         // ATTDEC
        obs_start_utc,   // EOHAUTCS, ISO 8601
        obs_end_utc,     // EOHAUTCE, ISO 8601
        records,         // rows of the product's table
        records_listed,  // rows the listing holds
        listing,         // path of the listing
        images,          // spectrometer images written
        status,          // one of the statuses below
        messages,        // what listing the product wrote on its output streams
        // Columns added later go last, so that readers of the columns before
        // them by position keep working.
        table,           // path of the ECSV table; empty when none was asked for or written
        picture,         // path of the SVG picture; likewise
        count
    };
};

inline constexpr const char *kStatusListed = "listed";
inline constexpr const char *kStatusFailed = "failed";
inline constexpr const char *kStatusSkipped = "skipped-up-to-date";
inline constexpr const char *kStatusNotProduct = "not-a-product";

using InventoryRow = std::array<std::string, Inv::count>;

// The CSV text: the header row, then the rows. Control characters other
// than line feeds and tabs are written as '?'.
std::string inventory_text(const std::vector<InventoryRow> &rows);

// Rows of an earlier inventory at path, by source and member; empty when
// there is none or it is not an inventory of these columns. An inventory
// of an earlier version, without the columns added last, is read with
// those columns empty.
std::map<std::pair<std::string, std::string>, InventoryRow> read_inventory(const std::string &path);
