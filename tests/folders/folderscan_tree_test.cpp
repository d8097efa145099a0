// folderscan against real folder trees built with the standard library alone,
// so the same checks run on every platform: on Windows (under Wine too) they
// go through the FindFirstFile listing, elsewhere through the POSIX one.
// folderscan_test adds the POSIX-only cases (links, modes, paths beyond the
// length limit, time zones set through TZ).
//
// Expected names come from the tree the test made and from a walk of it with
// std::filesystem; sizes from the bytes written; dates from the C runtime's
// own conversion of the time stamp the test set, to local calendar fields.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#endif

#include "folders/folderscan_result.h"
#include "support/testutil.h"

namespace {

namespace fs = std::filesystem;
using testutil::Args;
using testutil::str;

using folderscan_test::Rec;
using Listing = folderscan_test::Result;
using folderscan_test::scan;
using folderscan_test::serialDay;

void writeFile(const fs::path &p, std::size_t bytes)
{
    std::ofstream f(p, std::ios::binary);
    f << std::string(bytes, 'x');
}

// Sets a file's last write time to whole seconds since 1970 (UTC) plus milliseconds.
void setWriteTime(const fs::path &p, std::int64_t seconds, int ms)
{
#ifdef _WIN32
    // 100-ns ticks since 1601; 1970 is 11644473600 s later.
    const std::uint64_t ticks = static_cast<std::uint64_t>(seconds + 11644473600LL) * 10000000ULL +
                                static_cast<std::uint64_t>(ms) * 10000ULL;
    FILETIME ft{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
    HANDLE h = CreateFileW(p.wstring().c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE) << p;
    EXPECT_TRUE(SetFileTime(h, nullptr, nullptr, &ft));
    CloseHandle(h);
#else
    struct timespec times[2];
    times[0].tv_sec = times[1].tv_sec = static_cast<time_t>(seconds);
    times[0].tv_nsec = times[1].tv_nsec = static_cast<long>(ms) * 1000000L;
    ASSERT_EQ(utimensat(AT_FDCWD, p.string().c_str(), times, 0), 0) << p;
#endif
}

// The relative names a recursive listing of 'dir' must give: every entry
// with its path below the start folder, and for each folder its "." (the
// folder itself) and ".." (its parent, "." at the top).
void walk(const fs::path &dir, const fs::path &rel, std::vector<std::string> &out)
{
    out.push_back(rel.empty() ? "." : rel.string());
    out.push_back(rel.empty() ? ".." : (rel.has_parent_path() ? rel.parent_path().string() : "."));
    for (const fs::directory_entry &e : fs::directory_iterator(dir)) {
        const fs::path r = rel.empty() ? e.path().filename() : rel / e.path().filename();
        if (e.is_directory()) walk(e.path(), r, out);
        out.push_back(r.string());
    }
}

class FolderTree : public ::testing::Test {
protected:
    fs::path root, home;
    void SetUp() override
    {
        static int n = 0;
        const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
        root = fs::temp_directory_path() / ("folderscan-tree-" + std::to_string(stamp) + "-" + std::to_string(n++));
        fs::create_directories(root);
        root = fs::canonical(root);
        home = fs::current_path();
        followSystemTimeZone();
    }
    void TearDown() override
    {
        fs::current_path(home);
        std::error_code ec;
        fs::remove_all(root, ec);
    }
    std::string at(const std::string &rel) const { return (root / fs::path(rel).make_preferred()).string(); }
};

TEST_F(FolderTree, NamesPatternsSizesAndRecursion)
{
    writeFile(at("a.txt"), 3);
    writeFile(at("B.TXT"), 0);
    writeFile(at("c.csv"), 1000);
    fs::create_directories(at("sub/deeper"));
    fs::create_directories(at("empty"));
    writeFile(at("sub/notes.txt"), 2);
    writeFile(at("sub/deeper/z.m"), 3);

    // The whole folder, "." and ".." included, with sizes and directory bits.
    Listing all = scan(Args{str(root.string().c_str())});
    EXPECT_EQ(all.sortedNames(), (std::vector<std::string>{".", "..", "B.TXT", "a.txt", "c.csv", "empty", "sub"}));
    EXPECT_EQ(all.printed, "");
    ASSERT_EQ(all.recs.size(), 7u);
    EXPECT_EQ(all.find("a.txt")->bytes, 3);
    EXPECT_EQ(all.find("B.TXT")->bytes, 0);
    EXPECT_EQ(all.find("c.csv")->bytes, 1000);
    for (const char *d : {".", "..", "sub", "empty"}) EXPECT_TRUE(all.find(d)->isdir) << d;
    EXPECT_FALSE(all.find("c.csv")->isdir);

    // The same folder as the current folder, with no argument.
    fs::current_path(root);
    EXPECT_EQ(scan(Args{}).sortedNames(), all.sortedNames());

    // Exact before the first star, case-blind after it; "?" is any one character.
    const std::string pattern = (root / "*.txt").string();
    EXPECT_EQ(scan(Args{str(pattern.c_str())}).sortedNames(), (std::vector<std::string>{"B.TXT", "a.txt"}));
    EXPECT_EQ(scan(Args{str("A*")}).names(), std::vector<std::string>{});
    EXPECT_EQ(scan(Args{str("."), str("?.txt")}).names(), std::vector<std::string>{"a.txt"});
    // A relative folder part in front of the pattern.
    const std::string relative = (fs::path("sub") / "*.txt").string();
    EXPECT_EQ(scan(Args{str(relative.c_str())}).names(), std::vector<std::string>{"notes.txt"});

    // Recursive: every entry below the start folder, named by its path in the
    // platform's own separators, each folder's contents before its own record.
    Listing tree = scan(Args{str(root.string().c_str()), str("-r")});
    std::vector<std::string> expected;
    walk(root, fs::path(), expected);
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(tree.sortedNames(), expected);
    const std::vector<std::string> names = tree.names();
    const std::string deeper = (fs::path("sub") / "deeper").string();
    const std::string zm = (fs::path("sub") / "deeper" / "z.m").string();
    // A folder's "." and the ".." of its subfolders carry its name too: its
    // own record is the last one with that name.
    const auto last = [&](const std::string &n) { return names.rend() - std::find(names.rbegin(), names.rend(), n); };
    EXPECT_LT(last(zm), last(deeper));
    EXPECT_EQ(tree.find(zm)->bytes, 3);
    EXPECT_EQ(scan(Args{str(pattern.c_str()), str("-r")}).sortedNames(),
              (std::vector<std::string>{"B.TXT", "a.txt", (fs::path("sub") / "notes.txt").string()}));

    // Missing folders and a file given as the folder list nothing, silently.
    Listing missing = scan(Args{str(at("no such folder").c_str()), str("-r")});
    EXPECT_TRUE(missing.recs.empty());
    EXPECT_EQ(missing.printed, "");
    EXPECT_TRUE(scan(Args{str(at("c.csv").c_str())}).recs.empty());
}

TEST_F(FolderTree, SizesBeyondFourGigabytes)
{
    const std::string huge = at("huge");
    writeFile(huge, 0);
    std::error_code ec;
    fs::resize_file(huge, 5000000000ULL, ec);  // sparse where the file system allows
    if (ec) GTEST_SKIP() << "no room for a 5 GB file: " << ec.message();
    Listing l = scan(Args{str(root.string().c_str()), str("huge")});
    ASSERT_EQ(l.recs.size(), 1u);
    EXPECT_EQ(l.recs[0].bytes, 5000000000.0);
    EXPECT_FALSE(l.recs[0].isdir);
}

TEST_F(FolderTree, DatesAreTheLocalTimeOfTheLastWrite)
{
    struct Case {
        const char *name;
        std::int64_t seconds;  // since 1970, UTC
        int ms;
    };
    const Case cases[] = {{"winter", 946728000, 0},      // 2000-01-01 12:00:00 UTC
                          {"summer", 1626336550, 250},   // 2021-07-15 08:09:10.250 UTC
                          {"leap", 1709251199, 999}};    // 2024-02-29 23:59:59.999 UTC
    for (const Case &c : cases) {
        writeFile(at(c.name), 1);
        setWriteTime(at(c.name), c.seconds, c.ms);
    }
    Listing l = scan(Args{str(root.string().c_str())});
    for (const Case &c : cases) {
        const Rec *r = l.find(c.name);
        ASSERT_NE(r, nullptr) << c.name;
        const std::time_t t = static_cast<std::time_t>(c.seconds);
        std::tm local{};
        ASSERT_NE(localtime_r(&t, &local), nullptr);
        char expected[64];
        std::strftime(expected, sizeof expected, "%d-%b-%Y %H:%M:%S", &local);  // C locale month names
        EXPECT_EQ(r->date, expected) << c.name;
        const double day = serialDay(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday);
        const double time = (local.tm_hour * 3600 + local.tm_min * 60 + local.tm_sec + c.ms / 1000.0) / 86400.0;
        EXPECT_NEAR(r->datenum, day + time, 1e-9) << c.name;
    }
    EXPECT_EQ(l.printed, "");
}

}  // namespace
