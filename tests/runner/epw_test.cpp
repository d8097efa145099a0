// Weather files (EPW) as a source: the two real files read completely and
// compared with their own text, the site and its sign conversion, the time
// mapping and interpolation, a leap-year file, missing values, broken files;
// the model-file syntax (site parameters, scaled columns) and a run of a
// model of sources alone.
#include <cmath>

#include "runner_support.h"
#include "epw_source.h"
#include "model_file.h"
#include "runner.h"

using namespace runnertest;
using simrun::EpwSignal;
using simrun::ModelError;

namespace {

const std::string kChicago = "USA_IL_Chicago-OHare.725300_TMY3.epw";
const std::string kPvgis = "PVGIS_tmy_45.000_8.000_2005_2023.epw";

std::string weatherPath(const std::string &name) { return examplesDir() + "/data/weather/" + name; }

// The file's text, as this test reads it: header lines, and per data row
// its text and its fields split at commas.
struct EpwText {
    std::vector<std::string> header, rows;

    explicit EpwText(const std::string &name)
    {
        std::vector<std::string> all = lines(readFile(weatherPath(name)));
        header.assign(all.begin(), all.begin() + 8);
        rows.assign(all.begin() + 8, all.end());
    }
    // Field f (1-based, as the format counts) of row r (0-based) as a number.
    double field(std::size_t r, int f) const { return std::stod(splitCommas(rows.at(r)).at(static_cast<std::size_t>(f - 1))); }
    std::string text() const
    {
        std::string s;
        for (const std::string &l : header) s += l + "\n";
        for (const std::string &l : rows) s += l + "\n";
        return s;
    }
};

std::vector<double> at(EpwSignal &s, double t)
{
    std::vector<double> v(static_cast<std::size_t>(s.width()));
    s.fill(t, v.data());
    return v;
}

double site(const simrun::EpwSite &s, const char *name)
{
    double v = std::nan("");
    EXPECT_TRUE(simrun::epwSiteValue(s, name, v)) << name;
    return v;
}

TEST(EpwFiles, RealFilesReadCompletelyAsWritten)
{
    for (const std::string &name : {kChicago, kPvgis}) {
        EpwText text(name);
        simrun::EpwData d = simrun::readEpw(weatherPath(name));
        ASSERT_EQ(d.time.size(), 8760u) << name;
        ASSERT_EQ(text.rows.size(), 8760u) << name;
        EXPECT_FALSE(d.leapYear);
        EXPECT_EQ(d.recordsPerHour, 1);
        // Every field of every row equals the number its text reads as.
        for (std::size_t r = 0; r < text.rows.size(); ++r) {
            std::vector<std::string> f = splitCommas(text.rows[r]);
            ASSERT_EQ(f.size(), 35u);
            for (int k = 0; k < simrun::kEpwNumFields; ++k)
                ASSERT_EQ(d.values[static_cast<std::size_t>(k)][r], std::stod(f[static_cast<std::size_t>(6 + k)]))
                    << name << " row " << r << " field " << simrun::kEpwFields[k].name;
            ASSERT_EQ(d.line[r], r + 9);
        }
        // Hourly rows, hour h of day d ending at (d - 1) * 86400 + h * 3600.
        EXPECT_EQ(d.time.front(), 3600);
        EXPECT_EQ(d.time[24], 86400 + 3600);
        EXPECT_EQ(d.time.back(), 365 * 86400.0);
    }

    // Chicago's first and last rows, read off the file.
    simrun::EpwData c = simrun::readEpw(weatherPath(kChicago));
    int dry = simrun::epwFieldIndex("dry_bulb_temperature"), rh = simrun::epwFieldIndex("relative_humidity"),
        sky = simrun::epwFieldIndex("total_sky_cover"), pressure = simrun::epwFieldIndex("atmospheric_station_pressure");
    EXPECT_EQ(c.values[dry][0], -12.2);
    EXPECT_EQ(c.values[rh][0], 73);
    EXPECT_EQ(c.values[pressure][0], 99500);
    EXPECT_EQ(c.values[sky][0], 9);
    EXPECT_EQ(c.values[dry][8759], -6.1);
    EXPECT_EQ(c.values[rh][8759], 81);
    EXPECT_EQ(simrun::epwFieldIndex("liquid_precipitation_quantity"), 28);
    EXPECT_EQ(simrun::epwFieldIndex("dry bulb"), -1);

    // The site: as written, and in the blocks' west-positive convention.
    EXPECT_EQ(c.site.city, "Chicago Ohare Intl Ap");
    EXPECT_EQ(c.site.wmo, "725300");
    EXPECT_EQ(c.site.latitude, 41.98);
    EXPECT_EQ(c.site.longitude, -87.92);
    EXPECT_EQ(c.site.timeZone, -6);
    EXPECT_EQ(site(c.site, "latitude"), 41.98);
    EXPECT_EQ(site(c.site, "longitude"), 87.92);            // 87.92 degrees west
    EXPECT_EQ(site(c.site, "longitude_timezone"), 90);      // UTC-6: the meridian 90 degrees west
    EXPECT_EQ(site(c.site, "time_zone"), -6);
    EXPECT_EQ(site(c.site, "elevation"), 201);
    simrun::EpwData p = simrun::readEpw(weatherPath(kPvgis));  // HOLIDAYS/DAYLIGHT SAVING, without the S
    EXPECT_EQ(site(p.site, "latitude"), 45);
    EXPECT_EQ(site(p.site, "longitude"), -8);                // 8 degrees east
    EXPECT_EQ(site(p.site, "longitude_timezone"), -15);      // UTC+1: 15 degrees east
    EXPECT_EQ(site(p.site, "elevation"), 250);
    double unused = 0;
    EXPECT_FALSE(simrun::epwSiteValue(p.site, "altitude", unused));
}

TEST(EpwFiles, TimeMappingInterpolationAndTheYearsEnds)
{
    EpwText text(kChicago);
    EpwSignal s("source 'w'", weatherPath(kChicago), {"dry_bulb_temperature", "global_horizontal_radiation"});
    ASSERT_EQ(s.width(), 2);
    EXPECT_EQ(s.columnNames(), (std::vector<std::string>{"dry_bulb_temperature", "global_horizontal_radiation"}));
    EXPECT_EQ(s.note(), "");
    auto T = [&](std::size_t r) { return text.field(r, 7); };
    auto G = [&](std::size_t r) { return text.field(r, 14); };

    // The first row (1 January, hour 1) stands at 01:00; the last (31
    // December, hour 24) at the end of the year, which is also 1 January 00:00.
    EXPECT_EQ(at(s, 3600)[0], T(0));
    EXPECT_EQ(at(s, 8759 * 3600.0)[0], T(8758));
    EXPECT_EQ(at(s, 365 * 86400.0)[0], T(8759));
    EXPECT_EQ(at(s, 0)[0], T(8759));
    // Between rows: linear; across the turn of the year from the last row to the first.
    EXPECT_NEAR(at(s, 5400)[0], (T(0) + T(1)) / 2, 1e-12);
    EXPECT_NEAR(at(s, 900)[0], T(8759) + (T(0) - T(8759)) / 4, 1e-12);
    EXPECT_NEAR(at(s, 365 * 86400.0 - 2400)[0], T(8758) + (T(8759) - T(8758)) / 3, 1e-12);
    // The next year repeats the file; so does the year before.
    EXPECT_EQ(at(s, 365 * 86400.0 + 3600)[0], T(0));
    EXPECT_EQ(at(s, -365 * 86400.0 + 7200)[0], T(1));

    // Radiation is the amount of the hour before the row's time: it stands
    // for the middle of that hour. Noon on 21 June (day 172) is row 4115's end.
    std::size_t r = 171 * 24 + 11;
    ASSERT_EQ(splitCommas(text.rows[r])[1], "6");
    ASSERT_EQ(splitCommas(text.rows[r])[2], "21");
    ASSERT_EQ(splitCommas(text.rows[r])[3], "12");
    ASSERT_GT(G(r), 0);
    EXPECT_EQ(at(s, r * 3600.0 + 1800)[1], G(r));           // 11:30, the middle of its hour
    EXPECT_NEAR(at(s, (r + 1) * 3600.0)[1], (G(r) + G(r + 1)) / 2, 1e-9);  // 12:00, between two middles
    EXPECT_NEAR(at(s, (r + 1) * 3600.0)[0], T(r), 1e-12);   // the temperature is the value at 12:00
    EXPECT_EQ(at(s, 1800)[1], G(0));
}

TEST(EpwFiles, LeapYearFileFromChicago)
{
    // 29 February made from 28 February's rows, one degree warmer.
    EpwText text(kChicago);
    std::vector<std::string> rows;
    std::size_t feb28 = (31 + 27) * 24;
    for (std::size_t r = 0; r < text.rows.size(); ++r) {
        rows.push_back(text.rows[r]);
        if (r == feb28 + 23)  // after 28 February's last hour
            for (std::size_t h = 0; h < 24; ++h) {
                std::vector<std::string> f = splitCommas(text.rows[feb28 + h]);
                f[2] = "29";
                f[6] = std::to_string(std::stod(f[6]) + 1);
                std::string line;
                for (const std::string &x : f) line += (line.empty() ? "" : ",") + x;
                rows.push_back(line);
            }
    }
    text.rows = rows;
    TempDir dir;
    writeFile(dir / "leap.epw", text.text());
    simrun::EpwData d = simrun::readEpw(dir / "leap.epw");
    ASSERT_EQ(d.time.size(), 8784u);
    EXPECT_TRUE(d.leapYear);
    EXPECT_EQ(d.yearLength(), 366 * 86400.0);

    EpwSignal s("source 'w'", dir / "leap.epw", {"dry_bulb_temperature"});
    double feb28Noon = 58 * 86400.0 + 12 * 3600;
    EXPECT_EQ(at(s, feb28Noon)[0], text.field(feb28 + 11, 7));
    EXPECT_NEAR(at(s, feb28Noon + 86400)[0], text.field(feb28 + 11, 7) + 1, 1e-12);  // 29 February, noon
    EXPECT_EQ(at(s, 60 * 86400.0 + 3600)[0], text.field(feb28 + 48, 7));              // 1 March, 01:00
    EXPECT_EQ(at(s, 366 * 86400.0)[0], text.field(8783, 7));                           // the year's last row
    EXPECT_EQ(at(s, 366 * 86400.0 + 3600)[0], text.field(0, 7));                       // and again from the start
}

std::string signalError(const std::string &fileText, const std::vector<std::string> &fields = {"dry_bulb_temperature"})
{
    TempDir dir;
    std::string path = dir / "w.epw";
    writeFile(path, fileText);
    try {
        EpwSignal s("source 'w'", path, fields);
    } catch (const ModelError &e) {
        std::string what = e.what();
        std::size_t at = what.find(path);
        return at == std::string::npos ? what : what.replace(at, path.size(), "F");
    }
    ADD_FAILURE() << "accepted";
    return std::string();
}

TEST(EpwFiles, MissingValues)
{
    // PVGIS writes the missing-value code 99 in every row of its sky cover.
    std::string pvgis = readFile(weatherPath(kPvgis));
    EXPECT_EQ(signalError(pvgis, {"dry_bulb_temperature", "total_sky_cover"}),
              "source 'w': 'F': the field 'total_sky_cover' is missing in every row (missing-value code 99)");

    // Gaps in Chicago's humidity (two rows) and temperature (the first row):
    // filled linearly between the neighbouring rows; before the first valid
    // row the first valid value holds.
    EpwText text(kChicago);
    auto setField = [&](std::size_t r, int f, const std::string &v) {
        std::vector<std::string> x = splitCommas(text.rows[r]);
        x[static_cast<std::size_t>(f - 1)] = v;
        std::string line;
        for (const std::string &y : x) line += (line.empty() ? "" : ",") + y;
        text.rows[r] = line;
    };
    EpwText original(kChicago);
    setField(100, 9, "999");
    setField(101, 9, "999.0");
    setField(0, 7, "99.9");
    TempDir dir;
    writeFile(dir / "gaps.epw", text.text());
    EpwSignal s("source 'w'", dir / "gaps.epw", {"relative_humidity", "dry_bulb_temperature", "wind_speed"});
    EXPECT_EQ(s.note(), "source 'w': '" + (dir / "gaps.epw") +
                            "': missing values filled in linearly between the neighbouring rows: relative_humidity 2, "
                            "dry_bulb_temperature 1");
    double before = original.field(99, 9), after = original.field(102, 9);
    EXPECT_NEAR(at(s, 101 * 3600.0)[0], before + (after - before) / 3, 1e-12);
    EXPECT_NEAR(at(s, 102 * 3600.0)[0], before + 2 * (after - before) / 3, 1e-12);
    EXPECT_EQ(at(s, 3600)[1], original.field(1, 7));
}

TEST(EpwFiles, BrokenFilesNameTheFileAndTheLine)
{
    EpwText good(kChicago);
    auto variant = [&](auto change) {
        EpwText t = good;
        change(t);
        return signalError(t.text());
    };
    const std::string f = "source 'w': 'F'";
    EXPECT_EQ(signalError(""), f + " is empty");
    EXPECT_EQ(signalError(good.header[0] + "\n" + good.header[1] + "\n"),
              f + ": the file ends after line 2, before its TYPICAL/EXTREME PERIODS header line");
    EXPECT_EQ(variant([](EpwText &t) { t.rows.clear(); }), f + " has no data rows after its eight header lines");
    // A header line missing: the next one stands in its place.
    EXPECT_EQ(variant([](EpwText &t) { t.header.erase(t.header.begin() + 1); t.header.push_back(t.rows[0]); }),
              f + ", line 2: expected the DESIGN CONDITIONS header line, found '" + good.header[2].substr(0, 40) + "...'");
    EXPECT_EQ(variant([](EpwText &t) { t.header[0] = "LOCATION,Chicago,IL,USA,TMY3,725300,41.98,west,-6.0,201.0"; }),
              f + ", line 1: the longitude 'west' is not a number");
    EXPECT_EQ(variant([](EpwText &t) { t.header[0] = "LOCATION,Chicago,IL,USA,TMY3,725300,41.98,-87.92"; }),
              f + ", line 1: the LOCATION line has 8 fields; it needs 10 (LOCATION, city, region, country, source, "
                  "WMO number, latitude, longitude, time zone, elevation)");
    EXPECT_EQ(variant([](EpwText &t) { t.header[7] = "DATA PERIODS,1,7,Data,Sunday, 1/ 1,12/31"; }),
              f + ", line 8: the number of records per hour must be a whole divisor of 60, and the number of periods whole");
    // A truncated last row, a row short of a field, a field that is not a number.
    std::string cut = good.rows.back().substr(0, 60);
    EXPECT_EQ(variant([&](EpwText &t) { t.rows.back() = cut; }),
              f + ", line 8768: a data row has 35 fields, this one " + std::to_string(splitCommas(cut).size()) +
                  " (a truncated row?)");
    EXPECT_EQ(variant([](EpwText &t) { t.rows[2] = t.rows[2].substr(0, t.rows[2].rfind(',')); }),
              f + ", line 11: a data row has 35 fields, this one 34 (a truncated row?)");
    EXPECT_EQ(variant([](EpwText &t) { t.rows[0].replace(t.rows[0].find(",-12.2,"), 7, ",-12.2x,"); }),
              f + ", line 9: field 7 (dry_bulb_temperature): '-12.2x' is not a number");
    EXPECT_EQ(variant([](EpwText &t) { t.rows[0].replace(0, 6, "1986,13"); }),
              f + ", line 9: field 2 (month): 13 is not a whole number from 1 to 12");
    // Rows out of order, or the same hour twice.
    EXPECT_EQ(variant([](EpwText &t) { std::swap(t.rows[9], t.rows[10]); }),
              f + ", line 19: the row of 1/1 hour 10 does not come after the row of 1/1 hour 11 (rows must run forward in time)");
    EXPECT_EQ(variant([](EpwText &t) { t.rows[5] = t.rows[4]; }),
              f + ", line 14: the row of 1/1 hour 5 does not come after the row of 1/1 hour 5 (rows must run forward in time)");
    EXPECT_EQ(variant([](EpwText &t) { t.rows.insert(t.rows.begin() + 3, ""); }), f + ", line 12: an empty line between data rows");
    // Fields named wrongly.
    std::string chicago = good.text();
    EXPECT_EQ(signalError(chicago, {"dry_bulb_temperature", "dry_bulb_temperature"}),
              f + ": the field 'dry_bulb_temperature' is named twice");
    EXPECT_NE(signalError(chicago, {"temperature"}).find(f + ": no field 'temperature' in a weather file (its fields: "
                                                         "dry_bulb_temperature, dew_point_temperature, "),
              std::string::npos);
    // What other tools write is read: CRLF line ends, a trailing comma, spaces.
    EpwText crlf = good;
    std::string text;
    for (const std::string &l : crlf.header) text += l + "\r\n";
    for (const std::string &l : crlf.rows) text += l + " ,\r\n";
    TempDir dir;
    writeFile(dir / "crlf.epw", text);
    EXPECT_EQ(simrun::readEpw(dir / "crlf.epw").time.size(), 8760u);
}

TEST(EpwModels, SiteParametersScaledColumnsAndARun)
{
    std::string model = R"({"start": 0, "stop": 7200, "step": 1800,
       "sources": [{"name": "w", "type": "epw", "file": "data/weather/)" + kChicago + R"(",
                    "fields": ["relative_humidity", {"name": "total_sky_cover", "scale": 0.1}]},
                   {"name": "c", "type": "csv", "file": "c.csv", "columns": [{"name": "a", "scale": 2, "offset": -1}, "b"]}],
       "blocks": [{"name": "h", "type": "heliohour", "parameters": [{"source": "w", "site": "longitude_timezone"}, 8]}],
       "sinks": [{"type": "csv", "file": "out.csv", "signals": ["w", "c"]}]})";
    simrun::ModelDef m = simrun::parseModel(model, examplesDir() + "/m.json");
    ASSERT_EQ(m.sources.size(), 2u);
    EXPECT_EQ(m.sources[0].kind, simrun::SourceDef::kEpw);
    EXPECT_TRUE(std::filesystem::equivalent(m.sources[0].file, weatherPath(kChicago))) << m.sources[0].file;
    EXPECT_EQ(m.sources[0].columns, (std::vector<std::string>{"relative_humidity", "total_sky_cover"}));
    EXPECT_EQ(m.sources[0].columnScale, (std::vector<double>{1, 0.1}));
    EXPECT_EQ(m.sources[1].columnOffset, (std::vector<double>{-1, 0}));
    EXPECT_EQ(m.blocks.at(0).params.at(0).siteSource, "w");
    EXPECT_EQ(m.blocks.at(0).params.at(0).siteField, "longitude_timezone");

    auto error = [](const std::string &text) {
        try {
            simrun::parseModel(text, "m.json");
        } catch (const ModelError &e) {
            return std::string(e.what());
        }
        return std::string("accepted");
    };
    EXPECT_EQ(error(R"({"stop": 1, "step": 1, "sources": [{"name": "w", "type": "epw", "file": "x.epw"}]})"),
              "m.json: sources[0]: 'fields' is missing (the weather file's fields the model uses)");
    EXPECT_EQ(error(R"({"stop": 1, "step": 1, "blocks": [{"name": "b", "type": "x", "parameters": [{"source": "w", "site": "height"}]}]})"),
              "m.json: blocks[0].parameters[0]: unknown site value 'height' (use \"latitude\", \"longitude\", "
              "\"longitude_timezone\", \"time_zone\", \"elevation\")");
    EXPECT_EQ(error(R"({"stop": 1, "step": 1, "sources": [{"name": "w", "type": "epw", "file": "x.epw", "fields": [{"name": "a", "scale": "x"}]}]})"),
              "m.json: sources[0].fields[0]: 'scale' must be a number");

    // Sources alone, run: the scaled columns at the rows' times.
    m.blocks.clear();
    TempDir dir;
    writeFile(dir / "c.csv", "t,a,b\n0,1,5\n7200,3,6\n");
    m.sources[1].file = dir / "c.csv";
    m.sinks[0].file = dir / "out.csv";
    simrun::RunOptions o;
    o.progress = false;
    simrun::runModel(m, o);
    Table t = readTable(dir / "out.csv");
    EXPECT_EQ(t.header, (std::vector<std::string>{"time", "w[relative_humidity]", "w[total_sky_cover]", "c[a]", "c[b]"}));
    ASSERT_EQ(t.rows.size(), 5u);
    EpwText text(kChicago);
    EXPECT_EQ(t.rows[2][1], text.field(0, 9));                                 // 01:00, the first row
    EXPECT_NEAR(t.rows[2][2], text.field(0, 23) / 10, 1e-15);
    EXPECT_NEAR(t.rows[1][2], (text.field(8759, 23) + text.field(0, 23)) / 20, 1e-15);  // 00:30
    EXPECT_EQ(t.rows[0][3], 1.0);                                              // 2 * 1 - 1
    EXPECT_EQ(t.rows[2][3], 3.0);                                              // 2 * 2 - 1
    EXPECT_EQ(t.rows[4][4], 6.0);

    // A site value from a source that is not a weather file.
    simrun::ModelDef bad = simrun::parseModel(model, examplesDir() + "/m.json");
    bad.blocks[0].params[0].siteSource = "c";
    bad.sources[1].file = dir / "c.csv";
    std::string why;
    try {
        simrun::runModel(bad, o);
    } catch (const std::exception &e) {
        why = e.what();
    }
    EXPECT_EQ(why, "block 'h': parameter 1: source 'c' is not a weather file (type \"epw\")");
}

}  // namespace
