#include "ecsv.h"

#include "float_text.h"

#include <yaml-cpp/yaml.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <set>
#include <sstream>
#include <type_traits>

namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";  // U+FFFD in UTF-8

// The ECSV datatype names, in the order of EcsvType.
constexpr const char *kTypeNames[] = {"int32", "float32", "float64", "string", "bool"};

// Length of the UTF-8 sequence that starts at s[i], or 0 when the bytes
// there are not one (overlong forms and surrogates included).
std::size_t utf8_length(std::string_view s, std::size_t i)
{
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
    const unsigned char c = byte(i);
    if (c < 0x80) return 1;
    std::size_t n = 0;
    unsigned char lo = 0x80, hi = 0xBF;  // range of the second byte
    if (c >= 0xC2 && c <= 0xDF) n = 2;
    else if (c >= 0xE0 && c <= 0xEF) {
        n = 3;
        if (c == 0xE0) lo = 0xA0;
        if (c == 0xED) hi = 0x9F;
    } else if (c >= 0xF0 && c <= 0xF4) {
        n = 4;
        if (c == 0xF0) lo = 0x90;
        if (c == 0xF4) hi = 0x8F;
    } else
        return 0;
    if (i + n > s.size()) return 0;
    if (byte(i + 1) < lo || byte(i + 1) > hi) return 0;
    for (std::size_t k = i + 2; k < i + n; ++k)
        if (byte(k) < 0x80 || byte(k) > 0xBF) return 0;
    return n;
}

// Appends one string cell: valid UTF-8 without control characters, and in
// double quotes (each quote doubled) when it is empty or holds a blank, a
// tab, a quote or a '#' (a row that began with '#' would read as a comment).
void append_string_cell(std::string &line, std::string_view s)
{
    std::string text;
    text.reserve(s.size());
    bool quote = s.empty();
    for (std::size_t i = 0; i < s.size();) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        const std::size_t n = utf8_length(s, i);
        if (n == 0 || c < 0x20 || c == 0x7F) {
            text += kReplacement;
            i += n == 0 ? 1 : n;
            continue;
        }
        if (c == ' ' || c == '"' || c == '#') quote = true;
        if (c == '"') text += '"';
        text.append(s.substr(i, n));
        i += n;
    }
    if (!quote) {
        line += text;
        return;
    }
    line += '"';
    line += text;
    line += '"';
}

// Room for the text of a number cell.
constexpr std::size_t kNumberRoom = kFloatTextMax;

// Writes a text that reads back as the same value at p, which has
// kNumberRoom characters of room; returns the end. Floats go out with 9
// (float32) or 17 (float64) significant digits, as %.9g and %.17g write
// them: every such text reads back exactly, and the fixed precision costs
// a fraction of a shortest conversion.
char *put_number(char *p, std::int32_t value) { return std::to_chars(p, p + kNumberRoom, value).ptr; }
char *put_number(char *p, float value) { return put_float_text(p, value); }
char *put_number(char *p, double value) { return put_float_text(p, value); }

// A double as a YAML float: shortest digits, always with a decimal point
// (YAML does not take 5 or 1e+20 for floats), .nan, .inf or -.inf.
std::string yaml_float(double value)
{
    if (std::isnan(value)) return ".nan";
    if (std::isinf(value)) return value > 0 ? ".inf" : "-.inf";
    char buf[kNumberRoom];
    std::string text(buf, std::to_chars(buf, buf + sizeof buf, value).ptr);
    if (text.find('.') == std::string::npos) {
        const std::size_t e = text.find('e');
        text.insert(e == std::string::npos ? text.size() : e, ".0");
    }
    return text;
}

void emit_scalar(YAML::Emitter &yaml, const EcsvScalar &value)
{
    if (std::holds_alternative<std::monostate>(value))
        yaml << YAML::Null;
    else if (const bool *b = std::get_if<bool>(&value))
        yaml << *b;
    else if (const std::int64_t *i = std::get_if<std::int64_t>(&value))
        yaml << static_cast<long long>(*i);
    else if (const double *d = std::get_if<double>(&value))
        yaml << yaml_float(*d);  // a plain scalar the reader resolves as a float
    else
        yaml << YAML::DoubleQuoted << std::get<std::string>(value);
}

void emit_column(YAML::Emitter &yaml, const EcsvTable::Column &column)
{
    yaml << YAML::Flow << YAML::BeginMap;
    yaml << YAML::Key << "name" << YAML::Value << YAML::DoubleQuoted << column.name;
    if (!column.unit.empty())
        yaml << YAML::Key << "unit" << YAML::Value << YAML::DoubleQuoted << column.unit;
    yaml << YAML::Key << "datatype" << YAML::Value
         << kTypeNames[static_cast<int>(column.type())];
    if (!column.description.empty())
        yaml << YAML::Key << "description" << YAML::Value << YAML::DoubleQuoted
             << column.description;
    yaml << YAML::EndMap;
}

