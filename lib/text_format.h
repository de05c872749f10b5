// printf-style formatting into a std::string of any length, for the
// libraries' texts (angles, the banner): no fixed buffer can cut a line.
#pragma once

#include <string>

std::string text_format(const char *fmt, ...) __attribute__((format(printf, 1, 2)));
