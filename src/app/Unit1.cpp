#include "app/Unit1.h"

#include "app/DriveSelector.h"
#include "app/Exit.h"
#include "app/HandOverChannel.h"
#include "app/StartUp.h"
#include "app/Windows.h"
#include "layouts/Unit1Layout.h"
#include "scan/Unit15.h"
#include "ui/AnsiText.h"
#include "ui/CommandGate.h"

#include <stdexcept>

namespace quendix {

TForm1* Form1 = nullptr;

namespace {

// Posted by scanWhenStarted: runs a waiting scan from the message loop.
constexpr UINT kScanWhenStarted = WM_APP + 1;
// Posted by the hand-over channel's thread: a second start came.
constexpr UINT kHandedOver = WM_APP + 2;
// Tries again while a scan is under way.
constexpr UINT_PTR kPendingScanTimer = 1;
constexpr UINT kPendingScanRetryMs = 250;

const ui::FormSpec kSpec{kMainWindowTitle, 736, 491, ui::Border::FixedSingleNoIcons,
                         ui::Colour::InfoText, false, 28, 17, layouts::kUnit1Controls};

// The program runs elevated; files dragged from Explorer, which is not, reach
// it only when the window lets the drop's messages through (Vista and later).
// Nothing else from a less privileged program gets through: it could
// otherwise start scans that change files.
void acceptDroppedFiles(HWND window)
{
    DragAcceptFiles(window, TRUE);
    HMODULE user32 = GetModuleHandleA("user32.dll");
    using PerWindow = BOOL(WINAPI*)(HWND, UINT, DWORD, void*);
    using PerProcess = BOOL(WINAPI*)(UINT, DWORD);
    constexpr DWORD kAllow = 1;   // MSGFLT_ALLOW, MSGFLT_ADD
    if (auto perWindow = reinterpret_cast<PerWindow>(
            reinterpret_cast<void*>(GetProcAddress(user32, "ChangeWindowMessageFilterEx")))) {
        for (UINT m : messagesFromLowerIntegrity())
            perWindow(window, m, kAllow, nullptr);
    } else if (auto perProcess = reinterpret_cast<PerProcess>(
                   reinterpret_cast<void*>(GetProcAddress(user32, "ChangeWindowMessageFilter")))) {
        for (UINT m : messagesFromLowerIntegrity())
            perProcess(m, kAllow);
    }
}

// The first name of a drop, exactly as Explorer gave it, or empty.
std::wstring firstDroppedName(HDROP drop)
{
    UINT length = DragQueryFileW(drop, 0, nullptr, 0);
    if (length == 0)
        return {};
    std::wstring name(length + 1, L'\0');
    UINT got = DragQueryFileW(drop, 0, name.data(), length + 1);
    name.resize(got);
    return name;
}

// Shows a window that start-up created; there is never a second copy.
template <class T>
void bringForward(T* window)
{
    if (window)
        window->show();
}

} // namespace

void TForm1::create()
{
    Form::create(kSpec, layouts::kUnit1Menus);
}

void TForm1::bindControls()
{
    bind(ControlBar1, "ControlBar1");
    bind(ControlBar2, "ControlBar2");
    bind(ControlBar3, "ControlBar3");
    bind(Label2, "Label2");
    bind(DriveComboBox1, "DriveComboBox1");
    bind(BitBtn1, "BitBtn1");
    bind(Label21, "Label21");
    bind(Label22, "Label22");
    bind(BitBtn8, "BitBtn8");
    bind(BitBtn10, "BitBtn10");
    bind(Label3, "Label3");
    bind(Label4, "Label4");
    bind(Label5, "Label5");
    bind(Label6, "Label6");
    bind(Label7, "Label7");
    bind(Edit1, "Edit1");
    bind(Edit2, "Edit2");
    bind(BitBtn2, "BitBtn2");
    bind(BitBtn3, "BitBtn3");
    bind(BitBtn4, "BitBtn4");
    bind(BitBtn5, "BitBtn5");
    bind(BitBtn6, "BitBtn6");
    bind(Image2, "Image2");
    bind(Image3, "Image3");
    bind(Image4, "Image4");
    bind(Label15, "Label15");
    bind(Panel3, "Panel3");
    bind(Panel4, "Panel4");
    bind(Panel5, "Panel5");
    bind(Panel6, "Panel6");
    bind(Panel7, "Panel7");
    bind(RadioButton1, "RadioButton1");
    bind(RadioButton2, "RadioButton2");
    bind(RadioButton3, "RadioButton3");
    bind(RadioButton4, "RadioButton4");
    bind(RadioButton5, "RadioButton5");
    bind(RadioButton6, "RadioButton6");
    bind(RadioButton7, "RadioButton7");
    bind(RadioButton8, "RadioButton8");
    bind(RadioButton9, "RadioButton9");
    bind(RadioButton10, "RadioButton10");
    bind(RadioButton11, "RadioButton11");
    bind(RadioButton12, "RadioButton12");
    bind(Image1, "Image1");
    bind(Label1, "Label1");
    bind(StatusBar1, "StatusBar1");

    onClick(ControlBar2, [this] { ControlBar2Click(); });
    onClick(ControlBar1, [this] { ControlBar1Click(); });
    onClick(ControlBar3, [this] { ControlBar3Click(); });
    onClick(BitBtn1, [this] { BitBtn1Click(); });
    onClick(BitBtn2, [this] { BitBtn2Click(); });
    onClick(BitBtn3, [this] { BitBtn3Click(); });
    onClick(BitBtn4, [this] { BitBtn4Click(); });
    onClick(BitBtn5, [this] { BitBtn5Click(); });
    onClick(BitBtn6, [this] { BitBtn6Click(); });
    onMenu("ScanDiskDrive1", [this] { ScanDiskDrive1Click(); });
    onMenu("ScanAllHardDiskDrives1", [this] { ScanAllHardDiskDrives1Click(); });
    onMenu("ScanDisketteDriveA1", [this] { ScanDisketteDriveA1Click(); });
    onMenu("ScanUserSpecified1", [this] { ScanUserSpecified1Click(); });
    onMenu("ScanUserSpecified2", [this] { ScanUserSpecified2Click(); });

    onClick(RadioButton1, [this] { RadioButton1Click(); });
    onClick(RadioButton2, [this] { RadioButton2Click(); });
    onClick(RadioButton3, [this] { RadioButton3Click(); });
    onClick(RadioButton4, [this] { RadioButton4Click(); });
    onClick(RadioButton6, [this] { RadioButton6Click(); });
    onClick(RadioButton7, [this] { RadioButton7Click(); });
    onClick(RadioButton9, [this] { RadioButton9Click(); });
    onClick(RadioButton10, [this] { RadioButton10Click(); });
    onClick(RadioButton5, [this] { RadioButton5Click(); });
    onClick(RadioButton8, [this] { RadioButton8Click(); });
    onClick(RadioButton11, [this] { RadioButton11Click(); });
    onClick(RadioButton12, [this] { RadioButton12Click(); });

    onClick(BitBtn8, [this] { VirusList1Click(); });
    onMenu("VirusList1", [this] { VirusList1Click(); });
    onClick(BitBtn10, [this] { MostDangerousVirus1Click(); });
    onMenu("MostDangerousVirus1", [this] { MostDangerousVirus1Click(); });
    onMenu("QuendixPersonalVersionHelp1", [this] { QuendixPersonalVersionHelp1Click(); });
    onMenu("Updates1", [this] { Updates1Click(); });
    onMenu("About1", [this] { About1Click(); });
    onMenu("About2", [this] { About2Click(); });
    onMenu("Exit1", [this] { Exit1Click(); });

    setPictures(DriveComboBox1, layouts::kDrivePictures);
    fillDriveSelector(DriveComboBox1);
    acceptDroppedFiles(handle());
    setHandOverWindow(handle(), kHandedOver);
}

void TForm1::FormCreate()
{
    runMainWindowStartUp([this](const std::string& text) { Label1.setText(text); }, handle());
}

void TForm1::scan(std::int32_t targetCode)
{
    Settings.TargetCode = targetCode;
    enter1();
}

void TForm1::ControlBar2Click() { scan(TargetDiskDrive); }
void TForm1::ControlBar1Click() { scan(TargetDisketteA); }
void TForm1::ControlBar3Click() { scan(TargetNetworkDrives); }

void TForm1::BitBtn1Click()
{
    Settings.DriveSelectorFlag = true;
    scan(TargetDiskDrive);
}

void TForm1::BitBtn2Click() { scan(TargetDiskDrive); }
void TForm1::BitBtn3Click() { scan(TargetAllHardDisks); }
void TForm1::BitBtn4Click() { scan(TargetDisketteA); }
void TForm1::BitBtn5Click() { scan(TargetNetworkDrives); }
void TForm1::BitBtn6Click() { scan(TargetUserSpecified); }
void TForm1::ScanDiskDrive1Click() { scan(TargetDiskDrive); }
void TForm1::ScanAllHardDiskDrives1Click() { scan(TargetAllHardDisks); }
void TForm1::ScanDisketteDriveA1Click() { scan(TargetDisketteA); }
void TForm1::ScanUserSpecified1Click() { scan(TargetNetworkDrives); }
void TForm1::ScanUserSpecified2Click() { scan(TargetUserSpecified); }

void TForm1::RadioButton1Click() { Settings.ActionCode = ActionDisinfect; }
void TForm1::RadioButton2Click() { Settings.ActionCode = ActionDelete; }
void TForm1::RadioButton3Click() { Settings.ActionCode = ActionRename; }
void TForm1::RadioButton4Click() { Settings.ActionCode = ActionReportOnly; }
void TForm1::RadioButton6Click() { Settings.FileSetCode = 1; }
void TForm1::RadioButton7Click() { Settings.FileSetCode = 2; }
void TForm1::RadioButton9Click() { Settings.HeuristicsCode = 1; }
void TForm1::RadioButton10Click() { Settings.HeuristicsCode = 2; }
void TForm1::RadioButton5Click() { Settings.ArchiveCode = 2; }
void TForm1::RadioButton8Click() { Settings.ArchiveCode = 1; }
void TForm1::RadioButton11Click() { Settings.PackedCode = 2; }
void TForm1::RadioButton12Click() { Settings.PackedCode = 1; }

void TForm1::VirusList1Click() { bringForward(OKRightDlg19); }
void TForm1::MostDangerousVirus1Click() { bringForward(OKRightDlg14); }
void TForm1::QuendixPersonalVersionHelp1Click() { bringForward(OKRightDlg1); }
void TForm1::Updates1Click() { bringForward(OKRightDlg13); }
void TForm1::About1Click() { bringForward(OKRightDlg9); }
void TForm1::About2Click() { bringForward(OKRightDlg); }

void TForm1::Exit1Click()
{
    runExitCleanup();
    DestroyWindow(handle());
}

void TForm1::scanWhenStarted(const std::string& path)
{
    if (!waitingScans().push(path))
        throw std::runtime_error("Too many scans are waiting already: " + path + " is not scanned");
    PostMessageA(handle(), kScanWhenStarted, 0, 0);
}

bool TForm1::readyForWaitingScan()
{
    // A scan would overwrite the report under a results window that is still
    // open, before the user chose "Save" or "OK".
    return ui::commandsAllowed(*this) && !(OKRightDlg20 && OKRightDlg20->visible());
}

void TForm1::runPendingScan()
{
    KillTimer(handle(), kPendingScanTimer);
    if (waitingScans().empty())
        return;
    if (!readyForWaitingScan()) {
        SetTimer(handle(), kPendingScanTimer, kPendingScanRetryMs, nullptr);
        return;
    }
    std::optional<std::string> path = waitingScans().pop();
    if (!path)
        return;
    runCommand([this, &path] {
        Edit2.setText(*path);
        BitBtn6Click();
    });
    if (!waitingScans().empty())
        PostMessageA(handle(), kScanWhenStarted, 0, 0);
}

void TForm1::handedOver()
{
    // The user started the program again: show the one that runs.
    ShowWindow(handle(), SW_SHOW);
    SetForegroundWindow(handle());
    runPendingScan();
}

void TForm1::filesDropped(HDROP drop)
{
    std::wstring name = firstDroppedName(drop);
    DragFinish(drop);
    // Like a command: refused while an engine is awaited.
    if (!name.empty())
        runCommand([&] { Edit2.setText(ui::ansiPath(name)); });
}

TargetFields TForm1::targetFields()
{
    // The field the scan takes must hold exactly what the user sees; the
    // other is not used and may hold anything.
    const bool userSpecified = Settings.TargetCode == TargetUserSpecified;
    const bool selector = Settings.DriveSelectorFlag;
    return TargetFields{!userSpecified && !selector ? ui::ansiPath(Edit1.wideText()) : Edit1.text(),
                        userSpecified && !selector ? ui::ansiPath(Edit2.wideText()) : Edit2.text(),
                        selectedDriveLetter(DriveComboBox1)};
}

void TForm1::closeRequested()
{
    // Closing the main window ends the program.
    DestroyWindow(handle());
}

bool TForm1::handleMessage(UINT msg, WPARAM wParam, LPARAM, LRESULT& result)
{
    if (msg == WM_ACTIVATE) {
        // Keep the keyboard where the user left it; the first time, on the
        // first control of the keyboard order (the drive selector).
        if (LOWORD(wParam) == WA_INACTIVE) {
            HWND focus = GetFocus();
            if (focus && IsChild(handle(), focus))
                lastFocus_ = focus;
        } else if (!HIWORD(wParam)) {
            HWND target = lastFocus_ && IsWindow(lastFocus_) && IsChild(handle(), lastFocus_)
                              ? lastFocus_
                              : DriveComboBox1.handle();
            if (target)
                SetFocus(target);
        }
        result = 0;
        return true;
    }
    if (msg == kScanWhenStarted || (msg == WM_TIMER && wParam == kPendingScanTimer)) {
        runPendingScan();
        result = 0;
        return true;
    }
    if (msg == kHandedOver) {
        handedOver();
        result = 0;
        return true;
    }
    if (msg == WM_DROPFILES) {
        filesDropped(reinterpret_cast<HDROP>(wParam));
        result = 0;
        return true;
    }
    if (msg == WM_DESTROY) {
        // The program's main window: its end ends the message loop.
        PostQuitMessage(0);
        result = 0;
        return true;
    }
    return false;
}

} // namespace quendix