// The YAML header as the emitter writes it (non-ASCII as escapes), or
// empty when the emitter refuses.
std::string yaml_header(const EcsvTable &table)
{
    YAML::Emitter yaml;
    yaml.SetOutputCharset(YAML::EscapeNonAscii);
    yaml << YAML::BeginMap;
    yaml << YAML::Key << "datatype" << YAML::Value << YAML::BeginSeq;
    for (const auto &column : table.columns()) emit_column(yaml, column);
    yaml << YAML::EndSeq;
    if (!table.meta().empty()) {
        // An ordered mapping, as astropy writes and reads meta.
        yaml << YAML::Key << "meta" << YAML::Value << YAML::SecondaryTag("omap")
             << YAML::BeginSeq;
        for (const auto &[key, value] : table.meta()) {
            yaml << YAML::Flow << YAML::BeginMap << YAML::Key << YAML::DoubleQuoted << key
                 << YAML::Value;
            emit_scalar(yaml, value);
            yaml << YAML::EndMap;
        }
        yaml << YAML::EndSeq;
    }
    yaml << YAML::Key << "schema" << YAML::Value << "astropy-2.0";
    yaml << YAML::EndMap;
    if (!yaml.good()) return {};
    return yaml.c_str();
}

// "# %ECSV 1.0", "# ---", then every YAML line behind "# ".
std::string comment_header(const std::string &yaml)
{
    std::string out = "# %ECSV 1.0\n# ---\n";
    std::size_t start = 0;
    while (start < yaml.size()) {
        std::size_t end = yaml.find('\n', start);
        if (end == std::string::npos) end = yaml.size();
        out += end > start ? "# " : "#";
        out.append(yaml, start, end - start);
        out += '\n';
        start = end + 1;
    }
    return out;
}

// Where the cells of a column are, for the row loop.
struct CellSource {
    EcsvType type;
    const void *cells;  // the column's values; null for bool and string
    const EcsvTable::Column *column;
};

std::vector<CellSource> cell_sources(const EcsvTable &table)
{
    std::vector<CellSource> sources;
    for (const auto &column : table.columns()) {
        const void *cells = std::visit(
            [](const auto &v) -> const void * {
                using V = std::decay_t<decltype(v)>;
                if constexpr (std::is_same_v<V, std::vector<bool>> ||
                              std::is_same_v<V, std::vector<std::string>>)
                    return nullptr;
                else
                    return v.data();
            },
            column.cells);
        sources.push_back({column.type(), cells, &column});
    }
    return sources;
}

// Rows are written into the buffer until it holds kFlushAt bytes; behind
// that it keeps room for one more row of numbers (strings make room for
// themselves).
constexpr std::size_t kFlushAt = 256 * 1024;

EcsvStatus check(const EcsvTable &table)
{
    std::set<std::string_view> names;
    for (const auto &column : table.columns()) {
        if (column.size() != table.rows()) return EcsvStatus::ragged_columns;
        if (column.name.empty() || !names.insert(column.name).second)
            return EcsvStatus::bad_column_name;
    }
    std::set<std::string_view> keys;
    for (const auto &entry : table.meta())
        if (entry.first.empty() || !keys.insert(entry.first).second)
            return EcsvStatus::bad_meta_key;
    return EcsvStatus::ok;
}

}  // namespace

std::size_t EcsvTable::Column::size() const
{
    return std::visit([](const auto &cells) { return cells.size(); }, cells);
}

void EcsvTable::reserve(std::size_t rows)
{
    for (auto &column : columns_)
        std::visit([rows](auto &cells) { cells.reserve(rows); }, column.cells);
}

void EcsvTable::clear_rows()
{
    for (auto &column : columns_) std::visit([](auto &cells) { cells.clear(); }, column.cells);
}

void EcsvTable::add_meta(std::string key, EcsvScalar value)
{
    meta_.emplace_back(std::move(key), std::move(value));
}

std::size_t EcsvTable::find(std::string_view name) const
{
    for (std::size_t i = 0; i < columns_.size(); ++i)
        if (columns_[i].name == name) return i;
    return columns_.size();
}

std::size_t EcsvTable::rows() const
{
    return columns_.empty() ? 0 : columns_.front().size();
}

