// Differential fuzz target for the listing-line formatter: text_format (the
// fast conversions behind it) must write exactly what the C library's
// vsnprintf writes, for any format the fuzzer builds from flags, widths,
// precisions and conversions, and any values: raw doubles (NaN, infinities,
// subnormals), decimal values near rounding ties, ints and texts.
#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "text_format.h"

namespace {

struct Reader {
    const uint8_t *p;
    size_t n;
    uint8_t byte() { return n ? (--n, *p++) : 0; }
    uint32_t u32()
    {
        uint32_t v = 0;
        for (int i = 0; i < 4; ++i) v = v << 8 | byte();
        return v;
    }
    double raw_double()
    {
        uint64_t bits = static_cast<uint64_t>(u32()) << 32 | u32();
        double d;
        std::memcpy(&d, &bits, sizeof d);
        return d;
    }
};

enum class Kind { real, integer, text };

struct Args {
    std::string fmt;
    std::vector<Kind> kinds;
    double d[3] = {};
    int i[3] = {};
    std::string s[3];
};

// A value that prints near a rounding tie: a decimal mantissa and exponent.
double decimal_value(Reader &r)
{
    int32_t mantissa = static_cast<int32_t>(r.u32());
    int exponent = static_cast<int>(r.byte() % 41) - 20;
    char text[40];
    std::snprintf(text, sizeof text, "%de%d", mantissa, exponent);
    return std::strtod(text, nullptr);
}

Args build(Reader &r)
{
    static const char kLiteral[] = "= ():%ab";
    static const char kFlags[] = "-0+ #";
    static const char kConv[] = "efgdicsEGxu%";
    Args a;
    const int specs = r.byte() % 4;
    for (int k = 0; k < specs; ++k) {
        for (int t = r.byte() % 4; t > 0; --t) {
            char c = kLiteral[r.byte() % (sizeof kLiteral - 1)];
            a.fmt += c;
            if (c == '%') a.fmt += '%';
        }
        a.fmt += '%';
        uint8_t shape = r.byte();
        if (shape & 1) a.fmt += kFlags[r.byte() % (sizeof kFlags - 1)];
        if (shape & 2) a.fmt += kFlags[r.byte() % (sizeof kFlags - 1)];
        if (shape & 4) a.fmt += std::to_string(r.byte() % 80);
        if (shape & 8) {
            a.fmt += '.';
            if (shape & 16) a.fmt += std::to_string(r.byte() % 25);
        }
        char conv = kConv[r.byte() % (sizeof kConv - 1)];
        a.fmt += conv;
        const size_t n = a.kinds.size();
        switch (conv) {
        case '%':
            break;
        case 'e': case 'f': case 'g': case 'E': case 'G':
            a.d[n] = (shape & 32) ? r.raw_double() : decimal_value(r);
            a.kinds.push_back(Kind::real);
            break;
        case 's': {
            for (int t = r.byte() % 12; t > 0; --t) a.s[n] += static_cast<char>(r.byte() | 1);
            a.kinds.push_back(Kind::text);
            break;
        }
        default:
            a.i[n] = static_cast<int>(r.u32());
            if (conv == 'c') a.i[n] &= 0xff;
            a.kinds.push_back(Kind::integer);
            break;
        }
    }
    for (int t = r.byte() % 3; t > 0; --t) a.fmt += 'z';
    return a;
}

std::string reference(const char *fmt, ...)
{
    va_list ap;
    va_start(ap, fmt);
    va_list again;
    va_copy(again, ap);
    int n = std::vsnprintf(nullptr, 0, fmt, ap);
    va_end(ap);
    std::string out(n > 0 ? static_cast<size_t>(n) : 0, '\0');
    if (n > 0) std::vsnprintf(out.data(), out.size() + 1, fmt, again);
    va_end(again);
    return out;
}

#pragma clang diagnostic ignored "-Wformat-nonliteral"
#pragma clang diagnostic ignored "-Wformat-security"

template <typename... A> void compare(const Args &a, A... values)
{
    const std::string fast = text_format(a.fmt.c_str(), values...);
    const std::string slow = reference(a.fmt.c_str(), values...);
    if (fast != slow) {
        std::fprintf(stderr, "format \"%s\": fast \"%s\", C library \"%s\"\n", a.fmt.c_str(),
                     fast.c_str(), slow.c_str());
        __builtin_trap();
    }
}

template <typename... A> void dispatch(const Args &a, size_t k, A... values)
{
    if (k == a.kinds.size()) {
        compare(a, values...);
        return;
    }
    if constexpr (sizeof...(A) < 3) {
        switch (a.kinds[k]) {
        case Kind::real: dispatch(a, k + 1, values..., a.d[k]); break;
        case Kind::integer: dispatch(a, k + 1, values..., a.i[k]); break;
        case Kind::text: dispatch(a, k + 1, values..., a.s[k].c_str()); break;
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    Reader r{data, size};
    const Args a = build(r);
    dispatch(a, 0);
    return 0;
}
