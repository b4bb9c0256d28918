// What the results file's first lines say about the signature databases:
// what was loaded, what was left out and why, and which files were damaged,
// each in one line so that the preamble keeps its number of lines.
#pragma once
#include <string>

#include "database.h"

namespace qdx {

std::string databasesLine(const LoadReport& report);
std::string leftOutLine(const LoadReport& report);
// "Error: ..." naming every damaged or unreadable database, or a line that
// says there was none.
std::string damageLine(const LoadReport& report);

}  // namespace qdx
