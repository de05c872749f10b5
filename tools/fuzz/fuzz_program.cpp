// Fuzz target for the whole program: driver, header card store, dispatch and
// the three product listings, through qrpht_main as the command line would
// run it. The first input byte chooses the file name (so that dispatch by
// base name is reached too), the listing form and whether images are
// written; the remaining bytes are the product. The run takes place in a
// scratch directory, emptied after every run, which holds the product (named
// without a directory, as the base-name dispatch needs), listing and images.
#include <sys/stat.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "pht.h"

namespace {

// Names whose base decides the product when the FILENAME card does not.
const char *const kNames[] = {
    "pcae1.fits", "pcap1.fits", "pcas1.fits", "ppae1.fits", "ppap1.fits", "pla1.fits",
    "psa1.fits",  "pga1.fits",  "PCAS1.fits", "prod",       "x.FITS",     "pla.fits.gz",
    "pcasXY",     "a.fits",     "ppa.fits",   "psa",
};
constexpr std::size_t kNameCount = sizeof kNames / sizeof kNames[0];

const std::filesystem::path &scratch()
{
    static const std::filesystem::path dir =
        "/dev/shm/qrpht-fuzz-program-" + std::to_string(getpid());
    return dir;
}

bool write_bytes(const std::string &path, const uint8_t *data, size_t size)
{
    FILE *f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) return false;
    bool ok = std::fwrite(data, 1, size, f) == size;
    return std::fclose(f) == 0 && ok;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1) return 0;
    const uint8_t control = data[0];
    namespace fs = std::filesystem;
    std::error_code ec;
    fs::remove_all(scratch(), ec);
    fs::create_directories(scratch(), ec);

    static const fs::path home = fs::current_path();
    fs::current_path(scratch(), ec);
    if (ec) return 0;
    std::string input = kNames[control % kNameCount];
    std::string listing = "out.lst";
    std::string images = "img";
    if (!write_bytes(input, data + 1, size - 1)) {
        fs::current_path(home, ec);
        return 0;
    }

    std::vector<std::string> words = {"qrpht"};
    if (control & 0x10) words.push_back("-v");
    words.push_back("-o");
    words.push_back(listing);
    if (control & 0x20) {
        words.push_back("-i");
        words.push_back(images);
    }
    words.push_back(input);
    std::vector<char *> argv;
    for (std::string &w : words) argv.push_back(w.data());
    argv.push_back(nullptr);

    qrpht_main(static_cast<int>(argv.size()) - 1, argv.data());
    fs::current_path(home, ec);
    fs::remove_all(scratch(), ec);
    return 0;
}
