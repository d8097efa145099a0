// folderscan on the embedded host, against real folders made in a temporary folder.
//
// Expected values come from the test's own knowledge of what it created, from
// an independent model of the wildcard rule (exact head, case-blind glob after
// the first star, built on fnmatch), from the C library's calendar functions
// and from a walk of the tree with opendir.

// 64-bit file offsets, inode numbers and times on 32-bit hosts too.
#define _FILE_OFFSET_BITS 64
#define _TIME_BITS 64

#include <dirent.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <limits.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "folders/folderscan_result.h"
#include "support/testutil.h"

using testutil::Args;
using testutil::str;

namespace {

using folderscan_test::Rec;
using folderscan_test::Result;
using folderscan_test::scan;
using folderscan_test::serialDay;

const char kMessage[] =
    "One or more inputs could not be understood. Please verify that all inputs are strings or cell strings.\n";

mxArray *cellOf(const std::vector<mxArray *> &items)
{
    mxArray *c = mxCreateCellMatrix(1, items.size());
    for (size_t i = 0; i < items.size(); ++i) mxSetCell(c, i, items[i]);
    return c;
}

// The matching rule written another way: the part before the first star
// compares exactly ("?" any character), the rest is a case-blind glob.
bool modelMatch(const std::string &pat, const std::string &name)
{
    size_t star = pat.find('*');
    std::string head = pat.substr(0, star);
    if (star == std::string::npos && head.size() != name.size()) return false;
    if (name.size() < head.size()) return false;
    for (size_t i = 0; i < head.size(); ++i)
        if (head[i] != '?' && head[i] != name[i]) return false;
    if (star == std::string::npos) return true;
    return fnmatch(pat.substr(star).c_str(), name.substr(head.size()).c_str(), FNM_CASEFOLD | FNM_NOESCAPE) == 0;
}

void writeFile(const std::string &path, size_t bytes)
{
    FILE *f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr) << path;
    std::string data(bytes, 'x');
    std::fwrite(data.data(), 1, data.size(), f);
    std::fclose(f);
}

void makeDir(const std::string &path) { ASSERT_EQ(mkdir(path.c_str(), 0755), 0) << path; }

int run(const std::string &command) { return std::system(command.c_str()); }

// Sets a file's last write time with touch, read as local time under TZ.
void touchAt(const std::string &path, const std::string &when)
{
    ASSERT_EQ(run("touch -m -h -d '" + when + "' '" + path + "'"), 0) << when;
}

class Folderscan : public ::testing::Test {
protected:
    std::string root;  // real path of the temporary folder
    std::string home;  // the working folder before the test

    void SetUp() override
    {
        setenv("TZ", "CET-1CEST,M3.5.0,M10.5.0/3", 1);
        tzset();
        char tmpl[] = "/tmp/folderscan_XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        char real[PATH_MAX];
        ASSERT_NE(realpath(tmpl, real), nullptr);
        root = real;
        char cwd[PATH_MAX];
        ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
        home = cwd;
    }
    void TearDown() override
    {
        EXPECT_EQ(chdir(home.c_str()), 0);
        run("rm -rf '" + root + "'");
    }
    std::string at(const std::string &rel) const { return root + "/" + rel; }
};

// --- Arguments -------------------------------------------------------------

TEST_F(Folderscan, NoArgumentsListsTheCurrentFolderWithDotEntries)
{
    writeFile(at("a.txt"), 3);
    makeDir(at("sub"));
    ASSERT_EQ(chdir(root.c_str()), 0);
    Result r = scan(Args{});
    EXPECT_EQ(r.rows, 4u);
    EXPECT_EQ(r.sortedNames(), (std::vector<std::string>{".", "..", "a.txt", "sub"}));
    EXPECT_EQ(r.printed, "");
    // Returned even when the caller asks for no output.
    Result none = scan(Args{}, 0);
    EXPECT_EQ(none.sortedNames(), r.sortedNames());
}

