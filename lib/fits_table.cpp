// Table file library: numbered table units over FITS binary tables and QELT
// ASCII tables, text output units, QELT ASCII table writing and FITS row
// copying.
//
// Invariants:
// - A unit is open while its record holds a stream (fp != nullptr). Every
//   operation reports through read_status / error_msg and never ends the
//   program.
// - Per-field arrays are indexed 1..MAXFIELDS; index 0 is unused. A field
//   number read from a header card is used only when it lies in 1..MAXFIELDS.
// - For an open FITS input unit, every field lies inside the row buffer:
//   field_start + field_width <= total_width. A FITS open that fails leaves
//   no fields behind, so nothing can be fetched from a half-read header.
// - Card searches (quotes, "=") never leave their 80-byte card.
// - The row buffer is shared (not copied) by a FITS output unit linked to an
//   input unit; shared ownership keeps it valid whichever unit closes first.
// - An output unit writes through its OutputFile: every write is checked,
//   and tcls puts the file in place under its name only when all of them
//   succeeded; an output unit never closed is discarded.
#include "fits_table.h"
#include "fits_card.h"
#include "output_file.h"
#include "product_source.h"
#include "text_format.h"

#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <vector>

namespace {

// FITS geometry.
constexpr int kCard = static_cast<int>(kFitsCardLength);    // bytes per header card
constexpr int kBlock = static_cast<int>(kFitsBlockLength);  // bytes per FITS block
constexpr int kCardsPerBlock = kBlock / kCard;  // 36
constexpr int kValueColumn = 10;                // value field starts at column 11
constexpr int kQuoteColumn = 9;                 // quoted values searched from column 10

// QELT ASCII tables.
constexpr int kAsciiRead = 500;           // one read takes at most 499 characters
constexpr int kAsciiLineBuffer = 501;     // row buffer of an ASCII unit
constexpr int kMaxOutputLine = 6500;      // an output table line stays below this

// Texts of a field.
constexpr std::size_t kNameLength = 8;
constexpr std::size_t kUnitLength = 80;
constexpr std::size_t kFormatLength = 19;
constexpr std::size_t kKeyValueLength = 79;
constexpr std::size_t kTformLength = 79;

// A FITS row is read into one buffer allocated when the unit is opened. Real
// tables have rows of a few kilobytes; a header that claims rows wider than
// 64 MiB is forged or damaged, and honouring it would let a 3-block file
// demand gigabytes. The bound also keeps every width and offset far inside
// the range of int.
constexpr long long kMaxRowBytes = 64LL * 1024 * 1024;
// Headers of that size hold ~800000 cards; a file whose header runs longer
// without an END card is not a FITS table, and is not read into memory.
constexpr std::size_t kMaxHeaderBytes = 64u * 1024 * 1024;
// Repeat counts saturate here while their digits are read (no overflow).
constexpr long long kRepeatCap = 1'000'000'000'000LL;

// Per-field texts, indexed 1..MAXFIELDS like the per-field arrays, holding
// strings only up to the highest field used: a listing unit carries none,
// and opening a table of 20 columns builds 21 strings, not 151.
class FieldTexts {
public:
    std::string &operator[](std::size_t i)
    {
        if (i >= texts_.size()) texts_.resize(i + 1);
        return texts_[i];
    }
    const std::string &operator[](std::size_t i) const
    {
        static const std::string none;
        return i < texts_.size() ? texts_[i] : none;
    }

private:
    std::vector<std::string> texts_;
};

struct FileInfo {
    int unit = 0;
    int filetype = 0;                   // 1 FITS, 0 QELT ASCII table or text
    std::string primary_header;         // cards through END
    std::string extension_header;       // cards through END; empty without
    bool has_extension = false;
    int total_width = 0;                // bytes per FITS row
    std::shared_ptr<std::vector<char>> input_line;  // current row
    int number_of_fields = 0;
    int lines = 0;                      // FITS NAXIS2
    int linenumber = 0;                 // rows read / lines consumed
    FieldTexts field_name;
    FieldTexts field_unit;
    std::array<int, MAXFIELDS + 1> element_count{};
    std::uint64_t bytes_written = 0;    // table bytes written to FITS output
    bool header_written = false;        // column header of an ASCII output
    std::array<char, MAXFIELDS + 1> field_type{};
    std::array<int, MAXFIELDS + 1> field_start{};
    std::array<int, MAXFIELDS + 1> field_width{};
    FieldTexts format;
    FieldTexts field_value;
    std::unique_ptr<char[]> io_buffer;  // stdio buffer of fp, released after it
    OutputFile out;                     // an output unit's file; fp is its stream
    std::FILE *fp = nullptr;
    long data_start = 0;                // offset of the first FITS row
    // Wide rows (see "wide rows" below): how rows are read, the offset of
    // the current one, and how many bytes of each field it holds so far.
    enum class RowAccess { undecided, whole, by_field } row_access = RowAccess::undecided;
    long long file_bytes = 0;
    long long row_offset = 0;
    std::array<int, MAXFIELDS + 1> field_loaded{};
    long naxis2_offset = -1;            // linked output: file offset of its NAXIS2 card
    std::string naxis2_card;            // linked output: that card as copied
    char mode = 0;                      // 'r' or 'w'

