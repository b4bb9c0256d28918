// Helpers for the engine tests: scratch folders, sample files built from the
// generated definitions, and a reader that takes the results file apart the
// way the front end does.
#pragma once
#include <string>
#include <vector>

#include "definitions.h"

namespace qdxtest {

// The definitions the build generated (the test programs hold no signature
// of their own, so they never look infected themselves).
const qdx::Definitions& definitions();
std::string signature(const std::string& name);
// A harmless host program and an unknown member of the test family.
std::string host();
std::string unknownVariant();

std::string binDir();
std::string samplesDir();

// A fresh, empty folder of that name under the current directory; returns
// its full path.
std::string freshDir(const std::string& name);
void writeFile(const std::string& path, const std::string& data);
std::string readFile(const std::string& path);
bool exists(const std::string& path);
// Copies the demo samples (recursively) into `to`.
void copyTree(const std::string& from, const std::string& to);

struct FrontEndView {
    std::vector<std::string> findings;
    int infected = 0, disinfected = 0, deleted = 0, renamed = 0;
    bool markerFound = false;
    std::string files, mbrs, bootSectors, time;
};
// Reads a results file by the front end's rules: 14 lines skipped, findings
// up to the first empty line, counted by prefix; the time line is the 3rd
// line after the boot sectors line, or the 8th after counted infections
// with an action other than report only.
FrontEndView readLikeFrontEnd(const std::string& path, int action);

// Runs a program with the given current directory and waits for its end;
// gives the exit code, or -1 when it could not start.
int runProgram(const std::string& program, const std::string& currentDir);
// Starts every program at once, in the same current directory, and waits
// for every one.
std::vector<int> runTogether(const std::vector<std::string>& programs, const std::string& currentDir);

}  // namespace qdxtest
