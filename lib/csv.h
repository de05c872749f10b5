// Comma-separated values as RFC 4180 has them: fields holding a comma, a
// quote or a line break are quoted, with every quote doubled; records end
// with CR LF.
#pragma once

#include <string>
#include <vector>

// One record, its fields quoted where needed, followed by CR LF.
std::string csv_record(const std::vector<std::string> &fields);

// The records of a CSV text. Quoted fields may hold commas, doubled quotes
// and line breaks; records may end with CR LF or LF. False when a quoted
// field is not closed.
bool csv_parse(const std::string &text, std::vector<std::vector<std::string>> &records);