    FileInfo() = default;
    FileInfo(const FileInfo &) = delete;
    FileInfo &operator=(const FileInfo &) = delete;
    ~FileInfo()
    {
        // An output that was never closed is not whole: it is discarded.
        if (out.is_open())
            out.discard();
        else if (fp)
            std::fclose(fp);
    }
};

// Module state. The unit list is keyed by unit number; a unit number names
// at most one record.
std::map<int, std::unique_ptr<FileInfo>> units;
int read_status = 0;
std::string error_msg;
int system_errno = 0;  // system error number behind the last failure, if any
int vax_bytes = 0;

void fail(std::string msg)
{
    error_msg = std::move(msg);
    system_errno = 0;
    read_status = 1;
}

// The system's text for an error number; "Unknown error" for numbers the
// system has no text for.
std::string system_text(int err)
{
    std::string s = std::strerror(err);
    if (s.rfind("Unknown error", 0) == 0) return "Unknown error";
    return s;
}

// A failure of the system call behind op: "<what>: <system text>".
void fail_system(const std::string &what, int err)
{
    fail(text_format("%s: %s", what.c_str(), system_text(err).c_str()));
    system_errno = err;
}

// Writes n bytes to an output unit; false (with the failure reported as
// "error in <op> writing file: <reason>") when they did not all get out.
// After a first failure the unit's file is known to be incomplete, and
// nothing more is written to it.
bool put_bytes(FileInfo &f, const char *op, const void *data, std::size_t n)
{
    if (f.out.write(data, n)) return true;
    fail_system(text_format("error in %s writing file", op), f.out.error());
    return false;
}

FileInfo *find_file(int unit)
{
    auto it = units.find(unit);
    return it == units.end() ? nullptr : it->second.get();
}

// The record of an open unit, or null.
FileInfo *open_file(int unit)
{
    FileInfo *f = find_file(unit);
    return f && f->fp ? f : nullptr;
}

// The record of an open output unit, or null.
FileInfo *output_file(int unit)
{
    FileInfo *f = open_file(unit);
    return f && f->mode == 'w' ? f : nullptr;
}

// A fresh record for unit, replacing a closed one left behind by a failed
// open. Null (with "out of memory") when it cannot be allocated.
// Gives the unit's stream a 64 KiB buffer: tables of megabytes are read
// row by row and listings written line by line, and the default buffer of
// 4 KiB would cost a system call every few rows or lines. (The C library
// takes the size only together with a buffer of the caller's.)
void set_stream_buffer(FileInfo &f)
{
    static constexpr std::size_t kStreamBuffer = 64 * 1024;
    f.io_buffer.reset(new (std::nothrow) char[kStreamBuffer]);
    if (f.io_buffer) std::setvbuf(f.fp, f.io_buffer.get(), _IOFBF, kStreamBuffer);
}

FileInfo *fresh_file(int unit)
{
    try {
        auto rec = std::make_unique<FileInfo>();
        rec->unit = unit;
        FileInfo *f = rec.get();
        units[unit] = std::move(rec);
        return f;
    } catch (const std::bad_alloc &) {
        error_msg = "out of memory";
        return nullptr;
    }
}

void detect_byte_order()
{
    const std::uint32_t probe = 0x12345678;
    unsigned char b[4];
    std::memcpy(b, &probe, sizeof b);
    if (b[0] == 0x12 && b[1] == 0x34) {
        vax_bytes = 0;
    } else if (b[0] == 0x78 && b[1] == 0x56) {
        vax_bytes = 1;
    } else {
        std::fputs(" error:  unrecognized byte order on this machine\n", stderr);
        vax_bytes = 0;
    }
}

// ---------------------------------------------------------------- cards

bool card_begins(const char *card, const char *prefix)
{
    return std::memcmp(card, prefix, std::strlen(prefix)) == 0;
}

// Integer value of a card (column 11 on), converted like strtol and clamped
// to the range of int.
int card_int(const char *card)
{
    std::string text(card + kValueColumn, card + kCard);
    long long v = std::strtoll(text.c_str(), nullptr, 10);
    return static_cast<int>(std::clamp<long long>(v, INT_MIN, INT_MAX));
}

// Field number written right behind a five-letter keyword stem (TTYPE12);
// 0 when there is none or it is absurd.
int card_field_number(const char *card)
{
    int n = 0;
    for (int i = 5; i < kCard && std::isdigit(static_cast<unsigned char>(card[i])); ++i) {
        n = n * 10 + (card[i] - '0');
        if (n > MAXFIELDS) return 0;
    }
    return n;
}

// Text between the first single quote at or after column 10 and the next
// single quote, both within the card. False without such a pair.
bool card_quoted(const char *card, std::string &value)
{
    const char *end = card + kCard;
    const char *q1 = static_cast<const char *>(std::memchr(card + kQuoteColumn, '\'', kCard - kQuoteColumn));
    if (!q1) return false;
    const char *q2 = static_cast<const char *>(std::memchr(q1 + 1, '\'', static_cast<std::size_t>(end - q1 - 1)));
    if (!q2) return false;
    value.assign(q1 + 1, q2);
    return true;
}

// Offset of the first card that begins with "END   " in the cards of text,
// or npos.
std::size_t end_card_offset(const std::string &text)
{
    for (std::size_t off = 0; off + kCard <= text.size(); off += kCard)
        if (card_begins(text.data() + off, "END   ")) return off;
    return std::string::npos;
}

// ---------------------------------------------------------------- closing

// The NAXIS2 card with its value replaced by rows, or empty when the card
// already holds that value. The value keeps its field (right-justified to
// column 30 in the fixed format) and the comment stays behind it; a value
// wider than the old one moves the comment right as far as needed.
std::string naxis2_card_for(const std::string &card, long long rows)
{
    const std::size_t first = std::min(card.find_first_not_of(' ', kValueColumn), card.size());
    const std::size_t last = std::min(card.find_first_of(" /", first), card.size());
    const std::string old_value = card.substr(first, last - first);
    const std::string value = std::to_string(rows);
    char *parsed_to = nullptr;
    const long long old_rows = std::strtoll(old_value.c_str(), &parsed_to, 10);
    if (!old_value.empty() && *parsed_to == '\0' && old_rows == rows) return {};
    const std::size_t width = std::max(last - kValueColumn, value.size());
    std::string out = card.substr(0, kValueColumn) + std::string(width - value.size(), ' ') + value
                      + card.substr(last);
    out.resize(kCard, ' ');
    return out;
}

// A linked FITS output carries the input's headers. When another number of
// rows was copied than the input's NAXIS2 says, the copied card would
// describe rows that are not in the file: its value is rewritten with the
// number of rows written, its comment kept. Outputs that cannot seek
// (pipes) keep the card as copied.
void correct_row_count(FileInfo &f)
{
    if (f.naxis2_offset < 0 || f.total_width <= 0) return;
    const long long rows = static_cast<long long>(f.bytes_written / static_cast<std::uint64_t>(f.total_width));
    const std::string card = naxis2_card_for(f.naxis2_card, rows);
    if (card.empty()) return;
    if (std::fseek(f.fp, f.naxis2_offset, SEEK_SET) != 0) return;
    f.out.write(card.data(), kCard);
    if (std::fseek(f.fp, 0, SEEK_END) != 0) f.out.fail(errno);
}

// Pads a FITS output with zero bytes to a block boundary, flushes it and
// puts it in place under its name, or discards it when any of its writes
// failed (the name then keeps what it held). Forgets the unit. Returns the
// status and sets error_msg on failure.
int close_output(FileInfo *f)
{
    static const std::array<char, kBlock> zeros{};
    OutputFile &out = f->out;
    if (f->filetype == 1) {
        std::size_t rest = static_cast<std::size_t>(f->bytes_written % kBlock);
        if (rest != 0) out.write(zeros.data(), kBlock - rest);
        if (out.error() == 0) correct_row_count(*f);
    }
    if (out.error() == 0 && std::fflush(f->fp) != 0) out.fail(errno);
    const int flush_errno = out.error();
    const bool whole = out.commit();
    const int close_errno = out.error();
    f->fp = nullptr;
    units.erase(f->unit);
    if (whole) return 0;
    if (flush_errno != 0)
        fail_system("error in tcls flushing buffer", flush_errno);
    else
        fail_system("error in tcls closing file", close_errno);
    return 1;
}

// Closes the stream and forgets the unit. Returns the status and sets
// error_msg on failure.
int close_unit(FileInfo *f)
{
    if (f->mode == 'w') return close_output(f);
    int rc = std::fclose(f->fp);
    int close_errno = errno;
    f->fp = nullptr;
    units.erase(f->unit);
    if (rc != 0) {
        fail_system("error in tcls closing file", close_errno);
        return 1;
    }
    return 0;
}

// ---------------------------------------------------------------- FITS open

// Bytes per element of a TFORM type letter; 0 for bits (X), -1 for a letter
// this library does not know.
int bytes_per_element(char letter)
{
    switch (std::toupper(static_cast<unsigned char>(letter))) {
    case 'A': case 'B': case 'L': return 1;
    case 'I': return 2;
    case 'J': case 'E': return 4;
    case 'D': case 'K': case 'C': case 'P': return 8;
    case 'M': case 'Q': return 16;
    case 'X': return 0;
    default: return -1;
    }
}

bool row_too_wide()
{
    fail(text_format("error in topenr:  table row wider than %lld bytes", kMaxRowBytes));
    return false;
}

// Type, repeat count and width of field n from its TFORM value.
bool parse_tform(FileInfo &f, int n, std::string value)
{
    if (value.size() > kTformLength) value.resize(kTformLength);
    long long count = 1;
    std::size_t pos = 0;
    if (!value.empty() && std::isdigit(static_cast<unsigned char>(value[0]))) {
        count = 0;
        for (; pos < value.size() && std::isdigit(static_cast<unsigned char>(value[pos])); ++pos)
            count = std::min(kRepeatCap, count * 10 + (value[pos] - '0'));
    }
    char letter = pos < value.size() ? value[pos] : '\0';
    f.element_count[n] = static_cast<int>(std::min<long long>(count, INT_MAX));
    int size = bytes_per_element(letter);
    if (size < 0) {  // unknown type: width unchanged, fetches fail on the type
        f.field_type[n] = letter;
        return true;
    }
    long long width = size == 0 ? (count + 7) / 8 : count * size;
    if (width > kMaxRowBytes) return row_too_wide();
    static const char kPlain[] = "ABIJED";
    char upper = static_cast<char>(std::toupper(static_cast<unsigned char>(letter)));
    f.field_type[n] = std::strchr(kPlain, upper) ? upper : letter;
    f.field_width[n] = static_cast<int>(width);
    return true;
}

// What the extension header says beyond its fields.
struct ExtensionScan {
    bool end = false;       // the END card was seen
    bool bintable = false;  // XTENSION = 'BINTABLE'
    bool has_naxis1 = false;
    int naxis1 = 0;         // row width the header claims
};

// Cuts a column name or unit to the length the record holds, saying so.
void clip_column_text(std::string &value, std::size_t limit, const char *what)
{
    if (value.size() <= limit) return;
    value.resize(limit);
    std::fprintf(stderr, "Tablefile internal error - field%s %s is longer than %zu characters\n", what,
                 value.c_str(), limit);
}

// Takes a TTYPEn, TUNITn or TFORMn card into field n of the record; other
// cards (TDISPn among them) and numbers beyond the record are passed over.
// False (status 1) when a TFORM cannot be honoured.
bool examine_column_card(FileInfo &f, const char *card)
{
    const bool ttype = card_begins(card, "TTYPE"), tunit = card_begins(card, "TUNIT");
    const bool tform = card_begins(card, "TFORM");
    if (!ttype && !tunit && !tform) return true;
    std::string value;
    const int n = card_field_number(card);
    if (n < 1 || n > MAXFIELDS || !card_quoted(card, value)) return true;
    if (tform) return parse_tform(f, n, value);
    if (ttype) {
        clip_column_text(value, kNameLength, "name");
        f.field_name[n] = value;
    } else {
        clip_column_text(value, kUnitLength, "unit");
        f.field_unit[n] = value;
    }
    return true;
}

// Takes one card of the extension header into the record. Notes the END
// card, the extension type and NAXIS1 in scan; false (status 1) when the
// header cannot be honoured.
bool examine_extension_card(FileInfo &f, const char *card, ExtensionScan &scan)
{
    std::string value;
    if (card_begins(card, "XTENSION")) {
        scan.bintable = card_quoted(card, value)
                        && value.substr(0, value.find_last_not_of(' ') + 1) == "BINTABLE";
    } else if (card_begins(card, "NAXIS1  ")) {
        scan.has_naxis1 = true;
        scan.naxis1 = card_int(card);
    } else if (card_begins(card, "NAXIS2  ")) {
        f.lines = std::max(0, card_int(card));
    } else if (card_begins(card, "TFIELDS ")) {
        const int n = card_int(card);
        if (n > MAXFIELDS) {
            std::fputs("Tablefile error - total number of fields is too large (at most 150)\n", stderr);
            fail("Tablefile error - total number of fields is too large (at most 150)");
            return false;
        }
        f.number_of_fields = std::max(0, n);
    } else if (card_begins(card, "END     ")) {
        scan.end = true;
    } else {
        return examine_column_card(f, card);
    }
    return true;
}

// Lays the fields out in the row and allocates the row buffer. A binary
// table whose NAXIS1 is not the width of its columns would be read from the
// wrong offsets: it is refused.
bool finish_extension(FileInfo &f, const ExtensionScan &scan)
{
    long long width = 0;  // each field is at most kMaxRowBytes: no overflow
    for (int i = 1; i <= f.number_of_fields; ++i) width += f.field_width[i];
    if (scan.bintable && scan.has_naxis1 && width != scan.naxis1) {
        fail(text_format("error in topenr:  NAXIS1 = %d, but the columns are %lld bytes wide",
                         scan.naxis1, width));
        return false;
    }
    if (width > kMaxRowBytes) return row_too_wide();
    long long start = 0;
    for (int i = 1; i <= f.number_of_fields; ++i) {
        f.field_start[i] = static_cast<int>(start);
        start += f.field_width[i];
    }
    f.total_width = static_cast<int>(start);
    try {
        f.input_line = std::make_shared<std::vector<char>>(static_cast<std::size_t>(f.total_width) + 1, '\0');
    } catch (const std::bad_alloc &) {
        std::fputs("Tablefile error - no memory for a table row\n", stderr);
        fail("Tablefile error - no memory for a table row");
        return false;
    }
    return true;
}

// A FITS open that did not complete leaves no fields and no rows behind.
void abandon_table(FileInfo &f)
{
    f.extension_header.clear();  // a header without its END card is not handed out
    f.has_extension = false;
    f.number_of_fields = 0;
    f.lines = 0;
    f.total_width = 0;
    f.input_line.reset();
}

// First card of text whose keyword field is key (8 characters), or null.
const char *primary_card(const std::string &text, const char *key)
{
    for (std::size_t off = 0; off + kCard <= text.size(); off += kCard)
        if (std::memcmp(text.data() + off, key, 8) == 0) return text.data() + off;
    return nullptr;
}

// Reads the primary header block by block up to the block holding its END
// card and keeps it through END. A block that begins with XTENSION before
// END ends the header unfinished. False (status -1) without END.
bool read_primary_header(FileInfo &f)
{
    std::array<char, kBlock> block;
    while (f.primary_header.size() < kMaxHeaderBytes
           && std::fread(block.data(), 1, kBlock, f.fp) == kBlock
           && !card_begins(block.data(), "XTENSION")) {
        std::size_t base = f.primary_header.size();
        f.primary_header.append(block.data(), kBlock);
        for (int i = 0; i < kCardsPerBlock; ++i)
            if (card_begins(block.data() + i * kCard, "END   ")) {
                f.primary_header.resize(base + static_cast<std::size_t>(i + 1) * kCard);
                return true;
            }
    }
    f.primary_header.clear();  // a header without its END card is not handed out
    error_msg = "no END keyword in primary FITS header";
    return false;
}

constexpr std::uint64_t kBeyondFile = UINT64_MAX;

// Bytes of primary data the header declares, whole blocks:
// |BITPIX|/8 x NAXIS1 x ... x NAXISn, none when NAXIS is 0 or an axis is
// missing or not positive; kBeyondFile when that does not fit 64 bits.
std::uint64_t primary_data_bytes(const std::string &header)
{
    constexpr int kMaxAxes = 999;  // NAXIS1000 is no keyword
    const char *bitpix = primary_card(header, "BITPIX  ");
    const char *naxis = primary_card(header, "NAXIS   ");
    const int axes = naxis ? card_int(naxis) : 0;
    if (!bitpix || axes <= 0 || axes > kMaxAxes) return 0;
    std::uint64_t bytes = static_cast<std::uint64_t>(std::abs(static_cast<long long>(card_int(bitpix)))) / 8;
    for (int i = 1; i <= axes && bytes != 0; ++i) {
        const char *axis = primary_card(header, text_format("NAXIS%-3d", i).c_str());
        const int n = axis ? card_int(axis) : 0;
        if (n <= 0) return 0;
        if (__builtin_mul_overflow(bytes, static_cast<std::uint64_t>(n), &bytes)) return kBeyondFile;
    }
    if (bytes > kBeyondFile - (kBlock - 1)) return kBeyondFile;
    return (bytes + kBlock - 1) / kBlock * kBlock;
}

// Skips the primary data and reads the block behind it. True when that
// block exists and begins with XTENSION: the extension header starts there.
bool extension_block(FileInfo &f, std::uint64_t skip, std::array<char, kBlock> &block)
{
    if (skip > static_cast<std::uint64_t>(INT64_MAX)) return false;  // past any file's end
    if (skip != 0 && fseeko(f.fp, static_cast<off_t>(skip), SEEK_CUR) != 0) {
        // A stream that cannot seek: read over the data instead.
        for (std::uint64_t left = skip; left > 0; left -= kBlock)
            if (std::fread(block.data(), 1, kBlock, f.fp) != kBlock) return false;
    }
    return std::fread(block.data(), 1, kBlock, f.fp) == kBlock && card_begins(block.data(), "XTENSION");
}

// The FITS standard places the extension right behind the primary data;
// the file is not searched for it, so a large file without an extension is
// not read to its end.
void open_fits(FileInfo &f, int *nparms)
{
    f.filetype = 1;
    if (!read_primary_header(f)) return;  // status -1
    std::array<char, kBlock> block;
    if (!extension_block(f, primary_data_bytes(f.primary_header), block)) {
        read_status = 0;  // a primary header alone: no fields
        return;
    }

    // Extension header, block by block up to the one holding END.
    f.has_extension = true;
    f.extension_header.assign(block.data(), kBlock);
    std::size_t examined = 0;
    ExtensionScan scan;
    for (;;) {
        for (; examined + kCard <= f.extension_header.size() && !scan.end; examined += kCard) {
            if (!examine_extension_card(f, f.extension_header.data() + examined, scan)) {
                abandon_table(f);
                return;
            }
        }
        if (scan.end) break;
        if (f.extension_header.size() >= kMaxHeaderBytes
            || std::fread(block.data(), 1, kBlock, f.fp) != kBlock) {
            abandon_table(f);
            return;  // file ends inside the extension header: status -1
        }
        f.extension_header.append(block.data(), kBlock);
    }
    if (!finish_extension(f, scan)) {
        abandon_table(f);
        return;
    }
    if (nparms) *nparms = f.number_of_fields;
    f.extension_header.resize(end_card_offset(f.extension_header) + kCard);
    f.data_start = std::ftell(f.fp);
    read_status = 0;
}

// ---------------------------------------------------------------- ASCII open

void close_stream(FileInfo &f)
{
    std::fclose(f.fp);
    f.fp = nullptr;
}

// Columns marked by bars: field i runs from bar i up to bar i+1 and is named
// by the text between them. Returns false (status 1) on too many columns.
bool bar_columns(FileInfo &f, const std::vector<int> &bars, const char *line)
{
    int n = static_cast<int>(bars.size()) - 1;
    if (n > MAXFIELDS) return false;
    f.number_of_fields = n;
    for (int i = 1; i <= n; ++i) {
        f.field_start[i] = bars[i - 1];
        f.field_width[i] = bars[i] - bars[i - 1];
        std::string name(line + bars[i - 1] + 1, line + bars[i]);
        std::size_t first = name.find_first_not_of(' ');
        if (first == std::string::npos) {
            name = text_format("field%d", i);
        } else {
            name = name.substr(first, name.find_last_not_of(' ') - first + 1);
        }
        f.field_name[i] = name;
    }
    return true;
}

// Columns of a first data line split at blanks: each field spans the blanks
// in front of a word and the word. Returns false when the line holds no word
// or more than MAXFIELDS of them.
bool blank_columns(FileInfo &f, const char *line)
{
    std::string text(line);
    std::size_t nl = text.find('\n');
    if (nl != std::string::npos) text.resize(nl);
    std::size_t last = text.find_last_not_of(' ');
    if (last == std::string::npos) return false;  // only blanks: no fields
    text.resize(last + 1);
    const int len = static_cast<int>(text.size());
    int n = 1;
    f.field_start[1] = 0;
    for (int p = 0;;) {
        while (p < len && text[p] == ' ') ++p;
        while (p < len && text[p] != ' ') ++p;
        if (p >= len) break;
        if (++n > MAXFIELDS) return false;
        f.field_start[n] = p;
    }
    f.number_of_fields = n;
    for (int i = 1; i <= n; ++i) {
        int next = i < n ? f.field_start[i + 1] : len;
        f.field_width[i] = next - f.field_start[i];
        f.field_name[i] = text_format("field%d", i);
    }
    return true;
}

// Where the line last read began: its file position and the line count
// before it. The data rows of an ASCII table start at the mark of the first
// line that is not part of the column header.
struct AsciiMark {
    long pos = 0;
    int lines = 0;
};

// Reads the next line into line, noting in mark where it began.
bool next_ascii_line(FileInfo &f, char *line, AsciiMark &mark)
{
    mark.pos = std::ftell(f.fp);
    mark.lines = f.linenumber;
    if (!std::fgets(line, kAsciiRead, f.fp)) return false;
    ++f.linenumber;
    return true;
}

// Reads the column line: the first line that is not a keyword or comment
// line (those begin with a backslash). False, with the stream closed, when
// there is none (status -1) or it is too long.
bool read_column_line(FileInfo &f, char *line, AsciiMark &mark)
{
    do {
        if (!next_ascii_line(f, line, mark)) {
            close_stream(f);
            return false;
        }
        if (std::strlen(line) >= static_cast<std::size_t>(kAsciiRead - 1)) {
            fail("first line of table file longer than 497 characters");
            close_stream(f);
            return false;
        }
    } while (line[0] == '\\');
    return true;
}

// Lays the fields out from the column line: between its bars, or by its
// blank-separated names. A barred header goes on with type, unit and null
// lines, which are passed over; mark ends at the first data line.
bool find_ascii_columns(FileInfo &f, char *line, AsciiMark &mark)
{
    std::vector<int> bars;
    for (int i = 0; line[i] != '\0'; ++i)
        if (line[i] == '|') bars.push_back(i);
    if (bars.size() < 2) return blank_columns(f, line);
    const bool ok = bar_columns(f, bars, line);
    while (next_ascii_line(f, line, mark) && (line[0] == '\\' || line[0] == '|')) {}
    return ok;
}

void open_ascii(FileInfo &f, int *nparms)
{
    f.filetype = 0;
    try {
        f.input_line = std::make_shared<std::vector<char>>(kAsciiLineBuffer, '\0');
    } catch (const std::bad_alloc &) {
        fail("Tablefile error - no memory for a table row");
        return;
    }
    char *line = f.input_line->data();
    AsciiMark mark;
    if (!read_column_line(f, line, mark)) return;
    if (!find_ascii_columns(f, line, mark)) {
        f.number_of_fields = 0;
        fail("problem looking for fields in first line");
        close_stream(f);
        return;
    }
    std::clearerr(f.fp);
    std::fseek(f.fp, mark.pos, SEEK_SET);
    f.linenumber = mark.lines;
    for (int i = 1; i <= f.number_of_fields; ++i) f.field_type[i] = 'A';
    if (nparms) *nparms = f.number_of_fields;
    read_status = 0;
}

// ---------------------------------------------------------------- wide rows

// Rows up to this width (real products have rows of a few kilobytes) are
// read whole by tblread. A wider row, say a column of sixteen million
// elements of which a record field holds 64, is not: tblread only checks
// that the row lies within the file, and each fetch reads the bytes of the
// elements it converts. The work per row is then bounded by what is used.
constexpr long long kWholeRowBytes = 1 << 20;

// True when the rows of f are read field by field: wide rows of a file
// that can be positioned (a pipe's rows are read whole). Decided at the
// first row.
bool rows_by_field(FileInfo &f)
{
    using RowAccess = FileInfo::RowAccess;
    if (f.row_access == RowAccess::undecided) {
        struct stat st {};
        const int fd = fileno(f.fp);
        const bool by_field = f.total_width > kWholeRowBytes && fd >= 0 && fstat(fd, &st) == 0
                              && S_ISREG(st.st_mode);
        f.row_access = by_field ? RowAccess::by_field : RowAccess::whole;
        f.file_bytes = by_field ? static_cast<long long>(st.st_size) : 0;
    }
    return f.row_access == RowAccess::by_field;
}

// tblread of a row read field by field: the row is there when the file
// holds all of its bytes, as for a row read whole. Returns the row number.
int next_row_by_field(FileInfo &f)
{
    const long long offset = f.data_start + static_cast<long long>(f.linenumber) * f.total_width;
    if (offset + f.total_width > f.file_bytes) return f.linenumber;  // status -1
    f.row_offset = offset;
    f.field_loaded.fill(0);
    ++f.linenumber;
    read_status = 0;
    return f.linenumber;
}

// Reads the bytes of the first `elements` elements of field pindex of the
// current row, unless rows are read whole or they are read already. False
// when the file could not be read.
bool load_field(FileInfo &f, int pindex, int elements)
{
    if (f.row_access != FileInfo::RowAccess::by_field) return true;
    const int count = f.element_count[pindex];
    const int width = f.field_width[pindex];
    const int bytes = elements >= count || count <= 0 ? width : (width / count) * std::max(elements, 0);
    if (bytes <= f.field_loaded[pindex]) return true;
    char *to = f.input_line->data() + f.field_start[pindex];
    if (fseeko(f.fp, f.row_offset + f.field_start[pindex], SEEK_SET) != 0
        || std::fread(to, 1, static_cast<std::size_t>(bytes), f.fp) != static_cast<std::size_t>(bytes))
        return false;
    f.field_loaded[pindex] = bytes;
    return true;
}

// ---------------------------------------------------------------- fetches

// Big-endian FITS value of type T at p, in host order.
template <typename T>
T fetch(const char *p)
{
    unsigned char b[sizeof(T)];
    std::memcpy(b, p, sizeof(T));
    if (vax_bytes) std::reverse(b, b + sizeof(T));
    T v;
    std::memcpy(&v, b, sizeof(T));
    return v;
}

bool load_field(FileInfo &f, int pindex, int elements);

// Checks common to the field fetches. Returns the field's bytes in the
// current row, of which at least those of the first `elements` elements
// are read, or null after reporting.
const char *field_bytes(const char *op, int unit, int pindex, FileInfo **out,
                        int elements = INT_MAX)
{
    FileInfo *f = open_file(unit);
    if (!f) {
        fail(text_format("error in %s:  unit not open", op));
        return nullptr;
    }
    if (pindex < 1 || pindex > f->number_of_fields || !f->input_line
        || static_cast<std::size_t>(f->field_start[pindex]) + f->field_width[pindex] > f->input_line->size()) {
        fail("field index out of range");
        return nullptr;
    }
    if (!load_field(*f, pindex, elements)) {
        fail(text_format("error in %s:  %s", op, std::feof(f->fp) ? "unexpected end of file"
                                                                    : system_text(errno).c_str()));
        return nullptr;
    }
    *out = f;
    return f->input_line->data() + f->field_start[pindex];
}

void type_mismatch(const char *op, const char *what)
{
    fail(text_format("error in %s:  datum is not %s", op, what));
    std::fprintf(stderr, "tablefile error in %s:  datum is not %s\n", op, what);
}

// Primary header card whose beginning equals keyword, or null. The search
// ends at the END card.
const char *find_keyword(const FileInfo &f, const char *keyword)
{
    std::size_t len = std::strlen(keyword);
    const std::string &h = f.primary_header;
    for (std::size_t off = 0; off + kCard <= h.size(); off += kCard) {
        const char *card = h.data() + off;
        if (len <= static_cast<std::size_t>(kCard) && std::memcmp(card, keyword, len) == 0) return card;
        if (card_begins(card, "END   ")) return nullptr;
    }
    return nullptr;
}

// Card of keyword for the t_rkey operations; null after reporting.
const char *keyword_card(const char *op, int unit, const char *keyword)
{
    FileInfo *f = open_file(unit);
    if (!f) {
        fail(text_format("error in %s:  unit not open", op));
        return nullptr;
    }
    const char *card = keyword ? find_keyword(*f, keyword) : nullptr;
    if (!card) fail(text_format("error in %s:  keyword not found", op));
    return card;
}

// Text behind the "=" of a card, or false when the card has none.
bool text_after_equals(const char *card, std::string &text)
{
    const char *eq = static_cast<const char *>(std::memchr(card, '=', kCard));
    if (!eq) return false;
    text.assign(eq + 1, card + kCard);
    return true;
}

// ---------------------------------------------------------------- writing

enum class ValueKind { Text, Integer, Real };

// True when pattern holds at most one conversion and that conversion takes
// a value of the given kind, so that formatting it is well defined.
bool format_fits(const std::string &pattern, ValueKind kind)
{
    int conversions = 0;
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] != '%') continue;
        if (++i < pattern.size() && pattern[i] == '%') continue;
        while (i < pattern.size() && std::strchr("-+ #0", pattern[i])) ++i;
        while (i < pattern.size() && std::isdigit(static_cast<unsigned char>(pattern[i]))) ++i;
        if (i < pattern.size() && pattern[i] == '.') {
            ++i;
            while (i < pattern.size() && std::isdigit(static_cast<unsigned char>(pattern[i]))) ++i;
        }
        bool long_mod = i < pattern.size() && pattern[i] == 'l';
        if (long_mod) ++i;
        if (i >= pattern.size()) return false;
        const char *allowed = kind == ValueKind::Text ? "s" : kind == ValueKind::Integer ? "diouxXc" : "fFeEgGaA";
        if (!std::strchr(allowed, pattern[i]) || (long_mod && kind != ValueKind::Real)) return false;
        ++conversions;
    }
    return conversions <= 1;
}

