#include "text_file.h"

#include <cstring>

#include "output_file.h"

bool write_text_file(const std::string &path, const std::string &text, std::string &error)
{
    // Like every output: under a temporary name until whole, "-" standard
    // output, every write checked.
    OutputFile out;
    if (out.open(path) && out.write(text) && out.commit()) return true;
    error = std::strerror(out.error() != 0 ? out.error() : EIO);
    return false;
}
