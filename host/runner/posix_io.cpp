#include "posix_io.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#endif

namespace simrun {

int openRegularFile(const std::string &path, std::string &why)
{
    int fd = ::open(path.c_str(), O_RDONLY | kOpenFlags | kOpenNonBlocking);
    if (fd < 0) {
        why = std::strerror(errno);
        // Windows refuses to open a folder at all ("Permission denied").
        struct stat st;
        if (::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) why = "it is a folder, not a file";
        return -1;
    }
    struct stat st;
    if (::fstat(fd, &st) != 0) {
        why = std::strerror(errno);
        ::close(fd);
        return -1;
    }
    if (!S_ISREG(st.st_mode)) {
        why = S_ISDIR(st.st_mode) ? "it is a folder, not a file"
              : S_ISFIFO(st.st_mode) ? "it is a pipe, not a regular file"
              : S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode) ? "it is a device, not a regular file"
              : S_ISSOCK(st.st_mode) ? "it is a socket, not a regular file"
                                    : "it is not a regular file";
        ::close(fd);
        return -1;
    }
    return fd;
}

bool readRegularFile(const std::string &path, std::string &text, std::string &why)
{
    int fd = openRegularFile(path, why);
    if (fd < 0) return false;
    struct stat st;
    if (::fstat(fd, &st) != 0) st.st_size = 0;
    text.clear();
    if (st.st_size > 0) text.reserve(static_cast<std::size_t>(st.st_size));
    char buf[65536];
    for (;;) {
        ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            why = std::strerror(errno);
            ::close(fd);
            return false;
        }
        if (n == 0) break;
        text.append(buf, static_cast<std::size_t>(n));
    }
    ::close(fd);
    return true;
}

std::size_t writeFully(int fd, const char *data, std::size_t size)
{
    std::size_t done = 0;
    while (done < size) {
        ssize_t n = ::write(fd, data + done, size - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            if (n == 0) errno = EIO;
            break;
        }
        done += static_cast<std::size_t>(n);
    }
    return done;
}

#ifdef __linux__
namespace {

// A number of bytes in a file of the control group file system ("max" and
// anything unreadable: none).
bool cgroupBytes(const std::string &file, unsigned long long &out)
{
    std::ifstream in(file);
    std::string word;
    if (!(in >> word) || word == "max") return false;
    char *end = nullptr;
    errno = 0;
    out = std::strtoull(word.c_str(), &end, 10);
    return errno == 0 && end != nullptr && *end == '\0';
}

}  // namespace
#endif

unsigned long long availableMemory()
{
#if defined(_WIN32)
    MEMORYSTATUSEX status;
    status.dwLength = sizeof status;
    return GlobalMemoryStatusEx(&status) ? static_cast<unsigned long long>(status.ullAvailPhys) : 0;
#elif defined(__linux__)
    unsigned long long available = 0;
    std::ifstream meminfo("/proc/meminfo");
    std::string key;
    unsigned long long kb = 0;
    std::string unit;
    while (meminfo >> key >> kb) {
        std::getline(meminfo, unit);
        if (key == "MemAvailable:") {
            available = kb * 1024;
            break;
        }
    }
    // A control group's limit (a container, a batch job) can be lower.
    std::ifstream self("/proc/self/cgroup");
    std::string line;
    while (std::getline(self, line)) {
        if (line.rfind("0::", 0) != 0) continue;
        const std::string dir = "/sys/fs/cgroup" + line.substr(3);
        unsigned long long limit = 0, used = 0;
        if (cgroupBytes(dir + "/memory.max", limit) && cgroupBytes(dir + "/memory.current", used)) {
            const unsigned long long left = limit > used ? limit - used : 0;
            if (available == 0 || left < available) available = left;
        }
    }
    return available;
#elif defined(_SC_AVPHYS_PAGES) && defined(_SC_PAGESIZE)
    const long pages = sysconf(_SC_AVPHYS_PAGES), size = sysconf(_SC_PAGESIZE);
    return pages > 0 && size > 0 ? static_cast<unsigned long long>(pages) * static_cast<unsigned long long>(size) : 0;
#else
    return 0;
#endif
}

}  // namespace simrun
