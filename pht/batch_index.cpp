// The index page of a batch run; see batch_index.h.
#include "batch_index.h"

#include <filesystem>
#include <system_error>

#include "svg_plot.h"
#include "text_file.h"

namespace {

namespace fs = std::filesystem;

const char *const kPageStart = R"(<!DOCTYPE html>
<html lang="en">
<head>
<meta charset="utf-8">
<title>ISO PHT products</title>
<style>
body { font-family: sans-serif; margin: 1.5em; color: #222; }
table { border-collapse: collapse; }
th, td { border-bottom: 1px solid #ddd; padding: 0.35em 0.6em; text-align: left; vertical-align: top; }
th { cursor: pointer; background: #f0f0f0; position: sticky; top: 0; user-select: none; }
th:hover { background: #e2e2e2; }
th[aria-sort=ascending]::after { content: " \25B2"; }
th[aria-sort=descending]::after { content: " \25BC"; }
td.product .source { color: #666; font-size: 85%; }
td.start { white-space: nowrap; }
td.status.failed { color: #b00020; font-weight: bold; }
td.picture img { width: 240px; height: auto; border: 1px solid #ccc; background: #fff; }
td.files a { display: block; }
</style>
</head>
<body>
<h1>ISO PHT products</h1>
)";

// Sorts the rows by the cells' data-key when a heading is clicked: from
// A to Z first, backwards on the next click; rows with equal keys keep
// their order. #sort=COLUMN or #sort=-COLUMN clicks a heading as the page
// opens.
const char *const kPageEnd = R"(</tbody>
</table>
<script>
(function () {
  var table = document.getElementById('products');
  var heads = Array.prototype.slice.call(table.tHead.rows[0].cells);
  function sortBy(index, backwards) {
    var body = table.tBodies[0];
    var rows = Array.prototype.slice.call(body.rows);
    rows.sort(function (a, b) {
      var c = a.cells[index].getAttribute('data-key').localeCompare(
          b.cells[index].getAttribute('data-key'), undefined, {numeric: true});
      return backwards ? -c : c;
    });
    rows.forEach(function (row) { body.appendChild(row); });
    var order = backwards ? 'descending' : 'ascending';
    heads.forEach(function (th) { th.removeAttribute('aria-sort'); });
    heads[index].setAttribute('aria-sort', order);
    table.setAttribute('data-sorted', heads[index].getAttribute('data-column') + ' ' + order);
  }
  heads.forEach(function (th, index) {
    th.addEventListener('click', function () {
      var column = th.getAttribute('data-column');
      sortBy(index, table.getAttribute('data-sorted') === column + ' ascending');
    });
  });
  var asked = /^#sort=(-?)([a-z]+)$/.exec(window.location.hash);
  var th = asked && heads.filter(function (h) { return h.getAttribute('data-column') === asked[2]; })[0];
  if (th) {
    th.click();
    if (asked[1] === '-') th.click();
  }
})();
</script>
</body>
</html>
)";

struct Column {
    const char *name;     // data-column
    const char *heading;
};
constexpr Column kColumns[] = {
    {"product", "Product"}, {"type", "Type"},     {"object", "Object"},     {"aot", "AOT"},
    {"start", "Start"},     {"status", "Status"}, {"picture", "Picture"}, {"files", "Files"},
};

std::string escape(const std::string &text) { return svg::escape(text); }

// The path with every byte but letters, digits, "-._~" and "/" written as
// %XX, so that a file name is read as a path (":" "#" "?" " " and bytes
// beyond ASCII included).
std::string url_path(const std::string &path)
{
    static const char *const kHex = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : path) {
        const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                           c == '-' || c == '.' || c == '_' || c == '~' || c == '/';
        if (plain) {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 0xF];
        }
    }
    return out;
}

// The link from a page in dir (absolute and normal) to the file at path.
std::string link(const fs::path &dir, const std::string &path)
{
    std::error_code ec;
    const fs::path target = fs::absolute(path, ec).lexically_normal();
    if (ec) return url_path(path);
    const fs::path relative = target.lexically_relative(dir);
    if (relative.empty()) return "file://" + url_path(target.generic_string());
    return url_path(relative.generic_string());
}

std::string cell(const char *css, const std::string &key, const std::string &content)
{
    return "<td class=\"" + std::string(css) + "\" data-key=\"" + escape(key) + "\">" + content + "</td>";
}

std::string anchor(const fs::path &dir, const std::string &path, const std::string &text)
{
    return "<a href=\"" + escape(link(dir, path)) + "\">" + escape(text) + "</a>";
}

std::string product_cell(const BatchIndexRow &r)
{
    const std::string origin = r.member.empty() ? r.source : r.source + "/" + r.member;
    if (r.filename.empty()) return cell("product", origin, escape(origin));
    return cell("product", r.filename,
                escape(r.filename) + "<br><span class=\"source\">" + escape(origin) + "</span>");
}

std::string picture_cell(const fs::path &dir, const BatchIndexRow &r)
{
    if (r.picture.empty()) return cell("picture", "", "");
    const std::string href = escape(link(dir, r.picture));
    return cell("picture", r.picture,
                "<a href=\"" + href + "\"><img src=\"" + href + "\" alt=\"picture of " +
                    escape(r.filename.empty() ? r.source : r.filename) + "\" loading=\"lazy\"></a>");
}

std::string files_cell(const fs::path &dir, const BatchIndexRow &r)
{
    std::string links;
    if (!r.listing.empty()) links += anchor(dir, r.listing, "listing");
    if (!r.table.empty()) links += anchor(dir, r.table, "table");
    for (const std::string &image : r.images)
        links += anchor(dir, image, "image " + fs::path(image).filename().string());
    return cell("files", r.listing, links);
}

std::string row_html(const fs::path &dir, const BatchIndexRow &r)
{
    const std::string status_css = r.status == "failed" ? "status failed" : "status";
    return "<tr>" + product_cell(r) + cell("type", r.type, escape(r.type)) +
           cell("object", r.object, escape(r.object)) + cell("aot", r.aot, escape(r.aot)) +
           cell("start", r.start, escape(r.start)) +
           cell(status_css.c_str(), r.status, escape(r.status)) + picture_cell(dir, r) +
           files_cell(dir, r) + "</tr>\n";
}

}  // namespace

std::string batch_index_html(const std::string &dir, const std::vector<BatchIndexRow> &rows)
{
    std::error_code ec;
    fs::path base = fs::absolute(dir.empty() ? "." : dir, ec).lexically_normal();
    if (ec) base = fs::path(dir).lexically_normal();
    if (!base.has_filename()) base = base.parent_path();  // "out/" as "out"

    std::string page = kPageStart;
    page += "<p>" + std::to_string(rows.size()) + (rows.size() == 1 ? " product" : " products") +
            ". Click a column heading to sort the rows by it, click it again to reverse the order.</p>\n";
    page += "<table id=\"products\" data-sorted=\"\">\n<thead><tr>";
    for (const Column &c : kColumns)
        page += std::string("<th data-column=\"") + c.name + "\">" + c.heading + "</th>";
    page += "</tr></thead>\n<tbody>\n";
    for (const BatchIndexRow &r : rows) page += row_html(base, r);
    page += kPageEnd;
    return page;
}

bool write_batch_index(const std::string &dir, const std::vector<BatchIndexRow> &rows,
                       std::string &error, const std::string &name)
{
    const std::string path = (fs::path(dir.empty() ? "." : dir) / name).string();
    return write_text_file(path, batch_index_html(dir, rows), error);
}
