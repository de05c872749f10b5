// The driver: command line, input product, header card store and dispatch
// to the product listing. It lists nothing itself; its only texts are the
// usage line and the few messages for unusable command lines and inputs.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "fits_table.h"
#include "pht.h"

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

constexpr std::size_t kCardLength = 80;
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
        default:
            return false;
        }
    }
    if (i != argc - 1 || opt.outfile == nullptr) return false;
    opt.input = argv[i];
    return true;
}

// The input path cut before its first ".fits" (or, failing that, ".FITS").
std::string base_name(const std::string &path)
{
    std::size_t at = path.find(".fits");
    if (at == std::string::npos) at = path.find(".FITS");
    return at == std::string::npos ? path : path.substr(0, at);
}

// The product name between the first pair of quotes of a FILENAME card,
// searched from column 10 within the card; unchanged when there is no pair.
void take_product_name(const std::string &card, std::string &product)
{
    std::size_t open = card.find('\'', kFilenameValueFrom);
    if (open == std::string::npos) return;
    std::size_t close = card.find('\'', open + 1);
    if (close == std::string::npos) return;
    product = card.substr(open + 1, std::min(close - open - 1, kProductNameMax));
}

// Appends the cards of one header, through its END card, to the store.
void store_cards(const char *text, int bytes, bool primary, std::string &product)
{
    if (text == nullptr || bytes <= 0) return;
    const std::size_t ncards = static_cast<std::size_t>(bytes) / kCardLength;
    for (std::size_t i = 0; i < ncards; ++i) {
        std::string card(text + i * kCardLength, kCardLength);
        header.push_back(card);
        if (primary && card.compare(0, 8, "FILENAME") == 0) take_product_name(card, product);
        if (card.compare(0, 3, "END") == 0) break;
    }
}

enum class Listing { camera, photometer, spectrometer, image };

struct DispatchRow {
    bool by_product_name;  // FILENAME value, else the file's base name
    const char *prefix;
    int *flag;
    Listing listing;
    const char *type;      // the product type it stands for
};

// Tried in this order; the first row whose prefix begins the name decides.
// The base-name rows test "pcap" before "pcas" and know no image files.
const DispatchRow kDispatch[] = {
    {true, "PCAE", &pcae_done, Listing::camera, "PCAE"},
    {true, "PCAS", &pcas_done, Listing::camera, "PCAS"},
    {true, "PCAP", &pcap_done, Listing::camera, "PCAP"},
    {true, "PPAE", &ppae_done, Listing::photometer, "PPAE"},
    {true, "PPAP", &ppap_done, Listing::photometer, "PPAP"},
    {true, "PLA", nullptr, Listing::spectrometer, "PLA"},
    {true, "PSA", nullptr, Listing::spectrometer, "PSA"},
    {true, "PGA", nullptr, Listing::image, "PGA"},
    {false, "pcae", &pcae_done, Listing::camera, "PCAE"},
    {false, "pcap", &pcap_done, Listing::camera, "PCAP"},
    {false, "pcas", &pcas_done, Listing::camera, "PCAS"},
    {false, "ppae", &ppae_done, Listing::photometer, "PPAE"},
    {false, "ppap", &ppap_done, Listing::photometer, "PPAP"},
    {false, "pla", nullptr, Listing::spectrometer, "PLA"},
    {false, "psa", nullptr, Listing::spectrometer, "PSA"},
};

std::string dispatched_type;

}  // namespace

const std::string &dispatched_product_type()
{
    return dispatched_type;
}

int qrpht_main(int argc, char **argv)
{
    dispatched_type.clear();
    Options opt;
    if (!read_options(argc, argv, opt)) {
        usage(argv[0]);
        return 1;
    }

    int nparms = 0;
    topenr(unitin, opt.input, &nparms);
    if (itstat() != 0) {
        std::printf("problem opening tablefile %s\n", opt.input);
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
        if (row.flag != nullptr) *row.flag = 1;
        dispatched_type = row.type;
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
