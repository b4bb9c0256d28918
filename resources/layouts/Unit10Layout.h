#pragma once
// Updates window layout: one white bold row per line of the instructions.
#include "ui/Layout.h"

// The download archive, the update program's address on it and the e-mail
// service: placeholders on reserved example domains until real ones exist.
#define QUENDIX_UPDATE_ARCHIVE "ftp.example.org"
#define QUENDIX_UPDATE_ADDRESS "http://ftp.example.org/pub/quendix/winqdx**.exe"
#define QUENDIX_UPDATE_MAIL "updates@example.org"

namespace quendix::layouts {

using namespace quendix::ui;

inline constexpr const char* kUpdateArchive = QUENDIX_UPDATE_ARCHIVE;
inline constexpr const char* kUpdateAddress = QUENDIX_UPDATE_ADDRESS;
inline constexpr const char* kUpdateMail = QUENDIX_UPDATE_MAIL;

inline constexpr Style kUpdateRow = Bold | TextWhite | NoWrap;

inline constexpr ControlSpec kUnit10Controls[] = {
    {Kind::Label, "Label1", nullptr, "How to obtain updates to the Professional shareware version over the net:", 104, 5,
     559, 13, kUpdateRow},
    {Kind::Label, "Label2", nullptr, "Updates to Quendix Professional consist of two distinct files.", 7, 44, 656, 13,
     kUpdateRow},
    {Kind::Label, "Label3", nullptr,
     "winqdx**.exe   This file is updated as necessary, maybe every one or two months.", 7, 64, 656, 13, kUpdateRow},
    {Kind::Label, "Label4", nullptr,
     "It contains the Professional version of Quendix and the current virus definition files.", 95, 84, 568, 13,
     kUpdateRow},
    {Kind::Label, "Label5", nullptr, "pqdx-def.zip    Contains the latest QUENDIX3.DAT and QDXVLST.TXT.", 7, 104, 656, 13,
     kUpdateRow},
    {Kind::Label, "Label6", nullptr,
     "If you have FTP access, you can always get the current version of Quendix Professional by", 7, 134, 656, 13,
     kUpdateRow},
    {Kind::Label, "Label7", nullptr,
     "anonymous FTP from a number of sites.  Our primary method of distribution is through " QUENDIX_UPDATE_ARCHIVE
     ",  and all",
     7, 154, 656, 13, kUpdateRow},
    {Kind::Label, "Label8", nullptr,
     "\"mirrors\" of this site should always carry an up-to-date version of Quendix Professional.", 7, 174, 656, 13,
     kUpdateRow},
    {Kind::Label, "Label9", nullptr, "The primary location is  " QUENDIX_UPDATE_ADDRESS, 7, 194, 656, 13, kUpdateRow},
    {Kind::Label, "Label10", nullptr, "** stands for the version number.", 7, 214, 656, 13, kUpdateRow},
    {Kind::Label, "Label11", nullptr,
     "The file UPDATES.TXT contains a list of sites the updates can be donwloaded from.", 7, 234, 656, 13, kUpdateRow},
    {Kind::Label, "Label12", nullptr,
     "For people in remote corners of the world, without reliable FTP or WWW  access, we offer the", 7, 264, 656, 13,
     kUpdateRow},
    {Kind::Label, "Label13", nullptr, "\"Quendix Professional by E-mail\" service.", 7, 284, 656, 13, kUpdateRow},
    {Kind::Label, "Label14", nullptr, "To use this service you send an E-mail message to " QUENDIX_UPDATE_MAIL ".", 7, 304,
     656, 13, kUpdateRow},
    {Kind::Label, "Label15", nullptr, "For now the following commands are accepted.", 7, 324, 656, 13, kUpdateRow},
    {Kind::Label, "Label16", nullptr, "subscribe notice", 7, 354, 656, 13, kUpdateRow},
    {Kind::Label, "Label17", nullptr, "unsubscribe notice", 7, 374, 656, 13, kUpdateRow},
    {Kind::Label, "Label18", nullptr, "subscribe notice:  Allows people to subscribe to a new version notice.", 7, 404,
     656, 13, kUpdateRow},
    {Kind::Label, "Label19", nullptr,
     "Subscribers will then receive announcement in E-mail when new versions of Quendix Professional", 7, 424, 656, 13,
     kUpdateRow},
    {Kind::Label, "Label20", nullptr, "are available.", 7, 444, 656, 13, kUpdateRow},
    {Kind::Label, "Label21", nullptr, "unsubscribe notice:  Removes people from the new version notice list.", 7, 464,
     656, 13, kUpdateRow},
    {Kind::BevelHorz, "Bevel1", nullptr, "", 0, 487, 670, 2},
    {Kind::Button, "OKBtn", nullptr, "OK", 280, 500, 75, 25, DefaultButton},
};

} // namespace quendix::layouts

#undef QUENDIX_UPDATE_ARCHIVE
#undef QUENDIX_UPDATE_ADDRESS
#undef QUENDIX_UPDATE_MAIL
