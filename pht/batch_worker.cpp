// Worker side of a batch run; see batch_worker.h.
#include "batch_worker.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <vector>

#include "archive_walk.h"
#include "memory_product.h"
#include "pht.h"
#include "product_summary.h"

namespace {

// Report fields are card values and counts; each is cut to this length, so
// that the whole report fits the pipe and the worker never waits on it.
constexpr std::size_t kReportField = 200;

std::string encode(const InventoryRow &row)
{
    std::string out;
    for (const std::string &field : row) {
        const std::string cut = field.substr(0, kReportField);
        out += std::to_string(cut.size()) + ':' + cut;
    }
    return out;
}

// Status of the row: an image file, or FITS data of no product type the
// driver knows, is not a product; a type dispatched and listed is listed.
const char *outcome(int exit_status)
{
    const std::string &type = dispatched_product_type();
    if (type == "PGA" || (type.empty() && header_row > 0)) return kStatusNotProduct;
    return exit_status == 0 && !type.empty() ? kStatusListed : kStatusFailed;
}

// Lists the job's product; product_bytes receives its size.
int list_job(WorkerJob &job, long long &product_bytes)
{
    switch (job.source) {
    case WorkerJob::Source::memory:
        product_bytes = static_cast<long long>(job.bytes.size());
        return list_member(std::move(job.bytes), job.input, job.listing, job.image_base, job.verbose);
    case WorkerJob::Source::compressed_file: {
        std::string bytes, problem;
        if (!read_decompressed(job.input, kMaxProductBytes, bytes, problem)) {
            std::fprintf(stderr, "%s: %s\n", job.input.c_str(), problem.c_str());
            return 1;
        }
        product_bytes = static_cast<long long>(bytes.size());
        return list_member(std::move(bytes), job.input, job.listing, job.image_base, job.verbose);
    }
    case WorkerJob::Source::file: break;
    }
    struct stat st {};
    product_bytes = ::stat(job.input.c_str(), &st) == 0 ? st.st_size : 0;
    return list_product(job.input, job.listing, job.image_base, job.verbose);
}

void write_all(int fd, const std::string &text)
{
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n <= 0) return;  // the parent reads a short report as none
        done += static_cast<std::size_t>(n);
    }
}

}  // namespace

int list_product(const std::string &path, const std::string &listing, const std::string &image_base,
                 bool verbose)
{
    std::vector<std::string> words = {"qrpht"};
    if (verbose) words.push_back("-v");
    words.insert(words.end(), {"-o", listing});
    if (!image_base.empty()) words.insert(words.end(), {"-i", image_base});
    words.push_back(path);
    std::vector<char *> argv;
    for (std::string &w : words) argv.push_back(w.data());
    argv.push_back(nullptr);
    return qrpht_main(static_cast<int>(words.size()), argv.data());
}

int list_member(std::string bytes, const std::string &display_name, const std::string &listing,
                const std::string &image_base, bool verbose)
{
    // The bytes stay registered after the listing: the inventory reads
    // the product again under the same name.
    memory_product_register(display_name, std::move(bytes));
    return list_product(display_name, listing, image_base, verbose);
}

void run_worker(WorkerJob &job, int report_fd)
{
    long long product_bytes = 0;
    const int status = list_job(job, product_bytes);
    std::fflush(stdout);
    std::fflush(stderr);
    InventoryRow row;
    row[Inv::status] = outcome(status);
    if (header_row > 0) summarize_product(product_bytes, job.image_base, row);
    write_all(report_fd, encode(row));
    ::_exit(status);
}

bool decode_report(const std::string &report, InventoryRow &row)
{
    std::size_t at = 0;
    for (std::string &field : row) {
        std::size_t n = 0;
        std::size_t colon = at;
        for (; colon < report.size() && colon - at <= 3 && std::isdigit(static_cast<unsigned char>(report[colon])); ++colon)
            n = n * 10 + static_cast<std::size_t>(report[colon] - '0');
        if (colon == at || colon >= report.size() || report[colon] != ':') return false;
        if (colon + 1 + n > report.size()) return false;
        field = report.substr(colon + 1, n);
        at = colon + 1 + n;
    }
    return at == report.size();
}
