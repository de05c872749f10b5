// Command line of qrpht-batch; see batch_options.h.
#include "batch_options.h"

#include <getopt.h>

#include <charconv>

#include "text_format.h"

namespace {

constexpr int kMaxJobs = 4096;

enum LongOnly {
    opt_force = 256, opt_inventory, opt_shard, opt_progress, opt_help, opt_version, opt_tables, opt_pictures,
    opt_html
};

const option kLongOptions[] = {
    {"output-dir", required_argument, nullptr, 'd'},
    {"verbose", no_argument, nullptr, 'v'},
    {"images", no_argument, nullptr, 'i'},
    {"tables", no_argument, nullptr, opt_tables},
    {"pictures", no_argument, nullptr, opt_pictures},
    {"html", no_argument, nullptr, opt_html},
    {"jobs", required_argument, nullptr, 'j'},
    {"force", no_argument, nullptr, opt_force},
    {"inventory", required_argument, nullptr, opt_inventory},
    {"shard", required_argument, nullptr, opt_shard},
    {"quiet", no_argument, nullptr, 'q'},
    {"progress", no_argument, nullptr, opt_progress},
    {"help", no_argument, nullptr, 'h'},
    {"version", no_argument, nullptr, opt_version},
    {nullptr, 0, nullptr, 0},
};

// A whole decimal number in [lo, hi].
bool read_int(const std::string &text, int lo, int hi, int &value)
{
    const char *end = text.data() + text.size();
    auto [p, ec] = std::from_chars(text.data(), end, value);
    return ec == std::errc() && p == end && value >= lo && value <= hi;
}

bool read_shard(const std::string &text, BatchOptions &opt)
{
    const std::size_t slash = text.find('/');
    if (slash == std::string::npos) return false;
    return read_int(text.substr(slash + 1), 1, 1'000'000, opt.shards) &&
           read_int(text.substr(0, slash), 1, opt.shards, opt.shard);
}

// Applies one option; false with the reason when its value is unusable.
bool apply(int c, const char *arg, BatchOptions &opt, std::string &error)
{
    switch (c) {
    case 'd': opt.output_dir = arg; break;
    case 'v': opt.verbose = true; break;
    case 'i': opt.images = true; break;
    case opt_tables: opt.tables = true; break;
    case opt_pictures: opt.pictures = true; break;
    case opt_html: opt.html = true; break;
    case 'j':
        if (!read_int(arg, 1, kMaxJobs, opt.jobs)) {
            error = text_format("invalid job count '%s' (1 to %d)", arg, kMaxJobs);
            return false;
        }
        break;
    case opt_force: opt.force = true; break;
    case opt_inventory: opt.inventory = arg; break;
    case opt_shard:
        if (!read_shard(arg, opt)) {
            error = text_format("invalid shard '%s' (K/N with 1 <= K <= N)", arg);
            return false;
        }
        break;
    case 'q': opt.quiet = true; break;
    case opt_progress: opt.progress = true; break;
    case 'h': opt.action = BatchOptions::Action::help; break;
    case opt_version: opt.action = BatchOptions::Action::version; break;
    }
    return true;
}

}  // namespace

bool parse_batch_options(int argc, char **argv, BatchOptions &opt, std::string &error)
{
    opterr = 0;  // the messages are ours
    optind = 1;
    for (int c; (c = getopt_long(argc, argv, ":d:vij:qh", kLongOptions, nullptr)) != -1;) {
        if (c == ':') {
            error = text_format("option '%s' needs a value", argv[optind - 1]);
            return false;
        }
        if (c == '?') {
            error = text_format("unknown option '%s'", argv[optind - 1]);
            return false;
        }
        if (!apply(c, optarg, opt, error)) return false;
    }
    if (opt.action != BatchOptions::Action::run) return true;
    for (int i = optind; i < argc; ++i) opt.inputs.emplace_back(argv[i]);
    if (opt.output_dir.empty()) error = "no output folder (-d DIR)";
    else if (opt.inputs.empty()) error = "no input";
    return error.empty();
}

std::string batch_usage(const char *program)
{
    return text_format(
        "Usage: %s [OPTIONS] INPUT...\n"
        "       %s --help | --version\n"
        "\n"
        "Lists ISO PHT AAR products as qrpht does, many at a time.\n"
        "INPUT is a product file, a folder (searched recursively), a tar archive\n"
        "(plain or compressed, members may be archives), or @LIST (one input per\n"
        "line; @- reads the list from the standard input).\n"
        "\n"
        "  -d, --output-dir DIR  write DIR/<product>.lst, DIR/<archive>/<member>.lst (required)\n"
        "  -v, --verbose         verbose listings\n"
        "  -i, --images          spectrometer images <listing stem>_A.FITS, _B, ...\n"
        "      --tables          ECSV table of every product, <listing stem>.ecsv\n"
        "      --pictures        SVG picture of every product, <listing stem>.svg\n"
        "      --html            index page DIR/index.html linking every product's files\n"
        "                        (with --shard DIR/index-K-of-N.html)\n"
        "  -j, --jobs N          products listed at a time (default: one per core)\n"
        "      --force           list products whose outputs are up to date\n"
        "      --inventory FILE  inventory CSV (default DIR/inventory.csv,\n"
        "                        with --shard DIR/inventory-K-of-N.csv)\n"
        "      --shard K/N       list every N-th product of the sorted inputs from the K-th\n"
        "  -q, --quiet           no summary line, and no progress line unless --progress\n"
        "      --progress        show the progress line even when not on a terminal\n"
        "  -h, --help            print this help and exit\n"
        "      --version         print the version and exit\n"
        "\n"
        "Exit status: 0 when every product was listed or up to date, 1 when any\n"
        "failed or the inventory or index page could not be written, 2 for an\n"
        "unusable command line.\n",
        program, program);
}
