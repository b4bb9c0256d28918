#include "ui/AnsiText.h"

#include <windows.h>

#include <cstdio>
#include <stdexcept>

namespace quendix::ui {

std::optional<std::string> exactAnsi(std::wstring_view text)
{
    if (text.empty())
        return std::string();
    const UINT codePage = GetACP();
    // UTF-8 as the system's code page has every character, and no best fit.
    const DWORD flags = codePage == CP_UTF8 ? 0x80 : WC_NO_BEST_FIT_CHARS;   // WC_ERR_INVALID_CHARS (Vista)
    BOOL usedDefault = FALSE;
    BOOL* askUsed = codePage == CP_UTF8 ? nullptr : &usedDefault;
    const int size = static_cast<int>(text.size());
    int n = WideCharToMultiByte(codePage, flags, text.data(), size, nullptr, 0, nullptr, askUsed);
    if (n <= 0 || usedDefault)
        return std::nullopt;
    std::string out(static_cast<std::size_t>(n), '\0');
    n = WideCharToMultiByte(codePage, flags, text.data(), size, out.data(), n, nullptr, askUsed);
    if (n <= 0 || usedDefault)
        return std::nullopt;
    out.resize(static_cast<std::size_t>(n));
    // Back again must give the very same text.
    int back = MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, out.data(), n, nullptr, 0);
    std::wstring again(static_cast<std::size_t>(back > 0 ? back : 0), L'\0');
    if (back <= 0 || MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, out.data(), n, again.data(), back) != back ||
        again != text)
        return std::nullopt;
    return out;
}

std::string ansiForMessage(std::wstring_view text)
{
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        // A surrogate pair stands for one character.
        std::size_t length = i + 1 < text.size() && IS_HIGH_SURROGATE(text[i]) && IS_LOW_SURROGATE(text[i + 1]) ? 2 : 1;
        std::wstring_view one = text.substr(i, length);
        if (std::optional<std::string> exact = exactAnsi(one); exact && one[0] >= 0x20) {
            out += *exact;
        } else {
            unsigned long code = length == 2 ? 0x10000 + ((one[0] - 0xD800UL) << 10) + (one[1] - 0xDC00UL) : one[0];
            char name[16];
            std::snprintf(name, sizeof name, "<U+%04lX>", code);
            out += name;
        }
        i += length - 1;
    }
    return out;
}

std::string ansiPath(std::wstring_view path)
{
    if (std::optional<std::string> exact = exactAnsi(path))
        return *exact;
    throw std::runtime_error("The path \"" + ansiForMessage(path) +
                             "\" holds characters that this system's code page (" + std::to_string(GetACP()) +
                             ") cannot hold exactly; it is not scanned, so that no other path is scanned in its "
                             "place. Rename it, or scan the folder that holds it");
}

} // namespace quendix::ui