template <typename T>
std::string format_value(const std::string &pattern, T value)
{
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
#pragma GCC diagnostic ignored "-Wformat-security"
    int n = std::snprintf(nullptr, 0, pattern.c_str(), value);
    std::string s;
    if (n > 0) {
        s.resize(static_cast<std::size_t>(n));
        std::snprintf(s.data(), s.size() + 1, pattern.c_str(), value);
    }
#pragma GCC diagnostic pop
    if (s.size() > static_cast<std::size_t>(MAXWIDTH)) s.resize(MAXWIDTH);
    return s;
}

// Sets the value of column col of an output table from a formatted text.
template <typename T>
void set_value(const char *op, int unit, int col, ValueKind kind, T value)
{
    FileInfo *f = output_file(unit);
    if (!f) {
        fail(text_format("error in %s:  output unit not open", op));
        return;
    }
    if (col < 1 || col > f->number_of_fields) {
        fail(text_format("error in %s:  column %d is not defined", op, col));
        return;
    }
    if (!format_fits(f->format[col], kind)) {
        fail(text_format("error in %s:  format [%s] does not fit the value", op, f->format[col].c_str()));
        return;
    }
    std::string text = format_value(f->format[col], value);
    std::size_t width = static_cast<std::size_t>(f->field_width[col]);
    if (text.size() > width) {
        fail(text_format("table file error in %s:  data value [%s] too large for field\n", op, text.c_str()));
        std::fputs(error_msg.c_str(), stderr);
        f->field_value[col] = text.substr(0, width);
        return;
    }
    f->field_value[col] = std::move(text);
    read_status = 0;
}

