// The folder of a study's results, and its manifest:
//
//   DIR/manifest/study.json    the study's identity (a digest of the study
//                              file, the model file and the runs file), its
//                              number of runs, varied paths and summary columns
//   DIR/manifest/*.records     the records of finished runs, one JSON object a
//                              line; each file is written by one process only
//                              (appended to, never rewritten), so shards on
//                              several hosts can share DIR over a network file
//                              system without two writers on one file
//   DIR/runs/NNNN/NNN/         the files of run NNNNNNN (run 12345 in
//                              runs/0012/345/): its sinks' CSV files, what
//                              tablogger writes, output.txt (what the run
//                              printed); only for a run that keeps files
//   DIR/work/<host>-<pid>/     a worker's folder for the run under way, moved
//                              to the run's folder when the run keeps files;
//                              gone when the worker ends
//   DIR/study.csv              the table, one row per recorded run
//
// Run folders are spread by thousands so that no folder holds more than a
// thousand runs' folders (runs/ itself one per thousand runs: 10,000 at the
// most runs a study may have). A DIR made before this layout (its manifest
// has no "layout") keeps the one it has, DIR/runs/<run>/, so that a resumed
// study finds its recorded files where they are.
//
// A run is recorded only after its files are complete and closed, by one
// write of one whole line, so a process killed at any moment leaves either
// no record of the run or a whole one; a line cut short (a record being
// written when the process died) is no record. A record also lists the
// run's files with their sizes, and an ok run whose files are no longer as
// recorded (lost with a machine that went down before they reached its disk)
// counts as not done.
//
// When a run has several records (redone after a failure or a stop), the
// best one counts: ok before failed before stopped, the newer of two alike.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "posix_io.h"
#include "study.h"

namespace study {

enum class Status : std::uint8_t { kNone = 0, kStopped = 1, kFailed = 2, kOk = 3 };
const char *statusName(Status s);

struct RunRecord {
    std::uint64_t run = 0;
    Status status = Status::kNone;
    double seconds = 0;           // the run's wall-clock time
    std::string message;          // why it failed or where it stopped
    std::vector<std::string> set; // the varied values, as the table shows them
    std::vector<double> values;   // the summary columns (ok runs)
    std::vector<std::pair<std::string, long long>> files;  // in the run's folder, with their sizes
    double finished = 0;          // seconds since 1970
};

// A record as one line of JSON (ending with '\n'), and back; false for a
// line that is not a whole record.
std::string recordLine(const RunRecord &r);
bool parseRecord(const std::string &line, RunRecord &r);

// Writes all of 'text' to fd; false with errno set when it cannot.
inline bool writeAll(int fd, const std::string &text)
{
    return simrun::writeFully(fd, text.data(), text.size()) == text.size();
}

// This machine's name as a part of a file name (letters, digits, '-', '_').
std::string hostName();

// The regular files of a run's folder, with their sizes, by name.
std::vector<std::pair<std::string, long long>> folderFiles(const std::string &dir);

// Appends records to a file of its own in DIR/manifest, made on the first
// record. Throws StudyError when a record cannot be written.
class RecordLog {
public:
    explicit RecordLog(std::string manifestDir) : dir_(std::move(manifestDir)) {}
    ~RecordLog();
    RecordLog(const RecordLog &) = delete;
    RecordLog &operator=(const RecordLog &) = delete;
    void append(const RunRecord &r);

private:
    std::string dir_, path_;
    int fd_ = -1;
};

struct Counts {
    std::uint64_t ok = 0, failed = 0, stopped = 0, none = 0;
};

class Results {
public:
    // Opens DIR for 'study' (made if missing); refuses (StudyError) a DIR
    // that holds the manifest of another study, or of this one before its
    // study file, model or runs file changed.
    Results(const std::string &dir, const Study &study);
    // Opens DIR as its manifest describes it (collect).
    explicit Results(const std::string &dir);

    const std::string &dir() const { return dir_; }
    std::string manifestDir() const { return dir_ + "/manifest"; }
    // The folder of a run's files (there only when the run kept some).
    std::string runDir(std::uint64_t run) const;
    // The folder of the workers' folders for the run under way.
    std::string workDir() const { return dir_ + "/work"; }
    std::uint64_t runs() const { return runs_; }
    const std::vector<std::string> &varied() const { return varied_; }
    const std::vector<std::string> &summary() const { return summary_; }

    // Reads every record; afterwards status() gives each run's best one.
    // With 'only', the records of that run alone (the others count as none).
    void scan(std::uint64_t only = 0);
    Status status(std::uint64_t run) const { return index_[run - 1].status; }
    // The runs whose files were not as their ok record says (found by scan()).
    std::uint64_t changedFiles() const { return changed_; }
    // Counts the runs K, K + N, ... (shard K of N; 1 of 1 is the whole study).
    Counts count(std::uint64_t shard = 1, std::uint64_t shards = 1) const;
    // The best record of a run that has one.
    RunRecord record(std::uint64_t run) const;

    // Writes DIR/study.csv (whole, in place of the last one) from the best
    // records, in the order of the runs; 'row' sees each record written.
    void writeTable(const std::function<void(const RunRecord &)> &row = nullptr) const;

private:
    struct Entry {
        double finished = 0;
        std::uint64_t offset = 0;
        std::uint32_t file = 0, length = 0;
        Status status = Status::kNone;
    };
    void readManifest(const std::string &text, const std::string &path);
    void scanFile(std::uint32_t file, std::uint64_t only);

    std::string dir_, identity_, studyPath_;
    bool spread_ = true;  // runs/NNNN/NNN/ (false: runs/<run>/, a DIR made before)
    std::uint64_t runs_ = 0, changed_ = 0;
    std::vector<std::string> varied_, summary_;
    std::vector<std::string> files_;  // the record files
    std::vector<Entry> index_;
};

}  // namespace study
