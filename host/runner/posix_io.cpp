#include "posix_io.h"

#include <cerrno>
#include <cstring>

namespace simrun {

bool readRegularFile(const std::string &path, std::string &text, std::string &why)
{
    int fd = ::open(path.c_str(), O_RDONLY | kOpenFlags | kOpenNonBlocking);
    if (fd < 0) {
        why = std::strerror(errno);
        // Windows refuses to open a folder at all ("Permission denied").
        struct stat st;
        if (::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) why = "it is a folder, not a file";
        return false;
    }
    struct stat st;
    if (::fstat(fd, &st) != 0) {
        why = std::strerror(errno);
        ::close(fd);
        return false;
    }
    if (!S_ISREG(st.st_mode)) {
        why = S_ISDIR(st.st_mode) ? "it is a folder, not a file"
              : S_ISFIFO(st.st_mode) ? "it is a pipe, not a regular file"
              : S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode) ? "it is a device, not a regular file"
              : S_ISSOCK(st.st_mode) ? "it is a socket, not a regular file"
                                    : "it is not a regular file";
        ::close(fd);
        return false;
    }
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

}  // namespace simrun
