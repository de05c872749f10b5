// Outputs never destroy inputs and are never left half-written: the same-file
// check, write failures (full disk, file-size limit, closed pipe), signals
// during a listing and during images, concurrent runs, closed standard
// streams, running out of memory, and products whose columns are far wider
// than the fields that use them. Every case runs the qrpht binary.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <functional>
#include <future>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "fits_table_fits_builder.h"
#include "output_file.h"
#include "process_guard.h"
#include "test_util.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

// Every file of a directory (names starting with "." included) with what
// it holds; FIFOs and links are listed by kind.
std::map<std::string, std::string> snapshot(const fs::path &dir)
{
    std::map<std::string, std::string> files;
    for (const auto &e : fs::directory_iterator(dir)) {
        const std::string name = e.path().filename();
        if (e.is_symlink())
            files[name] = "-> " + fs::read_symlink(e.path()).string();
        else if (e.is_fifo())
            files[name] = "fifo";
        else if (e.is_regular_file())  // size and hash: short in a failure message
            files[name] = std::to_string(e.file_size()) + " bytes, hash " +
                          std::to_string(std::hash<std::string>{}(read_file(e.path())));
        else
            files[name] = "dir";
    }
    return files;
}

bool has_temporary(const fs::path &dir)
{
    for (const auto &e : fs::directory_iterator(dir))
        if (e.path().filename().string().front() == '.') return true;
    return false;
}

// A qrpht process with a child-side setup (descriptors, limits) run after
// its standard output and error were sent to files of io.
struct Spawned {
    pid_t pid = -1;
    std::string out_path;
    std::string err_path;
};

Spawned spawn(const std::vector<std::string> &args, const std::string &cwd, const ScratchDir &io,
              const std::function<void()> &setup = {})
{
    Spawned s{-1, io / "stdout", io / "stderr"};
    std::vector<std::string> words = {QRPHT_BIN};
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char *> argv;
    for (auto &w : words) argv.push_back(w.data());
    argv.push_back(nullptr);
    s.pid = fork();
    if (s.pid == 0) {
        int out = open(s.out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        int err = open(s.err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (out < 0 || err < 0 || dup2(out, 1) < 0 || dup2(err, 2) < 0) _exit(127);
        close(out);
        close(err);
        if (!cwd.empty() && chdir(cwd.c_str()) != 0) _exit(127);
        if (setup) setup();
        execv(argv[0], argv.data());
        _exit(127);
    }
    return s;
}

RunResult finish(const Spawned &s)
{
    int wstatus = 0;
    waitpid(s.pid, &wstatus, 0);
    RunResult r;
    r.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : -1;
    r.signal = WIFSIGNALED(wstatus) ? WTERMSIG(wstatus) : 0;
    r.out = read_file(s.out_path);
    r.err = read_file(s.err_path);
    return r;
}

RunResult run_with(const std::vector<std::string> &args, const std::string &cwd,
                   const std::function<void()> &setup)
{
    ScratchDir io;
    return finish(spawn(args, cwd, io, setup));
}

// Waits up to limit for pred; false when it never held.
bool wait_until(const std::function<bool()> &pred, std::chrono::milliseconds limit = 10s)
{
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!pred()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(1ms);
    }
    return true;
}

void copy(const std::string &from, const fs::path &to) { write_file(to, read_file(from)); }

}  // namespace

