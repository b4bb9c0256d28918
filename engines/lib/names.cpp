#include "names.h"

#include <cwctype>

namespace qdx {

std::wstring extensionOf(const std::wstring& name) {
    const size_t dot = name.rfind(L'.');
    const size_t slash = name.find_last_of(L"\\/");
    if (dot == std::wstring::npos || (slash != std::wstring::npos && dot < slash)) return L"";
    std::wstring ext = name.substr(dot + 1);
    for (auto& c : ext) c = static_cast<wchar_t>(std::towupper(c));
    return ext;
}

bool isDocument(const std::wstring& name) {
    const std::wstring ext = extensionOf(name);
    return ext == L"DOC" || ext == L"DOT" || (ext.size() == 3 && ext.compare(0, 2, L"XL") == 0);
}

bool isOfficeOpenXml(const std::wstring& name) {
    static const wchar_t* const kinds[] = {L"DOCX", L"DOCM", L"DOTX", L"DOTM", L"XLSX", L"XLSM", L"XLTX", L"XLTM",
                                           L"XLAM", L"PPTX", L"PPTM", L"POTX", L"POTM", L"PPSX", L"PPSM", L"PPAM"};
    const std::wstring ext = extensionOf(name);
    for (const wchar_t* k : kinds)
        if (ext == k) return true;
    return false;
}

bool isStandardFile(const std::wstring& name) {
    static const wchar_t* const fixed[] = {L"APP", L"COM", L"EXE", L"PGM", L"SYS", L"386", L"SCR"};
    const std::wstring ext = extensionOf(name);
    for (const wchar_t* f : fixed)
        if (ext == f) return true;
    if (ext.size() == 3 && ext.compare(0, 2, L"OV") == 0) return true;
    return isDocument(name);
}

bool isArchive(const std::wstring& name) {
    static const wchar_t* const kinds[] = {L"ZIP", L"RAR", L"7Z",  L"CAB", L"ARJ", L"TAR", L"TGZ", L"GZ",  L"BZ2",
                                           L"TBZ", L"TBZ2", L"XZ", L"TXZ", L"LZMA", L"LZ", L"ZST", L"Z", L"CPIO",
                                           L"ISO", L"LZH", L"LHA", L"XAR", L"CHM", L"JAR", L"APK"};
    const std::wstring ext = extensionOf(name);
    for (const wchar_t* k : kinds)
        if (ext == k) return true;
    return false;
}

std::wstring renamedName(const std::wstring& name) {
    const size_t slash = name.find_last_of(L"\\/");
    const size_t dot = name.rfind(L'.');
    const bool hasExt = dot != std::wstring::npos && (slash == std::wstring::npos || dot > slash) &&
                        dot + 1 < name.size();
    if (!hasExt) {
        std::wstring base = name;
        if (!base.empty() && base.back() == L'.') base.pop_back();
        return base + L".VVV";
    }
    const std::wstring ext = name.substr(dot + 1);
    bool lower = false;
    for (wchar_t c : ext)
        if (std::iswalpha(c)) {
            lower = std::iswlower(c) != 0;
            break;
        }
    const wchar_t v = lower ? L'v' : L'V';
    if (std::towupper(ext[0]) == L'V') return name.substr(0, dot + 1) + std::wstring(3, v);
    return name.substr(0, dot + 1) + v + ext.substr(1);
}

}  // namespace qdx
