// simstudy as a user runs it: each row of the table equals a separate simrun
// with the same overrides, bit for bit; failed runs are recorded and the
// study goes on; SIGINT and SIGTERM stop it with the runs under way recorded
// as stopped, and the next run resumes with every run done once; a worker
// killed with SIGKILL loses only its run; shards, collect and the Slurm job
// array script (run by bash with the variables Slurm sets) give the local
// table; wrong command lines and another study's folder are refused.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <map>
#include <thread>

#include "runner/runner_support.h"

using namespace runnertest;

namespace {

const char kWeather[] = "hour,T,RH\n0,10,80\n1,12,70\n2,14,60\n";
const char kOther[] = "hour,T,RH\n0,-5,90\n1,-3,85\n2,0,75\n";

// Two hours in steps of 600 s; sky and air temperature written every 1200 s.
const char kModel[] = R"({"start": 0, "stop": 7200, "step": 600,
  "sources": [{"name": "clock", "type": "clock"},
              {"name": "weather", "type": "csv", "file": "weather.csv", "time": "hour", "time_unit": "h"},
              {"name": "cloud", "type": "constant", "value": 0.5}],
  "blocks": [{"name": "sky", "type": "atmoglow", "parameters": [1], "inputs": [["weather[T]", "weather[RH]", "cloud"]]}],
  "sinks": [{"type": "csv", "file": "out.csv", "every": 1200, "signals": ["sky", "weather[T]"]}]})";

const char kStudy[] = R"({"model": "model.json",
  "vary": [{"set": "sources.weather.file", "values": ["weather.csv", "other.csv"]},
           {"set": "blocks.sky.parameters[1]", "values": [0, 1]},
           {"set": "sources.cloud.value", "range": [0, 0.5, 0.25]}],
  "summary": {"sky": ["mean", "min", "max", "sum", "integral"], "weather[T]": "mean", "clock": ["mean", "integral"]}})";

// Long runs, for the signals: 200,000 to 1,200,000 steps, a row every hour.
// Each run is longer than the one before, so when the first run of a pair
// that began together ends, the other one is still under way.
const char kLongModel[] = R"({"start": 0, "stop": 1e6, "step": 1,
  "sources": [{"name": "weather", "type": "csv", "file": "weather.csv", "time": "hour", "time_unit": "h"},
              {"name": "cloud", "type": "constant", "value": 0.5}],
  "blocks": [{"name": "sky", "type": "atmoglow", "parameters": [1], "inputs": [["weather[T]", "weather[RH]", "cloud"]]}],
  "sinks": [{"type": "csv", "file": "out.csv", "every": 3600, "signals": ["sky"]}]})";
const char kLongStudy[] = R"({"model": "long.json", "vary": [{"set": "stop", "range": [2e5, 1.2e6, 2e5]}],
  "summary": {"sky": "mean"}})";

struct Folder {
    TempDir dir;
    Folder()
    {
        writeFile(dir / "weather.csv", kWeather);
        writeFile(dir / "other.csv", kOther);
        writeFile(dir / "model.json", kModel);
        writeFile(dir / "study.json", kStudy);
        writeFile(dir / "long.json", kLongModel);
        writeFile(dir / "long_study.json", kLongStudy);
    }
    Result simstudy(std::vector<std::string> args)
    {
        args.push_back("--no-progress");
        return runProgram(SIMSTUDY_EXE, args, dir.path());
    }
};

// A CSV file with quoted fields ("a, b", "say ""x""").
std::vector<std::vector<std::string>> readCsv(const std::string &path)
{
    std::vector<std::vector<std::string>> rows;
    std::string text = readFile(path), field;
    std::vector<std::string> row;
    bool quoted = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (quoted) {
            if (c == '"' && i + 1 < text.size() && text[i + 1] == '"') field += text[++i];
            else if (c == '"') quoted = false;
            else field += c;
        } else if (c == '"') {
            quoted = true;
        } else if (c == ',') {
            row.push_back(field);
            field.clear();
        } else if (c == '\n') {
            row.push_back(field);
            field.clear();
            rows.push_back(row);
            row.clear();
        } else {
            field += c;
        }
    }
    return rows;
}