TEST_F(Folderscan, PatternWithAndWithoutFolderPart)
{
    for (const char *n : {"a.txt", "b.TXT", "c.csv", "d.txtx"}) writeFile(at(n), 1);
    makeDir(at("sub"));
    writeFile(at("sub/inner.txt"), 1);

    // Folder in front of the pattern, absolute.
    EXPECT_EQ(scan(Args{str((root + "/*.txt").c_str())}).sortedNames(), (std::vector<std::string>{"a.txt", "b.TXT"}));
    // Relative folder part, with "." and ".." in it and a doubled separator.
    ASSERT_EQ(chdir(root.c_str()), 0);
    EXPECT_EQ(scan(Args{str("sub/*.txt")}).names(), std::vector<std::string>{"inner.txt"});
    EXPECT_EQ(scan(Args{str("./sub/../sub//*.txt")}).names(), std::vector<std::string>{"inner.txt"});
    // No folder part: the current folder.
    EXPECT_EQ(scan(Args{str("*.csv")}).names(), std::vector<std::string>{"c.csv"});
    // A folder part alone ("sub/") lists everything in it.
    EXPECT_EQ(scan(Args{str("sub/*")}).sortedNames(), (std::vector<std::string>{".", "..", "inner.txt"}));
    // Once the folder is fixed, a later pattern is taken whole, folder part and all:
    // "sub/*.txt" never matches a bare entry name.
    EXPECT_EQ(scan(Args{str("*.csv"), str("sub/*.txt")}).names(), std::vector<std::string>{"c.csv"});
}

TEST_F(Folderscan, PlainStringsFixTheFolderThenAddNames)
{
    writeFile(at("readme.txt"), 5);
    writeFile(at("other.txt"), 5);
    makeDir(at("data"));
    writeFile(at("data/x.dat"), 2);

    EXPECT_EQ(scan(Args{str(root.c_str()), str("readme.txt")}).names(), std::vector<std::string>{"readme.txt"});
    Result missing = scan(Args{str(root.c_str()), str("missing.txt")});
    EXPECT_EQ(missing.rows, 0u);
    EXPECT_EQ(missing.fields.size(), 5u);
    // "?" in a name pattern, without any star.
    EXPECT_EQ(scan(Args{str(root.c_str()), str("?eadme.txt"), str("othe?.txt")}).sortedNames(),
              (std::vector<std::string>{"other.txt", "readme.txt"}));
    // A relative folder lies below the current folder, with or without a trailing separator.
    ASSERT_EQ(chdir(root.c_str()), 0);
    EXPECT_EQ(scan(Args{str("data"), str("x.dat")}).names(), std::vector<std::string>{"x.dat"});
    EXPECT_EQ(scan(Args{str("data/")}).sortedNames(), (std::vector<std::string>{".", "..", "x.dat"}));
    // An absolute folder is used as given, from any working folder.
    ASSERT_EQ(chdir("/"), 0);
    EXPECT_EQ(scan(Args{str(at("data").c_str()), str("x.dat")}).names(), std::vector<std::string>{"x.dat"});
    // Below the root, ".." stays at the root.
    EXPECT_EQ(scan(Args{str(("/../.." + root).c_str()), str("readme.txt")}).names(),
              std::vector<std::string>{"readme.txt"});
}

TEST_F(Folderscan, CellsWithSeveralPatternsListEachEntryOnce)
{
    for (const char *n : {"a.csv", "b.txt", "both.csv.txt", "c.dat"}) writeFile(at(n), 1);
    Args args{cellOf({str(root.c_str()), str("*.csv"), str("*.txt"), str("b*")})};
    Result r = scan(args);
    EXPECT_EQ(r.sortedNames(), (std::vector<std::string>{"a.csv", "b.txt", "both.csv.txt"}));
    EXPECT_EQ(r.rows, 3u);
    // Strings and cells mix, in argument order.
    Args mixed{str(root.c_str()), cellOf({str("*.dat")}), str("a.csv")};
    EXPECT_EQ(scan(mixed).sortedNames(), (std::vector<std::string>{"a.csv", "c.dat"}));
}

