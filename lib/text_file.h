// A whole text written to a file at once: for the outputs that are made in
// memory before they are written (pictures, index pages).
#pragma once

#include <string>

// Creates or replaces the file at path with text, put in place only when
// whole ("-" is the standard output). False, with
// the system's reason in error, when the file cannot be created, written or
// closed.
bool write_text_file(const std::string &path, const std::string &text, std::string &error);
