// Fuzz target for the coordinate routines. The first byte chooses latitude
// or longitude, equatorial or not, the precision and whether block-form
// sexagesimal input is enabled (a switch that cannot be cleared, so it stays
// on once an input has set it); the rest is the typed coordinate, given to
// c_coord as a terminated text. The same bytes, read as a double, go through
// c_ddsex in every layout, and as a system name through c_sys.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "coord.h"

namespace {
constexpr std::size_t kAngleBuf = 30;  // what callers of the routines provide
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1) return 0;
    const uint8_t control = data[0];
    const std::string text(reinterpret_cast<const char *>(data) + 1, size - 1);

    c_setprecision((control >> 3) % 10 - 1);
    if (control & 0x80) c_blockhdms(1);

    char buf[kAngleBuf];
    int isdec = -1;
    double dangle = 0;
    int rc = c_coord(text.c_str(), control & 1, control & 2, buf, &isdec, &dangle);
    if (rc >= 0 && std::strlen(buf) >= kAngleBuf) __builtin_trap();
    if (c_status < 0 || c_status > 11 || c_msg[c_status] == nullptr) __builtin_trap();

    double angle = 0;
    std::memcpy(&angle, text.data(), text.size() < sizeof angle ? text.size() : sizeof angle);
    for (int form = 0; form <= 2; ++form) {
        c_ddsex(angle, form, control & 4, buf);
        if (std::strlen(buf) >= kAngleBuf) __builtin_trap();
    }
    c_sys(text.c_str(), (control & 4) ? 'J' : 'B');
    double dh = 0, m = 0, s = 0;
    c_convertblock(text.c_str(), &dh, &m, &s);
    return 0;
}
