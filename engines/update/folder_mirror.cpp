// A folder as the source (an offline machine; an administrator copies the
// files there): the same files as on a mirror, read in place.
#include <string>

#include "mirror.h"
#include "winpath.h"

namespace qdx::update {
namespace {

class FolderMirror final : public Mirror {
public:
    explicit FolderMirror(std::string folder) : folder_(std::move(folder)) {}
    std::string describe() const override { return "the folder " + folder_; }

    std::string head(const std::string& name, const Transfer&) override {
        HANDLE h = open(name);
        std::string block(512, '\0');
        DWORD got = 0;
        const BOOL ok = ReadFile(h, block.data(), 512, &got, nullptr);
        const DWORD error = GetLastError();
        CloseHandle(h);
        if (!ok) throw FetchError(Failure::Cut, name + " cannot be read: " + systemMessage(error));
        block.resize(got);
        return block;
    }

    void fetch(const std::string& name, HANDLE file, uint64_t limit, Transfer& transfer) override {
        HANDLE h = open(name);
        LARGE_INTEGER size{};
        GetFileSizeEx(h, &size);
        if (static_cast<uint64_t>(size.QuadPart) > limit) {
            CloseHandle(h);
            throw FetchError(Failure::Refused, name + " is larger than the limit for one file");
        }
        if (transfer.size) transfer.size(static_cast<uint64_t>(size.QuadPart));
        // A folder always starts again from the beginning.
        SetFilePointer(file, 0, nullptr, FILE_BEGIN);
        SetEndOfFile(file);
        std::string buffer(1 << 20, '\0');
        uint64_t total = 0;
        const uint64_t deadline = transferDeadline(transfer, tickMs(), static_cast<uint64_t>(size.QuadPart));
        for (;;) {
            if (transfer.stop && *transfer.stop) {
                CloseHandle(h);
                throw FetchError(Failure::Refused, "stopped by the user");
            }
            if (tickMs() > deadline) {
                CloseHandle(h);
                throw tooSlow(transfer, name);
            }
            DWORD got = 0, written = 0;
            if (!ReadFile(h, buffer.data(), static_cast<DWORD>(buffer.size()), &got, nullptr)) {
                const DWORD error = GetLastError();
                CloseHandle(h);
                throw FetchError(Failure::Cut, name + " cannot be read: " + systemMessage(error));
            }
            if (got == 0) break;
            total += got;
            if (total > limit) {
                CloseHandle(h);
                throw FetchError(Failure::Refused, name + " is larger than the limit for one file");
            }
            if (!WriteFile(file, buffer.data(), got, &written, nullptr) || written != got) {
                const DWORD error = GetLastError();
                CloseHandle(h);
                throw std::runtime_error("cannot write the download: " + systemMessage(error));
            }
            if (transfer.progress) transfer.progress(got);
        }
        CloseHandle(h);
    }

private:
    HANDLE open(const std::string& name) {
        HANDLE h = CreateFileA((folder_ + "\\" + name).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                               FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
        if (h == INVALID_HANDLE_VALUE) {
            const DWORD error = GetLastError();
            if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) throw FetchError(Failure::NotFound, name + " is not in " + folder_);
            throw FetchError(Failure::Cut, name + " cannot be opened: " + systemMessage(error));
        }
        return h;
    }

    std::string folder_;
};

}  // namespace

std::unique_ptr<Mirror> openFolderMirror(const std::string& folder) { return std::make_unique<FolderMirror>(folder); }

}  // namespace qdx::update
