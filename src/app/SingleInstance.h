#pragma once
// One front end at a time. A second one would share the exchange files of the
// first: its start-up would delete the request and results of a scan under
// way. A second start hands its path (from Explorer's "Scan with Quendix")
// to the running front end, which scans it next, and brings that one forward.
#include <windows.h>

#include <optional>
#include <string>

namespace quendix {

// WM_COPYDATA tag of a path handed over by a second start.
inline constexpr ULONG_PTR kHandOverTag = 0x5153444E;   // "QSDN"

class SingleInstance {
public:
    SingleInstance();
    ~SingleInstance();
    SingleInstance(const SingleInstance&) = delete;
    SingleInstance& operator=(const SingleInstance&) = delete;

    // False when another front end of this session runs already.
    bool first() const { return first_; }

private:
    HANDLE mutex_ = nullptr;
    bool first_ = true;
};

// Hands `path` (or nothing) to the running front end and brings its main
// window forward. False when none answered within a few seconds.
bool handToRunningInstance(const std::optional<std::string>& path);

// The path of a hand-over message, or none when it is not one.
std::optional<std::string> handedOverPath(const COPYDATASTRUCT& data);

} // namespace quendix