// Appends value left-justified in the width of the field: padded with
// blanks when shorter, cut when longer.
void concat_value(std::string &output_line, const FileInfo &f, const std::string &value, int field_number)
{
    std::size_t width = static_cast<std::size_t>(f.field_width[field_number]);
    if (value.size() >= width) {
        output_line.append(value, 0, width);
    } else {
        output_line += value;
        output_line.append(width - value.size(), ' ');
    }
}

bool write_text(FileInfo &f, const std::string &text)
{
    return put_bytes(f, "tblwrit", text.data(), text.size());
}

// Column header of an ASCII output table: the name line, then the unit
// line when any column has a unit.
bool write_column_header(FileInfo &f)
{
    std::string line = "|";
    bool any_unit = false;
    for (int i = 1; i <= f.number_of_fields; ++i) {
        concat_value(line, f, f.field_name[i], i);
        line += '|';
        if (f.field_unit[i].find_first_not_of(' ') != std::string::npos) any_unit = true;
    }
    line += '\n';
    if (!write_text(f, line)) return false;
    f.header_written = true;
    if (!any_unit) return true;
    line = "|";
    for (int i = 1; i <= f.number_of_fields; ++i) {
        concat_value(line, f, f.field_unit[i], i);
        line += '|';
    }
    line += '\n';
    return write_text(f, line);
}

}  // namespace

