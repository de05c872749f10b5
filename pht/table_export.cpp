// The adapter from the product model to the table exporters; see
// table_export.h.
#include "table_export.h"

#include "output_file.h"

#include <sys/stat.h>

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <ostream>
#include <streambuf>
#include <string_view>

#include "listing_head.h"

namespace {

constexpr const char *kStandardOutput = "-";

const char *type_name(ProductType type)
{
    switch (type) {
    case ProductType::pcae: return "PCAE";
    case ProductType::pcap: return "PCAP";
    case ProductType::pcas: return "PCAS";
    case ProductType::ppae: return "PPAE";
    case ProductType::ppap: return "PPAP";
    case ProductType::pla: return "PLA";
    case ProductType::psa: return "PSA";
    case ProductType::pga: break;
    }
    return "PGA";
}

// The first primary-header card whose keyword is `keyword`.
std::optional<std::string_view> primary_card(const CardStore &cards, std::string keyword)
{
    keyword.resize(kFitsKeywordLength, ' ');
    const std::optional<std::size_t> i = cards.first(keyword);
    if (!i || *i >= cards.primary_size()) return std::nullopt;
    return cards[*i];
}

// The string value of a card; empty without the card or a string.
std::string card_text(std::optional<std::string_view> card)
{
    return card ? card_string_value(*card).value_or("") : std::string();
}

std::string primary_text(const CardStore &cards, const char *keyword)
{
    return card_text(primary_card(cards, keyword));
}

// The number of a card's value field when the whole field is one number
// (a FITS D exponent read as E); none without the card or such a value.
std::optional<double> primary_number(const CardStore &cards, const char *keyword)
{
    const std::optional<std::string_view> card = primary_card(cards, keyword);
    if (!card) return std::nullopt;
    std::string value = split_card(*card).value;
    const std::size_t begin = value.find_first_not_of(' ');
    if (begin == std::string::npos) return std::nullopt;
    value = value.substr(begin, value.find_last_not_of(' ') + 1 - begin);
    for (char &c : value)
        if (c == 'D' || c == 'd') c = 'E';
    const char *first = value.data() + (value.starts_with('+') ? 1 : 0);
    double number = 0;
    const auto [end, error] = std::from_chars(first, value.data() + value.size(), number);
    if (error != std::errc() || end != value.data() + value.size()) return std::nullopt;
    return number;
}

// The string value of the first card of a numbered family: FILTERn
// (compared on 8 characters) or APERn (on 6).
std::string numbered_text(const CardStore &cards, const char *stem, int n, std::size_t compared)
{
    const std::optional<std::string> key = numbered_prefix(stem, n, compared);
    const std::optional<std::size_t> card = key ? cards.first(*key) : std::nullopt;
    return card ? card_text(cards[*card]) : std::string();
}

std::vector<std::string> filter_names(const Product &product)
{
    std::vector<std::string> names;
    for (int n = 1; n <= product.counts().filters; ++n) {
        const std::optional<std::size_t> card = product.filter_card(n);
        names.push_back(card ? card_text(product.cards()[*card]) : std::string());
    }
    return names;
}

template <class Record>
EcsvTable camera_table(const Product &product,
                       EcsvTable (*exporter)(const ProductSummary &, FilterNames,
                                             std::span<const Record>, std::span<const CameraPlace>,
                                             const TableSink &),
                       const TableSink &sink)
{
    std::vector<CameraPlace> places;
    places.reserve(product.record_count());
    for (std::size_t i = 0; i < product.record_count(); ++i) places.push_back(product.camera_place(i));
    const std::vector<std::string> filters = filter_names(product);
    return exporter(product_summary(product), filters, product.records<Record>(), places, sink);
}

EcsvTable spectrometer(const Product &product, const TableSink &sink)
{
    std::array<double, kPlsPixels> mjy{};
    for (int p = 0; p < kPlsPixels; ++p) mjy[static_cast<std::size_t>(p)] = product.mjy_factor(p);
    return spectrometer_table(product_summary(product), product.wavelengths_um(), mjy,
                              product.records<data_pls>(), sink);
}

EcsvTable photometer(const Product &product)
{
    const std::vector<data_ppa> &records = product.records<data_ppa>();
    std::vector<PhotometerConfiguration> configurations;
    configurations.reserve(records.size());
    for (std::size_t k = 0; k < records.size(); ++k) {
        const data_ppa &r = records[k];
        const int n = static_cast<int>(k) + 1;
        configurations.push_back({numbered_text(product.cards(), "FILTER", n, 8),
                                  numbered_text(product.cards(), "APER", n, 6), r.nbck, r.srce,
                                  r.srcu, r.back, r.bcku, r.spb, r.spbu, r.bck1, r.bk1u, r.bck2,
                                  r.bk2u, r.bint, r.binu});
    }
    return photometer_table(product_summary(product), configurations);
}

// Whether path names the file of the product (both exist and are one file).
bool is_product_file(const Product &product, const std::string &path)
{
    struct stat out {}, in {};
    return stat(path.c_str(), &out) == 0 && stat(product.path().c_str(), &in) == 0 &&
           out.st_dev == in.st_dev && out.st_ino == in.st_ino;
}

// An output stream's buffer that hands every write straight to the output
// file (the table writer collects its rows in large pieces itself).
class FileBuffer : public std::streambuf {
public:
    explicit FileBuffer(OutputFile &file) : file_(file) {}

protected:
    std::streamsize xsputn(const char *data, std::streamsize n) override
    {
        return file_.write(data, static_cast<std::size_t>(n)) ? n : 0;
    }
    int_type overflow(int_type c) override
    {
        if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
        const char ch = traits_type::to_char_type(c);
        return xsputn(&ch, 1) == 1 ? c : traits_type::eof();
    }

private:
    OutputFile &file_;
};

// Writes the product's table to path ("-": the standard output) like every
// output: under a temporary name until whole, every write checked. The
// rows go out in chunks while the exporter makes them. False with the
// reason when the file cannot be created or written.
bool write_table(const Product &product, const std::string &path, std::string &error)
{
    OutputFile file;
    if (!file.open(path)) {
        error = std::strerror(file.error());
        return false;
    }
    FileBuffer buffer(file);
    std::ostream out(&buffer);
    EcsvWriter writer(out);
    EcsvStatus status = EcsvStatus::ok;
    const TableSink sink = [&](EcsvTable &rows) {
        status = writer.write(rows);
        rows.clear_rows();
        return status == EcsvStatus::ok;
    };
    const EcsvTable rest = product_table(product, sink);
    if (status == EcsvStatus::ok) status = writer.write(rest);
    if (status == EcsvStatus::ok) status = writer.finish();
    if (status != EcsvStatus::ok && file.error() == 0) {
        error = ecsv_status_text(status);
        return false;  // the file is discarded
    }
    if (file.commit()) return true;
    error = std::strerror(file.error());
    return false;
}

}  // namespace