TEST_F(Folderscan, RecursiveSwitchAnywhereInAString)
{
    makeDir(at("my-results"));
    writeFile(at("my-results/inner.txt"), 1);
    writeFile(at("top.txt"), 1);
    ASSERT_EQ(chdir(root.c_str()), 0);
    // "my-results" holds "-r": it is the switch, not the folder, so the current
    // folder is listed recursively.
    Result r = scan(Args{str("my-results"), str("*.txt")});
    EXPECT_EQ(r.sortedNames(), (std::vector<std::string>{"my-results/inner.txt", "top.txt"}));
    // The switch inside a cell, after the folder; a pattern holding "-r" stays a pattern.
    Args args{cellOf({str(root.c_str()), str("x-ry"), str("*-r*")})};
    EXPECT_EQ(scan(args).names(), std::vector<std::string>{"my-results"});
}

TEST_F(Folderscan, NonStringArgumentsAreSkippedWithTheMessage)
{
    writeFile(at("a.txt"), 1);
    ASSERT_EQ(chdir(root.c_str()), 0);
    // Only numeric: the current folder is listed.
    Result r = scan(Args{testutil::num(3)});
    EXPECT_EQ(r.printed, kMessage);
    EXPECT_EQ(r.sortedNames(), (std::vector<std::string>{".", "..", "a.txt"}));
    // Each bad input and each bad cell element has its message; the rest is used.
    Args args{str(root.c_str()), cellOf({testutil::num(1), str("a.txt"), testutil::empty()}), testutil::empty()};
    Result mixed = scan(args);
    EXPECT_EQ(mixed.printed, std::string(kMessage) + kMessage + kMessage);
    EXPECT_EQ(mixed.names(), std::vector<std::string>{"a.txt"});
}

// --- The wildcard rule ------------------------------------------------------

TEST_F(Folderscan, WildcardCaseRulesMatchTheModel)
{
    const std::vector<std::string> files = {"readme.txt", "README.TXT", "Readme.Txt", "notes.md", "a.b.c",
                                            "abc",        "ABC",        "x",          "data.csv", "data.CSV",
                                            "ba",         "aXbXc",      "aaab",       "ab"};
    for (const std::string &f : files) writeFile(at(f), 1);
    std::vector<std::string> all = files;
    all.push_back(".");
    all.push_back("..");
    const std::vector<std::string> patterns = {
        "*",     "*.txt", "*.TXT", "README*", "readme*", "R*",   "?eadme.txt", "r?adme.TXT", "*a*b*",
        "a*c",   "*.",    "?",     "??",      "*.?sv",   "a*B*c", "*ME*",      "abc",        "ABC",
        "*X*",   "a**b",  "*ab",   "*a?b",    ".*",      "**",    "a*",        "*.t?t",      "Readme.*"};
    for (const std::string &p : patterns) {
        std::vector<std::string> expected;
        for (const std::string &n : all)
            if (modelMatch(p, n)) expected.push_back(n);
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(scan(Args{str(root.c_str()), str(p.c_str())}).sortedNames(), expected) << "pattern " << p;
    }
    // The two examples of the rule: a star then .TXT finds readme.txt; README then a star does not.
    EXPECT_TRUE(modelMatch("*.TXT", "readme.txt"));
    EXPECT_FALSE(modelMatch("README*", "readme.txt"));
}

// --- Recursive listing ------------------------------------------------------

// Relative names a recursive listing of 'dir' must give, by walking it here:
// every entry, and for each subfolder its "." (the subfolder) and ".." (its parent, "." at the top).
void walk(const std::string &dir, const std::string &rel, std::vector<std::string> &out)
{
    DIR *d = opendir(dir.c_str());
    ASSERT_NE(d, nullptr) << dir;
    while (struct dirent *e = readdir(d)) {
        std::string n = e->d_name;
        if (n == "." || n == "..") {
            if (rel.empty()) {
                out.push_back(n);
            } else {
                size_t slash = rel.rfind('/');
                out.push_back(n == "." ? rel : (slash == std::string::npos ? "." : rel.substr(0, slash)));
            }
            continue;
        }
        std::string r = rel.empty() ? n : rel + "/" + n;
        struct stat st;
        ASSERT_EQ(lstat((dir + "/" + n).c_str(), &st), 0);
        if (S_ISDIR(st.st_mode)) walk(dir + "/" + n, r, out);
        out.push_back(r);
    }
    closedir(d);
}

