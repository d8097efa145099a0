#include "sandbox.h"

#include <dirent.h>
#include <fcntl.h>
#include <ftw.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <vector>

namespace fuzz {

namespace {

void check(bool ok, const std::string &what)
{
    if (!ok) throw std::runtime_error("sandbox: " + what + ": " + std::strerror(errno));
}

void makeFile(const std::string &name, const char *text)
{
    FILE *f = std::fopen(name.c_str(), "w");
    check(f != nullptr, "create " + name);
    std::fputs(text, f);
    std::fclose(f);
}

void setTime(const std::string &name, time_t when)
{
    struct timespec t[2] = {{when, 0}, {when, 500000000}};
    check(utimensat(AT_FDCWD, name.c_str(), t, AT_SYMLINK_NOFOLLOW) == 0, "time of " + name);
}

void buildTree()
{
    makeFile("a.txt", "alpha\n");
    makeFile("B.TXT", "bravo\n");
    makeFile(".hidden", "");
    makeFile("name with spaces", "x");
    makeFile("odd\x01\x7f\xff\xc2\xb0name", "x");
    makeFile("percent%s%n", "x");
    check(mkdir("empty", 0755) == 0, "mkdir empty");
    check(mkdir("sub", 0755) == 0, "mkdir sub");
    makeFile("sub/x.dat", "data");
    makeFile("sub/X.DAT", "DATA");
    check(mkdir("sub/deeper", 0755) == 0, "mkdir sub/deeper");
    makeFile("sub/deeper/y.txt", "y");
    check(symlink("sub", "link_to_sub") == 0, "link to sub");
    check(symlink(".", "loop") == 0, "link to itself");
    check(symlink("nowhere", "dangling") == 0, "dangling link");
    check(symlink("a.txt", "file_link") == 0, "link to a file");
    check(mkfifo("fifo", 0644) == 0, "fifo");
    // A sparse file beyond 4 GB: sizes need both halves.
    int fd = open("big.bin", O_WRONLY | O_CREAT | O_TRUNC, 0644);
    check(fd >= 0, "create big.bin");
    check(ftruncate(fd, (off_t(5) << 30) + 7) == 0, "size big.bin");
    close(fd);
    // Last-write times long before 1970, around 1601 and far ahead.
    makeFile("old.txt", "o");
    setTime("old.txt", -2000000000);
    makeFile("ancient.txt", "a");
    setTime("ancient.txt", -11644473600 - 86400);  // the day before 1 January 1601 (UTC)
    makeFile("future.txt", "f");
    setTime("future.txt", 32536850000);  // after the year 3000
    // A chain of nested folders.
    std::string deep = "deep";
    for (int i = 0; i < 40; ++i) {
        check(mkdir(deep.c_str(), 0755) == 0, "mkdir " + deep);
        deep += "/d";
    }
}

int removeEntry(const char *path, const struct stat *, int, struct FTW *)
{
    return remove(path);
}

}  // namespace

void addWeatherFiles(const std::string &source)
{
    FILE *in = std::fopen(source.c_str(), "rb");
    check(in != nullptr, "open " + source);
    std::vector<std::string> lines;
    char buf[4096];
    while (lines.size() < 8 + 24 && std::fgets(buf, sizeof buf, in) != nullptr) lines.push_back(buf);
    std::fclose(in);
    std::string day, broken;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        day += lines[i];
        broken += i == 12 ? lines[i].substr(0, lines[i].size() / 2) + "\n" : lines[i];
    }
    makeFile("day.epw", day.c_str());
    makeFile("broken.epw", broken.c_str());
    check(mkdir("folder.epw", 0755) == 0, "mkdir folder.epw");
    check(mkfifo("fifo.epw", 0644) == 0, "fifo.epw");
}

Sandbox::Sandbox(bool withTree)
{
    const char *tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp != nullptr && tmp[0] != '\0' ? tmp : "/tmp") + "/simblocks-fuzz-XXXXXX";
    std::vector<char> buf(pattern.begin(), pattern.end());
    buf.push_back('\0');
    check(mkdtemp(buf.data()) != nullptr, "mkdtemp " + pattern);
    path_ = buf.data();
    check(chdir(path_.c_str()) == 0, "chdir " + path_);
    if (withTree) buildTree();
}

Sandbox::~Sandbox()
{
    if (chdir("/") == 0) nftw(path_.c_str(), removeEntry, 16, FTW_DEPTH | FTW_PHYS);
}

void Sandbox::removeFiles() const
{
    DIR *d = opendir(".");
    if (d == nullptr) return;
    while (struct dirent *e = readdir(d)) {
        struct stat st;
        if (lstat(e->d_name, &st) == 0 && !S_ISDIR(st.st_mode)) unlink(e->d_name);
    }
    closedir(d);
}

}  // namespace fuzz
