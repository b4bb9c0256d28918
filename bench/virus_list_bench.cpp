// How long start-up spends filling the Virus List window from a large virus
// list file, next to the time that only reading the file takes.
#include "engine/TextFiles.h"
#include "info/Unit14.h"
#include "info/VirusListFill.h"
#include "ui/ErrorBox.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

using namespace quendix;

namespace {

constexpr int kLeftEntries = 30000;
constexpr int kRightEntries = 10000;
constexpr int kRuns = 5;

void writeList(const char* path)
{
    std::vector<std::string> lines = {"QDXVLST.TXT", "", "Virus list of the definitions", "", "",
                                      "Definitions of 15. March 2027", "", "----"};
    const char* kinds[] = {"W32/", "W95/", "DOS/", "Boot/", "W32/Worm."};
    for (int i = 0; i < kLeftEntries; ++i) {
        lines.push_back(std::string(kinds[i % 5]) + "Sample" + std::to_string(i) + ".A@mm");
        if (i % 1000 == 999)
            lines.emplace_back();   // empty lines stand between groups
    }
    lines.push_back(info::kVirusListSummary);
    for (int i = 0; i < kRightEntries; ++i)
        lines.push_back("W97M/Macro" + std::to_string(i) + ".B");
    lines.emplace_back();
    lines.push_back("end of list");
    writeTextFile(path, lines);
}

double seconds(const std::function<void()>& step)
{
    LARGE_INTEGER f, a, b;
    QueryPerformanceFrequency(&f);
    QueryPerformanceCounter(&a);
    step();
    QueryPerformanceCounter(&b);
    return double(b.QuadPart - a.QuadPart) / double(f.QuadPart);
}

double best(const std::function<void()>& step)
{
    double t = 1e9;
    for (int i = 0; i < kRuns; ++i)
        t = std::min(t, seconds(step));
    return t;
}

struct CountingSink final : info::VirusListSink {
    std::size_t rows = 0;
    void addLeft(const std::string&) override { ++rows; }
    void addRight(const std::string&) override { ++rows; }
};

} // namespace

int main()
{
    ui::setErrorSink([](const std::string& text) { std::fprintf(stderr, "error: %s\n", text.c_str()); });
    char temp[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, temp);
    std::string dir = std::string(temp) + "quendix-virus-list-bench";
    CreateDirectoryA(dir.c_str(), nullptr);
    SetCurrentDirectoryA(dir.c_str());
    writeList("qdxvlst.txt");

    std::size_t lines = 0;
    double readOnly = best([&] {
        TextFileReader file("qdxvlst.txt");
        lines = 0;
        while (!file.atEnd()) {
            file.readLine();
            ++lines;
        }
        file.close();
    });
    std::size_t rows = 0;
    double fillLogic = best([&] {
        TextFileReader file("qdxvlst.txt");
        CountingSink sink;
        info::fillVirusList(file.lines(), sink);
        file.close();
        rows = sink.rows;
    });
    // Only the creation is timed; destroying a window and its rows is not part of start-up.
    auto timeCreation = [](int counter, int* left, int* right) {
        double t = 1e9;
        for (int i = 0; i < kRuns; ++i) {
            auto window = std::make_unique<TOKRightDlg19>();
            VirusListFillCounter = counter;   // 1: the fill has been used and the window only builds itself
            t = std::min(t, seconds([&] { window->create(); }));
            if (left)
                *left = window->ListBox1.count();
            if (right)
                *right = window->ListBox2.count();
        }
        return t;
    };
    double emptyWindow = timeCreation(1, nullptr, nullptr);
    int left = 0, right = 0;
    double filledWindow = timeCreation(0, &left, &right);

    double fill = filledWindow - emptyWindow;
    std::printf("virus list file: %zu lines, %d + %d rows (best of %d runs)\n", lines, left, right, kRuns);
    std::printf("reading the file only:          %7.4f s\n", readOnly);
    std::printf("fill logic into a counting sink: %7.4f s (%zu rows)\n", fillLogic, rows);
    std::printf("window creation without fill:   %7.4f s\n", emptyWindow);
    std::printf("window creation with fill:      %7.4f s\n", filledWindow);
    std::printf("the fill (with the reading):     %7.4f s, adds %.4f s to reading the file\n", fill, fill - readOnly);

    DeleteFileA("qdxvlst.txt");
    SetCurrentDirectoryA(temp);
    RemoveDirectoryA(dir.c_str());
    return 0;
}
