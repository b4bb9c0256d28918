// update.log beside the programs: every run appends its lines with the time;
// past 1 MB the older half is dropped, so that a daily task never fills the disk.
#pragma once
#include <string>

namespace qdx::update {

class UpdateLog {
public:
    explicit UpdateLog(std::string path) : path_(std::move(path)) {}
    // False when the log cannot be written (the run goes on).
    bool append(const std::string& line);

private:
    void trim();
    std::string path_;
};

inline constexpr unsigned long kLogLimit = 1u << 20;

}  // namespace qdx::update
