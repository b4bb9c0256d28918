#include "autoit_script.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <string_view>

#include "bytes.h"

namespace qdx {
namespace {

// clang-format off: names packed by lines, not one to a line
constexpr std::string_view kKeywords[] = {
    "UNKNOWN_0", "AND",          "OR",      "NOT",   "IF",        "THEN",    "ELSE",      "ELSEIF",       "ENDIF",
    "WHILE",     "WEND",         "DO",      "UNTIL", "FOR",       "NEXT",    "TO",        "STEP",         "IN",
    "EXITLOOP",  "CONTINUELOOP", "SELECT",  "CASE",  "ENDSELECT", "SWITCH",  "ENDSWITCH", "CONTINUECASE", "DIM",
    "REDIM",     "LOCAL",        "GLOBAL",  "CONST", "STATIC",    "FUNC",    "ENDFUNC",   "RETURN",       "EXIT",
    "BYREF",     "WITH",         "ENDWITH", "TRUE",  "FALSE",     "DEFAULT", "NULL",      "VOLATILE",     "ENUM",
};

constexpr std::string_view kFunctions[] = {
    "ABS",
    "ACOS",
    "ADLIBREGISTER",
    "ADLIBUNREGISTER",
    "ASC",
    "ASCW",
    "ASIN",
    "ASSIGN",
    "ATAN",
    "AUTOITSETOPTION",
    "AUTOITWINGETTITLE",
    "AUTOITWINSETTITLE",
    "BEEP",
    "BINARY",
    "BINARYLEN",
    "BINARYMID",
    "BINARYTOSTRING",
    "BITAND",
    "BITNOT",
    "BITOR",
    "BITROTATE",
    "BITSHIFT",
    "BITXOR",
    "BLOCKINPUT",
    "BREAK",
    "CALL",
    "CDTRAY",
    "CEILING",
    "CHR",
    "CHRW",
    "CLIPGET",
    "CLIPPUT",
    "CONSOLEREAD",
    "CONSOLEWRITE",
    "CONSOLEWRITEERROR",
    "CONTROLCLICK",
    "CONTROLCOMMAND",
    "CONTROLDISABLE",
    "CONTROLENABLE",
    "CONTROLFOCUS",
    "CONTROLGETFOCUS",
    "CONTROLGETHANDLE",
    "CONTROLGETPOS",
    "CONTROLGETTEXT",
    "CONTROLHIDE",
    "CONTROLLISTVIEW",
    "CONTROLMOVE",
    "CONTROLSEND",
    "CONTROLSETTEXT",
    "CONTROLSHOW",
    "CONTROLTREEVIEW",
    "COS",
    "DEC",
    "DIRCOPY",
    "DIRCREATE",
    "DIRGETSIZE",
    "DIRMOVE",
    "DIRREMOVE",
    "DLLCALL",
    "DLLCALLADDRESS",
    "DLLCALLBACKFREE",
    "DLLCALLBACKGETPTR",
    "DLLCALLBACKREGISTER",
    "DLLCLOSE",
    "DLLOPEN",
    "DLLSTRUCTCREATE",
    "DLLSTRUCTGETDATA",
    "DLLSTRUCTGETPTR",
    "DLLSTRUCTGETSIZE",
    "DLLSTRUCTSETDATA",
    "DRIVEGETDRIVE",
    "DRIVEGETFILESYSTEM",
    "DRIVEGETLABEL",
    "DRIVEGETSERIAL",
    "DRIVEGETTYPE",
    "DRIVEMAPADD",
    "DRIVEMAPDEL",
    "DRIVEMAPGET",
    "DRIVESETLABEL",
    "DRIVESPACEFREE",
    "DRIVESPACETOTAL",
    "DRIVESTATUS",
    "DUMMYSPEEDTEST",
    "ENVGET",
    "ENVSET",
    "ENVUPDATE",
    "EVAL",
    "EXECUTE",
    "EXP",
    "FILECHANGEDIR",
    "FILECLOSE",
    "FILECOPY",
    "FILECREATENTFSLINK",
    "FILECREATESHORTCUT",
    "FILEDELETE",
    "FILEEXISTS",
    "FILEFINDFIRSTFILE",
    "FILEFINDNEXTFILE",
    "FILEFLUSH",
    "FILEGETATTRIB",
    "FILEGETENCODING",
    "FILEGETLONGNAME",
    "FILEGETPOS",
    "FILEGETSHORTCUT",
    "FILEGETSHORTNAME",
    "FILEGETSIZE",
    "FILEGETTIME",
    "FILEGETVERSION",
    "FILEINSTALL",
    "FILEMOVE",
    "FILEOPEN",
    "FILEOPENDIALOG",
    "FILEREAD",
    "FILEREADLINE",
    "FILEREADTOARRAY",
    "FILERECYCLE",
    "FILERECYCLEEMPTY",
    "FILESAVEDIALOG",
    "FILESELECTFOLDER",
    "FILESETATTRIB",
    "FILESETEND",
    "FILESETPOS",
    "FILESETTIME",
    "FILEWRITE",
    "FILEWRITELINE",
    "FLOOR",
    "FTPSETPROXY",
    "FUNCNAME",
    "GUICREATE",
    "GUICTRLCREATEAVI",
    "GUICTRLCREATEBUTTON",
    "GUICTRLCREATECHECKBOX",
    "GUICTRLCREATECOMBO",
    "GUICTRLCREATECONTEXTMENU",
    "GUICTRLCREATEDATE",
    "GUICTRLCREATEDUMMY",
    "GUICTRLCREATEEDIT",
    "GUICTRLCREATEGRAPHIC",
    "GUICTRLCREATEGROUP",
    "GUICTRLCREATEICON",
    "GUICTRLCREATEINPUT",
    "GUICTRLCREATELABEL",
    "GUICTRLCREATELIST",
    "GUICTRLCREATELISTVIEW",
    "GUICTRLCREATELISTVIEWITEM",
    "GUICTRLCREATEMENU",
    "GUICTRLCREATEMENUITEM",
    "GUICTRLCREATEMONTHCAL",
    "GUICTRLCREATEOBJ",
    "GUICTRLCREATEPIC",
    "GUICTRLCREATEPROGRESS",
    "GUICTRLCREATERADIO",
    "GUICTRLCREATESLIDER",
    "GUICTRLCREATETAB",
    "GUICTRLCREATETABITEM",
    "GUICTRLCREATETREEVIEW",
    "GUICTRLCREATETREEVIEWITEM",
    "GUICTRLCREATEUPDOWN",
    "GUICTRLDELETE",
    "GUICTRLGETHANDLE",
    "GUICTRLGETSTATE",
    "GUICTRLREAD",
    "GUICTRLRECVMSG",
    "GUICTRLREGISTERLISTVIEWSORT",
    "GUICTRLSENDMSG",
    "GUICTRLSENDTODUMMY",
    "GUICTRLSETBKCOLOR",
    "GUICTRLSETCOLOR",
    "GUICTRLSETCURSOR",
    "GUICTRLSETDATA",
    "GUICTRLSETDEFBKCOLOR",
    "GUICTRLSETDEFCOLOR",
    "GUICTRLSETFONT",
    "GUICTRLSETGRAPHIC",
    "GUICTRLSETIMAGE",
    "GUICTRLSETLIMIT",
    "GUICTRLSETONEVENT",
    "GUICTRLSETPOS",
    "GUICTRLSETRESIZING",
    "GUICTRLSETSTATE",
    "GUICTRLSETSTYLE",
    "GUICTRLSETTIP",
    "GUIDELETE",
    "GUIGETCURSORINFO",
    "GUIGETMSG",
    "GUIGETSTYLE",
    "GUIREGISTERMSG",
    "GUISETACCELERATORS",
    "GUISETBKCOLOR",
    "GUISETCOORD",
    "GUISETCURSOR",
    "GUISETFONT",
    "GUISETHELP",
    "GUISETICON",
    "GUISETONEVENT",
    "GUISETSTATE",
    "GUISETSTYLE",
    "GUISTARTGROUP",
    "GUISWITCH",
    "HEX",
    "HOTKEYSET",
    "HTTPSETPROXY",
    "HTTPSETUSERAGENT",
    "HWND",
    "INETCLOSE",
    "INETGET",
    "INETGETINFO",
    "INETGETSIZE",
    "INETREAD",
    "INIDELETE",
    "INIREAD",
    "INIREADSECTION",
    "INIREADSECTIONNAMES",
    "INIRENAMESECTION",
    "INIWRITE",
    "INIWRITESECTION",
    "INPUTBOX",
    "INT",
    "ISADMIN",
    "ISARRAY",
    "ISBINARY",
    "ISBOOL",
    "ISDECLARED",
    "ISDLLSTRUCT",
    "ISFLOAT",
    "ISFUNC",
    "ISHWND",
    "ISINT",
    "ISKEYWORD",
    "ISMAP",
    "ISNUMBER",
    "ISOBJ",
    "ISPTR",
    "ISSTRING",
    "LOG",
    "MAPAPPEND",
    "MAPEXISTS",
    "MAPKEYS",
    "MAPREMOVE",
    "MEMGETSTATS",
    "MOD",
    "MOUSECLICK",
    "MOUSECLICKDRAG",
    "MOUSEDOWN",
    "MOUSEGETCURSOR",
    "MOUSEGETPOS",
    "MOUSEMOVE",
    "MOUSEUP",
    "MOUSEWHEEL",
    "MSGBOX",
    "NUMBER",
    "OBJCREATE",
    "OBJCREATEINTERFACE",
    "OBJEVENT",
    "OBJGET",
    "OBJNAME",
    "ONAUTOITEXITREGISTER",
    "ONAUTOITEXITUNREGISTER",
    "OPT",
    "PING",
    "PIXELCHECKSUM",
    "PIXELGETCOLOR",
    "PIXELSEARCH",
    "PROCESSCLOSE",
    "PROCESSEXISTS",
    "PROCESSGETSTATS",
    "PROCESSLIST",
    "PROCESSSETPRIORITY",
    "PROCESSWAIT",
    "PROCESSWAITCLOSE",
    "PROGRESSOFF",
    "PROGRESSON",
    "PROGRESSSET",
    "PTR",
    "RANDOM",
    "REGDELETE",
    "REGENUMKEY",
    "REGENUMVAL",
    "REGREAD",
    "REGWRITE",
    "ROUND",
    "RUN",
    "RUNAS",
    "RUNASWAIT",
    "RUNWAIT",
    "SEND",
    "SENDKEEPACTIVE",
    "SETERROR",
    "SETEXTENDED",
    "SHELLEXECUTE",
    "SHELLEXECUTEWAIT",
    "SHUTDOWN",
    "SIN",
    "SLEEP",
    "SOUNDPLAY",
    "SOUNDSETWAVEVOLUME",
    "SPLASHIMAGEON",
    "SPLASHOFF",
    "SPLASHTEXTON",
    "SQRT",
    "SRANDOM",
    "STATUSBARGETTEXT",
    "STDERRREAD",
    "STDINWRITE",
    "STDIOCLOSE",
    "STDOUTREAD",
    "STRING",
    "STRINGADDCR",
    "STRINGCOMPARE",
    "STRINGFORMAT",
    "STRINGFROMASCIIARRAY",
    "STRINGINSTR",
    "STRINGISALNUM",
    "STRINGISALPHA",
    "STRINGISASCII",
    "STRINGISDIGIT",
    "STRINGISFLOAT",
    "STRINGISINT",
    "STRINGISLOWER",
    "STRINGISSPACE",
    "STRINGISUPPER",
    "STRINGISXDIGIT",
    "STRINGLEFT",
    "STRINGLEN",
    "STRINGLOWER",
    "STRINGMID",
    "STRINGREGEXP",
    "STRINGREGEXPREPLACE",
    "STRINGREPLACE",
    "STRINGREVERSE",
    "STRINGRIGHT",
    "STRINGSPLIT",
    "STRINGSTRIPCR",
    "STRINGSTRIPWS",
    "STRINGTOASCIIARRAY",
    "STRINGTOBINARY",
    "STRINGTRIMLEFT",
    "STRINGTRIMRIGHT",
    "STRINGUPPER",
    "TAN",
    "TCPACCEPT",
    "TCPCLOSESOCKET",
    "TCPCONNECT",
    "TCPLISTEN",
    "TCPNAMETOIP",
    "TCPRECV",
    "TCPSEND",
    "TCPSHUTDOWN",
    "TCPSTARTUP",
    "TIMERDIFF",
    "TIMERINIT",
    "TOOLTIP",
    "TRAYCREATEITEM",
    "TRAYCREATEMENU",
    "TRAYGETMSG",
    "TRAYITEMDELETE",
    "TRAYITEMGETHANDLE",
    "TRAYITEMGETSTATE",
    "TRAYITEMGETTEXT",
    "TRAYITEMSETONEVENT",
    "TRAYITEMSETSTATE",
    "TRAYITEMSETTEXT",
    "TRAYSETCLICK",
    "TRAYSETICON",
    "TRAYSETONEVENT",
    "TRAYSETPAUSEICON",
    "TRAYSETSTATE",
    "TRAYSETTOOLTIP",
    "TRAYTIP",
    "UBOUND",
    "UDPBIND",
    "UDPCLOSESOCKET",
    "UDPOPEN",
    "UDPRECV",
    "UDPSEND",
    "UDPSHUTDOWN",
    "UDPSTARTUP",
    "VARGETTYPE",
    "WINACTIVATE",
    "WINACTIVE",
    "WINCLOSE",
    "WINEXISTS",
    "WINFLASH",
    "WINGETCARETPOS",
    "WINGETCLASSLIST",
    "WINGETCLIENTSIZE",
    "WINGETHANDLE",
    "WINGETPOS",
    "WINGETPROCESS",
    "WINGETSTATE",
    "WINGETTEXT",
    "WINGETTITLE",
    "WINKILL",
    "WINLIST",
    "WINMENUSELECTITEM",
    "WINMINIMIZEALL",
    "WINMINIMIZEALLUNDO",
    "WINMOVE",
    "WINSETONTOP",
    "WINSETSTATE",
    "WINSETTITLE",
    "WINSETTRANS",
    "WINWAIT",
    "WINWAITACTIVE",
    "WINWAITCLOSE",
    "WINWAITNOTACTIVE",
};

// clang-format on

constexpr std::string_view kOperators[] = {",", "=", ">", "<",  "<>", ">=", "<=", "(",  ")",  "+",  "-", "/", "*",
                                           "&", "[", "]", "==", "^",  "+=", "-=", "/=", "*=", "&=", "?", ":"};

// What goes before a name or string of each kind (0x30 to 0x37): macros
// '@', variables '$', objects '.', strings a quote.
constexpr std::array<char, 8> kPrefixes = {'\0', '\0', '@', '$', '\0', '.', '"', '\0'};

constexpr uint8_t kKeyword = 0x00, kFunction = 0x01, kInt32 = 0x05, kInt64 = 0x10, kDouble = 0x20;
constexpr uint8_t kFirstText = 0x30, kFunctionName = 0x34, kString = 0x36, kLastText = 0x37;
constexpr uint8_t kFirstOperator = 0x40, kLineEnd = 0x7F;

}  // namespace

size_t autoItUtf16ToAscii(uint8_t* data, size_t size) {
    if (size < 2) return size;
    const uint8_t* from = data;
    if (size > 4 && data[0] == 0xFF && data[1] == 0xFE && data[2] != 0) {
        size -= 2;
        from += 2;
    } else {
        // Mostly ASCII in UTF-16: at least a quarter of the first ten units.
        const size_t sample = size > 20 ? 20 : (size & ~size_t{1});
        size_t ascii = 0;
        for (size_t i = 0; i < sample; i += 2) ascii += data[i] != 0 && data[i + 1] == 0 ? 1 : 0;
        if (ascii * 4 < sample) return size;
    }
    // Reads stay ahead of writes: from[i] lies at or past data[i / 2].
    for (size_t i = 0; i < size; i += 2) data[i / 2] = from[i];
    return size / 2;
}

AutoItScriptText::AutoItScriptText(std::string tokens) : tokens_(std::move(tokens)) {
    if (tokens_.size() < 4) {
        ended_ = true;
        return;
    }
    lines_ = le32(reinterpret_cast<const uint8_t*>(tokens_.data()));
}

size_t AutoItScriptText::read(void* buffer, size_t size) {
    while (pending_.size() - taken_ < size && !ended_) {
        if (taken_ > 0 && taken_ == pending_.size()) {
            pending_.clear();
            taken_ = 0;
        }
        if (!step()) ended_ = true;
    }
    const size_t n = std::min(size, pending_.size() - taken_);
    std::memcpy(buffer, pending_.data() + taken_, n);
    taken_ += n;
    return n;
}

bool AutoItScriptText::step() {
    const size_t size = tokens_.size();
    if (lines_ == 0 || at_ >= size) return false;
    const auto* p = reinterpret_cast<const uint8_t*>(tokens_.data());
    const uint8_t op = p[at_++];
    // Each operand must leave at least one byte after it, as clamscan asks.
    auto room = [&](size_t need) { return size > need && at_ < size - need; };
    auto fail = [&] {
        damaged_ = true;
        return false;
    };
    if (op == kKeyword || op == kFunction) {
        if (!room(4)) return fail();
        const uint32_t id = le32(p + at_);
        const std::string_view* table = op == kKeyword ? kKeywords : kFunctions;
        const size_t count = op == kKeyword ? std::size(kKeywords) : std::size(kFunctions);
        if (id >= count) return fail();
        at_ += 4;
        pending_.append(table[id]).push_back(' ');
        return true;
    }
    if (op == kInt32 || op == kInt64 || op == kDouble) {
        const size_t width = op == kInt32 ? 4 : 8;
        if (!room(width)) return fail();
        std::array<char, 48> text{};
        int written = 0;
        if (op == kInt32) {
            written = std::snprintf(text.data(), text.size(), "0x%08x ", le32(p + at_));
        } else if (op == kInt64) {
            const uint64_t value = (uint64_t{le32(p + at_ + 4)} << 32) | le32(p + at_);
            written = std::snprintf(text.data(), text.size(), "0x%016llx ", static_cast<unsigned long long>(value));
        } else {
            double value = 0;
            std::memcpy(&value, p + at_, sizeof value);  // little-endian hosts only
            written = std::snprintf(text.data(), text.size(), "%g ", value);
        }
        if (written <= 0 || static_cast<size_t>(written) >= text.size()) return fail();
        pending_.append(text.data(), static_cast<size_t>(written));
        at_ += width;
        return true;
    }
    if (op >= kFirstText && op <= kLastText) {
        if (!room(4)) return fail();
        const uint32_t chars = le32(p + at_);
        at_ += 4;
        // Twice the length in 32 bits, as clamscan counts: a length of 2^31
        // or more never fits the data.
        if (chars >= (uint32_t{1} << 31)) return fail();
        const size_t units = size_t{chars} * 2;
        if (size < units || at_ >= size - units) return fail();
        if (const char prefix = kPrefixes[op - kFirstText]) pending_.push_back(prefix);
        if (chars > 0) {
            std::string text(tokens_, at_, units);
            auto* t = reinterpret_cast<uint8_t*>(text.data());
            for (size_t i = 0; i < units; i += 2) {
                t[i] ^= static_cast<uint8_t>(chars);
                t[i + 1] ^= static_cast<uint8_t>(chars >> 8);
            }
            autoItUtf16ToAscii(t, units);
            // clamscan keeps `chars` bytes whatever the conversion gave.
            pending_.append(text, 0, chars);
            at_ += units;
        }
        if (op == kString) pending_.push_back('"');
        if (op != kFunctionName) pending_.push_back(' ');
        return true;
    }
    if (op >= kFirstOperator && op < kFirstOperator + std::size(kOperators)) {
        pending_.append(kOperators[op - kFirstOperator]).push_back(' ');
        return true;
    }
    if (op == kLineEnd) {
        --lines_;
        pending_.push_back('\n');
        return true;
    }
    return fail();
}

}  // namespace qdx
