// The driver: command line, loading of the product, and the listing (and
// images) of it. It lists nothing itself; its only texts are the usage line
// and the messages for unusable command lines, inputs and outputs.
#include <cstdio>
#include <cstring>
#include <string>

#include "listings.h"
#include "pht.h"
#include "product.h"
#include "table_export.h"

namespace {

struct Options {
    int mode = 0;
    const char *outfile = nullptr;
    const char *imfile = nullptr;
    const char *table = nullptr;
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
    while (i < argc && argv[i][0] == '-') {
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

// Writes the table of every record of the product to path; false after
// the message when it cannot.
bool export_table(const Product &product, const char *path)
{
    std::string error;
    if (write_table_file(product, path, error)) return true;
    std::fprintf(stderr, "problem writing output file %s: %s\n", path, error.c_str());
    return false;
}

// Writes the listing of an opened product (and its images), reading its
// records once the listing file exists. Returns the exit status.
int list_product(Product &product, const Options &opt)
{
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
    out.close();  // a failed write is kept in out.error()
    if (opt.table != nullptr && !export_table(product, opt.table)) return 1;
    return images ? write_spectrometer_images(opt.imfile, product) : 0;
}

// Opens the product of opt.input and lists it. Returns the exit status.
int run(const Options &opt)
{
    ProductLoad load = open_product(opt.input);
    switch (load.error) {
    case LoadError::cannot_open: std::printf("problem opening tablefile %s\n", opt.input); return 1;
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

int run_listing(const char *filename, int mode, const char *outfile, const char *imfile)
{
    Options opt;
    opt.mode = mode;
    opt.outfile = outfile;
    opt.imfile = imfile;
    opt.input = filename;
    return run(opt);
}

}  // namespace

int readpca(const char *filename, int mode, const char *outfile) { return run_listing(filename, mode, outfile, nullptr); }
int readppa(const char *filename, int mode, const char *outfile) { return run_listing(filename, mode, outfile, nullptr); }
int readpls(const char *filename, int mode, const char *outfile, const char *im_file)
{
    return run_listing(filename, mode, outfile, im_file);
}

int qrpht_main(int argc, char **argv)
{
    Options opt;
    if (!read_options(argc, argv, opt)) {
        usage(argv[0]);
        return 1;
    }
    return run(opt);
}
