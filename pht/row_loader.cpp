// The row loader; see row_loader.h. The tables below say which table column
// feeds which record field, in the order the columns are read.
#include "row_loader.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <span>
#include <string>

#include "fits_table.h"

namespace {

// Field fetches into record fields of n elements. Only the first n of the
// column's values are read and converted, so a column with more elements
// than its field never writes past it and costs no more than the field; a
// column with fewer leaves the remaining elements as they were. A failed
// fetch (column 0, wrong type) leaves the field unchanged, as the table
// library does.
template <class T> void fetch_values(int unit, int col, T *field, std::size_t n)
{
    const int most = static_cast<int>(std::min<std::size_t>(n, INT_MAX));
    if constexpr (std::is_same_v<T, float>) tgetr_max(unit, col, field, most);
    else tgeti_max(unit, col, field, most);
}

template <class T, std::size_t N> void fetch(int unit, int col, T (&field)[N]) { fetch_values(unit, col, field, N); }
template <class T> void fetch(int unit, int col, T &field) { fetch_values(unit, col, &field, 1); }

template <class M> struct member_of;
template <class R, class T> struct member_of<T R::*> {
    using record = R;
};
template <auto M> using record_of = typename member_of<decltype(M)>::record;

// A table column, named by what follows the product's prefix, and the
// record field it is read into.
template <class Rec> struct RecordColumn {
    const char *suffix;
    bool shown;  // false: read only when all columns are read
    void (*read)(int unit, int col, Rec &rec);
};

template <auto M> void read_member(int unit, int col, record_of<M> &rec) { fetch(unit, col, rec.*M); }

template <auto M> constexpr RecordColumn<record_of<M>> shown(const char *suffix)
{
    return {suffix, true, &read_member<M>};
}
template <auto M> constexpr RecordColumn<record_of<M>> extra(const char *suffix)
{
    return {suffix, false, &read_member<M>};
}

// Column names match by prefix in the table library, so a short name (SPB,
// B1, OFF) stands before the longer names that begin with it.
const RecordColumn<data_pcae> kPcaeColumns[] = {
    shown<&data_pcae::nbck>("NBCK"), shown<&data_pcae::npix>("NPIX"), shown<&data_pcae::back>("BACK"),
    shown<&data_pcae::bcku>("BCKU"), shown<&data_pcae::bck1>("BCK1"), shown<&data_pcae::bk1u>("BK1U"),
    shown<&data_pcae::bck2>("BCK2"), shown<&data_pcae::bk2u>("BK2U"), shown<&data_pcae::spb>("SPB"),
    shown<&data_pcae::spbu>("SPBU"), shown<&data_pcae::b1>("B1"),     shown<&data_pcae::b1u>("B1U"),
    shown<&data_pcae::b2>("B2"),     shown<&data_pcae::b2u>("B2U"),   extra<&data_pcae::filt>("FILT"),
    extra<&data_pcae::srce>("SRCE"), extra<&data_pcae::srcu>("SRCU"),
};

const RecordColumn<data_pcap> kPcapColumns[] = {
    shown<&data_pcap::nbck>("NBCK"), shown<&data_pcap::npix>("NPIX"), shown<&data_pcap::peak>("PEAK"),
    shown<&data_pcap::pku>("PKU"),   shown<&data_pcap::bcks>("BCKS"), shown<&data_pcap::bksu>("BKSU"),
    shown<&data_pcap::bck1>("BCK1"), shown<&data_pcap::bk1u>("BK1U"), shown<&data_pcap::bck2>("BCK2"),
    shown<&data_pcap::bk2u>("BK2U"), shown<&data_pcap::bins>("BINS"), shown<&data_pcap::bisu>("BISU"),
    shown<&data_pcap::bin1>("BIN1"), shown<&data_pcap::bi1u>("BI1U"), shown<&data_pcap::bin2>("BIN2"),
    shown<&data_pcap::bi2u>("BI2U"), shown<&data_pcap::off>("OFF"),   shown<&data_pcap::offu>("OFFU"),
    shown<&data_pcap::fitu>("FITU"), shown<&data_pcap::stat>("STAT"), shown<&data_pcap::spb>("SPB"),
    shown<&data_pcap::spbu>("SPBU"), shown<&data_pcap::b1>("B1"),     shown<&data_pcap::b1u>("B1U"),
    shown<&data_pcap::b2>("B2"),     shown<&data_pcap::b2u>("B2U"),   extra<&data_pcap::filt>("FILT"),
    extra<&data_pcap::srce>("SRCE"), extra<&data_pcap::srcu>("SRCU"), extra<&data_pcap::ncyc>("NCYC"),
};

const RecordColumn<data_pcas> kPcasColumns[] = {
    shown<&data_pcas::ra>("RA"),     shown<&data_pcas::rau>("RAU"),   shown<&data_pcas::dec>("DEC"),
    shown<&data_pcas::decu>("DECU"), shown<&data_pcas::roll>("ROLL"), shown<&data_pcas::rolu>("ROLU"),
    shown<&data_pcas::avgb>("AVGB"), shown<&data_pcas::brgt>("BRGT"), shown<&data_pcas::brgu>("BRGU"),
    extra<&data_pcas::filt>("FILT"), extra<&data_pcas::npix>("NPIX"), extra<&data_pcas::stat>("STAT"),
    extra<&data_pcas::fill>("FILL"),
};

// PPAE products have the first 11 columns, PPAP products all 13.
const RecordColumn<data_ppa> kPpaColumns[] = {
    shown<&data_ppa::nbck>("NBCK"), shown<&data_ppa::srce>("SRCE"), shown<&data_ppa::srcu>("SRCU"),
    shown<&data_ppa::back>("BACK"), shown<&data_ppa::bcku>("BCKU"), shown<&data_ppa::spb>("SPB"),
    shown<&data_ppa::spbu>("SPBU"), shown<&data_ppa::bck1>("BCK1"), shown<&data_ppa::bk1u>("BK1U"),
    shown<&data_ppa::bck2>("BCK2"), shown<&data_ppa::bk2u>("BK2U"), shown<&data_ppa::bint>("BINT"),
    shown<&data_ppa::binu>("BINU"),
};
constexpr std::size_t kPpaeColumns = 11;

// The SPB arrays are read for the verbose tables and the images only.
const RecordColumn<data_pls> kPlsColumns[] = {
    shown<&data_pls::dflag>("PDFLG"), shown<&data_pls::nbck>("PNBCK"), shown<&data_pls::srce>("PSRCE"),
    shown<&data_pls::srcu>("PSRCU"),  shown<&data_pls::bck>("PBCK"),   shown<&data_pls::bcku>("PBCKU"),
    shown<&data_pls::bck1>("PBCK1"),  shown<&data_pls::bk1u>("PBK1U"), shown<&data_pls::bck2>("PBCK2"),
    shown<&data_pls::bk2u>("PBK2U"),  extra<&data_pls::spb>("PSPB"),   extra<&data_pls::spbu>("PSPBU"),
};

// The columns and the column-name prefixes of each record type. A column is
// looked up under each prefix in turn until the table has that name (a
// spectrometer product is PSA when its PLA names are missing).
template <class Rec> struct Layout {
    std::span<const RecordColumn<Rec>> columns;
    std::span<const char *const> prefixes;
};

template <class Rec> Layout<Rec> layout_of(ProductType type);

constexpr const char *kPcae[] = {"PCAE"};
constexpr const char *kPcap[] = {"PCAP"};
constexpr const char *kPcas[] = {"PCAS"};
constexpr const char *kPpae[] = {"PPAE"};
constexpr const char *kPpap[] = {"PPAP"};
constexpr const char *kPls[] = {"PLA", "PSA"};

template <> Layout<data_pcae> layout_of(ProductType) { return {kPcaeColumns, kPcae}; }
template <> Layout<data_pcap> layout_of(ProductType) { return {kPcapColumns, kPcap}; }
template <> Layout<data_pcas> layout_of(ProductType) { return {kPcasColumns, kPcas}; }
template <> Layout<data_pls> layout_of(ProductType) { return {kPlsColumns, kPls}; }
template <> Layout<data_ppa> layout_of(ProductType type)
{
    if (type == ProductType::ppap) return {kPpaColumns, kPpap};
    return {std::span(kPpaColumns).first(kPpaeColumns), kPpae};
}

// Reads the next row of the input; false (after the message, when report)
// when there is none or it cannot be read.
bool next_row(bool report)
{
    tblread(kInputUnit);
    const int status = itstat();
    if (status > 0 && report) std::fputs("error reading tablefile\n", stderr);
    if (status < 0 && report) std::fputs("EOF reading tablefile\n", stderr);
    return status == 0;
}

// Field numbers of the columns, 0 when not looked up or not found.
template <class Rec> std::vector<int> find_columns(const Layout<Rec> &layout, bool all_columns)
{
    std::vector<int> col(layout.columns.size(), 0);
    for (std::size_t i = 0; i < col.size(); ++i) {
        if (!layout.columns[i].shown && !all_columns) continue;
        for (const char *prefix : layout.prefixes) {
            tindp(kInputUnit, (std::string(prefix) + layout.columns[i].suffix).c_str(), &col[i]);
            if (itstat() != 1) break;
        }
    }
    return col;
}

}  // namespace

