#include "epw_source.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>

#include "model_error.h"
#include "posix_io.h"

namespace simrun {

namespace {

constexpr double kNever = std::numeric_limits<double>::infinity();

std::string shortNumber(double v)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "%g", v);
    return buf;
}

}  // namespace

// Missing-value codes as the format's data dictionary gives them: a value at
// or above the code is missing.
const EpwField kEpwFields[kEpwNumFields] = {
    {"dry_bulb_temperature", "degC", 99.9, false},
    {"dew_point_temperature", "degC", 99.9, false},
    {"relative_humidity", "%", 999, false},
    {"atmospheric_station_pressure", "Pa", 999999, false},
    {"extraterrestrial_horizontal_radiation", "Wh/m2", 9999, true},
    {"extraterrestrial_direct_normal_radiation", "Wh/m2", 9999, true},
    {"horizontal_infrared_radiation_intensity", "Wh/m2", 9999, true},
    {"global_horizontal_radiation", "Wh/m2", 9999, true},
    {"direct_normal_radiation", "Wh/m2", 9999, true},
    {"diffuse_horizontal_radiation", "Wh/m2", 9999, true},
    {"global_horizontal_illuminance", "lux", 999900, true},
    {"direct_normal_illuminance", "lux", 999900, true},
    {"diffuse_horizontal_illuminance", "lux", 999900, true},
    {"zenith_luminance", "Cd/m2", 9999, true},
    {"wind_direction", "degrees", 999, false},
    {"wind_speed", "m/s", 999, false},
    {"total_sky_cover", "tenths", 99, false},
    {"opaque_sky_cover", "tenths", 99, false},
    {"visibility", "km", 9999, false},
    {"ceiling_height", "m", 99999, false},
    {"present_weather_observation", "code", kNever, false},
    {"present_weather_codes", "code", kNever, false},
    {"precipitable_water", "mm", 999, false},
    {"aerosol_optical_depth", "thousandths", 0.999, false},
    {"snow_depth", "cm", 999, false},
    {"days_since_last_snowfall", "days", 99, false},
    {"albedo", "", 999, false},
    {"liquid_precipitation_depth", "mm", 999, false},
    {"liquid_precipitation_quantity", "h", 99, false},
};

const char *const kEpwSiteNames[5] = {"latitude", "longitude", "longitude_timezone", "time_zone", "elevation"};

int epwFieldIndex(std::string_view name)
{
    for (int i = 0; i < kEpwNumFields; ++i)
        if (name == kEpwFields[i].name) return i;
    return -1;
}

bool epwSiteValue(const EpwSite &site, std::string_view name, double &out)
{
    if (name == "latitude") out = site.latitude;
    else if (name == "longitude") out = -site.longitude;
    else if (name == "longitude_timezone") out = -15.0 * site.timeZone;
    else if (name == "time_zone") out = site.timeZone;
    else if (name == "elevation") out = site.elevation;
    else return false;
    return true;
}

namespace {

constexpr std::size_t kRowFields = 35;  // date and time (5), flags (1), data (29)
const char *const kDateNames[5] = {"year", "month", "day", "hour", "minute"};
const int kDaysInMonth[12] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};  // 29 February allowed

std::string_view trim(std::string_view s)
{
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
}

// A short, printable excerpt of a field or line for a message.
std::string shown(std::string_view s)
{
    std::string out;
    for (char c : s.substr(0, 40)) out += (static_cast<unsigned char>(c) < 32 || c == 127) ? '?' : c;
    if (s.size() > 40) out += "...";
    return out;
}

// Splits at commas; a header line may quote a field that holds commas.
void splitHeader(std::string_view line, std::vector<std::string_view> &out)
{
    out.clear();
    std::size_t begin = 0;
    bool quoted = false;
    for (std::size_t i = 0; i <= line.size(); ++i) {
        if (i < line.size() && line[i] == '"') quoted = !quoted;
        if (i == line.size() || (line[i] == ',' && !quoted)) {
            std::string_view f = trim(line.substr(begin, i - begin));
            if (f.size() >= 2 && f.front() == '"' && f.back() == '"') f = f.substr(1, f.size() - 2);
            out.push_back(f);
            begin = i + 1;
        }
    }
}

