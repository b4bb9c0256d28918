#pragma once
// The window classes of our windows and containers, shared by the factory
// that registers them and the dispatch that answers their messages.
#include <windows.h>

namespace quendix::ui {

inline constexpr const char* kFormClass = "QuendixForm";
inline constexpr const char* kContainerClass = "QuendixContainer";

LRESULT CALLBACK formProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
LRESULT CALLBACK containerProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

} // namespace quendix::ui
