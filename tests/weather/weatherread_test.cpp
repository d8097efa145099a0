// weatherread through the embedded host: the real weather files as arrays,
// compared with their own text as this test reads it; missing values; the
// site in the toolbox's conventions; every refusal with its identifier.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "support/testutil.h"

namespace {

namespace fs = std::filesystem;

std::string weatherFile(const std::string &name)
{
    return std::string(SIMBLOCKS_SOURCE_DIR) + "/examples/data/weather/" + name;
}
const std::string kChicago = weatherFile("USA_IL_Chicago-OHare.725300_TMY3.epw");
const std::string kPvgis = weatherFile("PVGIS_tmy_45.000_8.000_2005_2023.epw");

// The lines of a file, without their line ends.
std::vector<std::string> fileLines(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::vector<std::string> out;
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        out.push_back(line);
    }
    return out;
}

std::vector<std::string> commaFields(const std::string &line)
{
    std::vector<std::string> out;
    std::stringstream in(line);
    std::string f;
    while (std::getline(in, f, ',')) out.push_back(f);
    return out;
}

struct Read {
    testutil::CallOutcome call;
    const mxArray *w() const { return call.out.at(0); }
    const mxArray *field(const char *name) const { return mxGetField(w(), 0, name); }
    std::vector<double> column(const char *name) const
    {
        const mxArray *a = field(name);
        EXPECT_NE(a, nullptr) << name;
        if (a == nullptr) return {};
        EXPECT_EQ(mxGetN(a), 1u) << name;
        return std::vector<double>(mxGetPr(a), mxGetPr(a) + mxGetNumberOfElements(a));
    }
    std::string text(const mxArray *parent, const char *name) const
    {
        const mxArray *a = mxGetField(parent, 0, name);
        if (a == nullptr || !mxIsChar(a)) return "<none>";
        char *s = mxArrayToString(a);
        std::string out = s;
        mxFree(s);
        return out;
    }
    double number(const mxArray *parent, const char *name) const
    {
        const mxArray *a = mxGetField(parent, 0, name);
        return a != nullptr && mxIsDouble(a) ? mxGetPr(a)[0] : std::nan("");
    }
};

Read weatherread(mxArray *file, int nlhs = 1)
{
    return Read{testutil::callMex("weatherread", nlhs, testutil::Args{file})};
}

