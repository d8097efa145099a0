#include "library_dirs.h"

#include <cstdlib>
#include <filesystem>

#ifdef __APPLE__
#include <mach-o/dyld.h>
#endif
#ifdef _WIN32
#include <windows.h>
#endif

namespace cli {

std::string executablePath()
{
    std::string exe;
#ifdef __APPLE__
    char buf[4096];
    uint32_t size = sizeof buf;
    if (_NSGetExecutablePath(buf, &size) == 0) exe = buf;
#elif defined(_WIN32)
    char buf[32768];
    DWORD n = GetModuleFileNameA(nullptr, buf, sizeof buf);
    if (n > 0 && n < sizeof buf) exe.assign(buf, n);
#else
    std::error_code ec;
    std::filesystem::path p = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (!ec) exe = p.string();
#endif
    return exe;
}

std::vector<std::string> split(const std::string &s, char sep)
{
    std::vector<std::string> parts;
    std::size_t begin = 0;
    while (begin <= s.size()) {
        std::size_t end = s.find(sep, begin);
        if (end == std::string::npos) end = s.size();
        if (end > begin) parts.push_back(s.substr(begin, end - begin));
        begin = end + 1;
    }
    return parts;
}

std::vector<std::string> libraryDirs(const std::vector<std::string> &given)
{
    std::vector<std::string> dirs;
    std::error_code ec;
    for (const std::string &d : given) dirs.push_back(std::filesystem::absolute(d, ec).string());
    if (const char *env = std::getenv("SIMRUN_LIBRARY_PATH"))
        for (const std::string &d : split(env, PATH_LIST_SEPARATOR[0])) dirs.push_back(std::filesystem::absolute(d, ec).string());
    std::string exe = executablePath();
    if (!exe.empty()) dirs.push_back((std::filesystem::path(exe).parent_path().parent_path() / "lib").string());
#ifdef SIMBLOCKS_LIB_DIR
    dirs.push_back(SIMBLOCKS_LIB_DIR);
#endif
    for (std::size_t i = 0; i < dirs.size(); ++i)  // the same folder once
        for (std::size_t j = i + 1; j < dirs.size();)
            if (dirs[j] == dirs[i]) dirs.erase(dirs.begin() + static_cast<long>(j));
            else ++j;
    return dirs;
}

}  // namespace cli