// study.csv by column name: one map per row.
std::vector<std::map<std::string, std::string>> readStudy(const std::string &path)
{
    std::vector<std::vector<std::string>> rows = readCsv(path);
    std::vector<std::map<std::string, std::string>> out;
    for (std::size_t r = 1; r < rows.size(); ++r) {
        std::map<std::string, std::string> m;
        for (std::size_t c = 0; c < rows[0].size() && c < rows[r].size(); ++c) m[rows[0][c]] = rows[r][c];
        out.push_back(m);
    }
    return out;
}

// The table without its timing column, for comparing two ways of running one study.
std::string withoutSeconds(const std::string &path)
{
    std::vector<std::vector<std::string>> rows = readCsv(path);
    std::size_t seconds = rows.empty() ? 0 : std::find(rows[0].begin(), rows[0].end(), "seconds") - rows[0].begin();
    std::string out;
    for (const std::vector<std::string> &row : rows) {
        for (std::size_t c = 0; c < row.size(); ++c)
            if (c != seconds) out += row[c] + ",";
        out += "\n";
    }
    return out;
}

double number(const std::string &text) { return std::strtod(text.c_str(), nullptr); }

// Starts simstudy in the folder and returns its process id.
pid_t startStudy(const std::string &dir, const std::string &args)
{
    std::string cmd = "cd " + quote(dir) + " && exec " + quote(SIMSTUDY_EXE) + " " + args + " --no-progress >simstudy.out 2>simstudy.err </dev/null";
    pid_t pid = fork();
    if (pid == 0) {
        execl("/bin/sh", "sh", "-c", cmd.c_str(), static_cast<char *>(nullptr));
        _exit(127);
    }
    return pid;
}

