// The unit tests' data files (engines/tests/core/data), read whole.
#pragma once
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

namespace qdxtest {

// data/<folder>/<name>; empty, and a test failure, when it cannot be read.
inline std::string testData(const std::string& folder, const std::string& name) {
    std::ifstream in(std::string(QDX_ARCHIVE_DATA) + "/../" + folder + "/" + name, std::ios::binary);
    EXPECT_TRUE(in) << folder << "/" << name;
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

}  // namespace qdxtest
