// The answers to --help and --version, written on the standard output.
// qrpht-batch answers its own two options the same way with its own text.
#pragma once

#include <string>

// The complete help of qrpht: the command line, every option, the forms of
// the product, the product types and the exit statuses.
const std::string &qrpht_help_text();

// "<program> <version>\n", the version being the one the banner shows.
std::string version_text(const char *program);

// Writes text on the standard output and flushes it. Returns the exit
// status: 0, or 1 after "<program>: cannot write to the standard output:
// <reason>" on the standard error.
int print_info(const std::string &text, const char *program);
