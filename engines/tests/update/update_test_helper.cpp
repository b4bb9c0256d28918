// update_test_helper: what the updater's test needs done by another Windows
// process. Only for the tests' Wine prefix; never installed.
//   hold NAME SECONDS   creates the named mutex (as a standard user's program
//                       could), prints "held" and keeps it that long
//   stop SECONDS        within that time: closes the updater's window as the
//                       user does (Stop while it runs, Close at the end),
//                       until it is gone
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

int main(int argc, char** argv) {
    if (argc != 4 && argc != 3) {
        std::fprintf(stderr, "usage: update_test_helper hold NAME SECONDS | stop SECONDS\n");
        return 2;
    }
    if (std::strcmp(argv[1], "hold") == 0 && argc == 4) {
        HANDLE m = CreateMutexA(nullptr, FALSE, argv[2]);
        if (!m) return 1;
        std::printf("held\n");
        std::fflush(stdout);
        Sleep(static_cast<DWORD>(std::atoi(argv[3])) * 1000);
        CloseHandle(m);
        return 0;
    }
    if (std::strcmp(argv[1], "stop") == 0) {
        bool seen = false;
        for (int half = 0; half < std::atoi(argv[2]) * 2; ++half) {
            HWND w = FindWindowA("QuendixUpdateWindow", nullptr);
            if (!w && seen) return 0;
            if (w) {
                seen = true;
                PostMessageA(w, WM_CLOSE, 0, 0);
            }
            Sleep(500);
        }
        return 1;
    }
    return 2;
}