int waitStatus(pid_t pid)
{
    int status = 0;
    EXPECT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The number of records in the study's manifest (whole lines).
std::size_t records(const std::string &dir)
{
    std::size_t n = 0;
    std::error_code ec;
    for (std::filesystem::directory_iterator it(dir + "/manifest", ec), end; !ec && it != end; it.increment(ec))
        if (it->path().extension() == ".records") n += lines(readFile(it->path().string())).size();
    return n;
}

void awaitRecords(const std::string &dir, std::size_t n)
{
    auto end = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (records(dir) < n && std::chrono::steady_clock::now() < end) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_GE(records(dir), n) << "no run was recorded in time";
}

// Whether a worker is in the middle of a run: it works in its folder under
// DIR/work only while a run is under way (and not yet recorded).
bool inRun(pid_t worker, const std::string &dir)
{
    std::error_code ec;
    std::string cwd = std::filesystem::read_symlink("/proc/" + std::to_string(worker) + "/cwd", ec).string();
    return !ec && cwd.rfind(std::filesystem::canonical(dir).string() + "/work/", 0) == 0;
}

// Where run 'run' keeps its files: DIR/runs/NNNN/NNN (run 12345 in runs/0012/345).
std::string runFolder(int run)
{
    char name[32];
    std::snprintf(name, sizeof name, "runs/%04d/%03d", run / 1000, run % 1000);
    return name;
}

// The child processes of a process (from /proc).
std::vector<pid_t> children(pid_t parent)
{
    std::vector<pid_t> out;
    for (const auto &e : std::filesystem::directory_iterator("/proc")) {
        std::string name = e.path().filename().string();
        if (name.find_first_not_of("0123456789") != std::string::npos) continue;
        std::string stat = readFile(e.path().string() + "/stat");
        std::size_t close = stat.rfind(')');
        if (close == std::string::npos) continue;
        int ppid = 0;
        char state = 0;
        if (std::sscanf(stat.c_str() + close + 1, " %c %d", &state, &ppid) == 2 && ppid == parent)
            out.push_back(static_cast<pid_t>(std::stoi(name)));
    }
    return out;
}

TEST(Simstudy, RowsEqualSeparateSimrunRunsBitForBit)
{
    Folder f;
    Result r = f.simstudy({"run", "study.json", "-o", "out", "-j", "2"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("all 12 runs are ok"), std::string::npos) << r.err;
    std::vector<std::vector<std::string>> table = readCsv(f.dir / "out/study.csv");
    ASSERT_EQ(table.size(), 13u);
    EXPECT_EQ(table[0], (std::vector<std::string>{"run", "sources.weather.file", "blocks.sky.parameters[1]", "sources.cloud.value",
                                                  "status", "seconds", "message", "sky.mean", "sky.min", "sky.max", "sky.sum",
                                                  "sky.integral", "weather[T].mean", "clock.mean", "clock.integral"}));
    for (std::size_t i = 1; i < table.size(); ++i) {
        const std::vector<std::string> &row = table[i];
        ASSERT_EQ(row.size(), 15u);
        EXPECT_EQ(row[0], std::to_string(i));
        EXPECT_EQ(row[4], "ok");
        EXPECT_TRUE(std::filesystem::exists(f.dir / ("out/" + runFolder(std::stoi(row[0])) + "/out.csv")));
        // The same run alone: simrun with the row's values as overrides.
        std::string sep = "sep/" + row[0];
        Result one = simrun({"-q", "--no-progress", "-o", sep, "--set", "sources.weather.file=" + row[1],
                             "--set", "blocks.sky.parameters[1]=" + row[2], "--set", "sources.cloud.value=" + row[3], "model.json"},
                            f.dir.path());
        ASSERT_EQ(one.status, 0) << one.err;
        // The statistics over its CSV rows as the documentation defines them.
        Table csv = readTable(f.dir / (sep + "/out.csv"));
        ASSERT_EQ(csv.rows.size(), 7u);
        std::size_t t = csv.col("time"), sky = csv.col("sky"), air = csv.col("weather[T]");
        double sum = 0, lo = csv.rows[0][sky], hi = lo, integral = 0, airSum = 0;
        for (std::size_t k = 0; k < csv.rows.size(); ++k) {
            double v = csv.rows[k][sky];
            sum += v;
            lo = std::min(lo, v);
            hi = std::max(hi, v);
            if (k > 0) integral += csv.rows[k - 1][sky] * (csv.rows[k][t] - csv.rows[k - 1][t]);
            airSum += csv.rows[k][air];
        }
        EXPECT_EQ(number(row[7]), sum / 7) << "run " << row[0];
        EXPECT_EQ(number(row[8]), lo);
        EXPECT_EQ(number(row[9]), hi);
        EXPECT_EQ(number(row[10]), sum);
        EXPECT_EQ(number(row[11]), integral);
        EXPECT_EQ(number(row[12]), airSum / 7);
        // The clock is in no sink: every step, 0 to 7200 by 600. Mean 3600;
        // integral 600 x (0 + 600 + ... + 6600) = 600 x 600 x 66.
        EXPECT_EQ(row[13], "3600");
        EXPECT_EQ(row[14], "23760000");
    }
}

TEST(Simstudy, FailedRunsAreRecordedAndTheStudyGoesOn)
{
    Folder f;
    // failat (a test block) reports an error once the time reaches its parameter.
    writeFile(f.dir / "failing.json", R"({"start": 0, "stop": 3600, "step": 600,
      "sources": [{"name": "clock", "type": "clock"}],
      "blocks": [{"name": "f", "type": "failat", "parameters": [1e9], "inputs": ["clock"]}],
      "sinks": [{"type": "csv", "file": "out.csv", "signals": ["f"]}]})");
    writeFile(f.dir / "failing_study.json", R"({"model": "failing.json",
      "vary": [{"set": "blocks.f.parameters[1]", "values": [1e9, 1200, 1e9, 2400]}], "summary": {"f": "max"}})");
    std::vector<std::string> args = {"run", "failing_study.json", "-o", "out", "-L", testBlocksDir()};
    Result r = f.simstudy(args);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("simstudy: 2 of 4 runs failed"), std::string::npos) << r.err;
    std::vector<std::map<std::string, std::string>> rows = readStudy(f.dir / "out/study.csv");
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows[0]["status"], "ok");
    EXPECT_EQ(rows[0]["f.max"], "3600");
    EXPECT_EQ(rows[1]["status"], "failed");
    EXPECT_EQ(rows[1]["f.max"], "");
    EXPECT_NE(rows[1]["message"].find("block 'f' (failat) at t = 1200 s: failat: the time has come"), std::string::npos) << rows[1]["message"];
    EXPECT_EQ(rows[2]["status"], "ok");
    EXPECT_NE(rows[3]["message"].find("at t = 2400 s"), std::string::npos) << rows[3]["message"];

    // Again: nothing to do, the failures stand; --retry-failed runs the two again.
    r = f.simstudy(args);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("nothing to run"), std::string::npos) << r.err;
    EXPECT_EQ(records(f.dir / "out"), 4u);
    args.push_back("--retry-failed");
    r = f.simstudy(args);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("0 ok, 2 failed, 0 stopped of 2 runs"), std::string::npos) << r.err;
    EXPECT_EQ(records(f.dir / "out"), 6u);
    EXPECT_EQ(readStudy(f.dir / "out/study.csv").size(), 4u);
}

