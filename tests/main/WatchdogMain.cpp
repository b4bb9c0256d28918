// The main of every test program that runs under Wine: GoogleTest with a
// watchdog. A test that runs past its limit, or a crash, is reported by name
// and ends the program at once together with every process it started, so
// that a hang fails in seconds rather than at CTest's time-out. The limit in
// seconds comes from QUENDIX_TEST_SECONDS (CTest sets it per program).
#include <gtest/gtest.h>
#include <windows.h>

#include <tlhelp32.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

constexpr long kDefaultSeconds = 60;
constexpr UINT kHungExitCode = 124;
constexpr UINT kCrashExitCode = 125;
constexpr UINT kLeftRunningExitCode = 126;

// Every process a test starts joins this job, so that ending the job ends them all.
HANDLE job = nullptr;
std::mutex runningMutex;
std::string running = "(between tests)";

std::string runningTest()
{
    std::lock_guard lock(runningMutex);
    return running;
}

std::string programName(DWORD id)
{
    std::string name = "process " + std::to_string(id);
    HANDLE all = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    PROCESSENTRY32 entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32First(all, &entry); more; more = Process32Next(all, &entry))
        if (entry.th32ProcessID == id)
            name = entry.szExeFile;
    CloseHandle(all);
    return name;
}

// Ends every process the tests started that still runs, with `code`; gives
// how many there were.
int endStartedProcesses(UINT code)
{
    struct {
        JOBOBJECT_BASIC_PROCESS_ID_LIST list;
        ULONG_PTR more[255];
    } ids{};
    ids.list.NumberOfAssignedProcesses = 256;
    int ended = 0;
    if (job && QueryInformationJobObject(job, JobObjectBasicProcessIdList, &ids, sizeof ids, nullptr)) {
        for (DWORD i = 0; i < ids.list.NumberOfProcessIdsInList; ++i) {
            DWORD id = static_cast<DWORD>(ids.list.ProcessIdList[i]);
            if (id == GetCurrentProcessId())
                continue;
            if (HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, id)) {
                // Wine's desktop process, which the prefix's first window
                // starts as our child, serves every program of the prefix.
                const std::string name = programName(id);
                if (WaitForSingleObject(process, 0) == WAIT_TIMEOUT && lstrcmpiA(name.c_str(), "explorer.exe") != 0) {
                    if (TerminateProcess(process, code)) {
                        std::fprintf(stderr, "ended %s\n", name.c_str());
                        ++ended;
                    }
                }
                CloseHandle(process);
            }
        }
    }
    return ended;
}

// Ends every process the tests started, then this one with `code`. (Ending
// the whole job at once would lose the exit code under Wine.)
[[noreturn]] void endEverything(UINT code)
{
    std::fflush(stdout);
    std::fflush(stderr);
    endStartedProcesses(code);
    TerminateProcess(GetCurrentProcess(), code);
    std::abort();
}

LONG WINAPI reportCrash(EXCEPTION_POINTERS* info)
{
    std::fprintf(stderr, "\n%s crashed with exception 0x%08lx at %p\n", runningTest().c_str(),
                 static_cast<unsigned long>(info->ExceptionRecord->ExceptionCode),
                 info->ExceptionRecord->ExceptionAddress);
    endEverything(kCrashExitCode);
}

class Watchdog final : public ::testing::EmptyTestEventListener {
public:
    explicit Watchdog(long seconds) : limit_(seconds), thread_([this] { watch(); }) {}
    ~Watchdog() override
    {
        {
            std::lock_guard lock(mutex_);
            stop_ = true;
        }
        wake_.notify_all();
        thread_.join();
    }
    Watchdog(const Watchdog&) = delete;
    Watchdog& operator=(const Watchdog&) = delete;

    void OnTestStart(const ::testing::TestInfo& test) override
    {
        {
            std::lock_guard lock(runningMutex);
            running = std::string(test.test_suite_name()) + "." + test.name();
        }
        std::lock_guard lock(mutex_);
        deadline_ = Clock::now() + limit_;
        armed_ = true;
        wake_.notify_all();
    }
    void OnTestEnd(const ::testing::TestInfo&) override
    {
        std::lock_guard lock(mutex_);
        armed_ = false;
        wake_.notify_all();
    }

private:
    void watch()
    {
        std::unique_lock lock(mutex_);
        while (!stop_) {
            if (!armed_) {
                wake_.wait(lock);
            } else if (Clock::now() < deadline_) {
                wake_.wait_until(lock, deadline_);
            } else {
                std::fprintf(stderr, "\n%s ran longer than %ld s: ended as hung\n", runningTest().c_str(),
                             static_cast<long>(limit_.count()));
                endEverything(kHungExitCode);
            }
        }
    }

    std::chrono::seconds limit_;
    std::mutex mutex_;
    std::condition_variable wake_;
    Clock::time_point deadline_;
    bool armed_ = false;
    bool stop_ = false;
    std::thread thread_;
};

long limitSeconds()
{
    const char* text = std::getenv("QUENDIX_TEST_SECONDS");
    long seconds = text ? std::strtol(text, nullptr, 10) : 0;
    return seconds > 0 ? seconds : kDefaultSeconds;
}

} // namespace

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    job = CreateJobObjectA(nullptr, nullptr);
    if (job && !AssignProcessToJobObject(job, GetCurrentProcess())) {
        CloseHandle(job);
        job = nullptr;
    }
    SetUnhandledExceptionFilter(reportCrash);

    ::testing::TestEventListeners& listeners = ::testing::UnitTest::GetInstance()->listeners();
    auto* watchdog = new Watchdog(limitSeconds());
    listeners.Append(watchdog);
    int result = RUN_ALL_TESTS();
    delete listeners.Release(watchdog);
    // A process a test left behind (an engine a failed test never stopped)
    // would go on writing exchange files into the next program's tests.
    if (int left = endStartedProcesses(kLeftRunningExitCode))
        std::fprintf(stderr, "%d process(es) the tests started were still running at the end: ended\n", left);
    return result;
}
