// qdxupdate.exe: keeps the signature databases in the folder "signatures"
// beside the programs current. Without arguments it shows what it does in a
// small window; /quiet runs it without one (the scheduled task).
//
//   qdxupdate [/quiet] [/force] [/mirror URL-or-folder]
#include <windows.h>
#include <shellapi.h>

#include <atomic>
#include <cctype>
#include <string>
#include <vector>

#include "update_log.h"
#include "update_window.h"
#include "updater.h"
#include "winpath.h"
#ifdef QDX_UPDATE_TEST_BUILD
#include "detached_signature.h"
#include "test_keys.h"
#endif

namespace {

using namespace qdx::update;

class SilentReporter final : public RunReporter {
public:
    void line(const std::string&) override {}
    void transferred(uint64_t, uint64_t, uint64_t) override {}
};

// The test build trusts the tests' keys, and only them.
const TrustedKeys& trustedKeys() {
#ifdef QDX_UPDATE_TEST_BUILD
    static const TrustedKeys keys{makeKey(testkeys::kHeaderModulus, testkeys::kHeaderExponent),
                                  makeKey(testkeys::kPssModulus, testkeys::kPssExponent),
                                  makeKey(testkeys::kPssModulus, testkeys::kPssExponent),
                                  {certificateFromPem(testkeys::kDetachedRoot)}};
    return keys;
#else
    return officialKeys();
#endif
}

bool parseArguments(RunOptions& options, std::string& error) {
    int count = 0;
    LPWSTR* args = CommandLineToArgvW(GetCommandLineW(), &count);
    std::vector<std::string> a;
    for (int i = 1; i < count; ++i) a.push_back(qdx::toAnsi(args[i]));
    LocalFree(args);
    for (size_t i = 0; i < a.size(); ++i) {
        std::string key = a[i];
        for (auto& c : key) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        if (key == "/quiet" || key == "-quiet") options.quiet = true;
        else if (key == "/force" || key == "-force") options.force = true;
        else if ((key == "/mirror" || key == "-mirror") && i + 1 < a.size()) options.mirror = parseSource(a[++i]);
        else {
            error = "Unknown argument \"" + a[i] + "\". Usage: qdxupdate [/quiet] [/force] [/mirror URL-or-folder]";
            return false;
        }
    }
    return true;
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    // Libraries from System32 only, and nothing taken from the folder we
    // were started in: the scheduled task runs us as SYSTEM.
    qdx::loadLibrariesFromSystem32Only();
    qdx::enterProgramDir();
    const std::string programDir = qdx::programDir();
    RunOptions options;
#ifdef QDX_UPDATE_TEST_BUILD
    options.testBuild = true;
#endif
    std::string error;
    if (!parseArguments(options, error)) {
        UpdateLog(programDir + "\\update.log").append(error);
        if (!options.quiet) MessageBoxA(nullptr, error.c_str(), "Update virus definitions", MB_OK | MB_ICONERROR);
        return kBadUsage;
    }
    std::atomic<bool> stop{false};
    if (options.quiet) {
        SilentReporter reporter;
        try {
            return runUpdate(options, programDir, trustedKeys(), reporter, stop);
        } catch (const std::exception& e) {
            UpdateLog(programDir + "\\update.log").append(std::string("Error: ") + e.what());
            return kFailed;
        }
    }
    return runWithWindow([&](RunReporter& reporter) { return runUpdate(options, programDir, trustedKeys(), reporter, stop); }, stop);
}
