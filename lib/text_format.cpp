// printf-style formatting into strings; see text_format.h.
#include "text_format.h"

#include <cstdio>

#include "fast_format.h"

void text_append(std::string &out, const char *fmt, va_list args)
{
    va_list again;
    va_copy(again, args);
    if (!format_append(out, fmt, args)) {
        // A conversion the fast path leaves to the C library.
        va_list measure;
        va_copy(measure, again);
        const int len = std::vsnprintf(nullptr, 0, fmt, measure);
        va_end(measure);
        if (len > 0) {
            const std::size_t start = out.size();
            out.resize(start + static_cast<std::size_t>(len));
            std::vsnprintf(out.data() + start, static_cast<std::size_t>(len) + 1, fmt, again);
        }
    }
    va_end(again);
}

std::string text_format(const char *fmt, ...)
{
    std::string out;
    va_list args;
    va_start(args, fmt);
    text_append(out, fmt, args);
    va_end(args);
    return out;
}
