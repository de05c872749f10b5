// RFC 4180 records; see csv.h.
#include "csv.h"

namespace {

std::string quoted(const std::string &field)
{
    if (field.find_first_of(",\"\r\n") == std::string::npos) return field;
    std::string out = "\"";
    for (char c : field) {
        if (c == '"') out += '"';
        out += c;
    }
    return out + '"';
}

}  // namespace

std::string csv_record(const std::vector<std::string> &fields)
{
    std::string out;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (i > 0) out += ',';
        out += quoted(fields[i]);
    }
    return out + "\r\n";
}

bool csv_parse(const std::string &text, std::vector<std::vector<std::string>> &records)
{
    records.clear();
    std::vector<std::string> record;
    std::string field;
    bool in_quotes = false;
    bool any = false;  // the current record has begun
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (in_quotes) {
            if (c != '"') field += c;
            else if (i + 1 < text.size() && text[i + 1] == '"') field += text[++i];
            else in_quotes = false;
            continue;
        }
        any = true;
        if (c == '"') {
            in_quotes = true;
        } else if (c == ',') {
            record.push_back(std::move(field));
            field.clear();
        } else if (c == '\n' || c == '\r') {
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
            record.push_back(std::move(field));
            field.clear();
            records.push_back(std::move(record));
            record.clear();
            any = false;
        } else {
            field += c;
        }
    }
    if (in_quotes) return false;
    if (any) {
        record.push_back(std::move(field));
        records.push_back(std::move(record));
    }
    return true;
}
