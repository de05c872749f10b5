// Tables in Enhanced CSV (ECSV 1.0), the text format that astropy reads
// with Table.read(path, format='ascii.ecsv'): a YAML header, every line of
// it behind "# ", that names each column with its datatype, unit and
// description and carries an ordered meta mapping; then the rows as
// space-delimited CSV under a line of column names.
//
// A table is built in memory, column by column: add_column returns a typed
// handle, push appends one value to that column, so a value of the wrong
// type cannot reach a column. The writer checks what types cannot (every
// column as long as the others, names unique and not empty) and never
// prints. A long table need not be held whole: EcsvWriter writes the rows
// a table holds, which clear_rows then drops for the next ones.
//
// What a reader gets back:
// - meta strings, units and descriptions exactly, blanks and quotes
//   included (the YAML emitter quotes them);
// - floats exactly: cells with 9 (float32) or 17 (float64) significant
//   digits (as %.9g and %.17g write them), meta floats with the fewest
//   digits that read back; NaN and infinities as nan, inf, -inf;
// - string cells quoted where CSV needs it. astropy strips the blanks at
//   the ends of a string cell and reads an empty one as masked.
// Bytes that are not UTF-8, and control characters in string cells, are
// written as U+FFFD, so the file is always valid UTF-8 with one row a line.
#pragma once

#include <cstddef>
#include <cstdint>
#include <ostream>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

enum class EcsvType { int32, float32, float64, string, boolean };

// A value of the meta mapping; monostate is written as null.
using EcsvScalar = std::variant<std::monostate, bool, std::int64_t, double, std::string>;

// Handle of a column whose cells are of type T: int32_t, float, double,
// std::string or bool.
template <class T>
struct EcsvColumnId {
    std::size_t index;
};

class EcsvTable {
public:
    struct Column {
        std::string name;
        std::string unit;         // empty: none written
        std::string description;  // empty: none written
        std::variant<std::vector<std::int32_t>, std::vector<float>, std::vector<double>,
                     std::vector<std::string>, std::vector<bool>>
            cells;

        EcsvType type() const { return static_cast<EcsvType>(cells.index()); }
        std::size_t size() const;
    };

    template <class T>
    EcsvColumnId<T> add_column(std::string name, std::string unit, std::string description)
    {
        columns_.push_back(Column{std::move(name), std::move(unit), std::move(description),
                                  std::vector<T>{}});
        return {columns_.size() - 1};
    }

    template <class T>
    void push(EcsvColumnId<T> column, T value)
    {
        std::get<std::vector<T>>(columns_[column.index].cells).push_back(std::move(value));
    }
    void push(EcsvColumnId<std::string> column, std::string_view value)
    {
        std::get<std::vector<std::string>>(columns_[column.index].cells).emplace_back(value);
    }

    // Appends values, or n copies of value, to a column.
    template <class T>
    void append(EcsvColumnId<T> column, std::span<const T> values)
    {
        auto &cells = std::get<std::vector<T>>(columns_[column.index].cells);
        cells.insert(cells.end(), values.begin(), values.end());
    }
    template <class T>
    void fill(EcsvColumnId<T> column, std::size_t n, T value)
    {
        auto &cells = std::get<std::vector<T>>(columns_[column.index].cells);
        cells.insert(cells.end(), n, value);
    }

    // Room for this many rows in every column added so far.
    void reserve(std::size_t rows);
    // Drops every row (keeping the columns, their room and the meta).
    void clear_rows();

    // Appends to the meta mapping, which keeps the order of the calls.
    void add_meta(std::string key, EcsvScalar value);

    const std::vector<Column> &columns() const { return columns_; }
    const std::vector<std::pair<std::string, EcsvScalar>> &meta() const { return meta_; }

    // The cells of a column; empty when the column holds another type.
    template <class T>
    std::span<const T> values(std::size_t column) const
    {
        const auto *cells = std::get_if<std::vector<T>>(&columns_.at(column).cells);
        return cells ? std::span<const T>(*cells) : std::span<const T>();
    }
    // Index of the column of that name, or columns().size() when none.
    std::size_t find(std::string_view name) const;
    // Number of rows: the length of the first column (0 without columns).
    std::size_t rows() const;

private:
    std::vector<Column> columns_;
    std::vector<std::pair<std::string, EcsvScalar>> meta_;
};

enum class EcsvStatus {
    ok,
    ragged_columns,   // the columns differ in length
    bad_column_name,  // a column name is empty or used twice
    bad_meta_key,     // a meta key is empty or used twice
    yaml_failed,      // the emitter refused the header
    write_failed,     // the stream reported an error
};
const char *ecsv_status_text(EcsvStatus status);

// Writes a table to out in pieces: the header and rows of the first table
// given, then the rows of every later one, which must have the same
// columns (the same table, refilled after clear_rows, say). Rows are
// collected in a buffer of a few hundred kilobytes and go to out when it
// is full and at finish(). Nothing is written of a piece that is not valid;
// write_failed may leave part of the table written.
class EcsvWriter {
public:
    explicit EcsvWriter(std::ostream &out);
    ~EcsvWriter();
    EcsvWriter(const EcsvWriter &) = delete;
    EcsvWriter &operator=(const EcsvWriter &) = delete;

    EcsvStatus write(const EcsvTable &table);
    // Writes what the buffer holds and flushes out.
    EcsvStatus finish();

private:
    std::ostream &out_;
    std::vector<char> buffer_;
    std::size_t used_ = 0;
    std::size_t columns_ = 0;  // of the header written
    bool started_ = false;

    bool start(const EcsvTable &table);
    bool put_rows(const EcsvTable &table);
    std::size_t row_room() const;
    bool flush();
    bool put_text(std::string_view text);
};

// Writes the table to out. Nothing is written when the table is not valid;
// write_failed may leave part of it written.
EcsvStatus write_ecsv(const EcsvTable &table, std::ostream &out);
// The same into a string (replaced; empty unless ok).
EcsvStatus write_ecsv(const EcsvTable &table, std::string &text);