// ==================================================================== units

int itstat() { return read_status; }

const char *t_error() { return error_msg.c_str(); }

int t_errno() { return read_status != 0 ? system_errno : 0; }

void topenr(int unit, const char *filename, int *nparms)
{
    detect_byte_order();
    read_status = -1;
    // Reopening an open unit releases the old one first.
    if (FileInfo *old = open_file(unit)) close_unit(old);
    FileInfo *f = fresh_file(unit);
    if (!f) return;
    f->mode = 'r';
    std::string why;
    f->fp = filename ? product_open(filename, why) : nullptr;
    if (!f->fp) {
        error_msg = !why.empty() ? why : system_text(filename ? errno : EINVAL);
        return;
    }
    set_stream_buffer(*f);
    char magic[6] = {};
    std::size_t got = std::fread(magic, 1, sizeof magic, f->fp);
    std::rewind(f->fp);
    if (got == sizeof magic && std::memcmp(magic, "SIMPLE", sizeof magic) == 0)
        open_fits(*f, nparms);
    else
        open_ascii(*f, nparms);
}

void topenw(int unit, const char *filename)
{
    read_status = -1;
    FileInfo *f = find_file(unit);
    if (f && f->fp) {
        std::printf("Error: unit %d is already open\n", unit);
        return;
    }
    f = fresh_file(unit);
    if (!f) return;
    f->mode = 'w';
    f->bytes_written = 0;
    f->number_of_fields = 0;
    if (!filename || !f->out.open(filename)) {
        system_errno = filename ? f->out.error() : EINVAL;
        error_msg = system_text(system_errno);
        return;
    }
    f->fp = f->out.stream();
    set_stream_buffer(*f);
    read_status = 0;
}

