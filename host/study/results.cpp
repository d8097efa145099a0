#include "results.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>

#include <nlohmann/json.hpp>

#include "csv_text.h"
#include "number_text.h"
#include "posix_io.h"

namespace study {

using nlohmann::json;

namespace {

constexpr int kLayout = 2;

}  // namespace

std::string hostName()
{
    char host[256] = {0};
    if (gethostname(host, sizeof host - 1) != 0 || host[0] == '\0') return "host";
    std::string h;
    for (const char *p = host; *p != '\0'; ++p) h += (std::isalnum(static_cast<unsigned char>(*p)) || *p == '-') ? *p : '_';
    return h;
}

namespace {

// A file written under a temporary name beside it and renamed into place
// when complete: readers see the old file or the new one, never a part.
class NewFile {
public:
    explicit NewFile(std::string path)
        : path_(std::move(path)), tmp_(path_ + "." + hostName() + "." + std::to_string(getpid()) + ".tmp")
    {
        fd_ = ::open(tmp_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | simrun::kOpenFlags, 0666);
        if (fd_ < 0) fail();
    }
    ~NewFile()
    {
        if (fd_ >= 0) ::close(fd_);
        if (!done_) std::remove(tmp_.c_str());
    }
    // Takes text; writes it out once it has gathered a good amount.
    void write(std::string &text, bool all = false)
    {
        if (!all && text.size() < (1u << 20)) return;
        if (!writeAll(fd_, text)) fail();
        text.clear();
    }
    void commit(std::string &text)
    {
        write(text, true);
        int fd = fd_;
        fd_ = -1;
        if (::close(fd) != 0 || std::rename(tmp_.c_str(), path_.c_str()) != 0) fail();
        done_ = true;
    }

private:
    [[noreturn]] void fail() { throw StudyError("cannot write '" + path_ + "': " + std::strerror(errno)); }
    std::string path_, tmp_;
    int fd_ = -1;
    bool done_ = false;
};

void replaceFile(const std::string &path, std::string text)
{
    NewFile f(path);
    f.commit(text);
}

}  // namespace

const char *statusName(Status s)
{
    switch (s) {
    case Status::kOk: return "ok";
    case Status::kFailed: return "failed";
    case Status::kStopped: return "stopped";
    case Status::kNone: break;
    }
    return "";
}

std::string recordLine(const RunRecord &r)
{
    json j;
    j["run"] = r.run;
    j["status"] = statusName(r.status);
    j["seconds"] = r.seconds;
    j["message"] = r.message;
    j["set"] = r.set;
    json values = json::array();
    for (double v : r.values) values.push_back(simrun::numberText(v));  // NaN and infinities have no JSON number
    j["values"] = values;
    j["files"] = r.files;
    j["finished"] = r.finished;
    // Bytes that are not UTF-8 (a file name in a message) are replaced, not refused.
    return j.dump(-1, ' ', false, json::error_handler_t::replace) + "\n";
}

bool parseRecord(const std::string &line, RunRecord &r)
{
    json j = json::parse(line, nullptr, false);
    if (j.is_discarded() || !j.is_object()) return false;
    try {
        r.run = j.at("run").get<std::uint64_t>();
        std::string status = j.at("status").get<std::string>();
        r.status = status == "ok" ? Status::kOk : status == "failed" ? Status::kFailed
                 : status == "stopped" ? Status::kStopped : Status::kNone;
        r.seconds = j.at("seconds").get<double>();
        r.message = j.at("message").get<std::string>();
        r.set = j.at("set").get<std::vector<std::string>>();
        r.values.clear();
        for (const json &v : j.at("values")) r.values.push_back(std::strtod(v.get<std::string>().c_str(), nullptr));
        r.files = j.at("files").get<std::vector<std::pair<std::string, long long>>>();
        r.finished = j.at("finished").get<double>();
    } catch (const json::exception &) {
        return false;
    }
    return r.status != Status::kNone && r.run > 0;
}

std::vector<std::pair<std::string, long long>> folderFiles(const std::string &dir)
{
    std::vector<std::pair<std::string, long long>> files;
    std::error_code ec;
    for (std::filesystem::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
        struct stat st;
        if (::stat(it->path().c_str(), &st) == 0 && S_ISREG(st.st_mode))
            files.emplace_back(it->path().filename().string(), static_cast<long long>(st.st_size));
    }
    std::sort(files.begin(), files.end());
    return files;
}

RecordLog::~RecordLog()
{
    if (fd_ >= 0) ::close(fd_);
}

void RecordLog::append(const RunRecord &r)
{
    if (fd_ < 0) {
        auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::system_clock::now().time_since_epoch()).count();
        path_ = dir_ + "/" + hostName() + "-" + std::to_string(getpid()) + "-" + std::to_string(ns) + ".records";
        fd_ = ::open(path_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_APPEND | simrun::kOpenFlags, 0666);
        if (fd_ < 0) throw StudyError("cannot make the record file '" + path_ + "': " + std::strerror(errno));
    }
    if (!writeAll(fd_, recordLine(r))) throw StudyError("cannot write to the record file '" + path_ + "': " + std::strerror(errno));
}

