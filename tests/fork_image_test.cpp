// Code moved to anonymous memory: the process (and what it forks) goes on
// running the same code, and no read-only file mapping is left behind.
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <string>

#include <gtest/gtest.h>

#include "fork_image.h"

namespace {

// Private read-only mappings of files left in this process.
int file_code_mappings()
{
    std::ifstream maps("/proc/self/maps");
    int count = 0;
    for (std::string line; std::getline(maps, line);) {
        const bool read_only = line.find(" r-xp ") != std::string::npos || line.find(" r--p ") != std::string::npos;
        count += read_only && line.find(" /") != std::string::npos;
    }
    return count;
}

// Exit status of fn run in a child process.
template <class Fn>
int in_child(Fn fn)
{
    const pid_t pid = ::fork();
    if (pid == 0) ::_exit(fn());
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

TEST(ForkImage, CodeRunsFromAnonymousMemoryAndIsSharedByForks)
{
    EXPECT_EQ(in_child([] {
                  if (file_code_mappings() == 0) return 1;
                  if (move_code_to_anonymous_memory() <= 0) return 2;
                  if (file_code_mappings() != 0) return 3;  // and the C++ runtime still runs
                  if (std::to_string(12345) != "12345") return 4;
                  return in_child([] { return std::to_string(7) == "7" ? 0 : 5; });
              }),
              0);
}

}  // namespace
