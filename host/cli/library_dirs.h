// Where the command-line programs (simrun, simstudy) look for block
// libraries: the folders given with -L, then those of SIMRUN_LIBRARY_PATH,
// then the lib folder next to the program's own folder (build/lib for
// build/bin/simrun), then the build's library folder.
#pragma once

#include <string>
#include <vector>

namespace cli {

// Folders in SIMRUN_LIBRARY_PATH are separated as in the system's PATH.
#ifdef _WIN32
#define PATH_LIST_SEPARATOR ";"
#else
#define PATH_LIST_SEPARATOR ":"
#endif

// The folders in order, each made absolute (a run may take place in another
// folder) and each once.
std::vector<std::string> libraryDirs(const std::vector<std::string> &given);

// The running program's own file, or "" when the system does not say.
std::string executablePath();

// The non-empty parts of s between separators.
std::vector<std::string> split(const std::string &s, char sep);

}  // namespace cli