TEST(Simstudy, StopSignalsRecordRunsAsStoppedAndTheNextRunResumes)
{
    Folder f;
    std::string out = f.dir / "out";
    std::map<std::string, std::string> firstOk;
    for (int sig : {SIGINT, SIGTERM}) {
        std::size_t before = records(out);
        pid_t pid = startStudy(f.dir.path(), "run long_study.json -o out -j 2");
        ASSERT_GT(pid, 0);
        awaitRecords(out, before + 1);
        kill(pid, sig);
        EXPECT_EQ(waitStatus(pid), 128 + sig);
        std::string err = readFile(f.dir / "simstudy.err");
        EXPECT_NE(err.find(std::string("stopped by ") + (sig == SIGINT ? "SIGINT" : "SIGTERM")), std::string::npos) << err;
        std::vector<std::map<std::string, std::string>> rows = readStudy(out + "/study.csv");
        bool stopped = false;
        for (auto &row : rows) {
            if (row["status"] == "stopped") {
                stopped = true;
                // "... at t = T s, after step K of N", or "... before the first step"
                EXPECT_EQ(row["message"].rfind(std::string("stopped by ") + (sig == SIGINT ? "SIGINT " : "SIGTERM "), 0), 0u)
                    << row["message"];
            }
            if (row["status"] == "ok" && firstOk.count(row["run"]) == 0) firstOk[row["run"]] = row["seconds"];
        }
        EXPECT_TRUE(stopped) << readFile(out + "/study.csv");
    }
    Result r = f.simstudy({"run", "long_study.json", "-o", "out", "-j", "2"});
    EXPECT_EQ(r.status, 0) << r.err;
    std::vector<std::map<std::string, std::string>> rows = readStudy(out + "/study.csv");
    ASSERT_EQ(rows.size(), 6u);
    for (std::size_t i = 0; i < rows.size(); ++i) {
        EXPECT_EQ(rows[i]["run"], std::to_string(i + 1));
        EXPECT_EQ(rows[i]["status"], "ok");
        // A run done before a stop is not done again.
        if (firstOk.count(rows[i]["run"])) {
            EXPECT_EQ(rows[i]["seconds"], firstOk[rows[i]["run"]]);
        }
    }
}

