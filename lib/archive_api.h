// libarchive's functions, loaded when first needed. qrpht-batch forks one
// worker process per product, and a process with libarchive and the dozen
// libraries behind it mapped takes about twice as long to fork: loading
// them only when a file turns out not to be FITS keeps a run over product
// files lean.
#pragma once

#include <archive.h>
#include <archive_entry.h>

#include <string>

#define QRPHT_ARCHIVE_FUNCTIONS(X)                                                        \
    X(archive_read_new) X(archive_read_free) X(archive_read_open)                         \
    X(archive_read_open_filename) X(archive_read_next_header) X(archive_read_data)        \
    X(archive_read_support_filter_gzip) X(archive_read_support_filter_bzip2)              \
    X(archive_read_support_filter_xz) X(archive_read_support_filter_lzma)                 \
    X(archive_read_support_filter_zstd) X(archive_read_support_filter_lz4)                \
    X(archive_read_support_filter_compress) X(archive_read_support_format_tar)            \
    X(archive_read_support_format_raw) X(archive_error_string) X(archive_set_error)       \
    X(archive_format) X(archive_filter_count) X(archive_entry_filetype)                   \
    X(archive_entry_hardlink) X(archive_entry_pathname) X(archive_entry_size_is_set)      \
    X(archive_entry_size)

struct ArchiveApi {
#define QRPHT_ARCHIVE_POINTER(name) decltype(&::name) name = nullptr;
    QRPHT_ARCHIVE_FUNCTIONS(QRPHT_ARCHIVE_POINTER)
#undef QRPHT_ARCHIVE_POINTER
};

// The functions, loaded on the first call; null, with the reason in
// problem, when libarchive cannot be loaded.
const ArchiveApi *archive_api(std::string &problem);
