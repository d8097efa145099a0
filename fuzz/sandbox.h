// The fuzzers' own corner of the file system.
//
// Each fuzzer process works in a fresh temporary folder and makes it its
// current folder, so whatever a deliverable lists or writes under a relative
// name stays there. For folderscan the folder holds a small tree with the
// cases a listing must survive (nested and empty folders, links to a folder,
// to itself, to a file and to nothing, a sparse file beyond 4 GB, odd names,
// times before 1970 and far in the future); for tablogger it starts empty and
// is emptied again after every input; for weatherread it holds weather files
// (see addWeatherFiles).
#pragma once

#include <string>

namespace fuzz {

class Sandbox {
public:
    // Makes the folder (with the listing tree when asked) and enters it.
    explicit Sandbox(bool withTree);
    ~Sandbox();
    Sandbox(const Sandbox &) = delete;
    Sandbox &operator=(const Sandbox &) = delete;

    const std::string &path() const { return path_; }
    // Removes the regular files created in the sandbox's top folder.
    void removeFiles() const;

private:
    std::string path_;
};

// Adds to the current folder (the sandbox) what weatherread is given to
// read: day.epw, the header and first day of the weather file at 'source';
// broken.epw, the same with a row cut short; a folder folder.epw and a FIFO
// fifo.epw (neither may be read, nor block the reader).
void addWeatherFiles(const std::string &source);

}  // namespace fuzz
