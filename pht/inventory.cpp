// Inventory rows as CSV; see inventory.h.
#include "inventory.h"

#include <algorithm>
#include <fstream>
#include <sstream>

#include "csv.h"

namespace {

const char *const kColumnNames[Inv::count] = {
    "source",   "member",  "product_type",  "filename",    "object",
    "aot",      "observer", "proposal",     "ra_deg",      "dec_deg",
    "obs_start_utc", "obs_end_utc", "records", "records_listed", "listing",
    "images",   "status",  "messages",      "table",       "picture",
};

// The columns of the first inventories, which lacked table and picture.
constexpr std::size_t kFirstColumns = Inv::table;

std::string printable(std::string text)
{
    for (char &c : text) {
        const auto u = static_cast<unsigned char>(c);
        if ((u < 0x20 && c != '\n' && c != '\t') || u == 0x7f) c = '?';
    }
    return text;
}

}  // namespace

std::string inventory_text(const std::vector<InventoryRow> &rows)
{
    std::string out = csv_record(std::vector<std::string>(std::begin(kColumnNames), std::end(kColumnNames)));
    for (const InventoryRow &row : rows) {
        std::vector<std::string> fields;
        for (const std::string &field : row) fields.push_back(printable(field));
        out += csv_record(fields);
    }
    return out;
}

std::map<std::pair<std::string, std::string>, InventoryRow> read_inventory(const std::string &path)
{
    std::map<std::pair<std::string, std::string>, InventoryRow> rows;
    std::ifstream in(path, std::ios::binary);
    if (!in) return rows;
    std::ostringstream text;
    text << in.rdbuf();
    std::vector<std::vector<std::string>> records;
    if (!csv_parse(text.str(), records) || records.empty()) return rows;
    const std::size_t columns = records[0].size();
    if (columns < kFirstColumns || columns > Inv::count ||
        !std::equal(records[0].begin(), records[0].end(), std::begin(kColumnNames)))
        return rows;
    for (std::size_t i = 1; i < records.size(); ++i) {
        if (records[i].size() != columns) continue;
        InventoryRow row;
        for (std::size_t c = 0; c < columns; ++c) row[c] = std::move(records[i][c]);
        rows[{row[Inv::source], row[Inv::member]}] = row;
    }
    return rows;
}
