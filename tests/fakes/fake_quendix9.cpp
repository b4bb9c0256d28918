// A test info program: writes a ten-line "quendix3.inf" in its current
// directory, then the sentinel "$$file$$" in the directory that "windir.inf"
// names. Each run is counted in "info-runs.txt".
#include <windows.h>

#include <fstream>
#include <string>

namespace {

std::string firstLine(const char* path)
{
    std::ifstream in(path, std::ios::binary);
    std::string line;
    std::getline(in, line);
    while (!line.empty() && (line.back() == '\r' || line.back() == '\n'))
        line.pop_back();
    return line;
}

} // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    std::string workDir = firstLine("windir.inf");
    {
        std::ofstream info("quendix3.inf", std::ios::binary | std::ios::trunc);
        info << "01-12-2026\r\n"   // definitions date
                "61234\r\n"        // variants
                "51494\r\n"        // different viruses
                "24589\r\n6675\r\n119\r\n968\r\n1632\r\n11263\r\n6654\r\n";
    }
    std::ofstream("info-runs.txt", std::ios::app) << "run\r\n";
    std::ofstream(workDir + "\\$$file$$", std::ios::binary);
    return 0;
}
