// Fuzz target for the table library: the input bytes become a file, which is
// opened with topenr and then read through every reading call. Every field
// of every row is fetched with the call matching its type, into a buffer of
// exactly the size the field describes, and with every other call as well
// (which must fail without writing). Keywords, the raw headers, tseek,
// tgetaddr and tlink to an output unit are exercised on the same unit.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "fits_table.h"

namespace {

constexpr int kUnit = 3;
constexpr int kLinkUnit = 4;
constexpr int kMaxRows = 64;  // rows walked per input: the path of a row does not depend on its number
constexpr long kMaxElements = 1L << 20;   // larger fields are described, not fetched

std::string scratch_path(const char *what)
{
    return "/dev/shm/qrpht-fuzz-table-" + std::to_string(getpid()) + what;
}

bool write_bytes(const std::string &path, const uint8_t *data, size_t size)
{
    FILE *f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) return false;
    bool ok = std::fwrite(data, 1, size, f) == size;
    return std::fclose(f) == 0 && ok;
}

// Reads every byte of a header text so that a wrong byte count shows up.
unsigned touch(const char *text, int bytes)
{
    unsigned sum = 0;
    if (text == nullptr) return sum;
    for (int i = 0; i < bytes; ++i) sum += static_cast<unsigned char>(text[i]);
    return sum;
}

volatile unsigned sink;

struct FieldInfo {
    char type = 0;
    int start = 0;
    int width = 0;
    int elements = 0;
    bool ok = false;
};

FieldInfo describe(int unit, int pindex, bool fits)
{
    // FITS field names hold at most 8 characters; an ASCII table names a
    // field by the text between two bars of a line of at most 499.
    std::vector<char> name(fits ? 9 : 512);
    char unitname[81];
    FieldInfo f;
    tpinfo(unit, pindex, name.data(), &f.type, nullptr, unitname, nullptr, nullptr, &f.start,
           &f.width, &f.elements);
    f.ok = itstat() == 0;
    return f;
}

void fetch_all(int unit, int pindex, const FieldInfo &f)
{
    // Mismatching calls get a buffer of one element: they must not write.
    const bool sized = f.ok && f.elements >= 0 && f.elements <= kMaxElements;
    const size_t n = sized && f.elements > 0 ? static_cast<size_t>(f.elements) : 1;
    const bool is_int = f.type == 'J' || f.type == 'I' || f.type == 'B';
    const bool is_real = f.type == 'E' || f.type == 'D';
    if (!sized && (is_int || is_real)) return;

    std::vector<int> ints(is_int ? n : 1);
    tgeti(unit, pindex, ints.data());
    std::vector<float> floats(is_real ? n : 1);
    tgetr(unit, pindex, floats.data());
    std::vector<double> doubles(is_real ? n : 1);
    tgetd(unit, pindex, doubles.data());
    if (f.type == 'A' && f.width >= 0 && f.width <= kMaxElements) {
        std::vector<char> text(static_cast<size_t>(f.width) + 1);
        tgetc(unit, pindex, text.data());
    } else if (f.type != 'A') {
        char text[1];
        tgetc(unit, pindex, text);
    }
    char *adr = nullptr;
    tgetaddr(unit, pindex, &adr);
    if (itstat() == 0 && adr != nullptr && f.ok && f.width > 0) sink = touch(adr, f.width);
}

void read_keywords(int unit)
{
    static const char *const kKeys[] = {"NAXIS2", "TFIELDS", "DATE", "EQUINOX", "OBJECT",
                                        "FILENAME", "SIMPLE", "END", ""};
    for (const char *key : kKeys) {
        char text[80];
        t_rkey_c(unit, text, key);
        int i = 0;
        t_rkey_i(unit, &i, key);
        double d = 0;
        t_rkey_d(unit, &d, key);
        float r = 0;
        t_rkey_r(unit, &r, key);
    }
}

void read_table(int unit, int nparms)
{
    const bool fits = tgettyp(unit) == 1;
    const char *adr = nullptr;
    int bytes = 0;
    tget_primary(unit, &adr, &bytes);
    if (itstat() == 0) sink = touch(adr, bytes);
    adr = nullptr;
    bytes = 0;
    tget_extension(unit, &adr, &bytes);
    if (itstat() == 0) sink = touch(adr, bytes);
    read_keywords(unit);
    sink = static_cast<unsigned>(tgetrowcount(unit));

    static const char *const kNames[] = {"PCAE", "PLAPSRCE", "field1", "", "X"};
    for (const char *name : kNames) {
        int pindex = -7;
        tindp(unit, name, &pindex);
    }

    const int nfields = nparms < 0 ? 0 : (nparms > MAXFIELDS ? MAXFIELDS : nparms);
    std::vector<FieldInfo> fields(static_cast<size_t>(nfields) + 2);
    for (int p = 0; p <= nfields + 1; ++p) fields[static_cast<size_t>(p)] = describe(unit, p, fits);

    for (int row = 0; row < kMaxRows; ++row) {
        tblread(unit);
        if (itstat() != 0) break;
        for (int p = 0; p <= nfields + 1; ++p) fetch_all(unit, p, fields[static_cast<size_t>(p)]);
    }
    if (fits) {
        for (int recno : {-1, 0, 1, 2, 1 << 30}) {
            tseek(unit, recno);
            tblread(unit);
            if (itstat() == 0 && nfields > 0) fetch_all(unit, 1, fields[1]);
        }
    }
}

// Copies the product's headers and its first rows to an output unit.
void link_copy(int unit)
{
    const std::string out = scratch_path(".out");
    topenw(kLinkUnit, out.c_str());
    tfiltyp(kLinkUnit, 1);
    tseek(unit, 1);
    tlink(unit, kLinkUnit);
    if (itstat() == 0) {
        for (int row = 0; row < 4; ++row) {
            tblread(unit);
            if (itstat() != 0) break;
            tblwrit(kLinkUnit);
        }
    }
    tcls(kLinkUnit);
    unlink(out.c_str());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::string path = scratch_path(".in");
    if (!write_bytes(path, data, size)) return 0;
    int nparms = -1;
    topenr(kUnit, path.c_str(), &nparms);
    if (itstat() == 0) {
        read_table(kUnit, nparms);
        if (tgettyp(kUnit) == 1) link_copy(kUnit);
    }
    tcls(kUnit);
    unlink(path.c_str());
    return 0;
}
