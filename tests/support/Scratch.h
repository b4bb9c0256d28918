#pragma once
// Each test runs in a fresh folder of its own, used as the current directory,
// and starts with no exchange files left in the Windows directory or the
// drive root.
#include <string>

namespace quendix::testing {

class ScratchDir {
public:
    ScratchDir();
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    const std::string& path() const { return path_; }

private:
    std::string path_;
    std::string previous_;
};

// Removes every exchange file and engine leftover the program knows of.
void removeExchangeFiles();

// Whole-file helpers for checking what the program wrote.
std::string readFile(const std::string& path);
void writeFile(const std::string& path, const std::string& bytes);
bool fileExists(const std::string& path);
// The full path of a name relative to the current directory.
std::string absolute(const std::string& path);
void removeTree(const std::string& path);

} // namespace quendix::testing
