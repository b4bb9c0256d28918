#include "ui/QuestionBox.h"

#include "ui/Product.h"

#include <windows.h>

#include <cstring>

namespace quendix::ui {

namespace {

QuestionSink& sink()
{
    static QuestionSink current;
    return current;
}

const std::function<bool()>* stillAskedNow = nullptr;

BOOL CALLBACK answerNoIfOurBox(HWND window, LPARAM)
{
    char cls[16] = {};
    char title[64] = {};
    GetClassNameA(window, cls, sizeof cls);
    GetWindowTextA(window, title, sizeof title);
    if (std::strcmp(cls, "#32770") != 0 || std::strcmp(title, boxTitle()) != 0 || !IsWindowVisible(window))
        return TRUE;
    PostMessageA(window, WM_COMMAND, IDNO, 0);
    return FALSE;
}

// Runs inside the box's own message loop.
void CALLBACK checkStillAsked(HWND, UINT, UINT_PTR, DWORD)
{
    if (stillAskedNow && !(*stillAskedNow)())
        EnumThreadWindows(GetCurrentThreadId(), answerNoIfOurBox, 0);
}

} // namespace

bool askYesNo(const std::string& question, const std::function<bool()>& stillAsked)
{
    if (sink())
        return sink()(question);
    constexpr UINT kCheckMs = 250;
    UINT_PTR timer = stillAsked ? SetTimer(nullptr, 0, kCheckMs, checkStillAsked) : 0;
    stillAskedNow = stillAsked ? &stillAsked : nullptr;
    // Task-modal: no other window of ours takes input while the box is up.
    int answer = MessageBoxA(nullptr, question.c_str(), boxTitle(),
                             MB_YESNO | MB_ICONQUESTION | MB_TASKMODAL | MB_SETFOREGROUND);
    stillAskedNow = nullptr;
    if (timer)
        KillTimer(nullptr, timer);
    return answer == IDYES;
}

QuestionSink setQuestionSink(QuestionSink next)
{
    QuestionSink previous = std::move(sink());
    sink() = std::move(next);
    return previous;
}

} // namespace quendix::ui
