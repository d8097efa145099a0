// Files through the POSIX calls (open, read, write, ftruncate) on every
// platform. Windows' C runtime has them too, but opens a file in text mode,
// turning "\n" into CR LF, unless asked for binary mode, and knows neither
// close-on-exec nor non-blocking opens.
#pragma once

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>
#ifdef _WIN32
#include <io.h>
#endif

#include <cstddef>
#include <string>

namespace simrun {

#ifdef _WIN32
constexpr int kOpenFlags = O_BINARY;  // every open: the bytes as they are
constexpr int kOpenNonBlocking = 0;
#else
constexpr int kOpenFlags = O_CLOEXEC;  // every open: not inherited by a plotting program
constexpr int kOpenNonBlocking = O_NONBLOCK;  // a FIFO without a writer must not block the open
#endif

// Reads a whole file into 'text'; false with the system's reason in 'why'
// when it cannot, or when the path names no regular file (a folder, a pipe,
// a device such as /dev/zero that never ends). The model file, CSV sources
// and weather files are all read through it.
bool readRegularFile(const std::string &path, std::string &text, std::string &why);
// Opens a regular file for reading, with the same checks: its descriptor,
// or -1 with the reason in 'why'.
int openRegularFile(const std::string &path, std::string &why);

// The memory this process can still take without swapping or being
// refused, in bytes, as the system estimates it: on Linux MemAvailable of
// /proc/meminfo, less where the process's control group (cgroup v2) sets a
// lower limit; on Windows the available physical memory
// (GlobalMemoryStatusEx); elsewhere the free pages the system reports.
// 0 when the system does not say.
unsigned long long availableMemory();

// Writes 'size' bytes of 'data' to fd, again after an interruption or a
// write that took part of them; returns how many went out, fewer only when
// a write failed (errno then says why: EIO for a write that took nothing).
// Calls nothing but write(2), so a signal handler may use it.
std::size_t writeFully(int fd, const char *data, std::size_t size);

}  // namespace simrun

#if defined(_WIN32) && !defined(S_ISSOCK)
#define S_ISSOCK(m) 0
#endif