TEST_F(Folderscan, RecursiveListingOrderAndNames)
{
    writeFile(at("a.txt"), 1);
    makeDir(at("sub"));
    writeFile(at("sub/notes.txt"), 2);
    makeDir(at("sub/deeper"));
    writeFile(at("sub/deeper/z.m"), 3);
    makeDir(at("empty"));

    Result r = scan(Args{str(root.c_str()), str("-r")});
    std::vector<std::string> expected;
    walk(root, "", expected);
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(r.sortedNames(), expected);

    // Each subfolder's contents come before its own record. Its "." and the
    // ".." of its subfolders carry its name too, so its own record is the
    // last one with that name; no record below it may follow.
    std::vector<std::string> names = r.names();
    for (const std::string folder : {"sub", "sub/deeper", "empty"}) {
        size_t own = names.size(), lastInside = 0;
        bool anyInside = false;
        for (size_t i = 0; i < names.size(); ++i) {
            if (names[i] == folder) own = i;
            if (names[i].rfind(folder + "/", 0) == 0) {
                lastInside = i;
                anyInside = true;
            }
        }
        ASSERT_LT(own, names.size()) << folder;
        EXPECT_TRUE(r.recs[own].isdir);
        if (anyInside) {
            EXPECT_LT(lastInside, own) << folder;
        }
    }
    // Patterns apply to the entry's own name, the record carries the path.
    EXPECT_EQ(scan(Args{str((root + "/*.txt").c_str()), str("-r")}).sortedNames(),
              (std::vector<std::string>{"a.txt", "sub/notes.txt"}));
    EXPECT_EQ(scan(Args{str(root.c_str()), str("-r"), str("z.m")}).names(),
              std::vector<std::string>{"sub/deeper/z.m"});
}

TEST_F(Folderscan, RecursionNeverFollowsLinksIntoFolders)
{
    char tmpl[] = "/tmp/folderscan_out_XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    std::string outside = tmpl;
    writeFile(outside + "/far.txt", 7);
    makeDir(at("sub"));
    writeFile(at("sub/f.txt"), 4);
    ASSERT_EQ(symlink(root.c_str(), at("sub/loop").c_str()), 0);    // back to the top
    ASSERT_EQ(symlink("..", at("sub/up").c_str()), 0);              // to the parent
    ASSERT_EQ(symlink(outside.c_str(), at("outside").c_str()), 0);  // elsewhere
    ASSERT_EQ(symlink("sub/f.txt", at("file-link").c_str()), 0);
    ASSERT_EQ(symlink("nowhere", at("broken").c_str()), 0);

    Result r = scan(Args{str(root.c_str()), str("-r")});
    for (const Rec &rec : r.recs) {
        EXPECT_NE(rec.name.rfind("sub/loop/", 0), 0u) << rec.name;
        EXPECT_NE(rec.name.rfind("sub/up/", 0), 0u) << rec.name;
        EXPECT_NE(rec.name.rfind("outside/", 0), 0u) << rec.name;
    }
    // Links are listed with what they point to.
    for (const char *dirLink : {"sub/loop", "sub/up", "outside"}) {
        const Rec *rec = r.find(dirLink);
        ASSERT_NE(rec, nullptr) << dirLink;
        EXPECT_TRUE(rec->isdir) << dirLink;
    }
    ASSERT_NE(r.find("file-link"), nullptr);
    EXPECT_EQ(r.find("file-link")->bytes, 4);
    EXPECT_FALSE(r.find("file-link")->isdir);
    ASSERT_NE(r.find("broken"), nullptr);
    EXPECT_FALSE(r.find("broken")->isdir);
    ASSERT_NE(r.find("sub/f.txt"), nullptr);
    // The start folder itself may be a link: it is listed.
    EXPECT_EQ(scan(Args{str(at("outside").c_str()), str("*.txt")}).names(), std::vector<std::string>{"far.txt"});
    run("rm -rf '" + outside + "'");
}

