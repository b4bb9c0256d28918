#pragma once
// I/O failures travel as exceptions carrying the run-time's text for the
// platform's error number; the GUI shows them at the handler boundary.
#include <stdexcept>
#include <string>

namespace quendix {

// The run-time's text for a platform error number: "File not found",
// "File access denied", "Disk full", ... or "I/O error %d".
std::string ioErrorText(unsigned long code);

class IoError : public std::runtime_error {
public:
    explicit IoError(unsigned long code) : std::runtime_error(ioErrorText(code)), code_(code) {}
    // A failure whose run-time text alone would not tell the user what to do.
    IoError(unsigned long code, const std::string& text) : std::runtime_error(text), code_(code) {}
    unsigned long code() const { return code_; }

private:
    unsigned long code_;
};

} // namespace quendix
