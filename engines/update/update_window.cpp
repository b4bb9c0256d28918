#include "update_window.h"

#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <memory>
#include <string>
#include <thread>

#include "updater.h"

namespace qdx::update {
namespace {

constexpr UINT kLine = WM_APP + 1, kBytes = WM_APP + 2, kDone = WM_APP + 3;
constexpr int kButton = IDCANCEL;  // Esc stops, or closes at the end
constexpr const char* kTitle = "Update virus definitions";

struct Bytes {
    uint64_t run, file, size;
};

// Posts the worker's reports to the window; the window owns each posted object.
class PostingReporter final : public RunReporter {
public:
    explicit PostingReporter(HWND window) : window_(window) {}
    void line(const std::string& text) override { PostMessageA(window_, kLine, 0, reinterpret_cast<LPARAM>(new std::string(text))); }
    void transferred(uint64_t run, uint64_t file, uint64_t size) override {
        const DWORD tick = GetTickCount();
        if (file != size && tick - last_ < 100) return;  // a few updates a second are enough
        last_ = tick;
        PostMessageA(window_, kBytes, 0, reinterpret_cast<LPARAM>(new Bytes{run, file, size}));
    }

private:
    HWND window_;
    DWORD last_ = 0;
};

std::string megabytes(uint64_t bytes) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f MB", static_cast<double>(bytes) / (1024.0 * 1024.0));
    return text;
}

struct State {
    HWND status = nullptr, bar = nullptr, list = nullptr, button = nullptr;
    std::atomic<bool>* stop = nullptr;
    bool done = false;
    int result = 0;
    HFONT font = nullptr;
    int widest = 0;
};

LRESULT CALLBACK windowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    auto* s = reinterpret_cast<State*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
    switch (msg) {
        case kLine: {
            std::unique_ptr<std::string> text(reinterpret_cast<std::string*>(lParam));
            const LRESULT at = SendMessageA(s->list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text->c_str()));
            SendMessageA(s->list, LB_SETTOPINDEX, at, 0);
            // Scrolls sideways only as far as the longest line needs.
            HDC dc = GetDC(s->list);
            HGDIOBJ old = SelectObject(dc, s->font);
            SIZE size{};
            GetTextExtentPoint32A(dc, text->c_str(), static_cast<int>(text->size()), &size);
            SelectObject(dc, old);
            ReleaseDC(s->list, dc);
            if (size.cx + 8 > s->widest) {
                s->widest = size.cx + 8;
                SendMessageA(s->list, LB_SETHORIZONTALEXTENT, static_cast<WPARAM>(s->widest), 0);
            }
            if (text->rfind("Downloading ", 0) == 0) {
                SetWindowTextA(s->status, text->c_str());
                SendMessageA(s->bar, PBM_SETPOS, 0, 0);
            }
            return 0;
        }
        case kBytes: {
            std::unique_ptr<Bytes> b(reinterpret_cast<Bytes*>(lParam));
            std::string text = "This file: " + megabytes(b->file) + (b->size ? " of " + megabytes(b->size) : std::string()) +
                               "; this run: " + megabytes(b->run);
            SetWindowTextA(s->status, text.c_str());
            SendMessageA(s->bar, PBM_SETPOS, b->size ? static_cast<WPARAM>(b->file * 1000 / b->size) : 0, 0);
            return 0;
        }
        case kDone: {
            s->done = true;
            s->result = static_cast<int>(wParam);
            SendMessageA(s->bar, PBM_SETPOS, 1000, 0);
            const char* summary = s->result == kCurrent      ? "Done: the virus definitions are current and verified."
                                  : s->result == kNotChecked ? "Nothing was checked this time (see the list)."
                                  : s->result == kRefused    ? "A file from a mirror was discarded: see the list. Only checked definitions are in use."
                                                             : "Not everything could be updated: see the list. The last good definitions stay in use.";
            SetWindowTextA(s->status, summary);
            SetWindowTextA(s->button, "Close");
            SetFocus(s->button);
            return 0;
        }
        case WM_COMMAND:
            if (LOWORD(wParam) == IDOK && s->done) DestroyWindow(hwnd);
            else if (LOWORD(wParam) == kButton) {
                if (s->done) DestroyWindow(hwnd);
                else {
                    s->stop->store(true);
                    EnableWindow(s->button, FALSE);
                    SetWindowTextA(s->status, "Stopping...");
                }
            }
            return 0;
        case WM_CLOSE:
            SendMessageA(hwnd, WM_COMMAND, kButton, 0);
            return 0;
        case WM_DESTROY:
            PostQuitMessage(0);
            return 0;
    }
    return DefWindowProcA(hwnd, msg, wParam, lParam);
}

HWND child(HWND parent, const char* cls, const char* text, DWORD style, int x, int y, int w, int h, int id, HFONT font) {
    HWND c = CreateWindowExA(0, cls, text, WS_CHILD | WS_VISIBLE | style, x, y, w, h, parent,
                             reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleA(nullptr), nullptr);
    SendMessageA(c, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    return c;
}

}  // namespace

int runWithWindow(const std::function<int(RunReporter&)>& work, std::atomic<bool>& stop) {
    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&icc);
    WNDCLASSA wc{};
    wc.lpfnWndProc = windowProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = "QuendixUpdateWindow";
    wc.hIcon = LoadIcon(nullptr, IDI_APPLICATION);
    RegisterClassA(&wc);

    State state;
    state.stop = &stop;
    NONCLIENTMETRICSA metrics{};
    metrics.cbSize = sizeof metrics;
    SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0);
    state.font = CreateFontIndirectA(&metrics.lfMessageFont);

    RECT r{0, 0, 560, 330};
    const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
    AdjustWindowRect(&r, style, FALSE);
    const int w = r.right - r.left, h = r.bottom - r.top;
    HWND hwnd = CreateWindowExA(0, wc.lpszClassName, kTitle, style, (GetSystemMetrics(SM_CXSCREEN) - w) / 2,
                                (GetSystemMetrics(SM_CYSCREEN) - h) / 2, w, h, nullptr, nullptr, wc.hInstance, nullptr);
    SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&state));
    state.status = child(hwnd, "STATIC", "Checking the virus definitions...", SS_LEFT | SS_ENDELLIPSIS, 12, 12, 536, 20, 0, state.font);
    state.bar = child(hwnd, PROGRESS_CLASSA, "", 0, 12, 36, 536, 16, 0, state.font);
    SendMessageA(state.bar, PBM_SETRANGE32, 0, 1000);
    state.list = child(hwnd, "LISTBOX", "", WS_BORDER | WS_VSCROLL | WS_HSCROLL | LBS_NOINTEGRALHEIGHT | LBS_NOSEL, 12, 62, 536, 222, 0, state.font);
    state.button = child(hwnd, "BUTTON", "Stop", BS_PUSHBUTTON | WS_TABSTOP, 448, 294, 100, 26, kButton, state.font);
    ShowWindow(hwnd, SW_SHOW);
    UpdateWindow(hwnd);

    int result = kFailed;
    std::thread worker([&] {
        PostingReporter reporter(hwnd);
        try {
            result = work(reporter);
        } catch (const std::exception& e) {
            reporter.line(std::string("Error: ") + e.what());
            result = kFailed;
        }
        PostMessageA(hwnd, kDone, static_cast<WPARAM>(result), 0);
    });
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        if (IsDialogMessageA(hwnd, &msg)) continue;
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    worker.join();
    // Reports posted after the window was gone are freed by nobody: there are none,
    // since the window closes only once the work is done.
    DeleteObject(state.font);
    return result;
}

}  // namespace qdx::update