TEST(OutputSafety, NoOutputMayBeTheInput)
{
    const std::string in_is = ": it is the input file ";
    struct Case {
        std::vector<std::string> args;
        std::string err;  // empty: the outputs are files of their own
    };
    const std::string abs = "/ABS/pla3.fits";  // the scratch folder's absolute path
    const std::vector<Case> cases = {
        {{"-o", "pla3.fits", "pla3.fits"}, "pla3.fits" + in_is + "pla3.fits"},
        {{"-o", "./pla3.fits", "pla3.fits"}, "./pla3.fits" + in_is + "pla3.fits"},
        {{"-o", "sub/../pla3.fits", "pla3.fits"}, "sub/../pla3.fits" + in_is + "pla3.fits"},
        {{"-o", abs, "pla3.fits"}, abs + in_is + "pla3.fits"},
        {{"-o", "link.fits", "pla3.fits"}, "link.fits" + in_is + "pla3.fits"},
        {{"-o", "hard.fits", "-v", "pla3.fits"}, "hard.fits" + in_is + "pla3.fits"},
        {{"-o", "pla3.fits", "link.fits"}, "pla3.fits" + in_is + "link.fits"},
        {{"-o", "pcae1.fits", "pcae1.fits"}, "pcae1.fits" + in_is + "pcae1.fits"},
        {{"-o", "x.lst", "-i", "meas", "measB.FITS"}, "measB.FITS" + in_is + "measB.FITS"},
        {{"-o", "x.lst", "-i", "./sub/../meas", "measB.FITS"}, "./sub/../measB.FITS" + in_is + "measB.FITS"},
        {{"-o", "measC.FITS", "-i", "meas", "pla3.fits"}, "measC.FITS: it is the listing file measC.FITS"},
        {{"-o", "sub/../measA.FITS", "-i", "meas", "pla3.fits"},
         "measA.FITS: it is the listing file sub/../measA.FITS"},
        {{"-o", "measA.FITS", "-i", "sub/meas", "pla3.fits"}, ""},  // other folders
        // Three measurements write measA..measC only: measQ.FITS is safe.
        {{"-o", "x.lst", "-i", "meas", "measQ.FITS"}, ""},
    };
    for (const Case &c : cases) {
        ScratchDir dir;
        const fs::path p = dir.path;
        copy(fixture("pls/pla3.fits"), p / "pla3.fits");
        copy(fixture("pls/pla3.fits"), p / "measB.FITS");
        copy(fixture("pls/pla3.fits"), p / "measQ.FITS");
        copy(fixture("driver/pcae1.fits"), p / "pcae1.fits");
        fs::create_symlink("pla3.fits", p / "link.fits");
        fs::create_hard_link(p / "pla3.fits", p / "hard.fits");
        fs::create_directory(p / "sub");
        std::vector<std::string> args = c.args;
        std::string err = c.err;
        for (std::string *s : {&args[1], &err})
            if (s->rfind("/ABS/", 0) == 0) s->replace(0, 4, p.string());
        SCOPED_TRACE(args[1] + " " + args.back());
        const std::string input = read_file(p / args.back());
        const auto before = snapshot(p);
        RunResult r = run_qrpht(args, p);
        EXPECT_TRUE(read_file(p / args.back()) == input) << "the input was changed";
        if (err.empty()) {
            EXPECT_EQ(r.status, 0) << r.err;
            continue;
        }
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.err, "problem opening output file " + err + "\n");
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(snapshot(p), before);
    }
}

TEST(OutputSafety, FailedWritesAreReportedAndKeepTheOldFile)
{
    ScratchDir dir;
    const fs::path p = dir.path;
    const std::string pls = fixture("pls");
    const auto file_limit = [](rlim_t bytes) {
        return [bytes] {
            rlimit lim{bytes, bytes};
            setrlimit(RLIMIT_FSIZE, &lim);
        };
    };
    // A pipe whose reading end is closed as standard output.
    const auto closed_pipe = [] {
        int fds[2];
        if (pipe(fds) != 0) _exit(126);
        close(fds[0]);
        dup2(fds[1], 1);
        close(fds[1]);
    };
    struct Case {
        std::vector<std::string> args;
        std::function<void()> setup;
        std::string err;
    };
    const std::string listing = (p / "old.lst").string();
    const std::string image = (p / "measA.FITS").string();
    std::vector<Case> cases = {
        {{"-o", listing, "-v", "pla30.fits"}, file_limit(16384),
         "problem writing output file " + listing + ": File too large\n"},
        // The listing (6520 bytes) fits, the image (11520) does not.
        {{"-o", p / "new.lst", "-i", p / "meas", "pla1.fits"}, file_limit(8192),
         image + ": error opening or writing file.\n"},
        {{"-o", "/dev/stdout", "pla30.fits"}, closed_pipe,
         "problem writing output file /dev/stdout: Broken pipe\n"},
        // A table of 4,509 rows fails while it is handed over in chunks.
        {{"-o", "/dev/null", "-e", p / "t.ecsv", fixture("hostile/pcae_rows_501.fits")},
         file_limit(200000),
         "Too many rows (501); only the first 500 are listed.\nproblem writing output file " +
             (p / "t.ecsv").string() + ": File too large\n"},
    };
    if (access("/dev/full", W_OK) == 0)
        cases.push_back({{"-o", "/dev/full", "pla3.fits"}, {},
                         "problem writing output file /dev/full: No space left on device\n"});
    for (const Case &c : cases) {
        SCOPED_TRACE(c.err);
        write_file(p / "old.lst", "the previous listing\n");
        write_file(p / "measA.FITS", "the previous image\n");
        RunResult r = run_with(c.args, pls, c.setup);
        EXPECT_EQ(r.signal, 0);
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.err, c.err);
        EXPECT_FALSE(has_temporary(p));
        EXPECT_EQ(read_file(p / "old.lst"), "the previous listing\n");
        EXPECT_EQ(read_file(p / "measA.FITS"), "the previous image\n");
    }
}