TEST(Weatherread, ChicagoAsItsText)
{
    Read r = weatherread(testutil::str(kChicago.c_str()));
    ASSERT_TRUE(r.call.ok) << r.call.error;
    std::vector<std::string> text = fileLines(kChicago);
    ASSERT_EQ(text.size(), 8u + 8760u);

    // Fields in order: the two times, the 29 data fields, the two sky
    // covers as fractions, units, site.
    ASSERT_EQ(mxGetNumberOfFields(r.w()), 35);
    EXPECT_STREQ(mxGetFieldNameByNumber(r.w(), 0), "time");
    EXPECT_STREQ(mxGetFieldNameByNumber(r.w(), 1), "interval_time");
    EXPECT_STREQ(mxGetFieldNameByNumber(r.w(), 2), "dry_bulb_temperature");
    EXPECT_STREQ(mxGetFieldNameByNumber(r.w(), 30), "liquid_precipitation_quantity");
    EXPECT_STREQ(mxGetFieldNameByNumber(r.w(), 31), "total_sky_fraction");
    EXPECT_STREQ(mxGetFieldNameByNumber(r.w(), 32), "opaque_sky_fraction");
    EXPECT_STREQ(mxGetFieldNameByNumber(r.w(), 33), "units");
    EXPECT_STREQ(mxGetFieldNameByNumber(r.w(), 34), "site");

    // Hourly rows: row r ends at hour r + 1 of the year; the radiation
    // stands for the middle of its hour.
    std::vector<double> time = r.column("time"), middle = r.column("interval_time");
    ASSERT_EQ(time.size(), 8760u);
    for (std::size_t i = 0; i < time.size(); ++i) {
        ASSERT_EQ(time[i], 3600.0 * static_cast<double>(i + 1)) << i;
        ASSERT_EQ(middle[i], time[i] - 1800) << i;
    }

    // Columns as written (file fields 7, 14, 15, 16, 23, 28), a missing-value
    // code as NaN: zenith luminance (field 20, code 9999) in some rows, the
    // albedo (field 33, code 999) in all; the weather codes (field 28) have
    // no missing-value code.
    struct Column {
        const char *name;
        int field;
        double missing;
    };
    const Column columns[] = {{"dry_bulb_temperature", 7, 99.9},   {"global_horizontal_radiation", 14, 9999},
                              {"direct_normal_radiation", 15, 9999}, {"diffuse_horizontal_radiation", 16, 9999},
                              {"total_sky_cover", 23, 99},          {"present_weather_codes", 28, INFINITY},
                              {"zenith_luminance", 20, 9999},       {"albedo", 33, 999}};
    int zenithMissing = 0;
    for (const Column &c : columns) {
        std::vector<double> v = r.column(c.name);
        ASSERT_EQ(v.size(), 8760u) << c.name;
        for (std::size_t i = 0; i < v.size(); ++i) {
            const double written = std::stod(commaFields(text[8 + i]).at(static_cast<std::size_t>(c.field - 1)));
            if (written >= c.missing) {
                EXPECT_TRUE(std::isnan(v[i])) << c.name << " row " << i;
                zenithMissing += std::string(c.name) == "zenith_luminance";
            } else {
                ASSERT_EQ(v[i], written) << c.name << " row " << i;
            }
        }
    }
    EXPECT_GT(zenithMissing, 0);
    EXPECT_LT(zenithMissing, 8760);
    EXPECT_TRUE(std::isnan(r.column("albedo")[100]));

    // The sky covers as fractions: the file's tenths (fields 23 and 24)
    // divided by 10, from 0 to 1.
    for (const auto &[fractionName, field] : {std::pair<const char *, int>{"total_sky_fraction", 23},
                                              std::pair<const char *, int>{"opaque_sky_fraction", 24}}) {
        std::vector<double> v = r.column(fractionName);
        ASSERT_EQ(v.size(), 8760u) << fractionName;
        for (std::size_t i = 0; i < v.size(); ++i)
            ASSERT_EQ(v[i], std::stod(commaFields(text[8 + i]).at(static_cast<std::size_t>(field - 1))) / 10)
                << fractionName << " row " << i;
    }

    // LOCATION,Chicago Ohare Intl Ap,IL,USA,TMY3,725300,41.98,-87.92,-6.0,201.0:
    // 87.92 degrees west, the zone's meridian at 90 west.
    const mxArray *site = r.field("site");
    ASSERT_NE(site, nullptr);
    EXPECT_EQ(r.text(site, "name"), "Chicago Ohare Intl Ap");
    EXPECT_EQ(r.text(site, "region"), "IL");
    EXPECT_EQ(r.text(site, "country"), "USA");
    EXPECT_EQ(r.text(site, "source"), "TMY3");
    EXPECT_EQ(r.text(site, "wmo"), "725300");
    EXPECT_EQ(r.number(site, "latitude"), 41.98);
    EXPECT_EQ(r.number(site, "longitude"), 87.92);
    EXPECT_EQ(r.number(site, "longitude_timezone"), 90);
    EXPECT_EQ(r.number(site, "time_zone"), -6);
    EXPECT_EQ(r.number(site, "elevation"), 201);

    const mxArray *units = r.field("units");
    ASSERT_NE(units, nullptr);
    EXPECT_EQ(mxGetNumberOfFields(units), 31);
    EXPECT_EQ(r.text(units, "total_sky_fraction"), "fraction");
    EXPECT_EQ(r.text(units, "dry_bulb_temperature"), "degC");
    EXPECT_EQ(r.text(units, "global_horizontal_radiation"), "Wh/m2");
    EXPECT_EQ(r.text(units, "wind_speed"), "m/s");
}

// A site east of Greenwich in the zone of UTC+1: longitudes negative.
TEST(Weatherread, SiteEastOfGreenwich)
{
    Read r = weatherread(testutil::str(kPvgis.c_str()));
    ASSERT_TRUE(r.call.ok) << r.call.error;
    const mxArray *site = r.field("site");
    EXPECT_EQ(r.number(site, "latitude"), 45);
    EXPECT_EQ(r.number(site, "longitude"), -8);
    EXPECT_EQ(r.number(site, "longitude_timezone"), -15);
    EXPECT_EQ(r.number(site, "elevation"), 250);
    EXPECT_EQ(r.column("time").size(), 8760u);
}

// Small files made from the Chicago file: two days at half-hour records,
// then broken variants.
class WeatherreadFiles : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir_ = fs::temp_directory_path() / ("weatherread-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
                                            "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir_);
        lines_ = fileLines(kChicago);
    }
    void TearDown() override { fs::remove_all(dir_); }

    std::string write(const std::string &name, const std::vector<std::string> &lines)
    {
        const std::string path = (dir_ / name).string();
        std::ofstream out(path, std::ios::binary);
        for (const std::string &l : lines) out << l << "\n";
        return path;
    }

    fs::path dir_;
    std::vector<std::string> lines_;
};

