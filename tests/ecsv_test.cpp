// The ECSV writer: a table of awkward strings and extreme floats written by
// write_ecsv and read back by astropy, the independent reader the tables
// are made for (tests/ecsv_readback.py prints what astropy read as JSON);
// and the tables the writer refuses.
#include <gtest/gtest.h>
#include <yaml-cpp/yaml.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <sstream>

#include "ecsv.h"
#include "test_util.h"

namespace {

// What astropy reads from an ECSV file, parsed from the helper's JSON
// (JSON is YAML, so yaml-cpp reads it).
YAML::Node astropy_read(const std::string &path)
{
    const std::string script = std::string(FIXTURE_DIR) + "/../ecsv_readback.py";
    auto [json, ok] = run_command("/usr/bin/python3 '" + script + "' '" + path + "'");
    EXPECT_TRUE(ok) << "astropy could not read " << path
                    << " (tools/install-deps installs python3-astropy)";
    return ok ? YAML::Load(json) : YAML::Node();
}

// The exact value of a float the helper wrote as hexadecimal text.
double hex_value(const YAML::Node &node) { return std::strtod(node.as<std::string>().c_str(), nullptr); }

bool same_double(double a, double b)
{
    return (std::isnan(a) && std::isnan(b)) || (a == b && std::signbit(a) == std::signbit(b));
}

const float kFloats[] = {std::numeric_limits<float>::quiet_NaN(),
                         std::numeric_limits<float>::infinity(),
                         -std::numeric_limits<float>::infinity(),
                         0.1f,
                         std::numeric_limits<float>::max(),
                         std::numeric_limits<float>::denorm_min(),
                         -0.0f};
const double kDoubles[] = {1.0 / 3.0, 1e300, 5e-324, std::nan(""), 0.1, -2.5e-8, 16777217.0};
const std::int32_t kInts[] = {1, -2, 0, 2147483647, -2147483647 - 1, 42, 7};
const bool kBools[] = {true, false, true, true, false, false, true};
// Cell as written, and as astropy gives it back: it strips the blanks at
// the ends of a cell and reads an empty one as masked (null here).
const std::pair<const char *, const char *> kStrings[] = {
    {"O'Brien \"Jr\": a/b", "O'Brien \"Jr\": a/b"},
    {"#no_comment", "#no_comment"},
    {"  padded  ", "padded"},
    {"caf\xC3\xA9 \xE2\x9C\x93", "caf\xC3\xA9 \xE2\x9C\x93"},
    {"", nullptr},
    {"bad\xFF byte", "bad\xEF\xBF\xBD byte"},
    {"tab\there", "tab\xEF\xBF\xBDhere"},
};
constexpr std::size_t kRows = std::size(kFloats);

const char *const kDescription = " He said \"hi\": a/b #1, {x} [y] ";
const char *const kObject = "  O'BRIEN: NGC 1068 / M77 #1 ";

EcsvTable awkward_table()
{
    EcsvTable t;
    // The strings come first: a row that began with '#' would be a comment.
    auto s = t.add_column<std::string>("label \"quoted\"", "", "caf\xC3\xA9");
    auto n = t.add_column<std::int32_t>("n", "", "row number");
    auto f = t.add_column<float>("flux density", "mJy", kDescription);
    auto d = t.add_column<double>("ratio", "MJy/sr", "");
    auto b = t.add_column<bool>("flag", "", "");
    for (std::size_t i = 0; i < kRows; ++i) {
        t.push(n, kInts[i]);
        t.push(f, kFloats[i]);
        t.push(d, kDoubles[i]);
        t.push(s, kStrings[i].first);
        t.push(b, kBools[i]);
    }
    t.add_meta("OBJECT", std::string(kObject));
    t.add_meta("LOOKS_TRUE", std::string("true"));
    t.add_meta("LOOKS_NUMBER", std::string("123"));
    t.add_meta("LOOKS_NULL", std::string("null"));
    t.add_meta("NON_ASCII", std::string("\xC3\x85ngstr\xC3\xB6m \xFF"));
    t.add_meta("EMPTY", std::string());
    t.add_meta("COUNT", std::int64_t{-9007199254740993});
    t.add_meta("RA_PNT", 83.8221);
    t.add_meta("BIG", 1e20);
    t.add_meta("WHOLE", 5.0);
    t.add_meta("NOT_A_NUMBER", std::nan(""));
    t.add_meta("MINUS_INF", -std::numeric_limits<double>::infinity());
    t.add_meta("FLAG", true);
    t.add_meta("ABSENT", std::monostate{});
    return t;
}

}  // namespace

