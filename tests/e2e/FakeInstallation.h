#pragma once
// A scratch installation whose engine programs are stand-ins: the info
// program writes fixed figures, the scanner records each request and answers
// with prepared results.
#include "support/ProgramDriver.h"
#include "support/Scratch.h"

#include <string>
#include <vector>

namespace quendix::e2e {

// A folder holding the program, the test engines and a virus list; the
// current directory while it lives.
class Installation {
public:
    Installation();
    const std::string& path() const { return scratch_.path(); }
    // The requests the test scanner received, oldest first.
    std::vector<std::string> requests() const;
    std::size_t requestCount() const { return requests().size(); }
    // What the test scanner answers from now on.
    void prepareResults(const std::string& resultsFile);
    // Another test program of this build takes the scanner's place.
    void useScanner(const std::string& program);

private:
    testing::ScratchDir scratch_;
};

// The seven lines of a request file.
std::vector<std::string> requestLines(const std::string& request);

// Waits until every exchange file of a scan is gone again and `count`
// requests have been received: the scan run has finished.
bool waitForScans(const RunningProgram& program, const Installation& installation, std::size_t count);

} // namespace quendix::e2e