TEST(Simstudy, KilledWorkerLosesOnlyItsRunAndACrashedOneFailsIt)
{
    Folder f;
    std::string out = f.dir / "out";
    pid_t pid = startStudy(f.dir.path(), "run long_study.json -o out -j 2");
    ASSERT_GT(pid, 0);
    awaitRecords(out, 1);
    std::vector<pid_t> workers = children(pid);
    ASSERT_EQ(workers.size(), 2u);
    // Each worker in the middle of a run: one killed as the OOM killer or a
    // user would kill it, the other ended as a block's failed assertion would.
    for (std::size_t i = 0; i < 2; ++i) {
        auto end = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (!inRun(workers[i], out) && std::chrono::steady_clock::now() < end)
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        kill(workers[i], i == 0 ? SIGKILL : SIGABRT);
    }
    EXPECT_EQ(waitStatus(pid), 1);
    std::string err = readFile(f.dir / "simstudy.err");
    EXPECT_NE(err.find("was killed (SIGKILL); the run is not recorded, and the next 'run' does it again"), std::string::npos) << err;
    std::vector<std::map<std::string, std::string>> rows = readStudy(out + "/study.csv");
    EXPECT_EQ(rows.size(), 5u);  // the killed worker's run is missing
    std::size_t crashed = 0;
    for (auto &row : rows)
        if (row["status"] == "failed") {
            ++crashed;
            EXPECT_EQ(row["message"], "the worker process died of SIGABRT (Aborted) during the run");
        }
    EXPECT_EQ(crashed, 1u);
    Result r = f.simstudy({"run", "long_study.json", "-o", "out", "--retry-failed"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("2 ok, 0 failed, 0 stopped of 2 runs"), std::string::npos) << r.err;
    EXPECT_EQ(readStudy(out + "/study.csv").size(), 6u);
}

TEST(Simstudy, ShardsCollectAndSlurmArrayGiveTheLocalTable)
{
    Folder f;
    ASSERT_EQ(f.simstudy({"run", "study.json", "-o", "local", "-j", "2"}).status, 0);
    std::string local = withoutSeconds(f.dir / "local/study.csv");

    // Three shards, as GNU parallel would start them, then collect.
    for (int k = 1; k <= 3; ++k) {
        Result r = f.simstudy({"run", "study.json", "-o", "shards", "--shard", std::to_string(k) + "/3", "-j", "1"});
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_NE(r.err.find("all 4 runs of shard " + std::to_string(k) + "/3 are ok"), std::string::npos) << r.err;
    }
    EXPECT_FALSE(std::filesystem::exists(f.dir / "shards/study.csv"));  // shards leave the table to collect
    Result c = f.simstudy({"collect", "shards", "--plot", "trend.png", "--x", "sources.cloud.value", "--y", "sky.mean"});
    EXPECT_EQ(c.status, 0) << c.err;
    EXPECT_EQ(withoutSeconds(f.dir / "shards/study.csv"), local);
    if (c.err.find("gnuplot is not installed") == std::string::npos) {
        EXPECT_EQ(readFile(f.dir / "trend.png").substr(1, 3), "PNG") << c.err;
    }

    // The Slurm job array: two tasks, run by bash with the task's variables.
    Result s = f.simstudy({"slurm", "study.json", "-o", "slurm", "--tasks", "2"});
    ASSERT_EQ(s.status, 0) << s.err;
    std::string script = f.dir / "slurm/slurm/study.sbatch";
    EXPECT_NE(readFile(script).find("\n#SBATCH --array=0-1\n"), std::string::npos);
    EXPECT_EQ(s.out, "jobid=$(sbatch --parsable " + quote(script) + ") && sbatch --dependency=afterany:\"${jobid%%;*}\" " +
                         quote(f.dir / "slurm/slurm/collect.sbatch") + "\n");
    for (int task = 0; task < 2; ++task)
        EXPECT_EQ(std::system(("SLURM_ARRAY_TASK_ID=" + std::to_string(task) + " bash " + quote(script) + " 2>/dev/null").c_str()), 0);
    EXPECT_FALSE(std::filesystem::exists(f.dir / "slurm/study.csv"));
    EXPECT_EQ(std::system(("bash " + quote(f.dir / "slurm/slurm/collect.sbatch") + " 2>/dev/null").c_str()), 0);
    EXPECT_EQ(withoutSeconds(f.dir / "slurm/study.csv"), local);
}

// The files below a folder, by their paths there, in order.
std::vector<std::string> filesBelow(const std::string &dir)
{
    std::vector<std::string> out;
    for (const auto &e : std::filesystem::recursive_directory_iterator(dir))
        if (e.is_regular_file()) out.push_back(std::filesystem::relative(e.path(), dir).string());
    std::sort(out.begin(), out.end());
    return out;
}

// Which runs keep their files ("files" in the study, or --files): the table
// is the same under each setting, sharded or not; "none" leaves the records
// and the table only, "failed" the failed runs' folders only; 'where' says
// where a run's files are, or that it kept none.
TEST(Simstudy, RunsKeepOnlyTheFilesAskedFor)
{
    Folder f;
    ASSERT_EQ(f.simstudy({"run", "study.json", "-o", "all", "-j", "2"}).status, 0);
    const std::string table = withoutSeconds(f.dir / "all/study.csv");
    Result w = f.simstudy({"where", "all", "12"});
    EXPECT_EQ(w.status, 0) << w.err;
    EXPECT_EQ(w.out, std::filesystem::canonical(f.dir / "all").string() + "/runs/0000/012\n");

    for (int k = 1; k <= 2; ++k) {
        Result r = f.simstudy({"run", "study.json", "-o", "none", "--files", "none", "--shard", std::to_string(k) + "/2", "-j", "2"});
        EXPECT_EQ(r.status, 0) << r.err;
    }
    EXPECT_EQ(f.simstudy({"collect", "none"}).status, 0);
    EXPECT_EQ(withoutSeconds(f.dir / "none/study.csv"), table);
    std::vector<std::string> none = filesBelow(f.dir / "none");
    none.erase(std::remove_if(none.begin(), none.end(), [](const std::string &p) { return p.rfind("manifest/", 0) == 0; }), none.end());
    EXPECT_EQ(none, std::vector<std::string>{"study.csv"});  // and the records
    w = f.simstudy({"where", "none", "12"});
    EXPECT_EQ(w.status, 1);
    EXPECT_NE(w.err.find("run 12 (ok) kept no files"), std::string::npos) << w.err;

    // failat (a test block) fails runs 2 and 4 after they wrote rows.
    writeFile(f.dir / "failing.json", R"({"start": 0, "stop": 3600, "step": 600,
      "sources": [{"name": "clock", "type": "clock"}],
      "blocks": [{"name": "f", "type": "failat", "parameters": [1e9], "inputs": ["clock"]}],
      "sinks": [{"type": "csv", "file": "out.csv", "signals": ["f"]}]})");
    writeFile(f.dir / "failed.json", R"({"model": "failing.json", "files": "failed",
      "vary": [{"set": "blocks.f.parameters[1]", "values": [1e9, 1200, 1e9, 2400]}], "summary": {"f": "max"}})");
    Result r = f.simstudy({"run", "failed.json", "-o", "failed", "-j", "2", "-L", testBlocksDir()});
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_EQ(filesBelow(f.dir / "failed/runs"), (std::vector<std::string>{"0000/002/out.csv", "0000/004/out.csv"}));
    EXPECT_FALSE(std::filesystem::exists(f.dir / "failed/work"));  // the workers' folders went with them
    // Run 4 failed at t = 2400 s: its rows at 0, 600, 1200 and 1800 s.
    EXPECT_EQ(readTable(f.dir / "failed/runs/0000/004/out.csv").rows.size(), 4u);
    EXPECT_EQ(readStudy(f.dir / "failed/study.csv")[0]["f.max"], "3600");
}