TEST(Ecsv, AstropyReadsBackEveryValueUnitDescriptionAndMetaEntry)
{
    ScratchDir dir;
    const std::string path = dir / "awkward.ecsv";
    std::string text;
    ASSERT_EQ(write_ecsv(awkward_table(), text), EcsvStatus::ok);
    write_file(path, text);
    // One line per row under the header and the line of names.
    std::istringstream lines(text);
    std::size_t data_lines = 0;
    for (std::string line; std::getline(lines, line);) data_lines += line.rfind('#', 0) != 0;
    EXPECT_EQ(data_lines, kRows + 1);

    const YAML::Node got = astropy_read(path);
    ASSERT_TRUE(got["columns"].IsSequence());
    const YAML::Node cols = got["columns"];
    ASSERT_EQ(cols.size(), 5u);
    const struct {
        const char *name, *dtype, *unit, *description;
    } kColumns[] = {{"label \"quoted\"", "str", "", "caf\xC3\xA9"},
                    {"n", "int32", "", "row number"},
                    {"flux density", "float32", "mJy", kDescription},
                    {"ratio", "float64", "MJy / sr", ""},
                    {"flag", "bool", "", ""}};
    for (std::size_t c = 0; c < 5; ++c) {
        SCOPED_TRACE(kColumns[c].name);
        EXPECT_EQ(cols[c]["name"].as<std::string>(), kColumns[c].name);
        EXPECT_EQ(cols[c]["dtype"].as<std::string>(), kColumns[c].dtype);
        EXPECT_EQ(cols[c]["unit"].IsNull() ? "" : cols[c]["unit"].as<std::string>(), kColumns[c].unit);
        EXPECT_EQ(cols[c]["description"].IsNull() ? "" : cols[c]["description"].as<std::string>(),
                  kColumns[c].description);
        ASSERT_EQ(cols[c]["cells"].size(), kRows);
    }
    for (std::size_t i = 0; i < kRows; ++i) {
        SCOPED_TRACE("row " + std::to_string(i));
        EXPECT_EQ(cols[1]["cells"][i].as<std::int64_t>(), kInts[i]);
        EXPECT_TRUE(same_double(hex_value(cols[2]["cells"][i]), kFloats[i]));
        EXPECT_TRUE(same_double(hex_value(cols[3]["cells"][i]), kDoubles[i]));
        const YAML::Node s = cols[0]["cells"][i];
        if (kStrings[i].second == nullptr)
            EXPECT_TRUE(s.IsNull());
        else
            EXPECT_EQ(s.as<std::string>(), kStrings[i].second);
        EXPECT_EQ(cols[4]["cells"][i].as<bool>(), kBools[i]);
    }

    // Meta: order, type and value. Strings that look like other YAML types
    // stay strings; floats without a point in their shortest form stay floats.
    const struct {
        const char *key, *type, *value;  // floats as decimal text
    } kMeta[] = {{"OBJECT", "str", kObject},
                 {"LOOKS_TRUE", "str", "true"},
                 {"LOOKS_NUMBER", "str", "123"},
                 {"LOOKS_NULL", "str", "null"},
                 {"NON_ASCII", "str", "\xC3\x85ngstr\xC3\xB6m \xEF\xBF\xBD"},
                 {"EMPTY", "str", ""},
                 {"COUNT", "int", "-9007199254740993"},
                 {"RA_PNT", "float", "83.8221"},
                 {"BIG", "float", "1e20"},
                 {"WHOLE", "float", "5"},
                 {"NOT_A_NUMBER", "float", "nan"},
                 {"MINUS_INF", "float", "-inf"},
                 {"FLAG", "bool", "true"},
                 {"ABSENT", "null", nullptr}};
    const YAML::Node meta = got["meta"];
    ASSERT_EQ(meta.size(), std::size(kMeta));
    for (std::size_t i = 0; i < std::size(kMeta); ++i) {
        SCOPED_TRACE(kMeta[i].key);
        EXPECT_EQ(meta[i][0].as<std::string>(), kMeta[i].key);
        EXPECT_EQ(meta[i][1].as<std::string>(), kMeta[i].type);
        if (kMeta[i].value == nullptr)
            EXPECT_TRUE(meta[i][2].IsNull());
        else if (std::string(kMeta[i].type) == "float")
            EXPECT_TRUE(same_double(hex_value(meta[i][2]), std::strtod(kMeta[i].value, nullptr)));
        else
            EXPECT_EQ(meta[i][2].as<std::string>(), kMeta[i].value);
    }
}

TEST(Ecsv, RefusesTablesItCannotWriteFaithfully)
{
    const auto ragged = [] {
        EcsvTable t;
        auto a = t.add_column<float>("a", "", "");
        t.add_column<float>("b", "", "");
        t.push(a, 1.0f);
        return t;
    };
    const auto twice_named = [] {
        EcsvTable t;
        t.add_column<float>("a", "", "");
        t.add_column<std::int32_t>("a", "", "");
        return t;
    };
    const auto unnamed = [] {
        EcsvTable t;
        t.add_column<float>("", "", "");
        return t;
    };
    const auto twice_keyed = [] {
        EcsvTable t;
        t.add_meta("K", 1.0);
        t.add_meta("K", 2.0);
        return t;
    };
    const struct {
        const char *what;
        EcsvTable table;
        EcsvStatus status;
    } cases[] = {{"ragged", ragged(), EcsvStatus::ragged_columns},
                 {"twice named", twice_named(), EcsvStatus::bad_column_name},
                 {"unnamed", unnamed(), EcsvStatus::bad_column_name},
                 {"twice keyed", twice_keyed(), EcsvStatus::bad_meta_key}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        std::ostringstream out;
        EXPECT_EQ(write_ecsv(c.table, out), c.status);
        EXPECT_EQ(out.str(), "");  // nothing of a refused table is written
    }
    // A cell longer than the writer's buffer is written whole.
    EcsvTable long_cell;
    const auto s = long_cell.add_column<std::string>("s", "", "");
    long_cell.push(s, std::string(3 << 20, 'x'));
    long_cell.push(s, "y");
    std::string text;
    ASSERT_EQ(write_ecsv(long_cell, text), EcsvStatus::ok);
    EXPECT_TRUE(text.ends_with("\ns\n" + std::string(3 << 20, 'x') + "\ny\n"));
    // A stream that fails is reported, not ignored.
    std::ostream broken(nullptr);
    EXPECT_EQ(write_ecsv(awkward_table(), broken), EcsvStatus::write_failed);
}
