// The plan of a batch run; see batch_plan.h.
#include "batch_plan.h"

#include <sys/stat.h>

#include <filesystem>

namespace fs = std::filesystem;

namespace {

// An up-to-date listing keeps the product columns of the earlier inventory.
InventoryRow skipped_row(const BatchEntry &e, const std::string &listing, const PreviousRows &previous)
{
    auto it = previous.find({e.source, e.member});
    InventoryRow row = it != previous.end() ? it->second : InventoryRow{};
    const InventoryRow fresh = entry_row(e, listing, kStatusSkipped, "");
    for (Inv::Column c : {Inv::source, Inv::member, Inv::listing, Inv::status, Inv::messages})
        row[c] = fresh[c];
    return row;
}

// A listing is up to date when it is newer than the product's file (for a
// member, the archive).
bool up_to_date(const std::string &listing, const std::string &source)
{
    const FileStamp out = stamp(listing), in = stamp(source);
    return out.exists && in.exists && out.mtime_ns > in.mtime_ns;
}

bool is_product(const BatchEntry &e)
{
    return e.kind == ContentKind::fits || e.kind == ContentKind::compressed_fits;
}

void plan_entry(const BatchOptions &opt, std::size_t i, const std::map<std::string, std::size_t> &owner,
                const PreviousRows &previous, Plan &plan)
{
    const BatchEntry &e = plan.entries[i];
    const std::string listing = opt.output_dir + "/" + e.stem + ".lst";
    std::optional<InventoryRow> &row = plan.rows[i];
    if (e.kind == ContentKind::other) {
        row = entry_row(e, "", kStatusNotProduct, "not a FITS file");
    } else if (e.kind == ContentKind::unreadable) {
        row = entry_row(e, "", kStatusFailed, e.problem);
    } else if (std::size_t first = owner.at(e.stem); first != i) {
        row = entry_row(e, "", kStatusFailed,
                        "its listing " + listing + " is the listing of " + entry_name(plan.entries[first]));
    } else if (!opt.force && up_to_date(listing, e.source)) {
        row = skipped_row(e, listing, previous);
    } else {
        const std::string images = opt.images ? opt.output_dir + "/" + e.stem + "_" : "";
        plan.tasks.push_back({i, listing, images, {}});
        if (!e.member.empty()) {
            std::error_code ec;  // a folder that cannot be made fails the listing, with its reason
            fs::create_directories(fs::path(listing).parent_path(), ec);
        }
    }
}

}  // namespace

FileStamp stamp(const std::string &path)
{
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return {};
    return {true, st.st_dev, st.st_ino, st.st_size,
            st.st_mtim.tv_sec * 1'000'000'000LL + st.st_mtim.tv_nsec};
}

InventoryRow entry_row(const BatchEntry &e, const std::string &listing, const char *status,
                       const std::string &messages)
{
    InventoryRow row;
    row[Inv::source] = e.source;
    row[Inv::member] = e.member;
    row[Inv::listing] = listing;
    row[Inv::status] = status;
    row[Inv::messages] = messages;
    return row;
}

Plan make_plan(const BatchOptions &opt, std::vector<BatchEntry> entries, const PreviousRows &previous)
{
    Plan plan;
    plan.entries = std::move(entries);
    plan.rows.resize(plan.entries.size());
    // Two products with one listing name: the first in sorted order keeps
    // it, on every shard alike.
    std::map<std::string, std::size_t> owner;
    for (std::size_t i = 0; i < plan.entries.size(); ++i)
        if (is_product(plan.entries[i])) owner.emplace(plan.entries[i].stem, i);
    for (std::size_t i = 0; i < plan.entries.size(); ++i) {
        if (i % static_cast<std::size_t>(opt.shards) != static_cast<std::size_t>(opt.shard - 1)) continue;
        ++plan.selected;
        plan_entry(opt, i, owner, previous, plan);
    }
    return plan;
}