TEST(Simstudy, WrongCommandLinesAndAnotherStudysFolderAreRefused)
{
    Folder f;
    auto expect = [&](const std::vector<std::string> &args, int status, const std::string &message) {
        Result r = f.simstudy(args);
        EXPECT_EQ(r.status, status) << r.err;
        EXPECT_NE(r.err.find(message), std::string::npos) << "stderr: " << r.err << "\nexpected: " << message;
    };
    expect({"run", "study.json", "-o", "out", "--shard", "4/3"}, 2, "--shard 4/3: K must be from 1 to N (3)");
    expect({"run", "study.json", "-o", "out", "--shard", "0/3"}, 2, "--shard takes K/N");
    expect({"run", "study.json", "-o", "out", "--shard", "1/13"}, 2, "the study has 12 runs, so N can be at most 12");
    expect({"run", "study.json", "-o", "out", "-j", "0"}, 2, "-j takes a number of processes (1 or more)");
    expect({"run", "study.json"}, 2, "run needs -o DIR");
    expect({"run", "study.json", "-o", "out", "--plot", "p.png"}, 2, "--plot needs --x PATH and --y SIGNAL.STAT");
    expect({"run", "study.json", "-o", "out", "--plot", "p.png", "--x", "stop", "--y", "sky.mean"}, 2,
           "--x 'stop' is not a varied path of the study");
    expect({"slurm", "study.json", "-o", "out", "--tasks", "13"}, 2, "--tasks 13: the study has only 12 runs");
    expect({"sweep", "study.json"}, 2, "unknown command 'sweep'");
    expect({"run", "study.json", "-o", "out", "--files", "some"}, 2, "--files takes all, failed or none");
    expect({"where", "out", "x"}, 2, "where: 'x' is not a run number");
    writeFile(f.dir / "bad.json", R"({"model": "model.json", "vary": [{"set": "blocks.sky.parameters[2]", "values": [0]}]})");
    expect({"run", "bad.json", "-o", "out"}, 1, "simstudy: error: bad.json: vary[0].values[0]: blocks.sky.parameters[2]");
    EXPECT_FALSE(std::filesystem::exists(f.dir / "out"));  // nothing ran
    // plan: the count and the first runs' overrides, as simrun --set.
    Result p = f.simstudy({"plan", "study.json"});
    EXPECT_EQ(p.status, 0) << p.err;
    EXPECT_NE(p.out.find(": 12 runs (the product of 3 varied paths, 2 x 2 x 3 values)\n"), std::string::npos) << p.out;
    EXPECT_NE(p.out.find("run 2: --set sources.weather.file=weather.csv --set blocks.sky.parameters[1]=0 --set sources.cloud.value=0.25\n"),
              std::string::npos) << p.out;
    // A folder that holds another study's results.
    ASSERT_EQ(f.simstudy({"run", "study.json", "-o", "out", "--shard", "1/12"}).status, 0);
    expect({"run", "long_study.json", "-o", "out"}, 1, "'out' holds the results of another study");
}

}  // namespace
