#include "WindowChecks.h"
#include "app/Windows.h"
#include "layouts/Unit10Layout.h"
#include "support/Scratch.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <utility>

using namespace quendix;
using namespace quendix::testing;

namespace {

using Topic = std::pair<std::string, std::string>;   // box heading, row
using Topics = std::vector<Topic>;

bool isGroupBox(HWND c)
{
    char cls[32] = {};
    GetClassNameA(c, cls, sizeof cls);
    return lstrcmpiA(cls, "Button") == 0 && (GetWindowLongA(c, GWL_STYLE) & BS_TYPEMASK) == BS_GROUPBOX;
}

bool inside(const RECT& inner, const RECT& outer)
{
    return inner.left >= outer.left && inner.right <= outer.right && inner.top >= outer.top &&
           inner.bottom <= outer.bottom;
}

// Each row of a page with the heading of the smallest box it stands in, top to bottom.
Topics topicsOf(HWND page)
{
    std::vector<HWND> boxes, rows;
    for (HWND c : descendants(page))
        (isGroupBox(c) ? boxes : rows).push_back(c);
    std::vector<std::pair<int, Topic>> found;
    for (HWND row : rows) {
        if (!isStatic(row) || windowText(row).empty())
            continue;
        RECT r = rectIn(row, page);
        HWND best = nullptr;
        long bestArea = 0;
        for (HWND box : boxes) {
            RECT b = rectIn(box, page);
            long area = (b.right - b.left) * (b.bottom - b.top);
            if (inside(r, b) && (!best || area < bestArea)) {
                best = box;
                bestArea = area;
            }
        }
        found.push_back({r.top, {best ? windowText(best) : "(no box)", windowText(row)}});
    }
    std::stable_sort(found.begin(), found.end(), [](auto& a, auto& b) { return a.first < b.first; });
    Topics topics;
    for (auto& f : found)
        topics.push_back(f.second);
    return topics;
}

const std::string kPackedFirst = "Scans \"inside\" various types of compressed executables (PKLITE, LZEXE, DIET and "
                                 "EXEPACK) , by emulating the execution of the";

const std::map<int, Topics> kPages = {
    {0,
     {{"Scan Disk Drive", "Scans the MBR and all accessible partitions on any selected drive."},
      {"Scan All Hard Disk Drives", "Scans the MBR and all accessible partitions on any hard disks that are found."},
      {"Scan Diskette Drive A:", "Search for virus infections on Diskette Drive A:"},
      {"Scan Network Drives", "Search on any network directories that are mapped to a drive letter."},
      {"Scan User Specified", "Search any file, drive or directory which is specified by the user."}}},
    {1,
     {{"Action", "What action should be taken when a virus is found."},
      {"Automatic disinfection ", "Disinfect any infected file if posible. If a virus has tottaly destroyed the "
                                  "infected file it will be deleted."},
      {"Automatic deletion ", "Delete any infected files."},
      {"Automatic renaming ", "Rename infected files to *.VOM, *.VXE or *.VVV."},
      {"Automatic renaming ", "Infected document files are not renamed, as that would be pointless - they would be "
                              "equally infectious afterwards."},
      {"Report Only", "Only produce a list of any infected files found."}}},
    {2,
     {{" Files ", "The set of files where Quendix should search for viruses."},
      {"Standard executables", "Search in normal executables files: *.APP  *.COM  *.EXE  *.OV?  *.PGM  *.SYS.  "
                               "*.386  *.SCR and so on."},
      {"Standard executables", "This is the fastest option, but it will only search in Word/Excel documents that "
                               "have the standard DOC/DOT/XL? extensions."},
      {"All files ", "Search in all files."},
      {"All files ", "This option should only be used if a virus has been found on the system, to make sure a copy "
                     "is not hiding in some obscure overlay file."},
      {"All files ", "Or if you use Word/Excel and your documents have non-standard extensions. "}}},
    {3,
     {{" Archive ", "Scans insides .ZIP and ARJ files. "},
      {" Packed ", kPackedFirst},
      {" Packed ", "decompressor.  "},
      {" Packed ", "As this option can slow the scan down significantly, we only recommend using it when scanning new "
                   "software before installation."}}},
};

struct HelpAndAbout {
    ScratchDir dir;
    ShownErrors errors;
    TOKRightDlg1 help;
    TOKRightDlg about;
    TOKRightDlg1* previous = nullptr;
    HelpAndAbout()
    {
        help.create();
        about.create();
        previous = std::exchange(OKRightDlg1, &help);
    }
    ~HelpAndAbout() { OKRightDlg1 = previous; }
    int shownPage() const
    {
        int shown = -1;
        const ui::TabSheet* sheets[] = {&help.TabSheet2, &help.TabSheet3, &help.TabSheet4, &help.TabSheet5};
        for (int i = 0; i < 4; ++i)
            if (IsWindowVisible(sheets[i]->handle()))
                shown = shown == -1 ? i : -2;   // -2: more than one page shown
        EXPECT_EQ(help.PageControl2.selectedIndex(), shown);
        return shown;
    }
};

} // namespace

