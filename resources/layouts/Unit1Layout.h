#pragma once
// Main window layout. The table order is the creation order and so the
// keyboard order: only buttons, edit fields, the drive selector and the
// selected radio button of each option panel take the focus.
#include "ui/Layout.h"

namespace quendix::layouts {

using namespace quendix::ui;

inline constexpr Style kWhiteBold = Bold | TextWhite;

// Target rows: label, edit field, button and picture columns; row pitch.
inline constexpr int kRowTop = 130, kRowPitch = 50;
inline constexpr int kLabelX = 8, kEditX = 172, kButtonX = 344, kPictureX = 438;
constexpr int rowY(int row, int offset) { return kRowTop + row * kRowPitch + offset; }
// The target block and the virus-list frame, closed on the right by a vertical rule.
inline constexpr int kBlockW = 513, kRuleW = 2;

// Option panels: title at the left, the radio buttons below one another.
inline constexpr int kPanelX = 522, kPanelW = 212, kRadioX = 68, kRadioW = 140, kRadioPitch = 20;

inline constexpr ControlSpec kUnit1Controls[] = {
    // Quick-scan strip.
    {Kind::ImageButton, "ControlBar2", nullptr, "HARDDISK", 4, 6, 75, 36, None,
     "Search for virus infections on selected Disk Drive"},
    {Kind::ImageButton, "ControlBar1", nullptr, "DISKETTE", 81, 6, 75, 36, None,
     "Search for virus infections on Diskette Drive A:"},
    {Kind::ImageButton, "ControlBar3", nullptr, "NETWORK", 158, 6, 75, 36, None,
     "Search on any network directories that are mapped to a drive letter"},
    {Kind::BevelVert, "Bevel1", nullptr, "", 240, 4, 2, 41},
    {Kind::Label, "Label2", nullptr, "Scan Selected Disk Drive ", 252, 18, 156, 13, kWhiteBold},
    {Kind::DriveCombo, "DriveComboBox1", nullptr, "", 410, 14, 174, 22},
    {Kind::Button, "BitBtn1", nullptr, "Start Scanning", 594, 12, 97, 25},
    {Kind::BevelHorz, "Bevel2", nullptr, "", 0, 48, 736, 2},

    // Target rows.
    {Kind::BevelHorz, "Bevel3", nullptr, "", 0, rowY(0, 0), kBlockW, 2},
    {Kind::Label, "Label3", nullptr, "Scan Disk Drive", kLabelX, rowY(0, 19), 162, 13, kWhiteBold},
    {Kind::Edit, "Edit1", nullptr, "C:\\", kEditX, rowY(0, 15), 163, 21},
    {Kind::Button, "BitBtn2", nullptr, "Start Scanning", kButtonX, rowY(0, 13), 89, 25},
    {Kind::Image, "Image2", nullptr, "HARDDISK", kPictureX, rowY(0, 11), 72, 30},
    {Kind::BevelHorz, "Bevel4", nullptr, "", 0, rowY(1, 0), kBlockW, 2},
    {Kind::Label, "Label4", nullptr, "Scan All Hard Disk Drives", kLabelX, rowY(1, 19), 162, 13, kWhiteBold},
    {Kind::Button, "BitBtn3", nullptr, "Start Scanning", kButtonX, rowY(1, 13), 89, 25},
    {Kind::BevelHorz, "Bevel5", nullptr, "", 0, rowY(2, 0), kBlockW, 2},
    {Kind::Label, "Label5", nullptr, "Scan Diskette Drive A:", kLabelX, rowY(2, 19), 162, 13, kWhiteBold},
    {Kind::Button, "BitBtn4", nullptr, "Start Scanning", kButtonX, rowY(2, 13), 89, 25},
    {Kind::Image, "Image3", nullptr, "DISKETTE", kPictureX, rowY(2, 11), 72, 30},
    {Kind::BevelHorz, "Bevel6", nullptr, "", 0, rowY(3, 0), kBlockW, 2},
    {Kind::Label, "Label6", nullptr, "Scan Network Drives", kLabelX, rowY(3, 19), 162, 13, kWhiteBold},
    {Kind::Button, "BitBtn5", nullptr, "Start Scanning", kButtonX, rowY(3, 13), 89, 25},
    {Kind::Image, "Image4", nullptr, "NETWORK", kPictureX, rowY(3, 11), 72, 30},
    {Kind::BevelHorz, "Bevel7", nullptr, "", 0, rowY(4, 0), kBlockW, 2},
    {Kind::Label, "Label7", nullptr, "Scan User Specified", kLabelX, rowY(4, 19), 162, 13, kWhiteBold},
    // Created after its row's button: the field follows the button in the keyboard order.
    {Kind::Button, "BitBtn6", nullptr, "Start Scanning", kButtonX, rowY(4, 13), 89, 25},
    {Kind::Edit, "Edit2", nullptr, "C:\\", kEditX, rowY(4, 15), 163, 21},
    {Kind::BevelHorz, "Bevel8", nullptr, "", 0, rowY(5, 0), kBlockW, 2},
    {Kind::BevelVert, "Bevel9", nullptr, "", kBlockW - kRuleW, rowY(0, 0), kRuleW, 5 * kRowPitch + 2},

    // Options column.
    {Kind::BevelVert, "Bevel10", nullptr, "", 517, 50, 2, 342},
    {Kind::Label, "Label15", nullptr, "Options", kPanelX + 4, 56, 100, 13, kWhiteBold},
    {Kind::Panel, "Panel3", nullptr, "", kPanelX, 74, kPanelW, 90, None,
     "Action - What action should be taken when a virus is found."},
    {Kind::Label, "Label8", "Panel3", "Action: ", 6, 8, 56, 13, kWhiteBold},
    {Kind::RadioButton, "RadioButton1", "Panel3", "Automatic disinfection", kRadioX, 6, kRadioW, 17,
     kWhiteBold | Checked, "Disinfect any infected file if possible."},
    {Kind::RadioButton, "RadioButton2", "Panel3", "Automatic deletion", kRadioX, 6 + kRadioPitch, kRadioW, 17,
     kWhiteBold, "Delete any infected file."},
    {Kind::RadioButton, "RadioButton3", "Panel3", "Automatic renaming", kRadioX, 6 + 2 * kRadioPitch, kRadioW, 17,
     kWhiteBold, "Rename infected files to *.VOM, *.VXE or *.VMM."},
    {Kind::RadioButton, "RadioButton4", "Panel3", "Report only", kRadioX, 6 + 3 * kRadioPitch, kRadioW, 17,
     kWhiteBold, "Only produce a list of any infected files found."},
    {Kind::Panel, "Panel4", nullptr, "", kPanelX, 170, kPanelW, 50, None,
     "Files - The set of files where Quendix should search for viruses."},
    {Kind::Label, "Label9", "Panel4", "Files:", 6, 8, 56, 13, kWhiteBold},
    {Kind::RadioButton, "RadioButton6", "Panel4", "Standard executables", kRadioX, 6, kRadioW, 17,
     kWhiteBold | Checked, "Search in normal executables files."},
    {Kind::RadioButton, "RadioButton7", "Panel4", "All Files", kRadioX, 6 + kRadioPitch, kRadioW, 17, kWhiteBold,
     "Search in all files."},
    {Kind::Panel, "Panel5", nullptr, "", kPanelX, 226, kPanelW, 50, None,
     "Heuristics - Attempt to detect unknown viruses with the use of heuristics. "},
    {Kind::Label, "Label10", "Panel5", "Heuristics:", 6, 8, 56, 13, kWhiteBold},
    {Kind::RadioButton, "RadioButton9", "Panel5", "Enabled.", kRadioX, 6, kRadioW, 17, kWhiteBold | Checked},
    {Kind::RadioButton, "RadioButton10", "Panel5", "Disabled", kRadioX, 6 + kRadioPitch, kRadioW, 17, kWhiteBold},
    {Kind::Panel, "Panel6", nullptr, "", kPanelX, 282, kPanelW, 50, None, "Archive - Scan inside .ZIP and ARJ files."},
    {Kind::Label, "Label11", "Panel6", "Archive:", 6, 8, 56, 13, kWhiteBold},
    {Kind::RadioButton, "RadioButton5", "Panel6", "Enabled.", kRadioX, 6, kRadioW, 17, kWhiteBold},
    {Kind::RadioButton, "RadioButton8", "Panel6", "Disabled", kRadioX, 6 + kRadioPitch, kRadioW, 17,
     kWhiteBold | Checked},
    {Kind::Panel, "Panel7", nullptr, "", kPanelX, 338, kPanelW, 50, None,
     "Packed - Scan inside various types of compressed executables."},
    {Kind::Label, "Label12", "Panel7", "Packed:", 6, 8, 56, 13, kWhiteBold},
    {Kind::RadioButton, "RadioButton11", "Panel7", "Enabled.", kRadioX, 6, kRadioW, 17, kWhiteBold},
    {Kind::RadioButton, "RadioButton12", "Panel7", "Disabled", kRadioX, 6 + kRadioPitch, kRadioW, 17,
     kWhiteBold | Checked},

    // Virus lists, framed, between the strip and the target rows; last in the keyboard order.
    {Kind::BevelFrame, "Bevel11", nullptr, "", 0, 56, kBlockW, 66},
    {Kind::Label, "Label21", nullptr, "Virus List", kLabelX, 71, 300, 13, kWhiteBold},
    {Kind::Button, "BitBtn8", nullptr, "Virus List", kButtonX, 65, 89, 25},
    {Kind::Label, "Label22", nullptr, "New and frequently reported viruses", kLabelX, 99, 300, 13, kWhiteBold},
    {Kind::Button, "BitBtn10", nullptr, "Virus List", kButtonX, 93, 89, 25},

    // Bottom.
    {Kind::Image, "Image1", nullptr, "LOGO", 8, 444, 161, 25},
    {Kind::Label, "Label1", nullptr, "Virus Variants: over 52700", 430, 458, 300, 13, kWhiteBold | AlignRight},
    {Kind::StatusBar, "StatusBar1", nullptr, "Read Help - Updates for information on how to obtain updates", 0, 475,
     736, 16},
};

inline constexpr MenuItemSpec kFileMenu[] = {
    {"ScanDiskDrive1", "Scan Disk Drive"},
    {"ScanAllHardDiskDrives1", "Scan All Hard Disk Drives"},
    {"ScanDisketteDriveA1", "Scan Diskette Drive A:"},
    {"ScanUserSpecified1", "Scan Network Drives"},
    {"ScanUserSpecified2", "Scan User Specified"},
    {"Exit1", "Exit"},
};
inline constexpr MenuItemSpec kVirusesMenu[] = {
    {"MostDangerousVirus1", "New and Frequently Reported Viruses"},
    {"VirusList1", "Virus List"},
};
inline constexpr MenuItemSpec kHelpMenu[] = {
    {"QuendixPersonalVersionHelp1", "Quendix Professional Version Help"},
    {"Updates1", "Number of viruses"},
    {"About1", "Updates"},
    {"About2", "About"},
};
inline constexpr MenuSpec kUnit1Menus[] = {
    {"File1", "File", kFileMenu},
    {"Viruses", "Viruses", kVirusesMenu},
    {"Help1", "Help", kHelpMenu},
};

// The drive selector's pictures: removable, fixed, network, CD-ROM, RAM disk.
inline constexpr const char* kDrivePictures[] = {"DRV_REMOVABLE", "DRV_FIXED", "DRV_NETWORK", "DRV_CDROM",
                                                 "DRV_RAMDISK"};

} // namespace quendix::layouts
