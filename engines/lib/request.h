// The scan request the front end leaves in the Windows directory.
#pragma once
#include <string>
#include <vector>

namespace qdx {

enum Action { Disinfect = 1, Delete = 2, Rename = 3, ReportOnly = 4 };
enum Target { DiskDrive = 1, NetworkDrives = 2, AllHardDisks = 3, DisketteA = 4, UserSpecified = 5 };

struct Request {
    std::string path;
    int action = Disinfect;
    int target = DiskDrive;
    int fileSet = 1;      // 1 standard executables and documents, 2 all files
    int heuristics = 1;   // 1 on, 2 off
    int archive = 1;      // 1 off, 2 on
    int packed = 1;       // 1 off, 2 on

    bool allFiles() const { return fileSet == 2; }
    bool heuristicsOn() const { return heuristics == 1; }
    bool archivesOn() const { return archive == 2; }
    bool packedOn() const { return packed == 2; }
};

// Seven lines: the path, then action, target, file set, heuristics, archive
// and packed codes. On failure returns false and says why in `error`.
bool parseRequest(const std::vector<std::string>& lines, Request& out, std::string& error);

std::string describeTarget(const Request& r);
std::string describeAction(int action);

}  // namespace qdx
