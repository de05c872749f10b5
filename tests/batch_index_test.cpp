// The index page of a batch folder, loaded in headless Chromium: one row
// per product, links that reach the files, texts that stay text, and a
// click on a heading (asked for by the page's #sort fragment) that
// reorders the rows.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "batch_index.h"
#include "svg_read.h"
#include "test_util.h"

namespace {

namespace fs = std::filesystem;

const std::string kChromium = "/usr/bin/chromium";

// The DOM of the page at url after its scripts ran, from a fresh profile.
std::string dump_dom(const std::string &url, const std::string &profile)
{
    const std::string command =
        "timeout 120 " + kChromium +
        " --headless --no-sandbox --disable-gpu --disable-quic --no-first-run"
        " --disable-background-networking --disable-component-update --disable-sync"
        " --user-data-dir='" + profile + "' --dump-dom '" + url + "' 2>/dev/null";
    std::string dom;
    if (FILE *p = popen(command.c_str(), "r")) {
        char buf[4096];
        for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, p)) > 0;) dom.append(buf, n);
        pclose(p);
    }
    return dom;
}

// The rows of the table's body.
std::vector<std::string> body_rows(const std::string &dom)
{
    std::vector<std::string> rows;
    for (const std::string &row : pieces(dom, "<tr>", "</tr>"))
        if (row.find("<td") != std::string::npos) rows.push_back(row);
    return rows;
}

// The first four characters of each row's object.
std::vector<std::string> objects(const std::string &dom)
{
    std::vector<std::string> found;
    for (const std::string &row : body_rows(dom))
        found.push_back(attribute(pieces(row, "<td class=\"object\"", ">").at(0), "data-key").substr(0, 4));
    return found;
}

// A relative link as the file path it names: the URL's path (before any
// query or fragment) with %XX and &amp; decoded.
std::string link_path(std::string link)
{
    link = link.substr(0, link.find_first_of("?#"));
    std::string out;
    for (std::size_t i = 0; i < link.size(); ++i) {
        if (link[i] == '%' && i + 2 < link.size()) {
            out += static_cast<char>(std::stoi(link.substr(i + 1, 2), nullptr, 16));
            i += 2;
        } else if (link.compare(i, 5, "&amp;") == 0) {
            out += '&';
            i += 4;
        } else {
            out += link[i];
        }
    }
    return out;
}

// Lists a fixture product into the folder (with its picture and, given a
// base, its images) and returns the listing's path.
std::string list_into(const fs::path &folder, const std::string &product, const std::string &stem,
                      const std::string &image_base = "")
{
    fs::create_directories(folder);
    const std::string listing = (folder / (stem + ".lst")).string();
    std::vector<std::string> args = {"-o", listing, "-p", (folder / (stem + ".svg")).string()};
    if (!image_base.empty()) args.insert(args.end(), {"-i", (folder / image_base).string()});
    args.push_back(fixture(product));
    EXPECT_EQ(run_qrpht(args).status, 0) << product;
    return listing;
}

std::string with_extension(const std::string &path, const char *extension)
{
    return fs::path(path).replace_extension(extension).string();
}

}  // namespace

