// The plan of a batch run; see batch_plan.h.
#include "batch_plan.h"

#include <sys/stat.h>

#include <filesystem>

namespace fs = std::filesystem;

namespace {

// The files a product's listing writes this run; the paths not asked for
// are empty.
Task outputs_of(const BatchOptions &opt, std::size_t i, const BatchEntry &e)
{
    const std::string base = opt.output_dir + "/" + e.stem;
    Task t;
    t.entry = i;
    t.listing = base + ".lst";
    if (opt.images) t.image_base = base + "_";
    if (opt.tables) t.table = base + ".ecsv";
    if (opt.pictures) t.picture = base + ".svg";
    return t;
}

// Up-to-date outputs keep the product columns of the earlier inventory.
InventoryRow skipped_row(const BatchEntry &e, const Task &t, const PreviousRows &previous)
{
    auto it = previous.find({e.source, e.member});
    InventoryRow row = it != previous.end() ? it->second : InventoryRow{};
    const InventoryRow fresh = entry_row(e, t.listing, kStatusSkipped, "");
    for (Inv::Column c : {Inv::source, Inv::member, Inv::listing, Inv::status, Inv::messages})
        row[c] = fresh[c];
    row[Inv::table] = t.table;
    row[Inv::picture] = t.picture;
    return row;
}

// The outputs asked for are up to date when each exists and is newer than
// the product's file (for a member, the archive).
bool up_to_date(const Task &t, const std::string &source)
{
    const FileStamp in = stamp(source);
    for (const std::string *path : {&t.listing, &t.table, &t.picture}) {
        if (path->empty()) continue;
        const FileStamp out = stamp(*path);
        if (!out.exists || !in.exists || out.mtime_ns <= in.mtime_ns) return false;
    }
    return true;
}

bool is_product(const BatchEntry &e)
{
    return e.kind == ContentKind::fits || e.kind == ContentKind::compressed_fits;
}

void plan_entry(const BatchOptions &opt, std::size_t i, const std::map<std::string, std::size_t> &owner,
                const PreviousRows &previous, Plan &plan)
{
    const BatchEntry &e = plan.entries[i];
    Task task = outputs_of(opt, i, e);
    const std::string listing = task.listing;
    std::optional<InventoryRow> &row = plan.rows[i];
    if (e.kind == ContentKind::other) {
        row = entry_row(e, "", kStatusNotProduct, "not a FITS file");
    } else if (e.kind == ContentKind::unreadable) {
        row = entry_row(e, "", kStatusFailed, e.problem);
    } else if (std::size_t first = owner.at(e.stem); first != i) {
        // Every output is named after the stem: the listing stands for all.
        row = entry_row(e, "", kStatusFailed,
                        "its listing " + listing + " is the listing of " + entry_name(plan.entries[first]));
    } else if (!opt.force && up_to_date(task, e.source)) {
        row = skipped_row(e, task, previous);
    } else {
        plan.tasks.push_back(std::move(task));
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
