#include "ui/ErrorBox.h"

#include <windows.h>

#include <exception>

namespace quendix::ui {

namespace {

ErrorSink& sink()
{
    static ErrorSink current;
    return current;
}

const char* currentBoxTitle = kApplicationTitle;

} // namespace

const char* boxTitle()
{
    return currentBoxTitle;
}

void setBoxTitle(const char* title)
{
    currentBoxTitle = title;
}

std::string errorBoxText(const std::string& message)
{
    if (!message.empty() && message.back() == '.')
        return message;
    return message + ".";
}

void showErrorBox(const std::string& message)
{
    std::string text = errorBoxText(message);
    if (sink()) {
        sink()(text);
        return;
    }
    MessageBoxA(GetActiveWindow(), text.c_str(), boxTitle(), MB_OK | MB_ICONERROR | MB_TASKMODAL);
}

bool guarded(const std::function<void()>& step)
{
    try {
        step();
        return true;
    } catch (const std::exception& e) {
        showErrorBox(e.what());
    } catch (...) {
        showErrorBox("Unexpected error");
    }
    return false;
}

ErrorSink setErrorSink(ErrorSink next)
{
    ErrorSink previous = std::move(sink());
    sink() = std::move(next);
    return previous;
}

} // namespace quendix::ui
