// tablogger through the engine against real files in a temporary folder:
// the row and header formats, the trigger threshold, appending and
// truncating, files that cannot be opened, writes that fail, widths it
// refuses, and a long run with no row lost.
//
// TabloggerClock runs only under faketime (a ctest entry of its own) and
// checks the header against the controlled clock.
#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/resource.h>
#endif
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "support/testutil.h"

namespace {

namespace fs = std::filesystem;
using testutil::Args;
using testutil::Harness;
using testutil::num;
using testutil::str;

const char kHeaderEnd[] = " by the block \"model/tablogger\"\n";

std::string readBytes(const fs::path &p)
{
    std::ifstream f(p, std::ios::binary);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
}

// The file's text. The block writes through a text-mode stream, which on
// Windows ends each line with CR LF on disk: there the pairs are read back
// as "\n", as a text-mode reader would. LinesOnDisk checks the bytes.
std::string readFile(const fs::path &p)
{
    std::string text = readBytes(p);
#ifdef _WIN32
    std::string lines;
    for (std::size_t i = 0; i < text.size(); ++i)
        if (!(text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')) lines += text[i];
    text = lines;
#endif
    return text;
}

void writeFile(const fs::path &p, const std::string &text)
{
    std::ofstream f(p, std::ios::binary);
    f << text;
}

class Tablogger : public ::testing::Test {
protected:
    fs::path dir;
    void SetUp() override
    {
        static int n = 0;
        dir = fs::temp_directory_path() / ("tablogger-test-" + std::to_string(getpid()) + "-" + std::to_string(n++));
        fs::remove_all(dir);
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }
    std::string path(const char *name) const { return (dir / name).string(); }
};

// Initialises the conditions and returns what the block printed.
std::string initialize(Harness &h)
{
    mxhost::PrintCapture capture;
    EXPECT_EQ(h.block().tryRequest(engine::kInitializeConditions), "");
    return capture.text();
}

// One output step with these inputs; returns what the block printed.
std::string step(Harness &h, const std::vector<double> &in)
{
    mxhost::PrintCapture capture;
    h.output1(0, in);
    return capture.text();
}

TEST_F(Tablogger, RowsAreCompleteAfterEveryStep)
{
    const std::string file = path("rows.txt");
    Harness h("tablogger", Args{num(0), str(file.c_str())}, {3});
    EXPECT_EQ(initialize(h), "");
    EXPECT_EQ(*static_cast<const int16_T *>(h.block().dwork(0)), 2);
    EXPECT_FALSE(fs::exists(file));  // switch 0: nothing written at initialisation
    EXPECT_EQ(step(h, {1.5, -20, 1}), "");
    EXPECT_EQ(readFile(file), "1.500000 -20.000000 \n");
    step(h, {0.25, 3, 0});
    EXPECT_EQ(readFile(file), "1.500000 -20.000000 \n");
    step(h, {1e20, -0.0000004, 5});
    EXPECT_EQ(readFile(file), "1.500000 -20.000000 \n100000000000000000000.000000 -0.000000 \n");
    char nanText[64];
    std::snprintf(nanText, sizeof nanText, "%f %f \n", NAN, 2.0);
    step(h, {NAN, 2, 1});
    EXPECT_EQ(readFile(file), std::string("1.500000 -20.000000 \n100000000000000000000.000000 -0.000000 \n") + nanText);
}

TEST_F(Tablogger, TriggerMustExceedPointNine)
{
    const std::string file = path("trigger.txt");
    Harness h("tablogger", Args{num(0), str(file.c_str())}, {2});
    initialize(h);
    const double triggers[] = {0.9, 0.9000001, std::nextafter(0.9, 1.0), 1, -1, NAN, 0, 1e300, INFINITY};
    for (std::size_t i = 0; i < sizeof triggers / sizeof triggers[0]; ++i) step(h, {double(i), triggers[i]});
    EXPECT_EQ(readFile(file), "1.000000 \n2.000000 \n3.000000 \n7.000000 \n8.000000 \n");
}

TEST_F(Tablogger, WidthOneWritesEmptyRows)
{
    const std::string file = path("empty-rows.txt");
    Harness h("tablogger", Args{num(0), str(file.c_str())}, {1});
    initialize(h);
    step(h, {1});
    step(h, {0.5});
    step(h, {2});
    EXPECT_EQ(readFile(file), "\n\n");
}

TEST_F(Tablogger, SwitchZeroAppendsToAnExistingFile)
{
    const std::string file = path("existing.txt");
    writeFile(file, "% old header\n1.000000 \n");
    Harness h("tablogger", Args{num(0), str(file.c_str())}, {2});
    initialize(h);
    EXPECT_EQ(readFile(file), "% old header\n1.000000 \n");
    step(h, {2, 1});
    EXPECT_EQ(readFile(file), "% old header\n1.000000 \n2.000000 \n");
}

TEST_F(Tablogger, SwitchOnStartsTheFileWithAHeader)
{
    const std::string file = path("header.txt");
    writeFile(file, "old content\n");
    Harness h("tablogger", Args{num(1), str(file.c_str())}, {3});
    const std::time_t before = std::time(nullptr);
    EXPECT_EQ(initialize(h), "");
    const std::time_t after = std::time(nullptr);

    const std::string header = readFile(file);
    std::smatch m;
    const std::regex form("% This file has been generated at ([0-9]+):([0-9]+) on ([0-9]+)\\.([0-9]+)\\.([0-9]{4})"
                          " by the block \"model/tablogger\"\n");
    ASSERT_TRUE(std::regex_match(header, m, form)) << header;
    // The local time of the call, in one of the minutes it spanned, without leading zeros.
    bool matched = false;
    for (std::time_t t : {before, after}) {
        std::tm tm{};
        localtime_r(&t, &tm);
        const std::string when = std::to_string(tm.tm_hour) + ":" + std::to_string(tm.tm_min) + " on " +
                                 std::to_string(tm.tm_mday) + "." + std::to_string(tm.tm_mon + 1) + "." +
                                 std::to_string(tm.tm_year + 1900);
        matched = matched || header == "% This file has been generated at " + when + kHeaderEnd;
    }
    EXPECT_TRUE(matched) << header;

    step(h, {1, 2, 1});
    EXPECT_EQ(readFile(file), header + "1.000000 2.000000 \n");
    // Every initialisation with the switch on starts the file again.
    initialize(h);
    EXPECT_EQ(readFile(file).rfind("% This file has been generated at ", 0), 0u);
    EXPECT_EQ(readFile(file).find("1.000000"), std::string::npos);
}

TEST_F(Tablogger, UnopenableFileIsReportedAndTheRunGoesOn)
{
    const std::string missingDir = path("no-such-folder/log.txt");
    const std::string line = "error: couldn't open file \"" + missingDir + "\"\n";
    Harness h("tablogger", Args{num(1), str(missingDir.c_str())}, {2});
    EXPECT_EQ(initialize(h), line);
    EXPECT_NE(h.model().info().flags & SS_MDL_FLAG_NO_ERROR, 0u);  // no error report
    EXPECT_EQ(step(h, {1, 1}), line);
    EXPECT_EQ(step(h, {1, 0}), "");
    EXPECT_EQ(step(h, {2, 1}), line);
    EXPECT_FALSE(fs::exists(dir / "no-such-folder"));

    // A folder is no file either.
    Harness onFolder("tablogger", Args{num(0), str(dir.string().c_str())}, {2});
    initialize(onFolder);
    EXPECT_EQ(step(onFolder, {1, 1}), "error: couldn't open file \"" + dir.string() + "\"\n");
}

#ifndef _WIN32
// A write that fails (a full device, a file size limit) stops the run with
// the file name and the system's reason, and the file keeps only whole rows.
// POSIX only: /dev/full and file size limits.
TEST_F(Tablogger, FailedWritesStopTheRunAndLeaveWholeRows)
{
    const std::string full = "/dev/full";
    const std::string noSpace = "Error in tablogger : Writing to file \"" + full + "\" failed: " + std::strerror(ENOSPC);
    Harness onFull("tablogger", Args{num(0), str(full.c_str())}, {2});
    EXPECT_EQ(initialize(onFull), "");
    onFull.setInput(0, {1.5, 1});
    EXPECT_EQ(onFull.block().tryRequest(engine::kOutputs), noSpace);
    Harness headerOnFull("tablogger", Args{num(1), str(full.c_str())}, {2});
    EXPECT_EQ(headerOnFull.block().tryRequest(engine::kInitializeConditions), noSpace);

    // Under a limit of 100 bytes, rows of 21 bytes: four fit (84 bytes), the
    // fifth would end at byte 105 and only part of it could be written.
    const std::string file = path("limited.txt");
    Harness h("tablogger", Args{num(0), str(file.c_str())}, {3});
    EXPECT_EQ(initialize(h), "");
    struct rlimit old;
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    void (*oldHandler)(int) = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit limit = old;
    limit.rlim_cur = 100;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limit), 0);
    std::vector<std::string> errors;
    for (int i = 0; i < 6; ++i) {
        h.setInput(0, {1.5, -20, 1});
        errors.push_back(h.block().tryRequest(engine::kOutputs));
    }
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
    std::string row = "1.500000 -20.000000 \n";
    EXPECT_EQ(readFile(file), row + row + row + row);
    const std::string tooLarge = "Error in tablogger : Writing to file \"" + file + "\" failed: " + std::strerror(EFBIG);
    EXPECT_EQ(errors, (std::vector<std::string>{"", "", "", "", tooLarge, tooLarge}));
}
#endif

TEST_F(Tablogger, FileNameThatIsNoTextGivesTheEmptyName)
{
    const std::string line = "error: couldn't open file \"\"\n";
    for (int kind = 0; kind < 3; ++kind) {
        mxArray *name = kind == 0 ? str("") : kind == 1 ? num(42) : testutil::empty();
        Harness h("tablogger", Args{num(1), name}, {2});
        EXPECT_EQ(initialize(h), line) << "kind " << kind;
        EXPECT_EQ(step(h, {3, 1}), line) << "kind " << kind;
    }
}

TEST_F(Tablogger, SwitchWithNoNumberLeavesTheFileAlone)
{
    const std::string file = path("kept.txt");
    writeFile(file, "keep me\n");
    Harness h("tablogger", Args{testutil::empty(), str(file.c_str())}, {2});
    initialize(h);
    EXPECT_EQ(readFile(file), "keep me\n");
}

TEST_F(Tablogger, FileNameIsReadForEveryRow)
{
    const std::string first = path("first.txt"), second = path("second.txt");
    Harness h("tablogger", Args{num(0), str(first.c_str())}, {2});
    initialize(h);
    step(h, {1, 1});
    mxArray *other = str(second.c_str());
    const mxArray **params = h.S()->sfcnParams.params;
    const mxArray *saved = params[1];
    params[1] = other;
    step(h, {2, 1});
    params[1] = saved;
    mxDestroyArray(other);
    EXPECT_EQ(readFile(first), "1.000000 \n");
    EXPECT_EQ(readFile(second), "2.000000 \n");
}

TEST_F(Tablogger, RefusedWidths)
{
    const std::string file = path("wide.txt");
    {
        Harness h("tablogger", Args{num(1), str(file.c_str())}, {0});
        EXPECT_EQ(h.block().tryRequest(engine::kInitializeConditions),
                  "Error in tablogger : The input must have at least one element, the trigger.");
        EXPECT_FALSE(fs::exists(file));
        h.outputs(0);  // nothing to read, nothing written
        EXPECT_FALSE(fs::exists(file));
    }
    {
        Harness h("tablogger", Args{num(1), str(file.c_str())}, {32769});
        EXPECT_EQ(h.block().tryRequest(engine::kInitializeConditions),
                  "Error in tablogger : The input must not have more than 32768 elements (32767 values and the "
                  "trigger).");
        EXPECT_FALSE(fs::exists(file));
    }
    // The widest accepted input: 32767 values and the trigger.
    Harness h("tablogger", Args{num(0), str(file.c_str())}, {32768});
    EXPECT_EQ(initialize(h), "");
    EXPECT_EQ(*static_cast<const int16_T *>(h.block().dwork(0)), 32767);
    std::vector<double> in(32768, 0.5);
    in[32766] = 7;
    in[32767] = 1;
    step(h, in);
    const std::string row = readFile(file);
    std::string expected;
    for (int i = 0; i < 32766; ++i) expected += "0.500000 ";
    expected += "7.000000 \n";
    EXPECT_EQ(row, expected);
}

// The bytes on disk, written out by hand: CR LF line ends on Windows, LF
// elsewhere; what the file held before an append is kept byte for byte.
TEST_F(Tablogger, LinesOnDisk)
{
    const std::string file = path("bytes.txt");
    writeFile(file, "kept\n");
    Harness h("tablogger", Args{num(0), str(file.c_str())}, {3});
    initialize(h);
    step(h, {1.5, -20, 1});
    step(h, {2, 3, 1});
#ifdef _WIN32
    EXPECT_EQ(readBytes(file), "kept\n1.500000 -20.000000 \r\n2.000000 3.000000 \r\n");
#else
    EXPECT_EQ(readBytes(file), "kept\n1.500000 -20.000000 \n2.000000 3.000000 \n");
#endif
}

TEST_F(Tablogger, HundredThousandRowsNoneLost)
{
    const std::string file = path("long.txt");
    Harness h("tablogger", Args{num(0), str(file.c_str())}, {3});
    initialize(h);
    const int rows = 100000;
    std::string expected;
    expected.reserve(static_cast<std::size_t>(rows) * 32);
    for (int i = 0; i < rows; ++i) {
        const double a = i * 0.25, b = -i - 0.5;
        // Between rows, a step with its trigger low writes nothing.
        h.output1(i, {a, b, 1});
        h.output1(i, {-1, -1, 0.5});
        expected += std::to_string(a) + " " + std::to_string(b) + " \n";
    }
    const std::string got = readFile(file);
    EXPECT_EQ(std::count(got.begin(), got.end(), '\n'), rows);
    EXPECT_TRUE(got == expected) << "the file differs from the " << rows << " rows written";
}

TEST_F(Tablogger, Declaration)
{
    Harness h("tablogger", Args{num(0), str(path("d.txt").c_str())}, {4});
    engine::Block &b = h.block();
    const std::vector<double> &sizes = b.sizesVector();
    EXPECT_EQ(sizes[7], 2);
    EXPECT_EQ(sizes[0], 0);
    EXPECT_EQ(sizes[1], 0);
    EXPECT_EQ(sizes[2], 1);
    EXPECT_EQ(sizes[3], 1);
    EXPECT_EQ(sizes[6], 1);
    EXPECT_EQ(sizes[23], 8192);
    EXPECT_TRUE(b.directFeedThrough(0));
    EXPECT_FALSE(b.requiredContiguous(0));
    EXPECT_EQ(b.outputWidth(0), 1);
    EXPECT_EQ(b.sampleTime(0), 0.0);
    EXPECT_EQ(b.offsetTime(0), 0.0);
    const SimStruct *S = h.S();
    ASSERT_EQ(ssGetNumDWork(S), 1);
    EXPECT_EQ(ssGetDWorkWidth(S, 0), 1);
    EXPECT_EQ(ssGetDWorkDataType(S, 0), 4);
    EXPECT_STREQ(ssGetDWorkName(S, 0), "DWORK_NUMBER");
    EXPECT_EQ(ssGetDWorkUsageType(S, 0), 1);
    EXPECT_EQ(ssGetFlags(S) & 0xF80000u, 0x880000u);
    int made197 = 0;
    for (const engine::GenericRequest &r : h.model().requests())
        if (r.code == 197 && r.hasBool && r.boolValue) ++made197;
    EXPECT_EQ(made197, 1);
    // The input width is left to the engine; the output is never written.
    engine::Model m;
    Args params{num(0), str("x")};
    engine::Block fresh(m, testutil::library("tablogger"), "fresh", params.view());
    fresh.initializeSizes();
    EXPECT_EQ(fresh.inputWidth(0), DYNAMICALLY_SIZED);
    b.output(0)[0] = 42;
    h.output1(0, {1, 2, 3, 0});
    EXPECT_EQ(b.output(0)[0], 42);
}

TEST_F(Tablogger, WithoutDWorkServiceTheWidthGivesTheColumns)
{
    const std::string file = path("no-dwork.txt");
    engine::Model m;
    m.offerDWorkService(false);
    Args params{num(0), str(file.c_str())};
    engine::Block b(m, testutil::library("tablogger"), "tablogger", params.view());
    b.initializeSizes();
    EXPECT_EQ(ssGetNumDWork(b.instance()), 0);
    b.setInputWidth(0, 3);
    b.allocate();
    const double in[3] = {4, 5, 1};
    for (int e = 0; e < 3; ++e) b.connectInput(0, e, &in[e]);
    b.request(engine::kInitializeConditions);
    b.outputs();
    EXPECT_EQ(readFile(file), "4.000000 5.000000 \n");
}

// The header against the clock faketime controls: the expected "H:M on D.M.YYYY"
// comes from the ctest entry.
TEST(TabloggerClock, HeaderAtControlledTime)
{
    const char *expected = std::getenv("TABLOGGER_EXPECTED_TIME");
    if (expected == nullptr) GTEST_SKIP() << "runs under faketime only";
    const fs::path file = fs::temp_directory_path() / ("tablogger-clock-" + std::to_string(getpid()) + ".txt");
    {
        Harness h("tablogger", Args{num(1), str(file.string().c_str())}, {2});
        initialize(h);
        step(h, {12.5, 1});
    }
    EXPECT_EQ(readFile(file),
              std::string("% This file has been generated at ") + expected + kHeaderEnd + "12.500000 \n");
    fs::remove(file);
}

}  // namespace