void splitRow(std::string_view line, std::vector<std::string_view> &out)
{
    out.clear();
    std::size_t begin = 0;
    while (true) {
        std::size_t comma = line.find(',', begin);
        if (comma == std::string_view::npos) {
            out.push_back(trim(line.substr(begin)));
            return;
        }
        out.push_back(trim(line.substr(begin, comma - begin)));
        begin = comma + 1;
    }
}

// A plain decimal of at most 15 digits ("-12.2", "99500", ".5"): the digits
// as an integer divided by a power of ten, both exact in a double, so the one
// rounding of the division gives the correctly rounded value. Most fields of
// a weather file are such numbers; anything else goes to from_chars.
bool plainDecimal(std::string_view s, double &out)
{
    static const double kTens[16] = {1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
    std::size_t i = 0, n = s.size();
    bool negative = i < n && s[i] == '-';
    if (i < n && (s[i] == '-' || s[i] == '+')) ++i;
    long long m = 0;
    int digits = 0, decimals = 0;
    bool point = false;
    for (; i < n; ++i) {
        char c = s[i];
        if (c >= '0' && c <= '9') {
            if (++digits > 15) return false;
            m = m * 10 + (c - '0');
            decimals += point;
        } else if (c == '.' && !point) {
            point = true;
        } else {
            return false;
        }
    }
    if (digits == 0) return false;
    double v = static_cast<double>(m) / kTens[decimals];
    out = negative ? -v : v;
    return true;
}

// The common row, fast, in one pass over its characters: 35 fields, every
// one but the flags a plain decimal (as plainDecimal reads it, with the same
// arithmetic) with no spaces around it; the numbers of the fields in 'keep'
// (bit f: field 6 + f) and of the date into row, the others only checked.
// Returns false for anything else, which the careful path then reads or
// reports. The character just past the line must be readable and no digit,
// point, sign or comma: the Parser hands over lines that end before their
// line end ('\n' or '\r') or before a string's terminating zero.
bool fastRow(std::string_view line, EpwFieldSet keep, double *row)
{
    static const double kTens[16] = {1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
    const char *p = line.data(), *const end = p + line.size();
    auto digit = [](char c) { return static_cast<unsigned>(static_cast<unsigned char>(c)) - '0'; };
    for (std::size_t f = 0; f < kRowFields; ++f) {
        if (f == 5) {  // the flags: any text up to the next comma
            p = static_cast<const char *>(std::memchr(p, ',', static_cast<std::size_t>(end - p)));
            if (p == nullptr) return false;
            ++p;
            continue;
        }
        bool negative = false;
        if (*p == '-') {
            negative = true;
            ++p;
        } else if (*p == '+') {
            ++p;
        }
        // The digits, then those after a point: a count of more than 15
        // sends the field to the careful path (m, unsigned, may have wrapped).
        unsigned long long m = 0;
        const char *const first = p;
        for (unsigned d; (d = digit(*p)) < 10; ++p) m = m * 10 + d;
        std::size_t digits = static_cast<std::size_t>(p - first), decimals = 0;
        if (*p == '.') {
            const char *const point = ++p;
            for (unsigned d; (d = digit(*p)) < 10; ++p) m = m * 10 + d;
            decimals = static_cast<std::size_t>(p - point);
            digits += decimals;
        }
        if (digits == 0 || digits > 15) return false;
        if (f < 5 || (keep >> (f - 6) & 1)) {
            const double v = static_cast<double>(static_cast<long long>(m)) / kTens[decimals];
            row[f] = negative ? -v : v;
        }
        if (f + 1 == kRowFields) return p == end;
        if (*p != ',') return false;
        ++p;
    }
    return false;
}

bool number(std::string_view s, double &out)
{
    if (plainDecimal(s, out)) return true;
    if (!s.empty() && s.front() == '+') s.remove_prefix(1);
    if (s.empty()) return false;
    std::from_chars_result r = std::from_chars(s.data(), s.data() + s.size(), out);
    return r.ec == std::errc() && r.ptr == s.data() + s.size() && std::isfinite(out);
}

bool sameWord(std::string_view a, std::string_view b)
{
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::toupper(static_cast<unsigned char>(a[i])) != std::toupper(static_cast<unsigned char>(b[i]))) return false;
    return true;
}

// Reads the text piece by piece as it comes from the file (or all at once),
// line by line, numbering the lines from 1: the eight header lines, then the
// rows. Only the fields asked for are kept; every field of every row is
// checked all the same, so a file is accepted or refused with the same
// message whatever a model takes of it.
class Parser {
public:
    Parser(const std::string &label, EpwFieldSet keep) : label_(label), keep_(keep)
    {
        data_.values.assign(kEpwNumFields, std::vector<double>());
        for (int f = 0; f < kEpwNumFields; ++f)
            if (keep_ & (EpwFieldSet(1) << f)) data_.values[static_cast<std::size_t>(f)].reserve(8784);
        data_.time.reserve(8784);
        data_.line.reserve(8784);
        stamps_.reserve(8784);
    }

    [[noreturn]] void bad(const std::string &what) const
    {
        throw ModelError(label_ + ", line " + std::to_string(number_) + ": " + what);
    }

    // The next piece of the text, cut anywhere.
    void feed(std::string_view piece)
    {
        if (!started_) {  // a UTF-8 byte-order mark, once its three bytes are in
            carry_.append(piece);
            if (carry_.size() < 3) return;
            started_ = true;
            if (carry_.compare(0, 3, "\xEF\xBB\xBF") == 0) carry_.erase(0, 3);
            std::string first;
            first.swap(carry_);
            lines(first);
            return;
        }
        lines(piece);
    }

    // The end of the text: the data as read.
    EpwData finish()
    {
        started_ = true;
        if (!carry_.empty()) {  // a last line without a line end
            std::string last;
            last.swap(carry_);
            line(last);
        }
        if (header_ < 8) {
            if (header_ == 0) throw ModelError(label_ + " is empty");
            throw ModelError(label_ + ": the file ends after line " + std::to_string(number_) + ", before its " +
                             kHeaders[header_] + " header line");
        }
        if (stamps_.empty()) throw ModelError(label_ + " has no data rows after its eight header lines");
        times();
        return std::move(data_);
    }

private:
    static constexpr const char *kHeaders[8] = {"LOCATION", "DESIGN CONDITIONS", "TYPICAL/EXTREME PERIODS",
                                                "GROUND TEMPERATURES", "HOLIDAYS/DAYLIGHT SAVINGS", "COMMENTS 1",
                                                "COMMENTS 2", "DATA PERIODS"};
    struct Stamp {  // checked to fit: month 1-12, day 1-31, hour 1-24, minute 0-60
        unsigned char month, day, hour, minute;
    };

    // The whole lines of a piece; a line cut at its end waits in carry_.
    void lines(std::string_view piece)
    {
        while (!piece.empty()) {
            const std::size_t end = piece.find('\n');
            if (end == std::string_view::npos) {
                carry_.append(piece);
                return;
            }
            if (carry_.empty()) {
                line(piece.substr(0, end));
            } else {
                carry_.append(piece.substr(0, end));
                line(carry_);
                carry_.clear();
            }
            piece.remove_prefix(end + 1);
        }
    }

    void line(std::string_view line)
    {
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        ++number_;
        if (header_ < 8) {
            const int h = header_++;
            splitHeader(line, fields_);
            std::string_view key = fields_[0];
            // Some tools write HOLIDAYS/DAYLIGHT SAVING, without the final S.
            bool ok = sameWord(key, kHeaders[h]) || (h == 4 && sameWord(key, "HOLIDAYS/DAYLIGHT SAVING"));
            if (!ok) bad(std::string("expected the ") + kHeaders[h] + " header line, found '" + shown(line) + "'");
            if (h == 0) location();
            if (h == 7) dataPeriods();
            return;
        }
        row(line);
    }

    double headerNumber(std::size_t at, const char *what, double low, double high)
    {
        double v = 0;
        if (!number(fields_[at], v)) bad(std::string("the ") + what + " '" + shown(fields_[at]) + "' is not a number");
        if (v < low || v > high)
            bad(std::string("the ") + what + " " + std::string(fields_[at]) + " is outside " + shortNumber(low) + " to " +
                shortNumber(high));
        return v;
    }

    void location()
    {
        if (fields_.size() < 10)
            bad("the LOCATION line has " + std::to_string(fields_.size()) +
                " fields; it needs 10 (LOCATION, city, region, country, source, WMO number, latitude, longitude, "
                "time zone, elevation)");
        EpwSite &s = data_.site;
        s.city = fields_[1];
        s.region = fields_[2];
        s.country = fields_[3];
        s.source = fields_[4];
        s.wmo = fields_[5];
        s.latitude = headerNumber(6, "latitude", -90, 90);
        s.longitude = headerNumber(7, "longitude", -180, 180);
        s.timeZone = headerNumber(8, "time zone", -12, 14);
        s.elevation = headerNumber(9, "elevation", -1000, 10000);
    }

    void dataPeriods()
    {
        if (fields_.size() < 3) bad("the DATA PERIODS line needs the number of periods and the records per hour");
        double periods = headerNumber(1, "number of data periods", 1, 1000);
        double perHour = headerNumber(2, "number of records per hour", 1, 60);
        int n = static_cast<int>(perHour);
        if (periods != std::floor(periods) || perHour != n || 60 % n != 0)
            bad("the number of records per hour must be a whole divisor of 60, and the number of periods whole");
        data_.recordsPerHour = n;
    }

    double rowField(std::size_t at)
    {
        double v = 0;
        if (!number(fields_[at], v)) {
            std::string name = at < 5 ? kDateNames[at] : kEpwFields[at - 6].name;
            bad("field " + std::to_string(at + 1) + " (" + name + "): '" + shown(fields_[at]) + "' is not a number");
        }
        return v;
    }

    int rowInteger(const double *row, std::size_t at, int low, int high)
    {
        double v = row[at];
        if (v != std::floor(v) || v < low || v > high)
            bad("field " + std::to_string(at + 1) + " (" + kDateNames[at] + "): " + shortNumber(v) +
                " is not a whole number from " + std::to_string(low) + " to " + std::to_string(high));
        return static_cast<int>(v);
    }

    // The numbers of a row that the fast path did not take, with a message
    // for what is wrong.
    void slowRow(std::string_view line, double *row)
    {
        splitRow(line, fields_);
        // A comma at the end of a row adds an empty field; anything more is a shifted row.
        while (fields_.size() > kRowFields && fields_.back().empty()) fields_.pop_back();
        if (fields_.size() != kRowFields)
            bad("a data row has " + std::to_string(kRowFields) + " fields, this one " + std::to_string(fields_.size()) +
                (fields_.size() < kRowFields ? " (a truncated row?)" : ""));
        for (std::size_t f = 0; f < kRowFields; ++f)
            if (f != 5) row[f] = rowField(f);
    }

    void row(std::string_view line)
    {
        if (trim(line).empty()) {
            if (blank_ == 0) blank_ = number_;
            return;
        }
        if (blank_ != 0) throw ModelError(label_ + ", line " + std::to_string(blank_) + ": an empty line between data rows");
        double row[kRowFields];
        if (!fastRow(line, keep_, row)) slowRow(line, row);
        rowInteger(row, 0, -9999, 9999);  // the year: checked, not used
        Stamp s;
        s.month = static_cast<unsigned char>(rowInteger(row, 1, 1, 12));
        s.day = static_cast<unsigned char>(rowInteger(row, 2, 1, kDaysInMonth[s.month - 1]));
        s.hour = static_cast<unsigned char>(rowInteger(row, 3, 1, 24));
        s.minute = static_cast<unsigned char>(rowInteger(row, 4, 0, 60));
        for (int f = 0; f < kEpwNumFields; ++f)
            if (keep_ & (EpwFieldSet(1) << f)) data_.values[static_cast<std::size_t>(f)].push_back(row[6 + f]);
        if (s.month == 2 && s.day == 29) data_.leapYear = true;
        stamps_.push_back(s);
        data_.line.push_back(number_);
    }

    // Times, once the calendar (with or without 29 February) is known.
    void times()
    {
        data_.time.reserve(stamps_.size());
        for (std::size_t r = 0; r < stamps_.size(); ++r) {
            const Stamp &s = stamps_[r];
            int day = s.day - 1;
            for (int m = 1; m < s.month; ++m) day += m == 2 ? (data_.leapYear ? 29 : 28) : kDaysInMonth[m - 1];
            double t = day * 86400.0 + (s.hour - 1) * 3600.0 + (s.minute == 0 ? 60 : s.minute) * 60.0;
            if (!data_.time.empty() && !(t > data_.time.back())) {
                const Stamp &p = stamps_[r - 1];
                throw ModelError(label_ + ", line " + std::to_string(data_.line[r]) + ": the row of " +
                                 std::to_string(s.month) + "/" + std::to_string(s.day) + " hour " +
                                 std::to_string(s.hour) + " does not come after the row of " + std::to_string(p.month) +
                                 "/" + std::to_string(p.day) + " hour " + std::to_string(p.hour) +
                                 " (rows must run forward in time)");
            }
            data_.time.push_back(t);
        }
    }

    const std::string &label_;
    const EpwFieldSet keep_;
    bool started_ = false;
    std::string carry_;          // the start of a line whose end is still to come
    std::size_t number_ = 0;     // the line last read
    int header_ = 0;             // header lines read
    std::size_t blank_ = 0;      // the first of a run of empty lines
    std::vector<std::string_view> fields_;
    std::vector<Stamp> stamps_;
    EpwData data_;
};

}  // namespace

