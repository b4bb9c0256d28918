#pragma once
// The main window: scan commands, scan options, the information windows' commands and Exit.
#include "scan/ScanRun.h"
#include "ui/Form.h"

#include <commctrl.h>

#include <shellapi.h>

#include <string>

namespace quendix {

inline constexpr const char* kMainWindowTitle = "Quendix Professional Shareware Version 2.5";

class TForm1 : public ui::Form, public ScanHost {
public:
    TForm1() = default;

    // Quick-scan strip.
    ui::ImageButton ControlBar1, ControlBar2, ControlBar3;
    ui::Label Label2;
    ui::ComboBox DriveComboBox1;
    ui::Button BitBtn1;
    // Virus lists.
    ui::Label Label21, Label22;
    ui::Button BitBtn8, BitBtn10;
    // Target rows.
    ui::Label Label3, Label4, Label5, Label6, Label7;
    ui::Edit Edit1, Edit2;
    ui::Button BitBtn2, BitBtn3, BitBtn4, BitBtn5, BitBtn6;
    ui::Image Image2, Image3, Image4;
    // Options.
    ui::Label Label15;
    ui::Panel Panel3, Panel4, Panel5, Panel6, Panel7;
    ui::RadioButton RadioButton1, RadioButton2, RadioButton3, RadioButton4, RadioButton5, RadioButton6,
        RadioButton7, RadioButton8, RadioButton9, RadioButton10, RadioButton11, RadioButton12;
    // Bottom.
    ui::Image Image1;
    ui::Label Label1;
    ui::StatusBar StatusBar1;

    void create();
    // Puts `path` into the "Scan User Specified" field and runs that row's
    // scan, as a command from the message loop, once no scan is under way and
    // no results window is open (the command line's scan, and paths handed
    // over by a second start, which wait in waitingScans()). Raises an error
    // when too many wait already.
    void scanWhenStarted(const std::string& path);
    // A file or folder dropped on the window: the first goes into the "Scan
    // User Specified" field, and nothing starts.
    void filesDropped(HDROP drop);
    // The scan run behind every scan command.
    virtual void enter1() { runScan(*this); }

    // Scan commands.
    void ControlBar2Click();
    void ControlBar1Click();
    void ControlBar3Click();
    void BitBtn1Click();
    void BitBtn2Click();
    void BitBtn3Click();
    void BitBtn4Click();
    void BitBtn5Click();
    void BitBtn6Click();
    void ScanDiskDrive1Click();
    void ScanAllHardDiskDrives1Click();
    void ScanDisketteDriveA1Click();
    void ScanUserSpecified1Click();
    void ScanUserSpecified2Click();

    // Option commands.
    void RadioButton1Click();
    void RadioButton2Click();
    void RadioButton3Click();
    void RadioButton4Click();
    void RadioButton6Click();
    void RadioButton7Click();
    void RadioButton9Click();
    void RadioButton10Click();
    void RadioButton5Click();
    void RadioButton8Click();
    void RadioButton11Click();
    void RadioButton12Click();

    // Window commands and Exit.
    void VirusList1Click();
    void MostDangerousVirus1Click();
    void QuendixPersonalVersionHelp1Click();
    void Updates1Click();
    void About1Click();
    void About2Click();
    void Exit1Click();

    TargetFields targetFields() override;
    void hideMainWindow() override { ShowWindow(handle(), SW_HIDE); }
    void showMainWindow() override { ShowWindow(handle(), SW_SHOW); }
    HWND mainWindowHandle() const override { return handle(); }

protected:
    void bindControls() override;
    void FormCreate() override;
    void closeRequested() override;
    bool handleMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

private:
    void scan(std::int32_t targetCode);
    void runPendingScan();
    bool readyForWaitingScan();
    void handedOver();

    HWND lastFocus_ = nullptr;   // the control that had the keyboard when the window was left
};

// The main window, created once at start-up; null until then.
extern TForm1* Form1;

} // namespace quendix