TEST(HelpWindow, TabsAndPagesInOrderWithTheirBlanks)
{
    HelpAndAbout w;
    ASSERT_EQ(w.help.PageControl1.count(), 1);
    EXPECT_EQ(w.help.PageControl1.tabCaption(0), "Help");
    ASSERT_EQ(w.help.PageControl2.count(), 4);
    EXPECT_EQ(w.help.PageControl2.tabCaption(0), " Scan ");
    EXPECT_EQ(w.help.PageControl2.tabCaption(1), " Action ");
    EXPECT_EQ(w.help.PageControl2.tabCaption(2), " Files ");
    EXPECT_EQ(w.help.PageControl2.tabCaption(3), " Archive and Packed");
    EXPECT_EQ(GetParent(w.help.PageControl2.handle()), w.help.TabSheet1.handle());
    w.help.show();
    EXPECT_EQ(w.shownPage(), 0);
    w.help.hide();
}

TEST(HelpWindow, EveryTopicStandsInItsBoxRowByRow)
{
    HelpAndAbout w;
    const ui::TabSheet* sheets[] = {&w.help.TabSheet2, &w.help.TabSheet3, &w.help.TabSheet4, &w.help.TabSheet5};
    for (const auto& [index, topics] : kPages) {
        SCOPED_TRACE(index);
        HWND page = sheets[index]->handle();
        EXPECT_EQ(topicsOf(page), topics);
        for (HWND c : descendants(page)) {
            if (!isGroupBox(c) && !(isStatic(c) && !windowText(c).empty()))
                continue;
            DrawColours colours = drawColours(c);
            EXPECT_EQ(colours.text, RGB(255, 255, 255)) << windowText(c);
            EXPECT_EQ(colours.back, GetSysColor(COLOR_INFOTEXT)) << windowText(c);
            EXPECT_FALSE(isBold(c)) << windowText(c);
            if (isGroupBox(c)) {
                // Page-level boxes 688 to 692 wide; boxes inside a box 676.
                RECT r = rectIn(c, page);
                int width = r.right - r.left;
                bool nested = false;
                for (HWND o : descendants(page))
                    if (o != c && isGroupBox(o) && inside(r, rectIn(o, page)))
                        nested = true;
                if (nested)
                    EXPECT_EQ(width, 676) << windowText(c);
                else
                    EXPECT_TRUE(width >= 688 && width <= 692) << windowText(c);
            }
        }
    }
}

TEST(HelpWindow, TheSelectedPageStaysWhileHiddenFromEitherCaller)
{
    HelpAndAbout w;
    w.help.show();
    clickTab(w.help.PageControl2.handle(), 2);   // " Files "
    EXPECT_EQ(w.shownPage(), 2);
    w.help.OKBtn.click();
    EXPECT_FALSE(w.help.visible());

    w.about.show();
    w.about.Button2.click();   // the About window's way in
    EXPECT_TRUE(w.help.visible());
    EXPECT_EQ(w.shownPage(), 2);

    clickTab(w.help.PageControl2.handle(), 1);   // " Action "
    w.help.OKBtn.click();
    w.help.show();   // the main window's way in
    EXPECT_EQ(w.shownPage(), 1);
    w.help.hide();
}

