// End-to-end test helpers; see test_util.h.
#include "test_util.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <thread>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace fs = std::filesystem;

namespace {

// Writes data into a pipe and closes it, from a thread of its own, so that
// the child can read while the parent waits. A child that stops reading
// ends the writing (EPIPE; SIGPIPE is ignored).
std::thread feed_pipe(int fd, const std::string &data)
{
    std::signal(SIGPIPE, SIG_IGN);
    return std::thread([fd, &data] {
        std::size_t done = 0;
        while (done < data.size()) {
            ssize_t n = write(fd, data.data() + done, data.size() - done);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) break;
            done += static_cast<std::size_t>(n);
        }
        close(fd);
    });
}

}  // namespace

RunResult run_qrpht(const std::vector<std::string> &args, const std::string &cwd,
                    std::chrono::seconds limit, const std::optional<std::string> &input)
{
    return run_program(QRPHT_BIN, args, cwd, limit, input);
}

RunResult run_program(const std::string &program, const std::vector<std::string> &args,
                      const std::string &cwd, std::chrono::seconds limit,
                      const std::optional<std::string> &input)
{
    // Standard output and error go to temporary files, so that a large
    // output never blocks the child on a full pipe.
    ScratchDir io;
    std::string out_path = io / "stdout";
    std::string err_path = io / "stderr";
    std::vector<std::string> argv_s;
    argv_s.push_back(program);
    argv_s.insert(argv_s.end(), args.begin(), args.end());
    std::vector<char *> argv;
    for (auto &a : argv_s) argv.push_back(a.data());
    argv.push_back(nullptr);

    int in_pipe[2] = {-1, -1};
    if (input && pipe2(in_pipe, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
    pid_t pid = fork();
    if (pid < 0) throw std::runtime_error("fork failed");
    if (pid == 0) {
        int out = open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        int err = open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (out < 0 || err < 0) _exit(127);
        if (input) dup2(in_pipe[0], 0);
        dup2(out, 1);
        dup2(err, 2);
        if (!cwd.empty() && chdir(cwd.c_str()) != 0) _exit(127);
        execv(argv[0], argv.data());
        _exit(127);
    }
    std::thread writer;
    if (input) {
        close(in_pipe[0]);
        writer = feed_pipe(in_pipe[1], *input);
    }
    RunResult r;
    int wstatus = 0;
    if (limit.count() == 0) {
        waitpid(pid, &wstatus, 0);
    } else {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        while (waitpid(pid, &wstatus, WNOHANG) == 0) {
            if (std::chrono::steady_clock::now() > deadline) {
                kill(pid, SIGKILL);
                waitpid(pid, &wstatus, 0);
                r.timed_out = true;
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }
    if (writer.joinable()) writer.join();
    r.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : -1;
    r.signal = WIFSIGNALED(wstatus) ? WTERMSIG(wstatus) : 0;
    r.out = read_file(out_path);
    r.err = read_file(err_path);
    return r;
}

std::pair<std::string, bool> run_command(const std::string &command)
{
    std::string out;
    FILE *p = popen(command.c_str(), "r");
    if (p == nullptr) return {out, false};
    char buf[4096];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
    return {out, pclose(p) == 0};
}

std::string read_file(const fs::path &path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) return {};
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void write_file(const fs::path &path, const std::string &data)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << data;
}

std::string fixture(const std::string &name)
{
    return (fs::path(FIXTURE_DIR) / name).string();
}

ScratchDir::ScratchDir()
{
    static std::atomic<int> counter{0};
    path = fs::temp_directory_path() /
           ("qrpht_test_" + std::to_string(getpid()) + "_" + std::to_string(counter++));
    fs::remove_all(path);
    fs::create_directories(path);
}

ScratchDir::~ScratchDir()
{
    std::error_code ec;
    fs::remove_all(path, ec);
}

std::string mask_run_date(const std::string &listing)
{
    const std::string marker = " on ";
    std::size_t eol = listing.find('\n');
    if (eol == std::string::npos) return listing;
    std::size_t at = listing.rfind(marker, eol);
    if (at == std::string::npos) return listing;
    return listing.substr(0, at + marker.size()) + "<DATE>" + listing.substr(eol);
}
