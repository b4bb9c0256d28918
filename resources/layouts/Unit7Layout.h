#pragma once
// Help window layout: an outer tab control with one page holding an inner tab
// control of four pages. Each inner page is a dark area with one framed box
// per topic, the heading in the frame line and one row per line of text.
#include "ui/Layout.h"

namespace quendix::layouts {

using namespace quendix::ui;

inline constexpr Style kHelpRow = TextWhite | NoWrap;

inline constexpr ControlSpec kUnit7Controls[] = {
    {Kind::TabControl, "PageControl1", nullptr, "", 4, 0, 739, 489},
    {Kind::TabSheet, "TabSheet1", "PageControl1", "Help", 0, 0, 0, 0},
    {Kind::TabControl, "PageControl2", "TabSheet1", "", 1, 3, 729, 447},
    {Kind::TabSheet, "TabSheet2", "PageControl2", " Scan ", 0, 0, 0, 0},
    {Kind::TabSheet, "TabSheet3", "PageControl2", " Action ", 0, 0, 0, 0},
    {Kind::TabSheet, "TabSheet4", "PageControl2", " Files ", 0, 0, 0, 0},
    {Kind::TabSheet, "TabSheet5", "PageControl2", " Archive and Packed", 0, 0, 0, 0},
    // Scan
    {Kind::Area, "Area1", "TabSheet2", "", 0, 0, 720, 415, BackInfoText},
    {Kind::GroupBox, "GroupBox1", "Area1", "Scan Disk Drive", 14, 10, 690, 47, TextWhite},
    {Kind::Label, "Label1", "GroupBox1", "Scans the MBR and all accessible partitions on any selected drive.", 10, 20, 670, 13, kHelpRow},
    {Kind::GroupBox, "GroupBox2", "Area1", "Scan All Hard Disk Drives", 14, 85, 690, 47, TextWhite},
    {Kind::Label, "Label2", "GroupBox2", "Scans the MBR and all accessible partitions on any hard disks that are found.", 10, 20, 670, 13, kHelpRow},
    {Kind::GroupBox, "GroupBox3", "Area1", "Scan Diskette Drive A:", 14, 160, 690, 47, TextWhite},
    {Kind::Label, "Label3", "GroupBox3", "Search for virus infections on Diskette Drive A:", 10, 20, 670, 13, kHelpRow},
    {Kind::GroupBox, "GroupBox4", "Area1", "Scan Network Drives", 14, 235, 690, 47, TextWhite},
    {Kind::Label, "Label4", "GroupBox4", "Search on any network directories that are mapped to a drive letter.", 10, 20, 670, 13, kHelpRow},
    {Kind::GroupBox, "GroupBox5", "Area1", "Scan User Specified", 14, 310, 690, 47, TextWhite},
    {Kind::Label, "Label5", "GroupBox5", "Search any file, drive or directory which is specified by the user.", 10, 20, 670, 13, kHelpRow},
    // Action
    {Kind::Area, "Area2", "TabSheet3", "", 0, 0, 720, 415, BackInfoText},
    {Kind::GroupBox, "GroupBox6", "Area2", "Action", 14, 10, 690, 296, TextWhite},
    {Kind::Label, "Label6", "GroupBox6", "What action should be taken when a virus is found.", 10, 20, 670, 13, kHelpRow},
    {Kind::GroupBox, "GroupBox7", "GroupBox6", "Automatic disinfection ", 7, 48, 676, 47, TextWhite},
    {Kind::Label, "Label7", "GroupBox7", "Disinfect any infected file if posible. If a virus has tottaly destroyed the infected file it will be deleted.", 10, 20, 656, 13, kHelpRow},
    {Kind::GroupBox, "GroupBox8", "GroupBox6", "Automatic deletion ", 7, 105, 676, 47, TextWhite},
    {Kind::Label, "Label8", "GroupBox8", "Delete any infected files.", 10, 20, 656, 13, kHelpRow},
    {Kind::GroupBox, "GroupBox9", "GroupBox6", "Automatic renaming ", 7, 162, 676, 67, TextWhite},
    {Kind::Label, "Label9", "GroupBox9", "Rename infected files to *.VOM, *.VXE or *.VVV.", 10, 20, 656, 13, kHelpRow},
    {Kind::Label, "Label10", "GroupBox9", "Infected document files are not renamed, as that would be pointless - they would be equally infectious afterwards.", 10, 40, 656, 13, kHelpRow},
    {Kind::GroupBox, "GroupBox10", "GroupBox6", "Report Only", 7, 239, 676, 47, TextWhite},
    {Kind::Label, "Label11", "GroupBox10", "Only produce a list of any infected files found.", 10, 20, 656, 13, kHelpRow},
    // Files
    {Kind::Area, "Area3", "TabSheet4", "", 0, 0, 720, 415, BackInfoText},
    {Kind::GroupBox, "GroupBox11", "Area3", " Files ", 14, 10, 690, 222, TextWhite},
    {Kind::Label, "Label12", "GroupBox11", "The set of files where Quendix should search for viruses.", 10, 20, 670, 13, kHelpRow},
    {Kind::GroupBox, "GroupBox12", "GroupBox11", "Standard executables", 7, 48, 676, 67, TextWhite},
    {Kind::Label, "Label13", "GroupBox12", "Search in normal executables files: *.APP  *.COM  *.EXE  *.OV?  *.PGM  *.SYS.  *.386  *.SCR and so on.", 10, 20, 656, 13, kHelpRow},
    {Kind::Label, "Label14", "GroupBox12", "This is the fastest option, but it will only search in Word/Excel documents that have the standard DOC/DOT/XL? extensions.", 10, 40, 656, 13, kHelpRow},
    {Kind::GroupBox, "GroupBox13", "GroupBox11", "All files ", 7, 125, 676, 87, TextWhite},
    {Kind::Label, "Label15", "GroupBox13", "Search in all files.", 10, 20, 656, 13, kHelpRow},
    {Kind::Label, "Label16", "GroupBox13", "This option should only be used if a virus has been found on the system, to make sure a copy is not hiding in some obscure overlay file.", 10, 40, 656, 13, kHelpRow},
    {Kind::Label, "Label17", "GroupBox13", "Or if you use Word/Excel and your documents have non-standard extensions. ", 10, 60, 656, 13, kHelpRow},
    // Archive and Packed
    {Kind::Area, "Area4", "TabSheet5", "", 0, 0, 720, 415, BackInfoText},
    {Kind::GroupBox, "GroupBox14", "Area4", " Archive ", 14, 10, 690, 47, TextWhite},
    {Kind::Label, "Label18", "GroupBox14", "Scans insides .ZIP and ARJ files. ", 10, 20, 670, 13, kHelpRow},
    {Kind::GroupBox, "GroupBox15", "Area4", " Packed ", 14, 69, 690, 87, TextWhite},
    {Kind::Label, "Label19", "GroupBox15", "Scans \"inside\" various types of compressed executables (PKLITE, LZEXE, DIET and EXEPACK) , by emulating the execution of the", 10, 20, 670, 13, kHelpRow},
    {Kind::Label, "Label20", "GroupBox15", "decompressor.  ", 10, 40, 670, 13, kHelpRow},
    {Kind::Label, "Label21", "GroupBox15", "As this option can slow the scan down significantly, we only recommend using it when scanning new software before installation.", 10, 60, 670, 13, kHelpRow},
    {Kind::Button, "OKBtn", nullptr, "OK", 324, 496, 75, 25, DefaultButton},
};

} // namespace quendix::layouts
