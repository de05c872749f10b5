// Expansion of batch inputs; see batch_inputs.h.
#include "batch_inputs.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <tuple>

namespace fs = std::filesystem;

namespace {

constexpr const char *kCompressionEndings[] = {".gz", ".bz2", ".xz", ".lzma", ".zst", ".lz4", ".Z"};
constexpr const char *kFitsEndings[] = {".fits", ".fit", ".fts"};
constexpr const char *kTarEndings[] = {".tgz", ".tbz", ".tbz2", ".txz", ".tzst", ".tar"};

std::string base_name(const std::string &path)
{
    const std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool ends_with_nocase(const std::string &s, const std::string &end)
{
    if (s.size() <= end.size()) return false;  // an ending alone is a name
    return std::equal(end.rbegin(), end.rend(), s.rbegin(), [](char a, char b) {
        return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
    });
}

// name without the first of endings it ends with.
template <std::size_t N> std::string cut_ending(const std::string &name, const char *const (&endings)[N])
{
    for (const char *end : endings)
        if (ends_with_nocase(name, end)) return name.substr(0, name.size() - std::strlen(end));
    return name;
}

// A stem never climbs out of its folder.
std::string safe(std::string stem)
{
    return stem == "." || stem == ".." || stem.empty() ? "_" + stem : stem;
}

void add_file(const std::string &path, std::vector<BatchEntry> &entries)
{
    const FileKind kind = file_kind(path);
    if (kind.kind != ContentKind::archive) {
        entries.push_back({path, "", kind.kind, kind.problem, product_stem(path), 0});
        return;
    }
    ArchiveWalk walk(path);
    Leaf leaf;
    while (walk.next(leaf)) {
        const std::string stem = archive_stem(leaf.innermost) + "/" + product_stem(leaf.member);
        entries.push_back({path, leaf.member, leaf.kind, leaf.problem, stem, leaf.index});
    }
    if (!walk.error().empty())
        entries.push_back({path, "", ContentKind::unreadable, walk.error(), archive_stem(path), 0});
}

void add_folder(const std::string &path, const std::string &skip_dir, std::vector<BatchEntry> &entries)
{
    std::error_code ec;
    const auto options = fs::directory_options::skip_permission_denied;
    for (auto it = fs::recursive_directory_iterator(path, options, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        std::error_code ignored;
        if (it->is_directory(ignored)) {
            if (!skip_dir.empty() && fs::equivalent(it->path(), skip_dir, ignored))
                it.disable_recursion_pending();
        } else if (it->is_regular_file(ignored)) {
            add_file(it->path().string(), entries);
        }
    }
}

// One input word; false when it names nothing. Entries of lists that
// name nothing become unreadable entries (in_list).
bool add_input(const std::string &path, const std::string &skip_dir, bool in_list,
               std::vector<BatchEntry> &entries, std::string &error)
{
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        if (!in_list) {
            error = path + ": " + std::strerror(errno);
            return false;
        }
        entries.push_back({path, "", ContentKind::unreadable, std::strerror(errno), product_stem(path), 0});
        return true;
    }
    if (S_ISDIR(st.st_mode))
        add_folder(path, skip_dir, entries);
    else
        add_file(path, entries);
    return true;
}

bool read_list(const std::string &name, std::vector<std::string> &lines, std::string &error)
{
    std::ifstream file;
    if (name != "-") {
        file.open(name);
        if (!file) {
            error = "@" + name + ": " + std::strerror(errno);
            return false;
        }
    }
    std::istream &in = name == "-" ? std::cin : file;
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.find_first_not_of(" \t") != std::string::npos) lines.push_back(line);
    }
    if (in.bad()) {
        error = "@" + name + ": read error";
        return false;
    }
    return true;
}

}  // namespace

std::string entry_name(const BatchEntry &e)
{
    return e.member.empty() ? e.source : e.source + "/" + e.member;
}

bool collect_entries(const std::vector<std::string> &inputs, const std::string &skip_dir,
                     std::vector<BatchEntry> &entries, std::string &error)
{
    for (const std::string &input : inputs) {
        if (input.size() > 1 && input[0] == '@') {
            std::vector<std::string> lines;
            if (!read_list(input.substr(1), lines, error)) return false;
            for (const std::string &line : lines)
                add_input(line, skip_dir, true, entries, error);
        } else if (!add_input(input, skip_dir, false, entries, error)) {
            return false;
        }
    }
    return true;
}

void sort_entries(std::vector<BatchEntry> &entries)
{
    const auto key = [](const BatchEntry &e) { return std::tie(e.source, e.member); };
    std::stable_sort(entries.begin(), entries.end(),
                     [&](const BatchEntry &a, const BatchEntry &b) { return key(a) < key(b); });
    entries.erase(std::unique(entries.begin(), entries.end(),
                              [&](const BatchEntry &a, const BatchEntry &b) { return key(a) == key(b); }),
                  entries.end());
}

std::string product_stem(const std::string &path)
{
    return safe(cut_ending(cut_ending(base_name(path), kCompressionEndings), kFitsEndings));
}

std::string archive_stem(const std::string &path)
{
    const std::string base = base_name(path);
    const std::string cut = cut_ending(base, kTarEndings);
    if (cut != base) return safe(cut);
    return safe(cut_ending(cut_ending(base, kCompressionEndings), kTarEndings));
}
