#include "text_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

bool write_text_file(const std::string &path, const std::string &text, std::string &error)
{
    // The system's error number; EIO when a failed call left none.
    auto system_error = [] { return errno != 0 ? errno : EIO; };
    errno = 0;
    std::unique_ptr<std::FILE, int (*)(std::FILE *)> file(std::fopen(path.c_str(), "wb"), &std::fclose);
    int failure = file ? 0 : system_error();
    if (file && std::fwrite(text.data(), 1, text.size(), file.get()) != text.size()) failure = system_error();
    if (file && std::fclose(file.release()) != 0 && failure == 0) failure = system_error();
    if (failure == 0) return true;
    error = std::strerror(failure);
    return false;
}
