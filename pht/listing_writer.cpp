// Listing file writer; see listing_writer.h.
#include "listing_writer.h"

#include <cerrno>
#include <cstdarg>
#include <cstring>

#include "text_format.h"

namespace {

// Listings run to megabytes; a large buffer spares a system call every
// few lines.
constexpr std::size_t kStreamBuffer = 64 * 1024;

}  // namespace

bool ListingWriter::create(const std::string &path)
{
    if (!file_.open(path)) {
        fail(file_.error());
        return false;
    }
    buffer_ = std::make_unique_for_overwrite<char[]>(kStreamBuffer);
    std::setvbuf(file_.stream(), buffer_.get(), _IOFBF, kStreamBuffer);
    return true;
}

void ListingWriter::fail(int err)
{
    if (error_ == 0) error_ = err != 0 ? err : EIO;
}

void ListingWriter::put(std::string_view text)
{
    if (!file_.is_open()) return;
    const std::size_t n = std::min(text.size(), text.find('\0'));
    if (n > 0 && !file_.write(text.data(), n)) fail(file_.error());
}

void ListingWriter::line(const char *fmt, ...)
{
    scratch_.clear();
    va_list args;
    va_start(args, fmt);
    text_append(scratch_, fmt, args);
    va_end(args);
    put(scratch_);
}

bool ListingWriter::close()
{
    if (!file_.is_open()) return error_ == 0;
    if (!file_.commit()) fail(file_.error());
    return error_ == 0;
}

std::string ListingWriter::reason() const
{
    const std::string text = std::strerror(error_);
    return text.starts_with("Unknown error") ? "Unknown error" : text;
}