TEST(OutputSafety, SignalDuringListingRemovesTheTemporaryFile)
{
    // The listing of a product of 501 rows notes on the standard error that
    // only 500 are listed; with that stream a full pipe, the run stops
    // there, in the middle of its listing, until the signal comes.
    for (int sig : {SIGTERM, SIGINT, SIGHUP}) {
        SCOPED_TRACE(sig);
        ScratchDir dir, io;
        write_file(dir / "out.lst", "the previous listing\n");
        int fds[2];
        ASSERT_EQ(pipe(fds), 0);
        fcntl(fds[1], F_SETFL, O_NONBLOCK);
        const std::string block(4096, 'x');
        while (write(fds[1], block.data(), block.size()) > 0) {}
        fcntl(fds[1], F_SETFL, 0);
        const int stderr_pipe = fds[1];
        Spawned s = spawn({"-o", dir / "out.lst", fixture("hostile/pcae_rows_501.fits")}, "", io,
                          [stderr_pipe] { dup2(stderr_pipe, 2); });
        close(fds[1]);
        EXPECT_TRUE(wait_until([&] { return has_temporary(dir.path); }));
        kill(s.pid, sig);
        RunResult r = finish(s);
        close(fds[0]);
        EXPECT_EQ(r.signal, sig);
        EXPECT_FALSE(has_temporary(dir.path));
        EXPECT_EQ(read_file(dir / "out.lst"), "the previous listing\n");
    }
}

TEST(OutputSafety, SignalDuringImagesKeepsWhatIsWhole)
{
    // The second image's name is a FIFO: it is written in place, and its
    // opening waits for a reader, after the listing and the first image
    // are in place.
    ScratchDir dir, io;
    write_file(dir / "measA.FITS", "old A\n");
    write_file(dir / "measC.FITS", "old C\n");
    ASSERT_EQ(mkfifo((dir / "measB.FITS").c_str(), 0644), 0);
    Spawned s = spawn({"-o", dir / "out.lst", "-i", dir / "meas", "pla3.fits"}, fixture("pls"), io);
    const std::string image_a = read_file(fixture("pls/pla3_A.FITS"));
    EXPECT_TRUE(wait_until([&] { return read_file(dir / "measA.FITS") == image_a; }));
    kill(s.pid, SIGTERM);
    RunResult r = finish(s);
    EXPECT_EQ(r.signal, SIGTERM);
    EXPECT_EQ(mask_run_date(read_file(dir / "out.lst")), read_file(fixture("pls/pla3.lst")));
    EXPECT_EQ(read_file(dir / "measC.FITS"), "old C\n");
    EXPECT_FALSE(has_temporary(dir.path));
}

TEST(OutputSafety, ConcurrentRunsLeaveOneWholeListing)
{
    // Two listings of about the same length, written at the same time to
    // the same file: the file ends as one of them, whole.
    ScratchDir dir;
    const std::string verbose = read_file(fixture("pls/pla30.v.lst"));
    const std::string normal = read_file(fixture("pls/pla30.lst"));
    for (int round = 0; round < 10; ++round) {
        const auto run = [&](const char *form) {
            return run_qrpht({form, "-o", dir / "same.lst", "pla30.fits"}, fixture("pls"));
        };
        auto a = std::async(std::launch::async, run, "-v");
        auto b = std::async(std::launch::async, run, "-t");
        EXPECT_EQ(a.get().status, 0);
        EXPECT_EQ(b.get().status, 0);
        const std::string got = mask_run_date(read_file(dir / "same.lst"));
        EXPECT_TRUE(got == verbose || got == normal) << got.size() << " bytes";
        EXPECT_FALSE(has_temporary(dir.path));
    }
}