// --- Empty and missing folders ---------------------------------------------

TEST_F(Folderscan, EmptyAndMissingFolders)
{
    makeDir(at("empty"));
    Result all = scan(Args{str(at("empty").c_str())});
    ASSERT_EQ(all.rows, 2u);
    EXPECT_EQ(all.sortedNames(), (std::vector<std::string>{".", ".."}));
    EXPECT_TRUE(all.recs[0].isdir && all.recs[1].isdir);

    Result none = scan(Args{str((at("empty") + "/*.txt").c_str())});
    EXPECT_EQ(none.rows, 0u);
    EXPECT_EQ(none.cols, 1u);
    EXPECT_EQ(none.fields.size(), 5u);

    Result missing = scan(Args{str(at("no such folder").c_str()), str("-r")});
    EXPECT_EQ(missing.rows, 0u);
    EXPECT_EQ(missing.fields.size(), 5u);
    EXPECT_EQ(missing.printed, "");
    // A file given as the folder lists nothing either.
    writeFile(at("plain"), 1);
    EXPECT_EQ(scan(Args{str(at("plain").c_str())}).rows, 0u);
}

// --- Fields -----------------------------------------------------------------

TEST_F(Folderscan, BytesAndDirectoryBit)
{
    writeFile(at("zero"), 0);
    writeFile(at("one"), 1);
    writeFile(at("kilo"), 1000);
    makeDir(at("folder"));
    ASSERT_EQ(chmod(at("folder").c_str(), 0500), 0);  // read-only folder
    ASSERT_EQ(run("truncate -s 5000000000 '" + at("huge") + "'"), 0);

    Result r = scan(Args{str(root.c_str())});
    ASSERT_EQ(r.rows, 7u);
    EXPECT_EQ(r.find("zero")->bytes, 0);
    EXPECT_EQ(r.find("one")->bytes, 1);
    EXPECT_EQ(r.find("kilo")->bytes, 1000);
    EXPECT_EQ(r.find("huge")->bytes, 5000000000.0);
    EXPECT_FALSE(r.find("huge")->isdir);
    EXPECT_TRUE(r.find("folder")->isdir);
    EXPECT_TRUE(r.find(".")->isdir);
    EXPECT_TRUE(r.find("..")->isdir);
    chmod(at("folder").c_str(), 0755);
}