const char *ecsv_status_text(EcsvStatus status)
{
    switch (status) {
    case EcsvStatus::ok: return "ok";
    case EcsvStatus::ragged_columns: return "the table's columns differ in length";
    case EcsvStatus::bad_column_name: return "a column name is empty or used twice";
    case EcsvStatus::bad_meta_key: return "a meta key is empty or used twice";
    case EcsvStatus::yaml_failed: return "the table header could not be written as YAML";
    case EcsvStatus::write_failed: return "the table could not be written";
    }
    return "unknown table status";
}

EcsvWriter::EcsvWriter(std::ostream &out) : out_(out) {}

EcsvWriter::~EcsvWriter() = default;

// Room for a row of numbers: the widest text of each cell and its separator.
std::size_t EcsvWriter::row_room() const { return columns_ * (kNumberRoom + 1) + 1; }

bool EcsvWriter::flush()
{
    out_.write(buffer_.data(), static_cast<std::streamsize>(used_));
    used_ = 0;
    return static_cast<bool>(out_);
}

bool EcsvWriter::put_text(std::string_view text)
{
    if (used_ + text.size() + row_room() > buffer_.size()) {
        if (!flush()) return false;
        buffer_.resize(std::max(buffer_.size(), text.size() + row_room()));
    }
    std::memcpy(buffer_.data() + used_, text.data(), text.size());
    used_ += text.size();
    return true;
}

bool EcsvWriter::start(const EcsvTable &table)
{
    const std::string yaml = yaml_header(table);
    if (yaml.empty()) return false;
    columns_ = table.columns().size();
    buffer_.resize(kFlushAt + row_room());
    started_ = true;
    std::string names = comment_header(yaml);
    for (std::size_t c = 0; c < columns_; ++c) {
        if (c > 0) names += ' ';
        append_string_cell(names, table.columns()[c].name);
    }
    names += '\n';
    return put_text(names);
}

// Writes the rows of the table; the cells of number columns go straight
// into the buffer, which has room for them behind kFlushAt.
bool EcsvWriter::put_rows(const EcsvTable &table)
{
    const std::vector<CellSource> sources = cell_sources(table);
    std::string scratch;
    for (std::size_t row = 0; row < table.rows(); ++row) {
        if (used_ >= kFlushAt && !flush()) return false;
        for (std::size_t c = 0; c < sources.size(); ++c) {
            char *p = buffer_.data() + used_;
            if (c > 0) *p++ = ' ';
            const CellSource &cell = sources[c];
            switch (cell.type) {
            case EcsvType::int32: p = put_number(p, static_cast<const std::int32_t *>(cell.cells)[row]); break;
            case EcsvType::float32: p = put_number(p, static_cast<const float *>(cell.cells)[row]); break;
            case EcsvType::float64: p = put_number(p, static_cast<const double *>(cell.cells)[row]); break;
            case EcsvType::boolean: {
                const std::string_view text = std::get<4>(cell.column->cells)[row] ? "True" : "False";
                p = std::copy(text.begin(), text.end(), p);
                break;
            }
            case EcsvType::string:
                used_ = static_cast<std::size_t>(p - buffer_.data());
                scratch.clear();
                append_string_cell(scratch, std::get<3>(cell.column->cells)[row]);
                if (!put_text(scratch)) return false;
                continue;
            }
            used_ = static_cast<std::size_t>(p - buffer_.data());
        }
        buffer_[used_++] = '\n';
    }
    return true;
}

EcsvStatus EcsvWriter::write(const EcsvTable &table)
{
    if (!started_) {
        if (const EcsvStatus status = check(table); status != EcsvStatus::ok) return status;
        if (!start(table)) return EcsvStatus::yaml_failed;
    } else if (table.columns().size() != columns_) {
        return EcsvStatus::ragged_columns;
    } else {
        for (const auto &column : table.columns())
            if (column.size() != table.rows()) return EcsvStatus::ragged_columns;
    }
    return put_rows(table) ? EcsvStatus::ok : EcsvStatus::write_failed;
}

EcsvStatus EcsvWriter::finish()
{
    return flush() && out_.flush() ? EcsvStatus::ok : EcsvStatus::write_failed;
}

EcsvStatus write_ecsv(const EcsvTable &table, std::ostream &out)
{
    EcsvWriter writer(out);
    const EcsvStatus status = writer.write(table);
    return status == EcsvStatus::ok ? writer.finish() : status;
}

EcsvStatus write_ecsv(const EcsvTable &table, std::string &text)
{
    std::ostringstream out;
    const EcsvStatus status = write_ecsv(table, out);
    text = status == EcsvStatus::ok ? std::move(out).str() : std::string();
    return status;
}