ProductSummary product_summary(const Product &product)
{
    const CardStore &cards = product.cards();
    ProductSummary s;
    s.filename = primary_text(cards, "FILENAME");
    s.product = type_name(product.type());
    s.object = primary_text(cards, "OBJECT");
    s.observer = primary_text(cards, "OBSERVER");
    s.proposal = primary_text(cards, "EOHAPLID");
    s.aot = primary_text(cards, "EOHAAOTN");
    s.ra = primary_number(cards, "ATTRA");
    s.dec = primary_number(cards, "ATTDEC");
    s.equinox = primary_number(cards, "EQUINOX");
    s.start_utc = primary_text(cards, "EOHAUTCS");
    s.end_utc = primary_text(cards, "EOHAUTCE");
    s.created = primary_text(cards, "DATE");
    s.pipeline = primary_text(cards, "OLPVERS");
    s.source_path = product.path();
    s.program = kProgramName;
    s.program_version = kProgramVersion;
    for (const TableColumn &c : product.columns()) s.columns.push_back({c.name, c.parts.comment, c.unit});
    return s;
}

EcsvTable product_table(const Product &product, const TableSink &sink)
{
    switch (product.type()) {
    case ProductType::pcae: return camera_table<data_pcae>(product, pcae_table, sink);
    case ProductType::pcap: return camera_table<data_pcap>(product, pcap_table, sink);
    case ProductType::pcas: return camera_table<data_pcas>(product, pcas_table, sink);
    case ProductType::ppae:
    case ProductType::ppap: return photometer(product);
    case ProductType::pla:
    case ProductType::psa: return spectrometer(product, sink);
    case ProductType::pga: break;
    }
    return {};
}

bool write_table_file(const Product &product, const std::string &path, std::string &error)
{
    if (path != kStandardOutput && is_product_file(product, path)) {
        error = "it is the input file " + product.path();
        return false;
    }
    // The listing's read reported where the rows it read ended; only what
    // lies beyond them is news.
    const ProductLoad load = load_product(
        product.path(), {.all_columns = true, .every_record = true, .reported_from = product.records_planned()});
    if (load.error != LoadError::none || load.product.type() != product.type()) {
        error = "the product could not be read again";
        return false;
    }
    if (load.product.family() == Family::image) {
        error = "an image product holds no table";
        return false;
    }
    return write_table(load.product, path, error);
}
