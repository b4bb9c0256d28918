// The info program's figures kept beside the databases they count: counting
// millions of signatures takes seconds at every start of the front end, the
// databases change once a day. The figures stand only while every database
// file and our own definitions have the size and time they had.
#pragma once
#include <array>
#include <string>

namespace qdx {

// What the figures depend on: names, sizes and times of the database files
// in `folder` and of the definitions file `definitions`.
std::string databaseStamp(const std::string& folder, const std::string& definitions);

// The ten lines kept for `stamp` in `folder`; false when there are none.
bool readCachedInfo(const std::string& folder, const std::string& stamp, std::array<std::string, 10>& lines);
// Keeps them; a folder that cannot be written to keeps nothing.
void writeCachedInfo(const std::string& folder, const std::string& stamp, const std::array<std::string, 10>& lines);

}  // namespace qdx