void tcls(int unit)
{
    FileInfo *f = open_file(unit);
    if (!f) {
        fail("error in tcls:  unit not open");
        return;
    }
    read_status = close_unit(f);
}

int tgettyp(int unit)
{
    FileInfo *f = open_file(unit);
    if (!f) {
        fail("error in tgettyp:  unit not open");
        return -1;
    }
    read_status = 0;
    return f->filetype;
}

namespace {
void get_header(const char *op, int unit, bool primary, const char **adr, int *bytes)
{
    FileInfo *f = open_file(unit);
    if (!f) {
        fail(text_format("error in %s:  unit not open", op));
        return;
    }
    if (f->filetype != 1) {
        fail(text_format("illegal to call %s with QELT ASCII file", op));
        return;
    }
    const std::string &h = primary ? f->primary_header : f->extension_header;
    bool present = primary ? !h.empty() : f->has_extension;
    if (adr) *adr = present ? h.data() : nullptr;
    if (bytes) *bytes = present ? static_cast<int>(h.size()) : 0;
    read_status = 0;
}
}  // namespace

void tget_primary(int unit, const char **adr, int *bytes)
{
    get_header("tget_primary", unit, true, adr, bytes);
}

void tget_extension(int unit, const char **adr, int *bytes)
{
    get_header("tget_extension", unit, false, adr, bytes);
}

// ===================================================================== rows

int tblread(int unit)
{
    FileInfo *f = open_file(unit);
    if (!f) {
        fail("error in tblread:  unit not open");
        return 0;
    }
    read_status = -1;
    if (!f->input_line) return f->linenumber;
    if (f->filetype == 1) {
        if (f->linenumber >= f->lines) return f->linenumber;
        if (rows_by_field(*f)) return next_row_by_field(*f);
        std::size_t width = static_cast<std::size_t>(f->total_width);
        if (std::fread(f->input_line->data(), 1, width, f->fp) == width) {
            ++f->linenumber;
            read_status = 0;
        }
    } else if (f->mode == 'r') {
        if (std::fgets(f->input_line->data(), kAsciiRead, f->fp)) {
            ++f->linenumber;
            read_status = 0;
        }
    }
    return f->linenumber;
}

void tseek(int unit, int recno)
{
    FileInfo *f = open_file(unit);
    if (!f) {
        fail("error in tseek:  unit not open");
        return;
    }
    if (f->filetype != 1) {
        fail("error in tseek:  illegal to tseek an ascii file");
        return;
    }
    if (recno <= 0) {
        fail("error in tseek:  negative record number");
        return;
    }
    f->linenumber = recno - 1;
    if (f->linenumber >= f->lines) {
        read_status = -1;
        return;
    }
    long long offset = f->data_start + static_cast<long long>(recno - 1) * f->total_width;
    if (std::fseek(f->fp, static_cast<long>(offset), SEEK_SET) != 0) {
        fail(system_text(errno));
        return;
    }
    std::clearerr(f->fp);
    read_status = 0;
}

// =================================================================== fields

void tindp(int unit, const char *fieldname, int *pindex)
{
    FileInfo *f = open_file(unit);
    if (!f) {
        fail("error in tindp:  unit not open");
        return;
    }
    std::size_t len = fieldname ? std::strlen(fieldname) : 0;
    for (int i = 1; i <= f->number_of_fields; ++i) {
        if (f->field_name[i].compare(0, len, fieldname ? fieldname : "", len) == 0) {
            if (pindex) *pindex = i;
            read_status = 0;
            return;
        }
    }
    if (pindex) *pindex = 0;
    fail("error in tindp:  field not found");
}