Results::Results(const std::string &dir, const Study &study)
{
    std::error_code ec;
    dir_ = std::filesystem::absolute(dir, ec).lexically_normal().string();
    while (dir_.size() > 1 && dir_.back() == '/') dir_.pop_back();
    std::filesystem::create_directories(manifestDir(), ec);
    if (ec) throw StudyError("cannot make the folder '" + manifestDir() + "': " + ec.message());
    std::string path = manifestDir() + "/study.json", text, why;
    if (simrun::readRegularFile(path, text, why)) {
        readManifest(text, path);
        if (identity_ != study.identity)
            throw StudyError("'" + dir + "' holds the results of another study ('" + studyPath_ +
                             "', or this one before its study file, model or runs file changed); "
                             "give another folder, or remove this one to start afresh");
        return;
    }
    if (std::filesystem::exists(path, ec)) throw StudyError("cannot read '" + path + "': " + why);
    json m;
    m["identity"] = study.identity;
    m["study"] = study.path;
    m["model"] = study.modelPath;
    m["runs"] = study.runs;
    m["varied"] = study.paths();
    m["summary"] = study.columns();
    m["layout"] = kLayout;
    replaceFile(path, m.dump(2, ' ', false, json::error_handler_t::replace) + "\n");
    readManifest(m.dump(), path);
}

Results::Results(const std::string &dir)
{
    std::error_code ec;
    dir_ = std::filesystem::absolute(dir, ec).lexically_normal().string();
    while (dir_.size() > 1 && dir_.back() == '/') dir_.pop_back();
    std::string path = manifestDir() + "/study.json", text, why;
    if (!simrun::readRegularFile(path, text, why))
        throw StudyError("'" + dir + "' holds no study's results (" + path + ": " + why + ")");
    readManifest(text, path);
}

std::string Results::runDir(std::uint64_t run) const
{
    if (!spread_) return dir_ + "/runs/" + std::to_string(run);
    char name[48];
    std::snprintf(name, sizeof name, "/runs/%04llu/%03llu", static_cast<unsigned long long>(run / 1000),
                  static_cast<unsigned long long>(run % 1000));
    return dir_ + name;
}

void Results::readManifest(const std::string &text, const std::string &path)
{
    json m = json::parse(text, nullptr, false);
    try {
        // Layout 2: run folders spread by thousands; none: a DIR made before, runs/<run>/.
        spread_ = m.is_object() && m.contains("layout");
        if (spread_ && m.at("layout").get<int>() != kLayout)
            throw StudyError("'" + path + "' has run folders of a layout this simstudy does not know (" + m.at("layout").dump() +
                             "); a newer simstudy wrote it");
        identity_ = m.at("identity").get<std::string>();
        studyPath_ = m.at("study").get<std::string>();
        runs_ = m.at("runs").get<std::uint64_t>();
        varied_ = m.at("varied").get<std::vector<std::string>>();
        summary_ = m.at("summary").get<std::vector<std::string>>();
    } catch (const json::exception &) {
        throw StudyError("'" + path + "' is not a study's manifest");
    }
    if (runs_ == 0 || runs_ > kMaxRuns) throw StudyError("'" + path + "' is not a study's manifest");
}

void Results::scan(std::uint64_t only)
{
    files_.clear();
    std::error_code ec;
    for (std::filesystem::directory_iterator it(manifestDir(), ec), end; !ec && it != end; it.increment(ec))
        if (it->path().extension() == ".records") files_.push_back(it->path().string());
    std::sort(files_.begin(), files_.end());
    index_.assign(runs_, Entry());
    changed_ = 0;
    for (std::uint32_t f = 0; f < files_.size(); ++f) scanFile(f, only);
}

