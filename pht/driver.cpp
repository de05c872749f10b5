// The driver: command line, input product, header card store and dispatch
// to the product listing. It lists nothing itself; its only texts are the
// usage line and the few messages for unusable command lines and inputs.
#include <cstdio>
#include <cstring>
#include <new>
#include <string>

#include "fits_card.h"
#include "fits_table.h"
#include "help.h"
#include "listing.h"
#include "output_file.h"
#include "pht.h"
#include "pls_records.h"
#include "process_guard.h"
#include "product_source.h"

int unitin = 9;
int unitout = 11;

int pcae_done = 0;
int pcas_done = 0;
int pcap_done = 0;
int ppae_done = 0;
int ppap_done = 0;

std::vector<std::string> header;
int header_row = 0;

namespace {

constexpr std::size_t kProductNameMax = 79;
constexpr std::size_t kFilenameValueFrom = 9;  // quote search starts at column 10

struct Options {
    int mode = 0;
    const char *outfile = nullptr;
    const char *imfile = nullptr;
    const char *input = nullptr;
};

void usage(const char *program_name)
{
    std::printf("usage:\n %s [-v] -o asci_filename fits_filename\n", program_name);
}

// Reads the options; false when the command line is unusable.
bool read_options(int argc, char **argv, Options &opt)
{
    if (argc < 3) return false;
    int i = 1;
    // A lone "-" is the product path (standard input), not an option.
    while (i < argc && argv[i][0] == '-' && argv[i][1] != '\0') {
        switch (argv[i][1]) {
        case 't': case 'T': opt.mode = 0; ++i; break;
        case 'v': case 'V': opt.mode = 1; ++i; break;
        case 'o': case 'O':
            if (i + 1 >= argc) return false;  // -o without its value word
            opt.outfile = argv[i + 1];
            i += 2;
            break;
        case 'i': case 'I':
            if (i + 1 >= argc) return false;
            opt.imfile = argv[i + 1];
            i += 2;
            break;
        default:
            return false;
        }
    }
    if (i != argc - 1 || opt.outfile == nullptr) return false;
    opt.input = argv[i];
    return true;
}

// The product could not be opened. A product refused for its size says so
// on the same line; a damaged compressed one gets the decompressor's reason
// on a line of its own on the standard error.
void report_open_failure(const char *path)
{
    const ProductFailure &why = product_failure();
    if (why.summary.empty())
        std::printf("problem opening tablefile %s\n", path);
    else
        std::printf("problem opening tablefile %s: %s\n", path, why.summary.c_str());
    if (!why.detail.empty()) std::fprintf(stderr, "%s\n", why.detail.c_str());
}

// The input path cut before its first ".fits" (or, failing that, ".FITS").
std::string base_name(const std::string &path)
{
    std::size_t at = path.find(".fits");
    if (at == std::string::npos) at = path.find(".FITS");
    return at == std::string::npos ? path : path.substr(0, at);
}

// The product name: the string value of a FILENAME card whose opening quote
// is the first quote from column 10 on, '' read as one quote, running to the
// end of the card when it has no closing quote; unchanged without a quote.
void take_product_name(const std::string &card, std::string &product)
{
    std::size_t open = card.find('\'', kFilenameValueFrom);
    if (open == std::string::npos) return;
    product = fits_string(card, open).text.substr(0, kProductNameMax);
}

// Appends the cards of one header, through its END card (END and five
// blanks; ENDDATE is an ordinary card), to the store.
void store_cards(const char *text, int bytes, bool primary, std::string &product)
{
    if (text == nullptr || bytes <= 0) return;
    const std::size_t ncards = static_cast<std::size_t>(bytes) / kFitsCardLength;
    for (std::size_t i = 0; i < ncards; ++i) {
        std::string card(text + i * kFitsCardLength, kFitsCardLength);
        header.push_back(card);
        if (primary && card.compare(0, 8, "FILENAME") == 0) take_product_name(card, product);
        if (card.compare(0, kFitsKeywordLength, "END     ") == 0) break;
    }
}

enum class Listing { camera, photometer, spectrometer, image };

struct DispatchRow {
    bool by_product_name;  // FILENAME value, else the file's base name
    const char *prefix;
    int *flag;
    Listing listing;
};

// Tried in this order; the first row whose prefix begins the name decides.
// The base-name rows test "pcap" before "pcas" and know no image files.
const DispatchRow kDispatch[] = {
    {true, "PCAE", &pcae_done, Listing::camera},
    {true, "PCAS", &pcas_done, Listing::camera},
    {true, "PCAP", &pcap_done, Listing::camera},
    {true, "PPAE", &ppae_done, Listing::photometer},
    {true, "PPAP", &ppap_done, Listing::photometer},
    {true, "PLA", nullptr, Listing::spectrometer},
    {true, "PSA", nullptr, Listing::spectrometer},
    {true, "PGA", nullptr, Listing::image},
    {false, "pcae", &pcae_done, Listing::camera},
    {false, "pcap", &pcap_done, Listing::camera},
    {false, "pcas", &pcas_done, Listing::camera},
    {false, "ppae", &ppae_done, Listing::photometer},
    {false, "ppap", &ppap_done, Listing::photometer},
    {false, "pla", nullptr, Listing::spectrometer},
    {false, "psa", nullptr, Listing::spectrometer},
};

// ---------------------------------------------------------------- outputs

// Images a spectrometer listing may write: one per row the product's
// NAXIS2 card announces, up to the record limit.
std::size_t planned_images()
{
    int rows = 0;
    for (const std::string &card : header)
        if (card_is(card, "NAXIS2")) rows = card_count(split_card(card).value);
    return static_cast<std::size_t>(std::min(rows, kMaxRecords));
}

// Every file the chosen listing will write: the listing, then the images.
std::vector<NamedPath> planned_outputs(const Options &opt, Listing listing)
{
    std::vector<NamedPath> outputs = {{opt.outfile, "listing"}};
    if (listing == Listing::spectrometer && opt.imfile != nullptr) {
        const std::size_t n = planned_images();
        for (std::size_t k = 0; k < n; ++k) outputs.push_back({pls_image_name(opt.imfile, k), "image"});
    }
    return outputs;
}

// False, after the message, when an output would overwrite the product or
// another output. Checked before any output is created.
bool outputs_are_distinct(const Options &opt, Listing listing)
{
    const std::optional<PathClash> clash =
        find_output_clash({opt.input, "input"}, planned_outputs(opt, listing));
    if (!clash) return true;
    std::fprintf(stderr, "problem opening output file %s: it is the %s file %s\n",
                 clash->output.c_str(), clash->other.role.c_str(), clash->other.path.c_str());
    return false;
}

// --help or --version as the first word: its text on the standard output
// and status 0. Every other command line, -h and -help included, goes
// through the options as always.
bool info_request(int argc, char **argv, int &status)
{
    if (argc < 2) return false;
    const std::string word = argv[1];
    if (word == "--help") {
        status = print_info(qrpht_help_text(), kProgramName);
    } else if (word == "--version") {
        status = print_info(version_text(kProgramName), kProgramName);
    } else {
        return false;
    }
    return true;
}

int run(int argc, char **argv)
{
    if (int status = 0; info_request(argc, argv, status)) return status;
    Options opt;
    if (!read_options(argc, argv, opt)) {
        usage(argv[0]);
        return 1;
    }

    int nparms = 0;
    topenr(unitin, opt.input, &nparms);
    if (itstat() != 0) {
        report_open_failure(opt.input);
        return 1;
    }
    if (tgettyp(unitin) != 1) {
        std::printf("'%s' is not a fits binary file.\n", opt.input);
        return 1;
    }

    const std::string base_filename = base_name(opt.input);
    std::string header_filename;
    header.clear();
    const char *pt = nullptr;
    int header_bytes = 0;
    tget_primary(unitin, &pt, &header_bytes);
    store_cards(pt, header_bytes, true, header_filename);
    pt = nullptr;
    header_bytes = 0;
    tget_extension(unitin, &pt, &header_bytes);
    store_cards(pt, header_bytes, false, header_filename);
    header_row = static_cast<int>(header.size());

    for (const DispatchRow &row : kDispatch) {
        const std::string &name = row.by_product_name ? header_filename : base_filename;
        if (name.compare(0, std::strlen(row.prefix), row.prefix) != 0) continue;
        if (row.listing != Listing::image && !outputs_are_distinct(opt, row.listing)) return 1;
        if (row.flag != nullptr) *row.flag = 1;
        int status = 0;
        switch (row.listing) {
        case Listing::camera: status = readpca(opt.input, opt.mode, opt.outfile); break;
        case Listing::photometer: status = readppa(opt.input, opt.mode, opt.outfile); break;
        case Listing::spectrometer:
            status = readpls(opt.input, opt.mode, opt.outfile, opt.imfile);
            break;
        case Listing::image: std::printf("File '%s' is a fits image file.\n", opt.input); break;
        }
        tcls(unitin);
        return status;
    }
    std::fprintf(stderr, "Input file is either not PHT AAR product or of unrecognized type.\n");
    return 1;
}

}  // namespace

// The whole run, guarded: standard descriptors and signals are set up
// first, and running out of memory ends the run with a message instead of
// an abort, leaving no temporary file behind.
int qrpht_main(int argc, char **argv)
{
    guard_process();
    try {
        return run(argc, argv);
    } catch (const std::bad_alloc &) {
        remove_temporaries();
        std::fputs("qrpht: out of memory\n", stderr);
        return 1;
    }
}
