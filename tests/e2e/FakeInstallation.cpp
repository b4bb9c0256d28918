#include "e2e/FakeInstallation.h"

#include <algorithm>

namespace quendix::e2e {

namespace {

// A virus list in the layout the Virus List window reads.
const char* kVirusList =
    "Virus list\r\n\r\n\r\n\r\n\r\n"
    "Test definitions of December 2026\r\n"
    "\r\n\r\n"
    "Alpha.1000\r\nBeta.Boot\r\n\r\nGamma.Trojan\r\n"
    "DOS/Windows: 25354 viruses and 14388 Trojans\r\n"
    "WM/Delta.A\r\nJava.Epsilon\r\n"
    "\r\n";

} // namespace

Installation::Installation()
{
    std::string here = folderOfThisProgram();
    copyInto(here + "\\..\\bin\\quendix.exe", path() + "\\quendix.exe");
    copyInto(here + "\\fake_quendix9.exe", path() + "\\quendix9.exe");
    copyInto(here + "\\fake_quendix7.exe", path() + "\\quendix7.exe");
    testing::writeFile(path() + "\\qdxvlst.txt", kVirusList);
}

std::vector<std::string> Installation::requests() const
{
    std::vector<std::string> names;
    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA((path() + "\\requests\\*.txt").c_str(), &fd);
    if (h != INVALID_HANDLE_VALUE) {
        do
            names.push_back(fd.cFileName);
        while (FindNextFileA(h, &fd));
        FindClose(h);
    }
    std::sort(names.begin(), names.end());
    std::vector<std::string> out;
    for (const std::string& n : names)
        out.push_back(testing::readFile(path() + "\\requests\\" + n));
    return out;
}

void Installation::prepareResults(const std::string& resultsFile)
{
    testing::writeFile(path() + "\\fake-results.txt", resultsFile);
}

void Installation::useScanner(const std::string& program)
{
    copyInto(folderOfThisProgram() + "\\" + program, path() + "\\quendix7.exe");
}

std::vector<std::string> requestLines(const std::string& request)
{
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < request.size()) {
        std::size_t end = request.find("\r\n", start);
        if (end == std::string::npos) {
            lines.push_back(request.substr(start));
            break;
        }
        lines.push_back(request.substr(start, end - start));
        start = end + 2;
    }
    return lines;
}

bool waitForScans(const RunningProgram& program, const Installation& installation, std::size_t count)
{
    std::string request = windowsDirectory() + "\\$$file$5";
    return program.waitUntil(
        [&] {
            return installation.requestCount() >= count &&
                   GetFileAttributesA(request.c_str()) == INVALID_FILE_ATTRIBUTES &&
                   GetFileAttributesA("\\$$file$4") == INVALID_FILE_ATTRIBUTES;
        },
        "scan " + std::to_string(count) + " to finish");
}

} // namespace quendix::e2e