// Reads one record file line by line; a last line without its line end is
// a record cut short and does not count.
void Results::scanFile(std::uint32_t file, std::uint64_t only)
{
    const std::string mark = "\"run\":" + std::to_string(only) + ",";  // as recordLine writes it
    int fd = ::open(files_[file].c_str(), O_RDONLY | simrun::kOpenFlags);
    if (fd < 0) throw StudyError("cannot read the record file '" + files_[file] + "': " + std::strerror(errno));
    std::string pending;
    std::uint64_t offset = 0;  // of pending's first byte in the file
    char buf[1 << 16];
    RunRecord r;
    for (;;) {
        ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        pending.append(buf, static_cast<std::size_t>(n));
        std::size_t begin = 0, end;
        while ((end = pending.find('\n', begin)) != std::string::npos) {
            std::string line = pending.substr(begin, end - begin);
            std::uint64_t at = offset + begin;
            begin = end + 1;
            if (only != 0 && line.find(mark) == std::string::npos) continue;
            if (!parseRecord(line, r) || r.run > runs_ || (only != 0 && r.run != only)) continue;
            Entry &e = index_[r.run - 1];
            if (r.status < e.status || (r.status == e.status && r.finished < e.finished)) continue;
            if (r.status == Status::kOk) {
                bool same = true;
                for (const auto &f : r.files) {
                    struct stat st;
                    std::string p = runDir(r.run) + "/" + f.first;
                    same = same && ::stat(p.c_str(), &st) == 0 && S_ISREG(st.st_mode) && st.st_size == f.second;
                }
                if (!same) {
                    ++changed_;
                    continue;
                }
            }
            e = Entry{r.finished, at, file, static_cast<std::uint32_t>(line.size()), r.status};
        }
        pending.erase(0, begin);
        offset += begin;
    }
    ::close(fd);
}

Counts Results::count(std::uint64_t shard, std::uint64_t shards) const
{
    Counts c;
    for (std::uint64_t run = shard; run <= runs_; run += shards) {
        switch (status(run)) {
        case Status::kOk: ++c.ok; break;
        case Status::kFailed: ++c.failed; break;
        case Status::kStopped: ++c.stopped; break;
        case Status::kNone: ++c.none; break;
        }
    }
    return c;
}

RunRecord Results::record(std::uint64_t run) const
{
    const Entry &e = index_[run - 1];
    RunRecord r;
    std::string line(e.length, '\0');
    int fd = ::open(files_[e.file].c_str(), O_RDONLY | simrun::kOpenFlags);
    bool ok = fd >= 0 && ::pread(fd, &line[0], line.size(), static_cast<off_t>(e.offset)) == static_cast<ssize_t>(line.size());
    if (fd >= 0) ::close(fd);
    if (!ok || !parseRecord(line, r)) throw StudyError("cannot read the record of run " + std::to_string(run) + " in '" + files_[e.file] + "'");
    return r;
}

void Results::writeTable(const std::function<void(const RunRecord &)> &row) const
{
    NewFile table(dir_ + "/study.csv");
    std::string text = "run";
    for (const std::string &p : varied_) {
        text += ',';
        simrun::appendCsvField(text, p);
    }
    text += ",status,seconds,message";
    for (const std::string &s : summary_) {
        text += ',';
        simrun::appendCsvField(text, s);
    }
    text += '\n';
    for (std::uint64_t run = 1; run <= runs_; ++run) {
        if (status(run) == Status::kNone) continue;
        RunRecord r = record(run);
        text += std::to_string(run);
        for (std::size_t i = 0; i < varied_.size(); ++i) {
            text += ',';
            if (i < r.set.size()) simrun::appendCsvField(text, r.set[i]);
        }
        text += ',' + std::string(statusName(r.status)) + ',' + simrun::numberText(r.seconds) + ',';
        simrun::appendCsvField(text, r.message);
        for (std::size_t i = 0; i < summary_.size(); ++i) {
            text += ',';
            if (r.status == Status::kOk && i < r.values.size()) text += simrun::numberText(r.values[i]);
        }
        text += '\n';
        table.write(text);
        if (row) row(r);
    }
    table.commit(text);
}

}  // namespace study
