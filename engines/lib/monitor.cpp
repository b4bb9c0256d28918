#include "monitor.h"

#include <windows.h>

#include "winpath.h"

namespace qdx {

uint64_t infectionsFound(const ScanFigures& f) { return f.removed + f.deleted + f.renamed + f.reported; }

ExchangeMonitor::ExchangeMonitor(const std::string& workDir)
    : progress_(workDir + "\\$$file$6"),
      temporary_(workDir + "\\$$file$6.new"),
      stopRequest_(workDir + "\\$$file$7") {
    DeleteFileA(temporary_.c_str());  // left by a scanner that was ended
}

bool ExchangeMonitor::keepGoing(const std::wstring& checking, const ScanFigures& figures) {
    if (stop_) return false;
    const uint32_t now = GetTickCount();
    if (!started_ || now - lastLook_ >= kLookEveryMs) {
        lastLook_ = now;
        stop_ = GetFileAttributesA(stopRequest_.c_str()) != INVALID_FILE_ATTRIBUTES;
        if (stop_) return false;
    }
    if (!started_ || now - lastWrite_ >= kWriteEveryMs) {
        lastWrite_ = now;
        writeProgress(checking, figures);
    }
    started_ = true;
    return true;
}

void ExchangeMonitor::writeProgress(const std::wstring& checking, const ScanFigures& figures) {
    const std::string text = std::to_string(figures.files) + "\r\n" + std::to_string(infectionsFound(figures)) +
                             "\r\n" + cleanLine(toAnsi(checking)) + "\r\n";
    HANDLE h = CreateFileA(temporary_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                           nullptr);
    if (h == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    const bool ok = WriteFile(h, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
                    written == text.size();
    CloseHandle(h);
    // A reader holding the old file may keep it from being replaced just
    // now; the next turn tries again. Progress is never worth failing for.
    if (ok) MoveFileExA(temporary_.c_str(), progress_.c_str(), MOVEFILE_REPLACE_EXISTING);
}

}  // namespace qdx