TEST(UpdatesWindow, RowsStandAtTheirTops)
{
    ScratchDir dir;
    TOKRightDlg9 updates;
    updates.create();
    std::vector<std::pair<int, std::string>> rows;
    for (HWND c : descendants(updates.handle()))
        if (isStatic(c) && !windowText(c).empty())
            rows.push_back({rectIn(c, updates.handle()).top, windowText(c)});
    std::sort(rows.begin(), rows.end());
    const std::vector<std::pair<int, std::string>> expected = {
        {5, "How to obtain updates to the Professional shareware version over the net:"},
        {44, "Updates to Quendix Professional consist of two distinct files."},
        {64, "winqdx**.exe   This file is updated as necessary, maybe every one or two months."},
        {84, "It contains the Professional version of Quendix and the current virus definition files."},
        {104, "pqdx-def.zip    Contains the latest QUENDIX3.DAT and QDXVLST.TXT."},
        {134, "If you have FTP access, you can always get the current version of Quendix Professional by"},
        {154, "anonymous FTP from a number of sites.  Our primary method of distribution is through " +
                  std::string(layouts::kUpdateArchive) + ",  and all"},
        {174, "\"mirrors\" of this site should always carry an up-to-date version of Quendix Professional."},
        {194, "The primary location is  " + std::string(layouts::kUpdateAddress)},
        {214, "** stands for the version number."},
        {234, "The file UPDATES.TXT contains a list of sites the updates can be donwloaded from."},
        {264, "For people in remote corners of the world, without reliable FTP or WWW  access, we offer the"},
        {284, "\"Quendix Professional by E-mail\" service."},
        {304, "To use this service you send an E-mail message to " + std::string(layouts::kUpdateMail) + "."},
        {324, "For now the following commands are accepted."},
        {354, "subscribe notice"},
        {374, "unsubscribe notice"},
        {404, "subscribe notice:  Allows people to subscribe to a new version notice."},
        {424, "Subscribers will then receive announcement in E-mail when new versions of Quendix Professional"},
        {444, "are available."},
        {464, "unsubscribe notice:  Removes people from the new version notice list."},
    };
    EXPECT_EQ(rows, expected);
    EXPECT_EQ(rectIn(updates.controlHandle("Label1"), updates.handle()).left, 104);
    EXPECT_EQ(rectIn(updates.controlHandle("Label4"), updates.handle()).left, 95);
    EXPECT_EQ(rectIn(updates.controlHandle("Label2"), updates.handle()).left, 7);
    RECT rule = rectIn(updates.Bevel1.handle(), updates.handle());
    EXPECT_EQ(rule.top, 487);
    EXPECT_LE(rule.left, 0);   // across the whole window
    EXPECT_GE(rule.right, 670);
}

TEST(UpdatesWindow, EndpointsArePlaceholdersOnReservedExampleDomains)
{
    auto reserved = [](std::string host) {
        for (const char* domain : {"example.org", "example.com", "example.net"}) {
            std::string d = domain;
            if (host == d || (host.size() > d.size() && host.ends_with("." + d)))
                return true;
        }
        return false;
    };
    std::string archive = layouts::kUpdateArchive;
    std::string address = layouts::kUpdateAddress;
    std::string mail = layouts::kUpdateMail;
    EXPECT_TRUE(reserved(archive)) << archive;
    ASSERT_TRUE(address.starts_with("http://") || address.starts_with("ftp://")) << address;
    std::string rest = address.substr(address.find("://") + 3);
    EXPECT_TRUE(reserved(rest.substr(0, rest.find('/')))) << address;
    EXPECT_TRUE(address.ends_with("/winqdx**.exe")) << address;
    ASSERT_NE(mail.find('@'), std::string::npos);
    EXPECT_TRUE(reserved(mail.substr(mail.find('@') + 1))) << mail;
    EXPECT_EQ(mail.find(' '), std::string::npos);
}