TEST_F(WeatherreadFiles, HalfHourRecordsAndAMissingValue)
{
    std::vector<std::string> lines(lines_.begin(), lines_.begin() + 7);
    lines.push_back("DATA PERIODS,1,2,Data,Sunday, 1/ 1,1/1");
    for (int h = 1; h <= 24; ++h) {
        for (int minute : {30, 60}) {
            std::vector<std::string> f = commaFields(lines_[static_cast<std::size_t>(8 + h - 1)]);
            f[4] = std::to_string(minute);
            if (h == 5 && minute == 30) f[6] = "99.9";  // dry bulb missing
            if (h == 6 && minute == 30) f[22] = "99";   // total sky cover missing
            std::string row;
            for (std::size_t k = 0; k < f.size(); ++k) row += (k ? "," : "") + f[k];
            lines.push_back(row);
        }
    }
    Read r = weatherread(testutil::str(write("half.epw", lines).c_str()));
    ASSERT_TRUE(r.call.ok) << r.call.error;
    std::vector<double> time = r.column("time"), middle = r.column("interval_time"), t = r.column("dry_bulb_temperature");
    ASSERT_EQ(time.size(), 48u);
    EXPECT_EQ(time[0], 1800);
    EXPECT_EQ(time[1], 3600);
    EXPECT_EQ(middle[0], 900);
    EXPECT_EQ(time[47], 86400);
    EXPECT_TRUE(std::isnan(t[8]));
    EXPECT_EQ(t[9], std::stod(commaFields(lines_[8 + 4])[6]));
    // A missing cover (99) is NaN in the tenths and in the fraction alike.
    EXPECT_TRUE(std::isnan(r.column("total_sky_cover")[10]));
    EXPECT_TRUE(std::isnan(r.column("total_sky_fraction")[10]));
    EXPECT_EQ(r.column("total_sky_fraction")[11], std::stod(commaFields(lines_[8 + 5])[22]) / 10);
}

TEST_F(WeatherreadFiles, Refusals)
{
    auto refused = [](Read r, const char *id, const std::string &text) {
        EXPECT_FALSE(r.call.ok);
        EXPECT_EQ(r.call.id, id);
        EXPECT_NE(r.call.error.find(text), std::string::npos) << r.call.error;
        EXPECT_TRUE(r.call.out.empty());
    };
    refused(Read{testutil::callMex("weatherread", 1, testutil::Args{})}, "simblocks:weatherread:wrongInputCount",
            "Need 1 input argument");
    refused(Read{testutil::callMex("weatherread", 1, testutil::Args{testutil::str("a"), testutil::str("b")})},
            "simblocks:weatherread:wrongInputCount", "Need 1 input argument");
    refused(weatherread(testutil::str(kChicago.c_str()), 2), "simblocks:weatherread:wrongOutputCount", "One output");
    refused(weatherread(testutil::num(3)), "simblocks:weatherread:notText", "must be a text");
    refused(weatherread(mxCreateCellMatrix(1, 1)), "simblocks:weatherread:notText", "must be a text");
    refused(weatherread(mxCreateCharMatrixFromStrings(2, std::vector<const char *>{"ab", "cd"}.data())),
            "simblocks:weatherread:notText", "must be a text");
    // A zero character would cut the name short: another file would be read.
    mxArray *nul = testutil::str((kChicago + "x").c_str());
    mxGetChars(nul)[kChicago.size()] = 0;
    refused(weatherread(nul), "simblocks:weatherread:notText", "zero character");

    const std::string missing = (dir_ / "none.epw").string();
    refused(weatherread(testutil::str(missing.c_str())), "simblocks:weatherread:cannotOpen",
            "cannot open the weather file '" + missing + "'");
    refused(weatherread(testutil::str(dir_.string().c_str())), "simblocks:weatherread:cannotOpen", "it is a folder");
    refused(weatherread(testutil::str(write("empty.epw", {}).c_str())), "simblocks:weatherread:badFile", "is empty");

    // A shifted row (a field lost) and a word in a number, named by line.
    std::vector<std::string> lines(lines_.begin(), lines_.begin() + 20);
    lines[12] = lines[12].substr(0, lines[12].rfind(','));
    refused(weatherread(testutil::str(write("short.epw", lines).c_str())), "simblocks:weatherread:badFile",
            "line 13: a data row has 35 fields, this one 34");
    lines = std::vector<std::string>(lines_.begin(), lines_.begin() + 20);
    std::vector<std::string> f = commaFields(lines[15]);
    f[6] = "-12.2x";
    lines[15].clear();
    for (std::size_t k = 0; k < f.size(); ++k) lines[15] += (k ? "," : "") + f[k];
    refused(weatherread(testutil::str(write("word.epw", lines).c_str())), "simblocks:weatherread:badFile",
            "line 16: field 7 (dry_bulb_temperature): '-12.2x' is not a number");
}

}  // namespace