TEST_F(Folderscan, DatesInLocalTime)
{
    writeFile(at("noon"), 1);
    touchAt(at("noon"), "2000-01-01 12:00:00");
    writeFile(at("summer"), 1);
    touchAt(at("summer"), "2021-07-15 08:09:10.250");  // daylight saving time
    writeFile(at("leap"), 1);
    touchAt(at("leap"), "2400-02-29 23:59:59.999");
    char name[16];
    for (int m = 1; m <= 12; ++m) {
        std::snprintf(name, sizeof name, "m%02d", m);
        writeFile(at(name), 1);
        char when[32];
        std::snprintf(when, sizeof when, "2023-%02d-05 10:20:30", m);
        touchAt(at(name), when);
    }

    Result r = scan(Args{str(root.c_str())});
    ASSERT_NE(r.find("noon"), nullptr);
    EXPECT_EQ(r.find("noon")->date, "01-Jan-2000 12:00:00");
    EXPECT_DOUBLE_EQ(r.find("noon")->datenum, 730486.5);

    EXPECT_EQ(r.find("summer")->date, "15-Jul-2021 08:09:10");
    EXPECT_NEAR(r.find("summer")->datenum, serialDay(2021, 7, 15) + (8 * 3600 + 9 * 60 + 10.25) / 86400.0, 1e-9);

    EXPECT_EQ(r.find("leap")->date, "29-Feb-2400 23:59:59");
    EXPECT_NEAR(r.find("leap")->datenum, serialDay(2400, 2, 29) + (86400 - 0.001) / 86400.0, 1e-9);

    for (int m = 1; m <= 12; ++m) {
        std::snprintf(name, sizeof name, "m%02d", m);
        struct tm tm = {};
        tm.tm_year = 2023 - 1900;
        tm.tm_mon = m - 1;
        tm.tm_mday = 5;
        tm.tm_hour = 10;
        tm.tm_min = 20;
        tm.tm_sec = 30;
        char expected[64];
        std::strftime(expected, sizeof expected, "%d-%b-%Y %H:%M:%S", &tm);  // C locale month names
        const Rec *rec = r.find(name);
        ASSERT_NE(rec, nullptr);
        EXPECT_EQ(rec->date, expected);
        EXPECT_NEAR(rec->datenum, serialDay(2023, m, 5) + (10 * 3600 + 20 * 60 + 30) / 86400.0, 1e-9);
    }
    EXPECT_EQ(r.printed, "");

    // A zone changed between calls counts at the next call (noon in the
    // winter zone UTC+1 is 11:00 UTC).
    setenv("TZ", "UTC0", 1);
    Result utc = scan(Args{str(root.c_str()), str("noon")});
    ASSERT_EQ(utc.rows, 1u);
    EXPECT_EQ(utc.recs[0].date, "01-Jan-2000 11:00:00");
    EXPECT_DOUBLE_EQ(utc.recs[0].datenum, 730486.0 + 11.0 / 24.0);
}

TEST_F(Folderscan, TimeBeyondTheCalendarGivesTheMonthMessage)
{
    // Only a file system that keeps huge time stamps can hold such a file.
    char tmpl[] = "/dev/shm/folderscan_XXXXXX";
    if (mkdtemp(tmpl) == nullptr) GTEST_SKIP() << "no /dev/shm";
    std::string dir = tmpl;
    writeFile(dir + "/far", 1);
    int touched = run("touch -m -d @100000000000000000 '" + dir + "/far' 2>/dev/null");
    struct stat st;
    bool kept = touched == 0 && stat((dir + "/far").c_str(), &st) == 0 && sizeof(st.st_mtime) == 8
                && static_cast<long long>(st.st_mtime) == 100000000000000000LL;
    if (kept) {
        Result r = scan(Args{str(dir.c_str()), str("far")});
        ASSERT_EQ(r.rows, 1u);
        EXPECT_EQ(r.printed, "Cannon understand month number 0\n");
        EXPECT_EQ(r.recs[0].date, "00-NaN-0000 00:00:00");
        EXPECT_TRUE(std::isnan(r.recs[0].datenum));
    }
    run("rm -rf '" + dir + "'");
    if (!kept) GTEST_SKIP() << "time stamp not kept";
}

// --- Limits -----------------------------------------------------------------

TEST_F(Folderscan, PathsLongerThanThePathLimit)
{
    // 30 levels of 200-character names: the deepest path is about 6000 characters.
    const std::string part(200, 'd');
    int fd = open(root.c_str(), O_RDONLY | O_DIRECTORY);
    ASSERT_GE(fd, 0);
    std::string expected;
    for (int level = 0; level < 30; ++level) {
        ASSERT_EQ(mkdirat(fd, part.c_str(), 0755), 0);
        int next = openat(fd, part.c_str(), O_RDONLY | O_DIRECTORY);
        close(fd);
        ASSERT_GE(next, 0);
        fd = next;
        expected += part + "/";
    }
    int file = openat(fd, "end.txt", O_WRONLY | O_CREAT, 0644);
    ASSERT_GE(file, 0);
    close(file);
    close(fd);
    expected += "end.txt";
    ASSERT_GT(expected.size(), static_cast<size_t>(PATH_MAX));

    Result r = scan(Args{str(root.c_str()), str("-r"), str("end.txt")});
    EXPECT_EQ(r.names(), std::vector<std::string>{expected});
    // A start folder longer than 260 characters.
    std::string start = root + "/" + part + "/" + part;
    EXPECT_EQ(scan(Args{str(start.c_str()), str(part.c_str())}).names(), std::vector<std::string>{part});
}