TEST(BatchIndex, OneRowPerProductWorkingLinksAndSortingInHeadlessChromium)
{
    if (!fs::exists(kChromium)) GTEST_SKIP() << kChromium << " missing (tools/install-deps installs it)";
    ScratchDir scratch;
    const fs::path out = scratch / "out";
    const std::string pcap = list_into(out, "pca/pcap3.fits", "pcap3");
    const std::string ppap = list_into(out / "obs 1.tar", "ppa/ppap3.fits", "ppap3 #1");
    const std::string pla = list_into(out, "pls/pla3.fits", "pla3", "pla3_");
    const std::string table = with_extension(ppap, ".ecsv");
    write_file(table, "# %ECSV 1.0\n");
    std::vector<std::string> images;
    for (const char *plane : {"A", "B", "C"}) images.push_back((out / ("pla3_" + std::string(plane) + ".FITS")).string());

    const std::vector<BatchIndexRow> rows = {
        {"in/pcap3.fits", "", "PCAP", "PCAP71200401", "NGC 7027", "P37", "1996-05-02T04:56:12",
         "listed", pcap, "", with_extension(pcap, ".svg"), {}},
        {"in/obs 1.tar", "ppap3.fits", "PPAP", "PPAP01200713", "HD 97048", "P03",
         "1996-05-02T04:56:12", "listed", ppap, table, with_extension(ppap, ".svg"), {}},
        {"in/<i>bad</i>.fits", "", "PCAE", "", "Zeta <script>document.title='x'</script> & \"co\"", "",
         "", "failed", "", "", "", {}},
        {"in/pla3.fits", "", "PLA", "PLA45600203", "IRAS 21282", "P40", "1996-05-02T04:56:12",
         "listed", pla, "", with_extension(pla, ".svg"), images},
    };
    std::string error;
    ASSERT_TRUE(write_batch_index(out.string(), rows, error)) << error;
    const std::string page = "file://" + (out / "index.html").string();

    const std::string dom = dump_dom(page + "#sort=object", scratch / "profile1");
    ASSERT_NE(dom.find("</html>"), std::string::npos) << "no page from chromium";
    EXPECT_EQ(body_rows(dom).size(), rows.size());
    EXPECT_EQ(objects(dom), (std::vector<std::string>{"HD 9", "IRAS", "NGC ", "Zeta"}));
    EXPECT_EQ(attribute(dom, "data-sorted"), "object ascending");
    // Texts stay text: the page's one script is its own.
    EXPECT_EQ(count(dom, "<script"), 1u);
    EXPECT_EQ(dom.find("<i>"), std::string::npos);
    EXPECT_NE(dom.find("<title>ISO PHT products</title>"), std::string::npos);

    // Every link and picture reaches its file: the listings, the table, the
    // images, and each picture as link and image.
    std::size_t links = 0;
    for (const char *name : {"href", "src"})
        for (const std::string &piece : pieces(dom, std::string(" ") + name + "=\"", "\"")) {
            const std::string link = piece.substr(piece.find('"') + 1, piece.size() - piece.find('"') - 2);
            EXPECT_TRUE(fs::is_regular_file(out / link_path(link))) << link;
            ++links;
        }
    EXPECT_EQ(links, 13u);  // 3 listings, 1 table, 3 images, 3 pictures as link and image

    // A second click on the heading reverses the order.
    const std::string reversed = dump_dom(page + "#sort=-object", scratch / "profile2");
    EXPECT_EQ(objects(reversed), (std::vector<std::string>{"Zeta", "NGC ", "IRAS", "HD 9"}));
    EXPECT_EQ(attribute(reversed, "data-sorted"), "object descending");
}

// The page a batch run writes: every product of a small fixture folder is a
// row, every link and picture reaches a file the run wrote, and the rows
// sort by object either way.
TEST(BatchIndex, PageOfAFixtureBatchInHeadlessChromium)
{
    if (!fs::exists(kChromium)) GTEST_SKIP() << kChromium << " missing (tools/install-deps installs it)";
    ScratchDir scratch;
    const fs::path in = scratch / "in", out = scratch / "out";
    fs::create_directories(in);
    const char *const products[] = {"pca/pcap3.fits", "pca/pcas3x2.fits", "ppa/ppap3.fits", "pls/pla3.fits",
                                    "strings/pla_strings.fits"};
    for (const char *p : products) fs::copy_file(fixture(p), in / fs::path(p).filename());
    const RunResult run = run_program(QRPHT_BATCH_BIN,
                                      {"-q", "-i", "--tables", "--pictures", "--html", "-d", out.string(), in.string()},
                                      scratch.path.string(), std::chrono::seconds(300));
    ASSERT_EQ(run.status, 0) << run.err;
    const std::string page = "file://" + (out / "index.html").string();

    const auto object_keys = [](const std::string &dom) {
        std::vector<std::string> keys;
        for (const std::string &row : body_rows(dom))
            keys.push_back(attribute(pieces(row, "<td class=\"object\"", ">").at(0), "data-key"));
        return keys;
    };
    const std::string dom = dump_dom(page + "#sort=object", scratch / "profile1");
    const std::vector<std::string> up = object_keys(dom);
    EXPECT_EQ(up.size(), std::size(products));
    EXPECT_TRUE(std::is_sorted(up.begin(), up.end()));
    EXPECT_NE(up.front(), up.back());  // so that either order is a reordering
    for (const char *name : {"href", "src"})
        for (const std::string &piece : pieces(dom, std::string(" ") + name + "=\"", "\"")) {
            const std::string link = piece.substr(piece.find('"') + 1, piece.size() - piece.find('"') - 2);
            EXPECT_TRUE(fs::is_regular_file(out / link_path(link))) << link;
        }
    // Each product: listing, table, picture as link and image; pla3 and
    // pla_strings their images too.
    EXPECT_GE(count(dom, " href=\"") + count(dom, " src=\""), 4 * std::size(products));

    std::vector<std::string> down = object_keys(dump_dom(page + "#sort=-object", scratch / "profile2"));
    EXPECT_TRUE(std::is_sorted(down.rbegin(), down.rend()));
    std::reverse(down.begin(), down.end());
    EXPECT_EQ(down, up);
}