void tgeti_max(int unit, int pindex, int *pvali, int max_elements)
{
    FileInfo *f = nullptr;
    const char *p = field_bytes("tgeti", unit, pindex, &f, max_elements);
    if (!p) return;
    const int n = std::clamp(f->element_count[pindex], 0, std::max(max_elements, 0));
    switch (f->field_type[pindex]) {
    case 'J':
        for (int e = 0; e < n; ++e) pvali[e] = fetch<std::int32_t>(p + 4 * e);
        break;
    case 'I':
        for (int e = 0; e < n; ++e) pvali[e] = fetch<std::int16_t>(p + 2 * e);
        break;
    case 'B':
        for (int e = 0; e < n; ++e) pvali[e] = static_cast<unsigned char>(p[e]);
        break;
    default:
        type_mismatch("tgeti", "integer");
        return;
    }
    read_status = 0;
}

void tgetr_max(int unit, int pindex, float *pvalf, int max_elements)
{
    FileInfo *f = nullptr;
    const char *p = field_bytes("tgetr", unit, pindex, &f, max_elements);
    if (!p) return;
    const int n = std::clamp(f->element_count[pindex], 0, std::max(max_elements, 0));
    switch (f->field_type[pindex]) {
    case 'E':
        for (int e = 0; e < n; ++e) pvalf[e] = fetch<float>(p + 4 * e);
        break;
    case 'D':
        for (int e = 0; e < n; ++e) pvalf[e] = static_cast<float>(fetch<double>(p + 8 * e));
        break;
    default:
        type_mismatch("tgetr", "floating point");
        return;
    }
    read_status = 0;
}

void tgetd_max(int unit, int pindex, double *pval_d, int max_elements)
{
    FileInfo *f = nullptr;
    const char *p = field_bytes("tgetd", unit, pindex, &f, max_elements);
    if (!p) return;
    const int n = std::clamp(f->element_count[pindex], 0, std::max(max_elements, 0));
    switch (f->field_type[pindex]) {
    case 'E':
        for (int e = 0; e < n; ++e) pval_d[e] = fetch<float>(p + 4 * e);
        break;
    case 'D':
        for (int e = 0; e < n; ++e) pval_d[e] = fetch<double>(p + 8 * e);
        break;
    default:
        type_mismatch("tgetd", "floating point");
        return;
    }
    read_status = 0;
}

void tgeti(int unit, int pindex, int *pvali) { tgeti_max(unit, pindex, pvali, INT_MAX); }
void tgetr(int unit, int pindex, float *pvalf) { tgetr_max(unit, pindex, pvalf, INT_MAX); }
void tgetd(int unit, int pindex, double *pval_d) { tgetd_max(unit, pindex, pval_d, INT_MAX); }

void tgetc(int unit, int pindex, char *pvalc)
{
    FileInfo *f = nullptr;
    const char *p = field_bytes("tgetc", unit, pindex, &f);
    if (!p) return;
    if (f->field_type[pindex] != 'A') {
        type_mismatch("tgetc", "string");
        return;
    }
    const int width = f->field_width[pindex];
    int i = 0;
    for (; i < width && p[i] != '\0'; ++i) pvalc[i] = p[i];
    pvalc[i] = '\0';
    read_status = 0;
}

void tpinfo(int unit, int pindex, char *pname, char *ptype, char * /*pblank*/, char *punit,
            double * /*pscale*/, double * /*poffs*/, int *pcol, int *plen, int *pelements)
{
    FileInfo *f = open_file(unit);
    if (!f) {
        fail("error in tpinfo:  unit not open");
        return;
    }
    if (pindex < 1 || pindex > f->number_of_fields) {
        fail("field index out of range");
        return;
    }
    if (pname) std::strcpy(pname, f->field_name[pindex].c_str());
    if (ptype) *ptype = f->field_type[pindex];
    if (punit) std::strcpy(punit, f->field_unit[pindex].c_str());
    if (pcol) *pcol = f->field_start[pindex];
    if (plen) *plen = f->field_width[pindex];
    if (pelements) *pelements = f->element_count[pindex];
    read_status = 0;
}

// ================================================================= keywords

int tgetrowcount(int unit)
{
    FileInfo *f = open_file(unit);
    if (!f) {
        fail("error in tgetrowcount:  unit not open");
        return 0;
    }
    if (f->filetype != 1) {
        fail("illegal to call tgetrowcount with QELT ASCII file");
        return 0;
    }
    read_status = 0;
    return f->lines;
}

void t_rkey_c(int unit, char *c_ptr, const char *keyword)
{
    const char *card = keyword_card("t_rkey_c", unit, keyword);
    if (!card) return;
    // FITS string rules: '' stands for one quote, a string without its
    // closing quote runs to the end of the card.
    const std::optional<std::string> value = card_string_value(std::string_view(card, kCard));
    if (!value) {
        fail("error in t_rkey_c:  no string value");
        return;
    }
    std::size_t n = std::min(value->size(), kKeyValueLength);
    std::memcpy(c_ptr, value->data(), n);
    c_ptr[n] = '\0';
    read_status = 0;
}

void t_rkey_i(int unit, int *i_ptr, const char *keyword)
{
    const char *card = keyword_card("t_rkey_i", unit, keyword);
    if (!card) return;
    std::string text;
    if (!text_after_equals(card, text)) {
        fail("error in t_rkey_i:  value cannot be converted to integer");
        return;
    }
    char *stop = nullptr;
    long long v = std::strtoll(text.c_str(), &stop, 10);
    *i_ptr = static_cast<int>(std::clamp<long long>(v, INT_MIN, INT_MAX));
    if (stop == text.c_str()) {
        fail("error in t_rkey_i:  value cannot be converted to integer");
        return;
    }
    read_status = 0;
}

void t_rkey_d(int unit, double *d_ptr, const char *keyword)
{
    const char *card = keyword_card("t_rkey_d", unit, keyword);
    if (!card) return;
    std::string text;
    if (!text_after_equals(card, text)) {
        fail("error in t_rkey_d:  value cannot convert to double");
        return;
    }
    char *stop = nullptr;
    *d_ptr = std::strtod(text.c_str(), &stop);
    if (stop == text.c_str()) {
        fail("error in t_rkey_d:  value cannot convert to double");
        return;
    }
    read_status = 0;
}

void t_rkey_r(int unit, float *f_ptr, const char *keyword)
{
    const char *card = keyword_card("t_rkey_r", unit, keyword);
    if (!card) return;
    std::string text;
    if (!text_after_equals(card, text)) {
        fail("error in t_rkey_r:  value cannot be converted to real");
        return;
    }
    char *stop = nullptr;
    *f_ptr = std::strtof(text.c_str(), &stop);
    if (stop == text.c_str()) {
        fail("error in t_rkey_r:  value cannot be converted to real");
        return;
    }
    read_status = 0;
}

void tfiltyp(int unit, int newtype)
{
    FileInfo *f = open_file(unit);
    if (!f) {
        fail("error in tfiltyp:  unit not open");
        return;
    }
    f->filetype = newtype;
    read_status = 0;
}

// =================================================================== output

void tblwrit_raw(int unit, const char *string)
{
    FileInfo *f = open_file(unit);
    if (!f) {
        fail("error in tblwrit_raw:  unit not open");
        return;
    }
    read_status = 0;
    if (string) put_bytes(*f, "tblwrit_raw", string, std::strlen(string));
}

