// Where the table library's units get their streams from.
//
// Input: a product path names a FITS product (or QELT ASCII table) as it
// was delivered:
// - a seekable regular file, uncompressed: read from the file itself, as is;
// - a file compressed with gzip, Unix compress (.Z), bzip2 or xz (or any
//   other filter libarchive knows), recognised by its content, not its name;
// - "-": standard input, in any of these forms;
// - a pipe, FIFO or terminal, such as the /dev/fd/N of a shell's <(...).
// Everything but the first is decompressed (when compressed) and read whole
// into memory first, under a limit of 1 GiB, and the unit reads that copy.
// While any unit holds such a copy, every further open of the same path
// reads the same copy: a stream can be read only once, and the listing
// banner opens the product a second time.
//
// Output: the path "-" names standard output; any other path is a file.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

// A product is refused when it, or what it decompresses to, is larger.
constexpr std::uint64_t kMaxProductBytes = std::uint64_t{1} << 30;

// Why the last product_open failed, beyond what errno tells. summary is
// the text to show after the product path (such as "decompressed product
// larger than 1 GiB"), detail the decompressor's own reason for a damaged
// stream; both empty when the failure was the system's (errno) or the
// open succeeded.
struct ProductFailure {
    std::string summary;
    std::string detail;
};

// Opens the product at path for reading (binary, seekable). Null on
// failure: then why holds a text for the table library's error message,
// or is empty when errno tells the reason. Used by topenr.
std::FILE *product_open(const char *path, std::string &why);

// The failure of the last product_open (and so of the last topenr that got
// as far as opening its file).
const ProductFailure &product_failure();

// ---------------------------------------------------------------- products in memory
//
// For programs that hold products in memory already (members of an archive,
// say) and list them without writing them to disk.

// Opens bytes as table unit `unit`, exactly as topenr would open a file
// holding them (compressed bytes are decompressed); the status and nparms
// are those of topenr. display_name stands for the product's path wherever
// one is shown, and while the unit is open every topenr of display_name
// (such as the banner's) reads these bytes. The bytes are released when the
// last unit reading them is closed.
void topen_memory(int unit, const char *display_name, std::string bytes, int *nparms);

// Makes every later topenr of display_name read bytes instead of a file,
// until product_release(display_name): so a whole listing run, given
// display_name as its product path, lists a product held in memory.
void product_hold(const char *display_name, std::string bytes);
void product_release(const char *display_name);
