// The writer of a listing file: owns the output stream, formats lines
// through the one formatter (text_format.h) and keeps the first write error.
#pragma once

#include <cstdio>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "output_file.h"

class ListingWriter {
public:
    ListingWriter() = default;
    ListingWriter(const ListingWriter &) = delete;
    ListingWriter &operator=(const ListingWriter &) = delete;
    ~ListingWriter() = default;  // an unclosed listing is discarded

    // Creates (or empties) the listing file; false when it cannot, with
    // error() telling why.
    bool create(const std::string &path);

    // Writes a text as a C string: up to its first NUL byte.
    void put(std::string_view text);
    // Writes fmt formatted with its arguments.
    void line(const char *fmt, ...) __attribute__((format(printf, 2, 3)));

    // Flushes and closes the file; false when any write, the flush or the
    // close failed.
    bool close();

    // The errno of the first failure (creating, writing, flushing,
    // closing); 0 while there is none.
    int error() const { return error_; }
    // The system's text for error().
    std::string reason() const;

private:
    void fail(int err);

    // The stream's buffer: outlives the stream. Left uninitialized, so that
    // a short listing touches only the pages it fills.
    std::unique_ptr<char[]> buffer_;
    OutputFile file_;  // under a temporary name until close() puts it in place
    std::string scratch_;  // the line being formatted
    int error_ = 0;
};
