// The driver: command line, loading of the product, and the listing (and
// images) of it. It lists nothing itself; its only texts are the usage line
// and the messages for unusable command lines, inputs and outputs.
#include <algorithm>
#include <cstring>
#include <cstdio>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "help.h"
#include "listings.h"
#include "output_file.h"
#include "driver.h"
#include "picture_export.h"
#include "pht.h"
#include "process_guard.h"
#include "product.h"
#include "product_source.h"
#include "table_export.h"
#include "qrpht_version.h"

namespace {

struct Options {
    int mode = 0;
    const char *outfile = nullptr;
    const char *imfile = nullptr;
    const char *picture = nullptr;  // -p: SVG picture of the product
    const char *table = nullptr;    // -e: ECSV table of every record
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
        case 'p': case 'P':
            if (i + 1 >= argc) return false;
            opt.picture = argv[i + 1];
            i += 2;
            break;
        case 'e': case 'E':
            if (i + 1 >= argc) return false;
            opt.table = argv[i + 1];
            i += 2;
            break;
        default:
            return false;
        }
    }
    if (i != argc - 1 || opt.outfile == nullptr) return false;
    if (opt.table != nullptr && std::strcmp(opt.table, "-") == 0 && std::strcmp(opt.outfile, "-") == 0) {
        std::fprintf(stderr, "The listing and the table cannot both go to the standard output.\n");
        return false;
    }
    opt.input = argv[i];
    return true;
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

// ---------------------------------------------------------------- outputs

// Every file the listing of product will write: the listing, then one image
// per row its NAXIS2 card announces (up to the record limit).
std::vector<NamedPath> planned_outputs(const Options &opt, const Product &product)
{
    std::vector<NamedPath> outputs = {{opt.outfile, "listing"}};
    if (opt.picture != nullptr) outputs.push_back({opt.picture, "picture"});
    if (opt.table != nullptr) outputs.push_back({opt.table, "table"});
    if (product.family() == Family::spectrometer && opt.imfile != nullptr) {
        const int n = std::min(product.counts().rows, kMaxRecords);
        for (int k = 0; k < n; ++k)
            outputs.push_back({pls_image_name(opt.imfile, static_cast<std::size_t>(k)), "image"});
    }
    return outputs;
}

// False, after the message, when an output would overwrite the product or
// another output. Checked before any output is created.
bool outputs_are_distinct(const Options &opt, const Product &product)
{
    const std::optional<PathClash> clash =
        find_output_clash({opt.input, "input"}, planned_outputs(opt, product));
    if (!clash) return true;
    std::fprintf(stderr, "problem opening output file %s: it is the %s file %s\n",
                 clash->output.c_str(), clash->other.role.c_str(), clash->other.path.c_str());
    return false;
}

// Writes one more output of a product with its records read (the picture,
// the table of every record) to path with write, when it was asked for.
// False after the message when it cannot be written.
bool write_output(const Product &product, const char *path,
                  bool (*write)(const Product &, const std::string &, std::string &))
{
    if (path == nullptr) return true;
    std::string error;
    if (write(product, path, error)) return true;
    std::fprintf(stderr, "problem writing output file %s: %s\n", path, error.c_str());
    return false;
}

// ---------------------------------------------------------------- listing

// Writes the listing of an opened product (and its images), reading its
// records once the listing file exists. Returns the exit status.
int list_product(Product &product, const Options &opt)
{
    if (!outputs_are_distinct(opt, product)) return 1;
    ListingWriter out;
    if (!out.create(opt.outfile)) {
        std::fprintf(stderr, "problem opening output file %s: %s\n", opt.outfile, out.reason().c_str());
        return 1;
    }
    const bool verbose = opt.mode == 1;
    const bool images = opt.imfile != nullptr && product.family() == Family::spectrometer;
    read_records(product, {.all_columns = verbose || images});
    switch (product.family()) {
    case Family::camera: write_camera_listing(out, product, verbose); break;
    case Family::photometer: write_photometer_listing(out, product, verbose); break;
    case Family::spectrometer: write_spectrometer_listing(out, product, verbose); break;
    case Family::image: break;
    }
    if (!out.close()) {
        std::fprintf(stderr, "problem writing output file %s: %s\n", opt.outfile, out.reason().c_str());
        return 1;
    }
    const bool picture = write_output(product, opt.picture, write_picture_file);
    const bool table = write_output(product, opt.table, write_table_file);
    const int status = images ? write_spectrometer_images(opt.imfile, product) : 0;
    return picture && table ? status : 1;
}

// Lists the product load opened (reporting why it could not be opened).
// Returns the exit status.
int list_loaded(ProductLoad &load, const Options &opt)
{
    switch (load.error) {
    case LoadError::cannot_open: report_open_failure(opt.input); return 1;
    case LoadError::not_fits: std::printf("'%s' is not a fits binary file.\n", opt.input); return 1;
    case LoadError::unknown_type:
        std::fprintf(stderr, "Input file is either not PHT AAR product or of unrecognized type.\n");
        return 1;
    case LoadError::none: break;
    }
    if (load.product.family() == Family::image) {
        std::printf("File '%s' is a fits image file.\n", opt.input);
        return 0;
    }
    return list_product(load.product, opt);
}

// The product of the last run, kept for dispatched_product().
DispatchedProduct last_product;

// Opens the product of opt.input and lists it. Returns the exit status.
int run(const Options &opt)
{
    last_product = DispatchedProduct{};
    last_product.opened = true;
    ProductLoad &load = last_product.load;
    load = open_product(opt.input);
    const int status = list_loaded(load, opt);
    load.product.close_input();  // kept, but its file is done with
    return status;
}

int run_listing(const char *filename, int mode, const char *outfile, const char *imfile)
{
    Options opt;
    opt.mode = mode;
    opt.outfile = outfile;
    opt.imfile = imfile;
    opt.input = filename;
    return run(opt);
}

int run_command_line(int argc, char **argv)
{
    if (int status = 0; info_request(argc, argv, status)) return status;
    Options opt;
    if (!read_options(argc, argv, opt)) {
        usage(argv[0]);
        return 1;
    }
    return run(opt);
}

}  // namespace

const DispatchedProduct &dispatched_product() { return last_product; }

std::string dispatched_product_type()
{
    const DispatchedProduct &d = dispatched_product();
    return d.opened && d.load.error == LoadError::none ? product_type_name(d.load.product.type()) : "";
}

int readpca(const char *filename, int mode, const char *outfile) { return run_listing(filename, mode, outfile, nullptr); }
int readppa(const char *filename, int mode, const char *outfile) { return run_listing(filename, mode, outfile, nullptr); }
int readpls(const char *filename, int mode, const char *outfile, const char *im_file)
{
    return run_listing(filename, mode, outfile, im_file);
}

// The whole run, guarded: standard descriptors and signals are set up
// first, and running out of memory ends the run with a message instead of
// an abort, leaving no temporary file behind.
int qrpht_main(int argc, char **argv)
{
    guard_process();
    try {
        return run_command_line(argc, argv);
    } catch (const std::bad_alloc &) {
        remove_temporaries();
        std::fputs("qrpht: out of memory\n", stderr);
        return 1;
    }
}