EpwData parseEpw(std::string_view text, const std::string &label, EpwFieldSet fields)
{
    Parser p(label, fields);
    p.feed(text);
    return p.finish();
}

EpwData readEpw(const std::string &path, EpwFieldSet fields)
{
    std::string label = "'" + path + "'";
    // A folder, a pipe or a device is no weather file (and a pipe could block
    // the run). The file is read in pieces into one small buffer, each parsed
    // as it comes: no copy of the whole text is made.
    std::string why;
    int fd = openRegularFile(path, why);
    if (fd < 0) throw EpwOpenError("cannot open the weather file " + label + ": " + why);
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};
    Parser p(label, fields);
    char buf[1 << 16];
    for (;;) {
        ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) throw EpwOpenError("cannot open the weather file " + label + ": " + std::strerror(errno));
        if (n == 0) break;
        p.feed(std::string_view(buf, static_cast<std::size_t>(n)));
    }
    return p.finish();
}

EpwFieldSet epwFieldSet(const std::vector<std::string> &names)
{
    EpwFieldSet set = 0;
    for (const std::string &n : names) {
        const int f = epwFieldIndex(n);
        if (f >= 0) set |= EpwFieldSet(1) << f;
    }
    return set;
}

EpwSignal::EpwSignal(const std::string &who, const std::string &path, const std::vector<std::string> &fields)
    : EpwSignal(who, "'" + path + "'", [&] {
          try {
              return readEpw(path, epwFieldSet(fields));
          } catch (const ModelError &e) {
              throw ModelError(who + ": " + e.what());
          }
      }(), fields)
{
}