TEST(OutputSafety, ClosedStandardStreamsKeepMessagesOutOfTheListing)
{
    // The product of 501 rows writes a note on the standard error. Whatever
    // standard descriptors are closed, the listing file takes none of them.
    const std::string product = fixture("hostile/pcae_rows_501.fits");
    ScratchDir dir;
    ASSERT_EQ(run_qrpht({"-o", dir / "reference.lst", product}).status, 0);
    const std::string reference = mask_run_date(read_file(dir / "reference.lst"));
    for (const std::vector<int> &closed : {std::vector<int>{2}, {1, 2}, {0, 1, 2}}) {
        SCOPED_TRACE(closed.size());
        RunResult r = run_with({"-o", dir / "out.lst", product}, "", [closed] {
            for (int fd : closed) close(fd);
        });
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(mask_run_date(read_file(dir / "out.lst")), reference);
    }
}

TEST(OutputSafety, FifoProductWaitsForItsWriter)
{
    ScratchDir dir, io;
    ASSERT_EQ(mkfifo((dir / "p.fits").c_str(), 0644), 0);
    Spawned s = spawn({"-o", dir / "out.lst", dir / "p.fits"}, "", io);
    std::this_thread::sleep_for(300ms);
    int wstatus = 0;
    EXPECT_EQ(waitpid(s.pid, &wstatus, WNOHANG), 0) << "ended before the product was written";
    EXPECT_FALSE(fs::exists(dir / "out.lst"));
    // A reader that gives up early must not end this test by SIGPIPE.
    auto *previous = std::signal(SIGPIPE, SIG_IGN);
    write_file(dir / "p.fits", read_file(fixture("pls/pla3.fits")));
    std::signal(SIGPIPE, previous);
    RunResult r = finish(s);
    EXPECT_EQ(r.signal, 0);
    EXPECT_FALSE(has_temporary(dir.path));
}

TEST(OutputSafety, OutOfMemoryIsReported)
{
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the address sanitizer reserves more address space than the limit";
#else
    // 300000 header cards need more memory than the limit allows.
    ScratchDir dir;
    std::vector<std::string> cards = fitsb::primary_cards();
    cards.push_back(fitsb::text_card("FILENAME", "PCAP0001"));
    for (int i = 0; i < 300000; ++i) cards.push_back(fitsb::card("HISTORY card " + std::to_string(i)));
    write_file(dir / "many.fits", fitsb::header_blocks(cards));
    write_file(dir / "out.lst", "the previous listing\n");
    RunResult r = run_with({"-o", dir / "out.lst", dir / "many.fits"}, "", [] {
        rlimit lim{48u << 20, 48u << 20};
        setrlimit(RLIMIT_AS, &lim);
    });
    EXPECT_EQ(r.signal, 0);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "qrpht: out of memory\n");
    EXPECT_EQ(read_file(dir / "out.lst"), "the previous listing\n");
    EXPECT_FALSE(has_temporary(dir.path));
#endif
}