namespace {

// Sets the status of tnewp for a field of plen bytes named name: 0 when
// its name fits its width and the width fits a row.
void check_new_field(const std::string &name, int plen)
{
    if (plen > MAXWIDTH) {
        std::fprintf(stderr, "table file error in tnewp:  length of field [%s] longer than MAXWIDTH (=%d)\n",
                     name.c_str(), MAXWIDTH);
        std::fputs("    Change MAXWIDTH in file fits_table\n", stderr);
        read_status = 1;
    } else if (plen < 0) {
        fail(text_format("error in tnewp:  length of field [%s] is negative", name.c_str()));
    } else if (name.size() > static_cast<std::size_t>(plen)) {
        fail(text_format("error in tnewp:  field name [%s] too long to fit into column header", name.c_str()));
        std::fprintf(stderr, "table file error in tnewp:  field name [%s] too long to fit into column header\n",
                     name.c_str());
    } else {
        read_status = 0;
    }
}

}  // namespace

void tnewp(int unit, const char *pname, const char * /*ptype*/, const char * /*pblank*/,
           const char *punit, double /*pscal*/, double /*poff*/, const char *pfmt, int plen, int *pindex)
{
    FileInfo *f = output_file(unit);
    if (!f) {
        fail("error in tnewp:  output unit not open");
        return;
    }
    if (f->number_of_fields >= MAXFIELDS) {
        fail(text_format("error in tnewp:  more than MAXFIELDS (=%d) fields", MAXFIELDS));
        return;
    }
    const std::string name = pname ? pname : "";
    try {
        const int n = f->number_of_fields + 1;
        std::string unit_text = punit ? punit : "";
        std::string fmt = pfmt ? pfmt : "";
        if (unit_text.size() > kUnitLength) unit_text.resize(kUnitLength);
        if (fmt.size() > kFormatLength) fmt.resize(kFormatLength);
        f->field_name[n] = name;
        f->field_unit[n] = std::move(unit_text);
        f->format[n] = std::move(fmt);
        f->field_width[n] = std::max(plen, 0);
        f->field_value[n].clear();
        f->field_value[n].reserve(static_cast<std::size_t>(std::clamp(plen, 0, MAXWIDTH)) + 1);
        f->number_of_fields = n;
        if (pindex) *pindex = n;
    } catch (const std::bad_alloc &) {
        std::fputs("table file error in tnewp:  unable to allocate space\n", stderr);
        fail("error in tnewp:  unable to allocate space");
        return;
    }
    check_new_field(name, plen);
}

void tsetc(int unit, int col, const char *string)
{
    set_value("tsetc", unit, col, ValueKind::Text, string ? string : "");
}

void tseti(int unit, int col, int integer)
{
    set_value("tseti", unit, col, ValueKind::Integer, integer);
}

void tsetr(int unit, int col, double real)
{
    set_value("tsetr", unit, col, ValueKind::Real, real);
}

void tblwrit(int unit)
{
    read_status = 0;
    FileInfo *f = output_file(unit);
    if (!f) {
        fail("error in tblwrit:  output unit not open");
        return;
    }
    if (f->filetype == 1) {
        std::size_t width = f->input_line ? static_cast<std::size_t>(f->total_width) : 0;
        if (put_bytes(*f, "tblwrit", width ? f->input_line->data() : nullptr, width))
            f->bytes_written += width;
        return;
    }
    // A leading character, every column and one separator per column.
    long long length = 1;
    for (int i = 1; i <= f->number_of_fields; ++i) length += f->field_width[i] + 1LL;
    if (length >= kMaxOutputLine) {
        fail(text_format("error in tblwrit:  line of %lld characters is longer than %d", length,
                       kMaxOutputLine - 1));
        return;
    }
    if (!f->header_written && !write_column_header(*f)) return;
    std::string line = " ";
    for (int i = 1; i <= f->number_of_fields; ++i) {
        concat_value(line, *f, f->field_value[i], i);
        line += ' ';
    }
    line += '\n';
    write_text(*f, line);
}

namespace {

// The units tlink joins, or nullptr with the reason in error_msg.
bool link_units(int unit_in, int unit_out, FileInfo *&in, FileInfo *&out)
{
    out = output_file(unit_out);
    if (!out) {
        error_msg = "error in tlink:  output unit not open";
        return false;
    }
    in = open_file(unit_in);
    if (!in || in->mode != 'r') {
        error_msg = "error in tlink:  input unit not open";
        return false;
    }
    if (in->filetype != 1 || out->filetype != 1) {
        error_msg = "error in tlink:  files must be FITS BINARY for linking";
        std::fputs("error in fits_table routine tlink:  files must be FITS BINARY for linking\n", stderr);
        return false;
    }
    // The headers are copied as far as the input's table begins, wherever
    // its opening found the extension.
    if (!in->has_extension) {
        error_msg = "error in tlink:  input has no table extension";
        return false;
    }
    return true;
}

// Copies the input's blocks up to its first row to the output.
bool copy_headers(FileInfo &in, FileInfo &out)
{
    std::rewind(in.fp);
    std::array<char, kBlock> block;
    for (long copied = 0; copied < in.data_start; copied += kBlock) {
        if (std::fread(block.data(), 1, kBlock, in.fp) != kBlock) {
            const char *why = std::ferror(in.fp) ? std::strerror(errno) : "unexpected end of file";
            error_msg = text_format("error in tlink reading file: %s", why);
            return false;
        }
        if (!out.out.write(block.data(), kBlock)) {
            error_msg = text_format("error in tlink writing file: %s", system_text(out.out.error()).c_str());
            system_errno = out.out.error();
            return false;
        }
    }
    return true;
}

// Notes where the copied NAXIS2 card lies, for tcls to correct the count.
void note_naxis2_card(const FileInfo &in, FileInfo &out)
{
    const std::string &ext = in.extension_header;
    const long ext_start = in.data_start - static_cast<long>((ext.size() + kBlock - 1) / kBlock * kBlock);
    for (std::size_t off = 0; off + kCard <= ext.size(); off += kCard) {
        if (card_begins(ext.data() + off, "NAXIS2  ")) {
            out.naxis2_offset = ext_start + static_cast<long>(off);
            out.naxis2_card.assign(ext.data() + off, kCard);
            return;
        }
    }
}

}  // namespace

void tlink(int unit_in, int unit_out)
{
    read_status = 1;
    FileInfo *in = nullptr, *out = nullptr;
    if (!link_units(unit_in, unit_out, in, out)) return;
    // The output copies whole rows from the shared buffer: the input reads
    // its rows whole, from the first one on.
    in->row_access = FileInfo::RowAccess::whole;
    out->input_line = in->input_line;
    out->total_width = in->total_width;
    if (!copy_headers(*in, *out)) return;
    note_naxis2_card(*in, *out);
    in->linenumber = 0;  // the input stands at its first row
    read_status = 0;
}

void tgetaddr(int unit, int pindex, char **adr)
{
    FileInfo *f = open_file(unit);
    if (!f) {
        fail("error in tgetaddr:  output unit not open");
        return;
    }
    if (f->mode == 'w') {
        fail("error in tgetaddr:  tgetaddr illegal for an output file");
        return;
    }
    if (pindex < 1 || pindex > f->number_of_fields || !f->input_line) {
        fail("field index out of range");
        return;
    }
    // The caller may read on into the rest of the row: all of it is read.
    for (int i = 1; i <= f->number_of_fields; ++i) {
        if (!load_field(*f, i, INT_MAX)) {
            fail(text_format("error in tgetaddr:  %s", std::feof(f->fp) ? "unexpected end of file"
                                                                          : system_text(errno).c_str()));
            return;
        }
    }
    if (adr) *adr = f->input_line->data() + f->field_start[pindex];
    read_status = 0;
}