EpwSignal::EpwSignal(const std::string &who, const std::string &label, EpwData data,
                     const std::vector<std::string> &fields)
    : site_(data.site), rows_(data.time.size())
{
    auto bad = [&](const std::string &what) { throw ModelError(who + ": " + label + ": " + what); };
    if (fields.empty()) bad("no fields are named");
    const std::vector<double> &time = data.time;
    std::size_t n = time.size();
    std::string filled;
    for (const std::string &name : fields) {
        int f = epwFieldIndex(name);
        if (f < 0) {
            std::string all;
            for (const EpwField &e : kEpwFields) all += (all.empty() ? "" : ", ") + std::string(e.name);
            bad("no field '" + name + "' in a weather file (its fields: " + all + ")");
        }
        if (std::find(names_.begin(), names_.end(), name) != names_.end()) bad("the field '" + name + "' is named twice");
        const EpwField &field = kEpwFields[f];
        std::vector<double> v = std::move(data.values[static_cast<std::size_t>(f)]);

        // Missing values: filled linearly in time between the nearest valid
        // rows on either side; before the first and after the last valid row
        // the nearest valid value holds.
        std::size_t missing = 0, prev = n;  // prev: the last valid row so far (n = none yet)
        for (std::size_t r = 0; r < n; ++r) {
            if (v[r] >= field.missing) {
                ++missing;
                continue;
            }
            std::size_t gap = prev == n ? 0 : prev + 1;
            for (std::size_t g = gap; g < r; ++g)
                v[g] = prev == n ? v[r] : v[prev] + (v[r] - v[prev]) * ((time[g] - time[prev]) / (time[r] - time[prev]));
            prev = r;
        }
        if (missing == n) {
            bad("the field '" + name + "' is missing in every row (missing-value code " + shortNumber(field.missing) + ")");
        }
        for (std::size_t g = prev + 1; g < n; ++g) v[g] = v[prev];
        if (missing > 0) filled += (filled.empty() ? "" : ", ") + name + " " + std::to_string(missing);

        names_.push_back(name);
        interval_.push_back(field.interval);
        values_.push_back(std::move(v));
    }
    if (!filled.empty())
        note_ = who + ": " + label + ": missing values filled in linearly between the neighbouring rows: " + filled;

    halfRecord_ = data.recordLength() / 2;
    time_ = std::move(data.time);
    // A whole year (first row on 1 January, last row ending 31 December)
    // repeats: the last row also stands before the first, the first after the last.
    double year = data.yearLength();
    if (time_.front() <= 86400.0 && time_.back() == year) {
        year_ = year;
        double first = time_.front(), last = time_.back();
        time_.insert(time_.begin(), last - year);
        time_.push_back(first + year);
        for (std::vector<double> &v : values_) {
            double v0 = v.front(), v1 = v.back();
            v.insert(v.begin(), v1);
            v.push_back(v0);
        }
    }
}

