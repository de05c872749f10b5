// The picture of a loaded product; see picture_export.h.
#include "picture_export.h"

#include <cmath>
#include <optional>

#include "qr_header.h"
#include "text_file.h"

namespace {

constexpr double kMjyPerJy = 1000.0;
constexpr int kDarkFlag = 1;                  // dflag of a dark measurement
constexpr std::size_t kApertureCompared = 6;  // APERn cards are matched on 6 characters

// The string value of a card without the trailing blanks, which FITS
// strings do not count; empty without a card or a string.
std::string string_value(const CardStore &cards, std::optional<std::size_t> card)
{
    if (!card) return {};
    std::string text = card_string_value(cards[*card]).value_or("");
    text.erase(text.find_last_not_of(' ') + 1);
    return text;
}

// The string value of the primary card whose keyword field is keyword.
std::string primary_value(const CardStore &cards, std::string keyword)
{
    keyword.resize(kFitsKeywordLength, ' ');
    const std::optional<std::size_t> card = cards.first(keyword);
    return card && *card < cards.primary_size() ? string_value(cards, card) : std::string();
}

// The last part of a path.
std::string file_name(const std::string &path)
{
    const std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string filter_name(const Product &product, int n)
{
    return string_value(product.cards(), product.filter_card(n));
}

std::string aperture_name(const Product &product, int n)
{
    const std::optional<std::string> key = numbered_prefix("APER", n, kApertureCompared);
    return key ? string_value(product.cards(), product.cards().first(*key)) : std::string();
}

template <class Rec> CameraArrayInput camera_arrays(const Product &product, const char *unit)
{
    CameraArrayInput in{picture_title(product), "ON+OFF intensity", unit, {}};
    const std::vector<Rec> &records = product.records<Rec>();
    for (std::size_t i = 0; i < records.size(); ++i) {
        const CameraPlace place = product.camera_place(i);
        CameraArrayFilter f{place.filter, filter_name(product, place.filter), place.detector, {}};
        for (int e = 0; e < kPixels; ++e) f.value[static_cast<std::size_t>(e)] = records[i].spb[e];
        in.filters.push_back(std::move(f));
    }
    return in;
}

}  // namespace

PictureTitle picture_title(const Product &product)
{
    const CardStore &cards = product.cards();
    PictureTitle t;
    t.object = primary_value(cards, "OBJECT");
    t.filename = primary_value(cards, "FILENAME");
    if (t.filename.empty()) t.filename = file_name(product.path());
    t.aot = primary_value(cards, "EOHAAOTN");
    char date[16] = {}, time[16] = {};
    if (qr_isoutc(primary_value(cards, "EOHAUTCS").c_str(), date, time) == 0)
        t.date = std::string(date) + " " + time + " UT";
    return t;
}

SpectrumInput spectrum_input(const Product &product)
{
    SpectrumInput in{picture_title(product), {}, {}};
    for (float um : product.wavelengths_um()) {
        const double w = static_cast<double>(um);
        in.wavelength.push_back(std::isfinite(w) && w > 0 ? w : kNoValue);
    }
    const std::vector<data_pls> &records = product.records<data_pls>();
    for (std::size_t k = 0; k < records.size(); ++k) {
        SpectrumMeasurement m{static_cast<int>(k) + 1, records[k].dflag == kDarkFlag, {}, {}};
        for (int p = 0; p < kPlsPixels; ++p) {
            m.flux.push_back(product.flux_mjy(k, &data_pls::srce, p) / kMjyPerJy);
            m.error.push_back(std::fabs(product.flux_mjy(k, &data_pls::srcu, p)) / kMjyPerJy);
        }
        in.measurements.push_back(std::move(m));
    }
    return in;
}

SedInput sed_input(const Product &product)
{
    const bool ppap = product.type() == ProductType::ppap;
    SedInput in{picture_title(product), ppap ? "Flux density" : "Surface brightness",
                ppap ? "Jy" : "MJy/sr", {}};
    const std::vector<data_ppa> &records = product.records<data_ppa>();
    for (std::size_t k = 0; k < records.size(); ++k) {
        const int n = static_cast<int>(k) + 1;
        in.points.push_back({filter_name(product, n), aperture_name(product, n),
                             static_cast<double>(records[k].srce),
                             static_cast<double>(records[k].srcu)});
    }
    return in;
}

CameraArrayInput camera_array_input(const Product &product)
{
    if (product.type() == ProductType::pcap) return camera_arrays<data_pcap>(product, "Jy");
    return camera_arrays<data_pcae>(product, "MJy/sr");
}

RasterMapInput raster_map_input(const Product &product)
{
    RasterMapInput in{picture_title(product), "MJy/sr", kNoValue, kNoValue, {}};
    const std::vector<data_pcas> &records = product.records<data_pcas>();
    for (std::size_t i = 0; i < records.size(); ++i) {
        const CameraPlace place = product.camera_place(i);
        if (in.filters.empty() || in.filters.back().number != place.filter)
            in.filters.push_back({place.filter, filter_name(product, place.filter), place.detector, {}});
        RasterPoint point{place.point, place.line, place.pointing.ra, place.pointing.dec,
                          place.pointing.roll, {}};
        for (int e = 0; e < kPixels; ++e) point.brightness[static_cast<std::size_t>(e)] = records[i].brgt[e];
        in.filters.back().points.push_back(point);
    }
    return in;
}

std::string product_picture(const Product &product)
{
    switch (product.type()) {
    case ProductType::pla:
    case ProductType::psa: return spectrum_picture(spectrum_input(product));
    case ProductType::ppae:
    case ProductType::ppap: return sed_picture(sed_input(product));
    case ProductType::pcae:
    case ProductType::pcap: return camera_array_picture(camera_array_input(product));
    case ProductType::pcas: return raster_map_picture(raster_map_input(product));
    case ProductType::pga: break;
    }
    return {};
}

bool write_picture_file(const Product &product, const std::string &path, std::string &error)
{
    return write_text_file(path, product_picture(product), error);
}