TEST_F(Folderscan, DeepTreeUnderALowDescriptorLimit)
{
    // 300 levels, each holding the next level "a", a folder "b" with one
    // file, and a file: more levels than the process may open descriptors.
    std::string level = root;
    for (int i = 0; i < 300; ++i) {
        ASSERT_EQ(mkdir((level + "/a").c_str(), 0755), 0);
        ASSERT_EQ(mkdir((level + "/b").c_str(), 0755), 0);
        writeFile(level + "/b/x.txt", 1);
        writeFile(level + "/f.txt", 2);
        level += "/a";
    }
    std::vector<std::string> expected;
    walk(root, "", expected);
    ASSERT_EQ(expected.size(), 2u + 300u * 8u);  // . ..; per level: a b f.txt, b's x.txt . .., a's . ..

    struct rlimit old;
    ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &old), 0);
    struct rlimit low = old;
    low.rlim_cur = 64;
    ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &low), 0);
    Result r = scan(Args{str(root.c_str()), str("-r")});
    setrlimit(RLIMIT_NOFILE, &old);
    EXPECT_EQ(r.names(), expected);
}

TEST_F(Folderscan, PatternListGrowsPastAHundredThousand)
{
    writeFile(at("target.txt"), 1);
    writeFile(at("p000007"), 1);
    std::vector<mxArray *> items{str(root.c_str())};
    char p[16];
    for (int i = 0; i < 150000; ++i) {
        std::snprintf(p, sizeof p, "n%06d", i);
        items.push_back(str(p));
    }
    items.push_back(str("target.txt"));
    Args args{cellOf(items)};
    EXPECT_EQ(scan(args).names(), std::vector<std::string>{"target.txt"});
}

TEST_F(Folderscan, ManyEntriesAndNoArraysLeftBehind)
{
    const int n = 3000;
    std::vector<std::string> expected;
    char name[32];
    for (int i = 0; i < n; ++i) {
        std::snprintf(name, sizeof name, "file_%05d.dat", i);
        writeFile(at(name), static_cast<size_t>(i % 7));
        expected.push_back(name);
    }
    size_t before = mxhost::liveArrays();
    {
        Result r = scan(Args{str(root.c_str()), str("*.dat")});
        ASSERT_EQ(r.rows, static_cast<size_t>(n));
        EXPECT_EQ(r.sortedNames(), expected);
        for (const Rec &rec : r.recs) EXPECT_EQ(rec.bytes, std::atoi(rec.name.c_str() + 5) % 7) << rec.name;
    }
    EXPECT_EQ(mxhost::liveArrays(), before);
}

// The host's structure arrays, on which the result is built: a record count
// whose field slots do not fit in memory sizes is refused, not wrapped into a
// small block that later writes run past.
void hugeStruct(int, mxArray *plhs[], int, const mxArray *[])
{
    const char *fields[5] = {"name", "date", "bytes", "isdir", "datenum"};
    size_t records = static_cast<size_t>(-1) / 5 + 1;  // records * 5 wraps to 4
    mxArray *a = mxCreateStructMatrix(records, 1, 5, fields);
    mxSetFieldByNumber(a, 1000, 0, mxCreateDoubleScalar(1));
    plhs[0] = a;
}

TEST(HostStructArrays, FieldSlotCountThatWrapsIsRefused)
{
    mxArray *out[1] = {nullptr};
    mxhost::CallResult res = mxhost::call(hugeStruct, 1, out, 0, nullptr);
    EXPECT_FALSE(res.ok);
    EXPECT_EQ(res.error, "Out of memory.");
    EXPECT_EQ(out[0], nullptr);
}

}  // namespace