template <class Rec>
std::vector<Rec> read_rows(ProductType type, const RowPlan &plan, bool all_columns)
{
    const Layout<Rec> layout = layout_of<Rec>(type);
    const std::vector<int> col = find_columns(layout, all_columns);
    // Records are added as rows are read, not for the count planned: a
    // table's row count may promise far more rows than its file holds.
    std::vector<Rec> records;
    records.reserve(std::min<std::size_t>(plan.count, kMaxRecords));
    const std::size_t group = std::max<std::size_t>(plan.group, 1);
    std::size_t end = 0;  // one past the last record read
    for (std::size_t start = 0; start < plan.count; start += group) {
        for (std::size_t k = start; k < std::min(start + group, plan.count); ++k) {
            if (!next_row(k >= plan.reported_from)) break;
            if (records.size() <= k) records.resize(k + 1);
            for (std::size_t i = 0; i < col.size(); ++i)
                if (col[i] != 0) layout.columns[i].read(kInputUnit, col[i], records[k]);
            end = k + 1;
        }
    }
    records.resize(end);
    return records;
}

template std::vector<data_pcae> read_rows(ProductType, const RowPlan &, bool);
template std::vector<data_pcap> read_rows(ProductType, const RowPlan &, bool);
template std::vector<data_pcas> read_rows(ProductType, const RowPlan &, bool);
template std::vector<data_ppa> read_rows(ProductType, const RowPlan &, bool);
template std::vector<data_pls> read_rows(ProductType, const RowPlan &, bool);
