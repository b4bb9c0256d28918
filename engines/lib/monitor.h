// What a scan tells on its way, and whether it should go on: the progress
// file the front end shows and the stop request it leaves when the user
// presses Stop.
#pragma once
#include <cstdint>
#include <string>

#include "results.h"

namespace qdx {

class ScanMonitor {
public:
    virtual ~ScanMonitor() = default;
    // Called between folders, between files and between the chunks of a long
    // file, with what is being checked now and the figures so far. False:
    // stop now. Called often, so it must be cheap.
    virtual bool keepGoing(const std::wstring& checking, const ScanFigures& figures) = 0;
};

// Infected files found so far, whatever became of them.
uint64_t infectionsFound(const ScanFigures& figures);

// The exchange files in the Windows directory: "$$file$6" rewritten at most
// a few times a second (written under another name and renamed over, so that
// no reader sees half of it), and "$$file$7" looked for several times a
// second.
class ExchangeMonitor : public ScanMonitor {
public:
    explicit ExchangeMonitor(const std::string& workDir);
    bool keepGoing(const std::wstring& checking, const ScanFigures& figures) override;

    static constexpr uint32_t kWriteEveryMs = 250;
    static constexpr uint32_t kLookEveryMs = 100;

private:
    void writeProgress(const std::wstring& checking, const ScanFigures& figures);

    std::string progress_;
    std::string temporary_;
    std::string stopRequest_;
    uint32_t lastWrite_ = 0;
    uint32_t lastLook_ = 0;
    bool started_ = false;
    bool stop_ = false;
};

}  // namespace qdx
