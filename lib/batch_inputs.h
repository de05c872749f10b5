// The inputs of a batch run expanded into single files and archive members:
// product files, folders searched recursively, tar archives (plain or
// compressed, nested at any depth) and lists of inputs (@LIST).
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "archive_walk.h"

struct BatchEntry {
    std::string source;   // path of the file, as found
    std::string member;   // path inside the archive at source; empty for a file
    ContentKind kind = ContentKind::other;  // never ContentKind::archive
    std::string problem;  // reason when unreadable
    std::string stem;     // listing path within the output folder, without ".lst"
    std::size_t leaf = 0; // members: position among the leaves of the archive
};

// The name a product goes by in its listing: the path of the file, or for
// a member "<archive path>/<member path>".
std::string entry_name(const BatchEntry &e);

// Expands the inputs into entries. A word "@FILE" names a file holding one
// input per line ("@-": the standard input); blank lines are ignored.
// Folders are searched recursively, except the folder skip_dir (the
// output folder). False, with the reason in error, when an input word
// names nothing or a list cannot be read; an entry of a list that names
// nothing becomes an unreadable entry.
bool collect_entries(const std::vector<std::string> &inputs, const std::string &skip_dir,
                     std::vector<BatchEntry> &entries, std::string &error);

// Sorts the entries by source, then member (byte order), and keeps one of
// each.
void sort_entries(std::vector<BatchEntry> &entries);

// Output stems: the base name of a product without its compression and
// FITS endings ("pcae1.fits.gz" -> "pcae1"), and the base name of an
// archive without its tar and compression endings ("obs1.tar.gz" -> "obs1").
std::string product_stem(const std::string &path);
std::string archive_stem(const std::string &path);