TEST(OutputSafety, WideColumnsCostOnlyTheElementsUsed)
{
    // A spectrometer product of 500 rows whose source column holds sixteen
    // million elements per row, of which the record field takes 64: a
    // sparse file of 32 GB, listed in moments. Row 500 holds 0.5, 1.5, ...
    // in its first 64 elements and 1e30 in the 65th.
    constexpr long long kRows = 500, kElements = 16'000'000;
    constexpr long long kWidth = 4 + 4 + 4 * kElements;
    ScratchDir dir;
    std::vector<std::string> table = fitsb::table_cards(
        kRows, {{"PLAPDFLG", "1J"}, {"PLAPNBCK", "1J"}, {"PLAPSRCE", std::to_string(kElements) + "E"}});
    table[3] = fitsb::int_card("NAXIS1", kWidth);
    std::vector<std::string> primary = fitsb::primary_cards();
    primary.push_back(fitsb::text_card("FILENAME", "PLA00000001"));
    const std::string head = fitsb::header_blocks(primary) + fitsb::header_blocks(table);
    std::string last_row = fitsb::be32(0) + fitsb::be32(0);
    for (int e = 0; e < 64; ++e) last_row += fitsb::bef(static_cast<float>(e) + 0.5f);
    last_row += fitsb::bef(1e30f);
    write_file(dir / "wide.fits", head);
    {
        std::FILE *f = std::fopen((dir / "wide.fits").c_str(), "r+b");
        ASSERT_NE(f, nullptr);
        ASSERT_EQ(fseeko(f, static_cast<off_t>(head.size() + (kRows - 1) * kWidth), SEEK_SET), 0);
        std::fwrite(last_row.data(), 1, last_row.size(), f);
        std::fclose(f);
    }
    fs::resize_file(dir / "wide.fits", (head.size() + kRows * kWidth + 2879) / 2880 * 2880);
    RunResult r = run_qrpht({"-v", "-o", dir / "wide.lst", dir / "wide.fits"}, "", 30s);
    ASSERT_FALSE(r.timed_out);
    EXPECT_EQ(r.status, 0) << r.err;
    const std::string listing = read_file(dir / "wide.lst");
    const std::size_t last = listing.find("Measurement No. 500\n");
    ASSERT_NE(last, std::string::npos);
    EXPECT_NE(listing.find("5.00e-01 1.50e+00 2.50e+00 3.50e+00 4.50e+00 5.50e+00 6.50e+00 7.50e+00\n", last),
              std::string::npos);
    EXPECT_NE(listing.find("5.65e+01 5.75e+01 5.85e+01 5.95e+01 6.05e+01 6.15e+01 6.25e+01 6.35e+01\n", last),
              std::string::npos);
    EXPECT_EQ(listing.find("e+30"), std::string::npos);
}

TEST(OutputFile, ReplacesWholeKeepsModesAndFollowsLinks)
{
    ScratchDir dir;
    // A replaced file keeps its permission bits; nothing shows under the
    // final name before commit, and a discarded output leaves it untouched.
    write_file(dir / "a", "old");
    fs::permissions(dir / "a", fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    OutputFile out;
    ASSERT_TRUE(out.open(dir / "a"));
    EXPECT_TRUE(out.write("new"));
    EXPECT_EQ(read_file(dir / "a"), "old");
    EXPECT_TRUE(out.commit());
    EXPECT_EQ(read_file(dir / "a"), "new");
    EXPECT_EQ(fs::status(dir / "a").permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    ASSERT_TRUE(out.open(dir / "a"));
    out.write("partial");
    out.discard();
    EXPECT_EQ(read_file(dir / "a"), "new");
    // A symbolic link is written through, and stays a link.
    fs::create_symlink("a", dir / "link");
    ASSERT_TRUE(out.open(dir / "link"));
    out.write("through");
    EXPECT_TRUE(out.commit());
    EXPECT_TRUE(fs::is_symlink(dir / "link"));
    EXPECT_EQ(read_file(dir / "a"), "through");
    EXPECT_FALSE(has_temporary(dir.path));
}

TEST(ProcessGuard, SignalInsideABlockTakesEffectAtItsEnd)
{
    // In a child: a temporary file is registered, a SIGTERM arrives inside
    // a block, the block still completes (it writes a mark), and at its end
    // the temporary file is removed and the process ends by SIGTERM.
    ScratchDir dir;
    const std::string temporary = dir / ".out.tmp";
    const std::string mark = dir / "mark";
    const pid_t pid = fork();
    if (pid == 0) {
        guard_process();
        {
            TerminationBlock block;
            if (register_temporary(temporary.c_str()) < 0) _exit(2);
            write_file(temporary, "partial");
            raise(SIGTERM);
            write_file(mark, "the block went on");
        }
        _exit(3);
    }
    int wstatus = 0;
    waitpid(pid, &wstatus, 0);
    ASSERT_TRUE(WIFSIGNALED(wstatus)) << WEXITSTATUS(wstatus);
    EXPECT_EQ(WTERMSIG(wstatus), SIGTERM);
    EXPECT_EQ(read_file(mark), "the block went on");
    EXPECT_FALSE(fs::exists(temporary));
}
