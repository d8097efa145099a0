// The few POSIX calendar and environment calls the tests use, on Windows
// made from the C runtime's own equivalents.
#pragma once

#include <cstdlib>
#include <ctime>

#ifdef _WIN32
inline int setenv(const char *name, const char *value, int overwrite)
{
    if (!overwrite && std::getenv(name) != nullptr) return 0;
    return _putenv_s(name, value);
}
inline std::time_t timegm(std::tm *t) { return _mkgmtime(t); }
inline std::tm *gmtime_r(const std::time_t *t, std::tm *out) { return gmtime_s(out, t) == 0 ? out : nullptr; }
inline std::tm *localtime_r(const std::time_t *t, std::tm *out) { return localtime_s(out, t) == 0 ? out : nullptr; }
#endif

// Makes the C runtime's local time follow the system's time zone. On Windows
// a TZ variable, when set, rules the C runtime's conversions (localtime,
// _localtime64) but not the system's (GetLocalTime, file times); removing it
// brings the two together. Elsewhere both follow TZ already: nothing to do.
inline void followSystemTimeZone()
{
#ifdef _WIN32
    _putenv_s("TZ", "");
    _tzset();
#endif
}
