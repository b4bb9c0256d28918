#pragma once
// The Windows directory as the front end wrote it into "windir.inf" in the
// fake engine's current directory (empty when there is none).
#include <fstream>
#include <string>

inline std::string workDir()
{
    std::ifstream in("windir.inf");
    std::string dir;
    std::getline(in, dir);
    if (!dir.empty() && dir.back() == '\r')
        dir.pop_back();
    return dir;
}
