// A test scanner program: keeps a copy of each request as requests\NNN.txt in
// its current directory, answers with "fake-results.txt" from there (or a
// clean result when there is none), then leaves "$$file$$" in the directory
// that "windir.inf" names and, last, "\$$file$4" at the drive root.
#include <windows.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

namespace {

std::string readAll(const std::string& path, bool& found)
{
    std::ifstream in(path, std::ios::binary);
    found = static_cast<bool>(in);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

std::string firstLine(const std::string& text)
{
    std::string line = text.substr(0, text.find_first_of("\r\n"));
    return line;
}

const char* kCleanResult =
    "Quendix test scanner\r\n\r\n\r\n\r\n\r\n\r\n\r\n\r\n\r\n\r\n\r\n\r\n\r\n"
    "Preamble ends\r\n"
    "Scanning C:\\\r\n"
    "\r\n"
    "Results of virus scanning:\r\n"
    "\r\n"
    "Files: 12\r\n"
    "Master boot records: 1\r\n"
    "Boot sectors: 1\r\n"
    "\r\n"
    "\r\n"
    "Time: 00:00:01\r\n"
    "\r\n\r\n\r\n\r\n"
    "Time: 00:00:01\r\n";

} // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    bool found = false;
    std::string workDir = firstLine(readAll("windir.inf", found));
    std::string request = readAll(workDir + "\\$$file$5", found);

    CreateDirectoryA("requests", nullptr);
    for (int n = 1; n < 1000; ++n) {
        char name[32];
        std::snprintf(name, sizeof name, "requests\\%03d.txt", n);
        if (GetFileAttributesA(name) != INVALID_FILE_ATTRIBUTES)
            continue;
        std::ofstream(name, std::ios::binary) << (found ? request : std::string("(no request file)"));
        break;
    }

    bool prepared = false;
    std::string results = readAll("fake-results.txt", prepared);
    std::ofstream(workDir + "\\$$file$3", std::ios::binary | std::ios::trunc) << (prepared ? results : kCleanResult);
    std::ofstream(workDir + "\\$$file$$", std::ios::binary);
    std::ofstream("\\$$file$4", std::ios::binary);
    return 0;
}
