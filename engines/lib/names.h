// What a file name tells the scanner: which files the standard set holds,
// which are documents, and what an infected file is renamed to.
#pragma once
#include <string>

namespace qdx {

// The extension without its dot, upper case ("" when there is none).
std::wstring extensionOf(const std::wstring& name);

// Program and document files: .APP .COM .EXE .OV? .PGM .SYS .386 .SCR and
// .DOC .DOT .XL?.
bool isStandardFile(const std::wstring& name);
bool isDocument(const std::wstring& name);
// Archives and compressed files by the usual extensions of their kinds: with
// archives on, the standard file set checks them too, and automatic
// disinfection never rewrites or deletes them.
bool isArchive(const std::wstring& name);
// Office Open XML documents (.docx, .docm, .xlsm, .pptm, ...): ZIP archives by their bytes.
bool isOfficeOpenXml(const std::wstring& name);

// The V rule: the first letter of the extension becomes V, so .COM turns
// into .VOM and .EXE into .VXE; a name without an extension gets .VVV, and
// so does one whose extension already begins with V (.VXD would otherwise
// stay as it is). The case of the old extension is kept.
std::wstring renamedName(const std::wstring& name);

}  // namespace qdx
