#pragma once
// The six option codes of one scan and the drive selector flag. The request
// file carries the codes exactly as stored: heuristics count 1 as on, archive
// and packed count 1 as off.
#include <cstdint>
#include <string>

namespace quendix {

enum ActionValue : std::int32_t { ActionDisinfect = 1, ActionDelete = 2, ActionRename = 3, ActionReportOnly = 4 };
enum TargetValue : std::int32_t { TargetDiskDrive = 1, TargetNetworkDrives = 2, TargetAllHardDisks = 3,
                                  TargetDisketteA = 4, TargetUserSpecified = 5 };

struct ScanSettings {
    std::int32_t ActionCode = 1;
    std::int32_t TargetCode = 1;
    std::int32_t FileSetCode = 1;
    std::int32_t HeuristicsCode = 1;
    std::int32_t ArchiveCode = 1;
    std::int32_t PackedCode = 1;
    bool DriveSelectorFlag = false;

    // The values every start begins with.
    void reset() { *this = ScanSettings{}; }
};

// What the main window holds when a scan resolves its target.
struct TargetFields {
    std::string diskDriveText;      // Edit1
    std::string userSpecifiedText;  // Edit2
    char driveLetter = 0;           // the drive selector's letter; 0 when it holds none
};

// Picks the target path and clears the drive selector flag. Texts are used
// exactly as typed.
std::string resolveTargetPath(ScanSettings& settings, const TargetFields& fields);

// The process-wide settings of this run, owned by the main window.
extern ScanSettings Settings;

} // namespace quendix
