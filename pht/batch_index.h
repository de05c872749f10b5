// The index page of a batch run's output folder, DIR/index.html: a static
// page with one row per product (its type, FILENAME and where it came from,
// object, AOT, start of the observation, status), its picture as a small
// image, and links to its listing, table and images.
//
// The page needs no server and no network: it is opened from file://, its
// links are relative to DIR, and a few lines of plain JavaScript sort the
// rows by the column whose heading is clicked (a second click reverses the
// order). The table's data-sorted attribute names the order shown
// ("object ascending"); a fragment #sort=COLUMN (or #sort=-COLUMN, reversed)
// sorts the page as it opens, by clicking that heading. The columns are
// named product, type, object, aot, start, status, picture and files.
//
// Every text is HTML-escaped; bytes that cannot stand in the page (control
// characters, malformed UTF-8) become '?'. The same rows always give the
// same bytes.
#pragma once

#include <string>
#include <vector>

// One product of the batch, as its inventory row knows it. Paths are as the
// batch wrote them: absolute, or relative to the working directory.
struct BatchIndexRow {
    std::string source;               // path of the file the product came from
    std::string member;               // its path inside a tar archive; empty for a file
    std::string type;                 // PCAE, PCAP, PCAS, PPAE, PPAP, PLA, PSA
    std::string filename;             // FILENAME card
    std::string object;               // OBJECT card
    std::string aot;                  // EOHAAOTN card
    std::string start;                // start of the observation (ISO 8601 sorts in time)
    std::string status;               // listed, failed, ...
    std::string listing;              // listing; empty without one
    std::string table;                // ECSV table; empty without one
    std::string picture;              // SVG picture; empty without one
    std::vector<std::string> images;  // spectrometer images
};

// The page for an index in the folder dir (absolute, or relative to the
// working directory), rows in the order given.
std::string batch_index_html(const std::string &dir, const std::vector<BatchIndexRow> &rows);

// Writes dir/name (index.html unless another name is given, such as one
// per shard of a run). False, with the reason in error, when it cannot be
// written.
bool write_batch_index(const std::string &dir, const std::vector<BatchIndexRow> &rows,
                       std::string &error, const std::string &name = "index.html");
