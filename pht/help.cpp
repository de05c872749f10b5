// The texts of --help and --version and their checked output.
#include "help.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "qrpht_version.h"

const std::string &qrpht_help_text()
{
    static const std::string text =
        "Usage: qrpht [-v | -t] -o LISTING [-i IMAGEBASE] [-e TABLE.ecsv]\n"
        "             [-p PICTURE.svg] PRODUCT\n"
        "       qrpht --help | --version\n"
        "\n"
        "Lists one ISO PHT Auto-Analysis Result product, a FITS file with a binary\n"
        "table extension, as plain text a person can read.\n"
        "\n"
        "Options come before PRODUCT, each as its own word. Only the letter after the\n"
        "dash counts (-verbose is -v), the word after -o, -i, -e and -p is always\n"
        "taken as the value, and a repeated option overrides the earlier one.\n"
        "\n"
        "  -o LISTING   write the listing to LISTING (required); - writes it to the\n"
        "               standard output\n"
        "  -v           verbose listing: the complete header, the user parameters of\n"
        "               every filter or configuration, one table per pixel column\n"
        "  -t           normal listing (the default)\n"
        "  -i BASE      spectrometer products only: also write every measurement as a\n"
        "               64 x 1 x 10 FITS image BASEA.FITS, BASEB.FITS, ..., BASEZ.FITS,\n"
        "               BASEAA.FITS, ...\n"
        "  -e TABLE     also write the product's measurements, every record, as an\n"
        "               ECSV table; - writes it to the standard output when the\n"
        "               listing goes to a file\n"
        "  -p PICTURE   also write a picture of the product as SVG\n"
        "  --help       print this help and exit (as the first word)\n"
        "  --version    print the version and exit (as the first word)\n"
        "\n"
        "PRODUCT is the path of a FITS file, plain or compressed with gzip, compress\n"
        "(.Z), bzip2 or xz (recognised by content), or - for the standard input. A\n"
        "pipe or FIFO is read whole first; at most 1 GiB once decompressed.\n"
        "\n"
        "The product type comes from the FILENAME card, or else from the beginning\n"
        "of the path as typed (pcae, pcap, pcas, ppae, ppap, pla, psa):\n"
        "  PCAE, PCAP, PCAS   PHT-C camera (C100 3 x 3, C200 2 x 2 pixels;\n"
        "                     PCAS: raster map)\n"
        "  PPAE, PPAP         PHT-P photometer\n"
        "  PLA, PSA           PHT-S spectrometer\n"
        "  PGA                image file: reported on the standard output, not listed\n"
        "At most 500 records are listed; a longer product gets a note on the\n"
        "standard error.\n"
        "\n"
        "Exit status:\n"
        "  0  the listing was written, or the product is an image file (PGA)\n"
        "  1  unusable command line (usage on the standard output); the product\n"
        "     cannot be read or its type is not recognised; an output cannot be\n"
        "     written or would be the product itself\n";
    return text;
}

std::string version_text(const char *program)
{
    return std::string(program) + " " + kProgramVersion + "\n";
}

int print_info(const std::string &text, const char *program)
{
    errno = 0;
    const bool written = std::fwrite(text.data(), 1, text.size(), stdout) == text.size();
    if (std::fflush(stdout) == 0 && written) return 0;
    std::fprintf(stderr, "%s: cannot write to the standard output: %s\n", program,
                 errno != 0 ? std::strerror(errno) : "write error");
    return 1;
}
