// Weather files in the EnergyPlus weather format (EPW) as a signal of time.
//
// A file is eight header lines (LOCATION, DESIGN CONDITIONS, TYPICAL/EXTREME
// PERIODS, GROUND TEMPERATURES, HOLIDAYS/DAYLIGHT SAVINGS, COMMENTS 1,
// COMMENTS 2, DATA PERIODS) and one comma-separated row of 35 fields per
// record: year, month, day, hour (1 to 24), minute, a text of data-source
// flags, then 29 numeric data fields.
//
// Time. Row hour h of a day covers h-1 to h o'clock, local standard time.
// A row stands at the END of its record: seconds of year
//     (day of year - 1) * 86400 + (h - 1) * 3600 + minute * 60,
// minute 0 counting as 60 (hourly files write 0 or 60). The day of year
// counts 29 February when the file has rows for it (a 366-day year), else
// not. The year field is not used: a typical year is stitched from months of
// different years.
//   Instantaneous fields (temperatures, humidity, pressure, wind, sky cover,
// ...) are values at the row's time. Interval fields (radiation and
// illuminance: amounts received during the record) stand for the middle of
// their record, half a record before the row's time.
//   Between these instants values are interpolated linearly. A file that
// covers a whole year (its last row ends the year) repeats with the year:
// times are taken modulo the year's length, and between the year's last
// instant and its first the values run linearly from the last row to the
// first. Other files hold their first and last values outside their span.
//
// Sign conventions. The file counts longitudes positive to the east and time
// zones in hours east of UTC; the blocks count longitudes positive to the
// west. EpwSite keeps the file's numbers; epwSiteValue() converts.
//
// Errors throw ModelError, naming the file and the line.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "model_error.h"

namespace simrun {

// One numeric data field of a row.
struct EpwField {
    const char *name;       // snake case, as a model names it
    const char *unit;       // as in the file
    double missing;         // a value at or above this is the field's missing-value code
    bool interval;          // an amount over the record (stands for its middle)
};

// The 29 numeric fields, in the order of a row (row fields 7 to 35).
constexpr int kEpwNumFields = 29;
extern const EpwField kEpwFields[kEpwNumFields];
// The index into kEpwFields of a field name, or -1.
int epwFieldIndex(std::string_view name);

struct EpwSite {
    std::string city, region, country, source, wmo;
    double latitude = 0;   // degrees, + north
    double longitude = 0;  // degrees, + east (as in the file)
    double timeZone = 0;   // hours relative to UTC, + east (as in the file)
    double elevation = 0;  // m
};

// The site quantities a model parameter can take, in the blocks' conventions:
// "latitude" (degrees, + north), "longitude" (degrees, + west),
// "longitude_timezone" (the time zone's meridian, degrees, + west: -15 times
// the time zone), "time_zone" (hours, + east, as in the file), "elevation" (m).
// Returns false for another name.
bool epwSiteValue(const EpwSite &site, std::string_view name, double &out);
extern const char *const kEpwSiteNames[5];

struct EpwData {
    EpwSite site;
    int recordsPerHour = 1;
    bool leapYear = false;            // the rows include 29 February
    std::vector<double> time;         // per row: seconds of year at the end of its record
    std::vector<std::size_t> line;    // per row: its line in the file
    std::vector<std::vector<double>> values;  // per field of kEpwFields, one per row, as written

    double yearLength() const { return (leapYear ? 366.0 : 365.0) * 86400.0; }
    double recordLength() const { return 3600.0 / recordsPerHour; }
};

// A set of fields of kEpwFields, bit f for field f: the fields a reader keeps
// (EpwData::values of the others stay empty). Every field of every row is
// checked whichever are kept.
using EpwFieldSet = std::uint32_t;
constexpr EpwFieldSet kAllEpwFields = (EpwFieldSet(1) << kEpwNumFields) - 1;
// The set of the named fields (names that are no field are left out).
EpwFieldSet epwFieldSet(const std::vector<std::string> &names);

// A weather file that cannot be opened or read: "cannot open the weather
// file '<path>': <the system's reason>".
struct EpwOpenError : ModelError {
    using ModelError::ModelError;
};

// Parses the text of a weather file; 'label' names it in messages
// ("<label>, line 12: ..."). Missing-value codes are kept as written.
EpwData parseEpw(std::string_view text, const std::string &label, EpwFieldSet fields = kAllEpwFields);
// Reads and parses a file, piece by piece as it is read; messages name it as
// '<path>'. The one reader of weather files: the runner's sources, the
// studies' cache of them and weatherread all read through it.
EpwData readEpw(const std::string &path, EpwFieldSet fields = kAllEpwFields);

class EpwSignal {
public:
    // The named fields of the file at 'path'. Throws ModelError with a
    // message that starts with 'who'.
    EpwSignal(const std::string &who, const std::string &path, const std::vector<std::string> &fields);
    // The same from parsed data; 'label' names the file in messages.
    EpwSignal(const std::string &who, const std::string &label, EpwData data, const std::vector<std::string> &fields);

    int width() const { return static_cast<int>(names_.size()); }
    const std::vector<std::string> &columnNames() const { return names_; }
    std::size_t rows() const { return rows_; }
    const EpwSite &site() const { return site_; }
    // What was filled in for missing values ("" when nothing was missing).
    const std::string &note() const { return note_; }

    // The values at time t (seconds of year) into out[0 .. width - 1].
    void fill(double t, double *out);

private:
    struct Lookup {
        std::size_t cursor = 0;
    };
    void at(double t, Lookup &where, std::size_t &i, double &w);

    std::vector<std::string> names_;
    std::vector<bool> interval_;              // per column
    std::vector<double> time_;                // instants of the instantaneous fields
    std::vector<std::vector<double>> values_; // per column, one per entry of time_
    EpwSite site_;
    std::size_t rows_ = 0;
    double year_ = 0;       // > 0: the file is a whole year and repeats with it
    double halfRecord_ = 0; // interval fields stand this long before the row's time
    std::string note_;
    Lookup instant_, middle_;
};

}  // namespace simrun
