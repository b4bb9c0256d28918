#include "scan/ResultsTexts.h"

#include "scan/ScanSettings.h"

namespace quendix::results {

SettingLine targetLine(std::int32_t target, const std::string& path)
{
    switch (target) {
    case TargetDiskDrive:
        return {"Search  Disk drive " + path, "Search  Disk drive " + path, "Search:  Disk drive " + path};
    case TargetNetworkDrives:
        return {"Search  Network drives", "Search  Network Drives", "Search:  Network drives"};
    case TargetAllHardDisks:
        return {"Search  All Hard Disk Drives", "Search  All Hard Disk Drives", "Search:  All Hard Disk Drives"};
    case TargetDisketteA:
        return {"Search  Diskette Drive A:", "Search  Diskette Drive A:", "Search:  Diskette Drive A:"};
    case TargetUserSpecified:
        return {"Search  User Specified", "Search  User Specified " + path, "Search:  User Specified"};
    default:
        return {"Search  ", "Search  ", "Search:  "};
    }
}

std::string targetFieldText(std::int32_t target, const std::string& path)
{
    switch (target) {
    case TargetDiskDrive: return "Disk drive " + path;
    case TargetNetworkDrives: return "Network Drives";
    case TargetAllHardDisks: return "All Hard Disk Drives";
    case TargetDisketteA: return "Diskette Drive A:";
    case TargetUserSpecified: return "User Specified " + path;
    default: return "";
    }
}

SettingLine actionLine(std::int32_t action)
{
    const char* name = "";
    switch (action) {
    case ActionDisinfect: name = "Automatic disinfection"; break;
    case ActionDelete: name = "Automatic deletion"; break;
    case ActionRename: name = "Automatic renaming"; break;
    case ActionReportOnly: name = "Report only"; break;
    }
    return {std::string("Action   ") + name, std::string("Action  ") + name, std::string("Action:  ") + name};
}

SettingLine fileSetLine(std::int32_t fileSet)
{
    const char* name = fileSet == 1 ? "Standard executables" : fileSet == 2 ? "All files" : "";
    return {std::string("Files      ") + name, std::string("Files   ") + name, std::string("Files:  ") + name};
}

namespace {

// Heuristics count 1 as on, archive and packed count 2 as on.
std::string onOff(const char* heading, std::int32_t code, std::int32_t enabledCode)
{
    std::string line = std::string(heading) + "  ";
    if (code == enabledCode)
        line += "Enabled";
    else if (code == 1 || code == 2)
        line += "Disabled";
    return line;
}

} // namespace

std::string heuristicsLine(std::int32_t heuristics) { return onOff("Heuristics:", heuristics, 1); }
std::string archiveLine(std::int32_t archive) { return onOff("Archive:", archive, 2); }
std::string packedLine(std::int32_t packed) { return onOff("Packed:", packed, 2); }

std::array<std::string, 4> counterTexts(const ScanCounters& c)
{
    return {"Infected: " + std::to_string(c.Infected), "Disinfected: " + std::to_string(c.Disinfected),
            "Deleted: " + std::to_string(c.Deleted), "Renamed: " + std::to_string(c.Renamed)};
}

std::vector<std::string> closingLines(const ScanCounters& counters, std::int32_t action)
{
    if (counters.Infected == 0)
        return {kNoVirusFiles, kNoVirusBootSectors};
    if (action == ActionReportOnly)
        return {};
    auto texts = counterTexts(counters);
    return {"", texts[0], texts[1], texts[2], texts[3]};
}

} // namespace quendix::results