void EpwSignal::at(double t, Lookup &where, std::size_t &i, double &w)
{
    if (year_ > 0) {
        t = std::fmod(t, year_);
        if (t < 0) t += year_;
    }
    std::size_t n = time_.size();
    w = 0;
    if (!(t > time_[0]) || n == 1) {  // at or before the first instant (or a NaN time)
        i = 0;
        return;
    }
    if (t >= time_[n - 1]) {
        i = n - 1;
        return;
    }
    // Runs move forward in time: continue from the last instant found.
    std::size_t &c = where.cursor;
    if (time_[c] > t) c = static_cast<std::size_t>(std::upper_bound(time_.begin(), time_.end(), t) - time_.begin()) - 1;
    while (time_[c + 1] <= t) ++c;
    i = c;
    w = (t - time_[i]) / (time_[i + 1] - time_[i]);
}

void EpwSignal::fill(double t, double *out)
{
    std::size_t i0 = 0, i1 = 0;
    double w0 = 0, w1 = 0;
    at(t, instant_, i0, w0);
    // An interval field's value at the row's time stands half a record earlier.
    at(t + halfRecord_, middle_, i1, w1);
    for (std::size_t c = 0; c < values_.size(); ++c) {
        const std::vector<double> &v = values_[c];
        std::size_t i = interval_[c] ? i1 : i0;
        double w = interval_[c] ? w1 : w0;
        out[c] = w > 0 ? v[i] + (v[i + 1] - v[i]) * w : v[i];
    }
}

}  // namespace simrun
