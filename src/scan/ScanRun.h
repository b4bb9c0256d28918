#pragma once
// The scan run behind every scan command: clear stale files, send the request,
// run the scanner and wait, then turn its results file into the results
// window, the report file and the counters.
#include "scan/ScanCounters.h"
#include "scan/ScanSettings.h"

#include <windows.h>

#include <string>

namespace quendix {

// The counters of the last scan; they stay until the next one starts.
extern ScanCounters Counters;

// What the scan run needs of the main window.
class ScanHost {
public:
    virtual ~ScanHost() = default;
    // Edit1, Edit2 and the drive selector's letter, read at that moment.
    virtual TargetFields targetFields() = 0;
    virtual void hideMainWindow() = 0;
    virtual void showMainWindow() = 0;
    // The window a long scan shows its progress in front of; none: the screen.
    virtual HWND mainWindowHandle() const { return nullptr; }
};

// The seven-line request in WorkDir. Refuses a path that would break its layout.
void writeRequestFile(const ScanSettings& settings, const std::string& targetPath);

// The body of TForm1::enter1.
void runScan(ScanHost& host);

} // namespace quendix
