#include "compiled_signatures.h"

#include <windows.h>

#include <stdexcept>

#include "signature_folder.h"
#include "winpath.h"

namespace qdx {
namespace {

// Beyond this an image cannot be mapped beside a scan in a 32-bit process.
constexpr uint64_t kMaxImageBytes = 1536ull << 20;

std::string imagePath(const std::string& folder) { return folder + "\\" + kImageName; }

// The view and the file it shows: the handle stays open while the view is in
// use, and shares no writing, so that no one can change the image in place
// under a running scan (its checks were made once, when it was mapped).
struct View {
    const void* base = nullptr;
    HANDLE file = INVALID_HANDLE_VALUE;
    ~View() {
        if (base) UnmapViewOfFile(base);
        if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
    }
};

// The image mapped read-only through the handle that was opened, or null.
std::shared_ptr<const View> mapImage(const std::string& folder, uint64_t& size) {
    // Shared for deleting: a newer image may be renamed over it meanwhile.
    HANDLE file = CreateFileA(imagePath(folder).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return nullptr;
    auto view = std::make_shared<View>();
    view->file = file;
    LARGE_INTEGER bytes;
    if (!GetFileSizeEx(file, &bytes) || bytes.QuadPart <= 0 || static_cast<uint64_t>(bytes.QuadPart) > kMaxImageBytes)
        return nullptr;
    HANDLE mapping = CreateFileMappingA(file, nullptr, PAGE_READONLY, 0, 0, nullptr);
    if (!mapping) return nullptr;
    view->base = MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0);
    CloseHandle(mapping);  // the view keeps the mapping
    if (!view->base) return nullptr;
    size = static_cast<uint64_t>(bytes.QuadPart);
    return view;
}

std::span<const uint8_t> bytesOf(const View& v, uint64_t size) {
    return {static_cast<const uint8_t*>(v.base), static_cast<size_t>(size)};
}

class FileOutput final : public ImageOutput {
public:
    explicit FileOutput(HANDLE h) : h_(h) {}
    void write(const void* data, size_t size) override {
        const auto* p = static_cast<const char*>(data);
        while (size > 0) {
            const DWORD chunk = size > (1u << 24) ? (1u << 24) : static_cast<DWORD>(size);
            DWORD written = 0;
            if (!WriteFile(h_, p, chunk, &written, nullptr) || written != chunk)
                throw std::runtime_error(systemMessage(GetLastError()));
            p += chunk;
            size -= chunk;
        }
    }
    void writeAt(uint64_t offset, const void* data, size_t size) override {
        LARGE_INTEGER at;
        at.QuadPart = static_cast<LONGLONG>(offset);
        if (!SetFilePointerEx(h_, at, nullptr, FILE_BEGIN)) throw std::runtime_error(systemMessage(GetLastError()));
        write(data, size);
    }

private:
    HANDLE h_;
};

// Removes what builders that were ended left behind; a file still being
// written is open without sharing for deletion and stays.
void removeLeftovers(const std::string& folder) {
    WIN32_FIND_DATAA e;
    HANDLE find = FindFirstFileA((imagePath(folder) + ".*.new").c_str(), &e);
    if (find == INVALID_HANDLE_VALUE) return;
    do {
        if (!(e.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) DeleteFileA((folder + "\\" + e.cFileName).c_str());
    } while (FindNextFileA(find, &e));
    FindClose(find);
}

// Writes the image under a name of this process, then renames it into
// place. False with the reason when it could not be written; the image in
// place, if any, then stays.
bool writeImage(const std::string& folder, const SignatureStore& store, const ImageSummary& summary,
                const std::string& stamp, std::string& error) {
    removeLeftovers(folder);
    const std::string temp = imagePath(folder) + "." + std::to_string(GetCurrentProcessId()) + ".new";
    HANDLE h = CreateFileA(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        error = temp + " cannot be created: " + systemMessage(GetLastError());
        return false;
    }
    bool ok = true;
    try {
        FileOutput out(h);
        writeSignatureImage(store, summary, stamp, out);
        if (!FlushFileBuffers(h)) throw std::runtime_error(systemMessage(GetLastError()));
    } catch (const std::exception& e) {
        error = temp + " cannot be written: " + e.what();
        ok = false;
    }
    CloseHandle(h);
    if (ok && !MoveFileExA(temp.c_str(), imagePath(folder).c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        // Another scan may have it mapped; the next scan tries again.
        error = imagePath(folder) + " cannot be replaced: " + systemMessage(GetLastError());
        ok = false;
    }
    if (!ok) DeleteFileA(temp.c_str());
    return ok;
}

// Loads the databases as listed; writes the image unless a file could not
// be read or the folder changed meanwhile (the image would not say what it
// holds). False when it wrote none.
bool build(const std::string& folder, const std::vector<DatabaseFileStamp>& files, const Definitions* defs,
           SignatureStore& store, ImageSummary& summary, std::string& error) {
    LoadReport report;
    ImageBuilder builder(store, defs);
    const bool allRead = loadSignatureFiles(folder, files, builder, report);
    summary = builder.finish(report);
    if (!allRead || files.empty()) {
        error = "the databases could not all be read";
        return false;
    }
    const std::vector<DatabaseFileStamp> after = listSignatureFolder(folder);
    const std::string stamp = imageStamp(files, defs);
    if (imageStamp(after, defs) != stamp) {
        error = "the databases changed while they were loaded";
        return false;
    }
    return writeImage(folder, store, summary, stamp, error);
}

}  // namespace

void loadCompiledSignatures(const std::string& folder, const Definitions* defs, SignatureStore& store,
                            ImageSummary& summary) {
    const std::vector<DatabaseFileStamp> files = listSignatureFolder(folder);
    uint64_t size = 0;
    if (!files.empty()) {
        if (auto view = mapImage(folder, size)) {
            std::string why;
            if (readSignatureImage(bytesOf(*view, size), view, imageStamp(files, defs), defs, store, summary, why))
                return;
        }
    }
    std::string error;
    build(folder, files, defs, store, summary, error);
}

void compiledSummary(const std::string& folder, const Definitions* defs, ImageSummary& summary) {
    const std::vector<DatabaseFileStamp> files = listSignatureFolder(folder);
    uint64_t size = 0;
    if (!files.empty()) {
        if (auto view = mapImage(folder, size)) {
            std::string why;
            if (readImageSummary(bytesOf(*view, size), imageStamp(files, defs), summary, why)) return;
        }
    }
    SignatureStore store;
    std::string error;
    build(folder, files, defs, store, summary, error);
}

bool rebuildSignatureImage(const std::string& folder, std::string& error) {
    Definitions defs;
    const bool haveDefinitions = loadDefinitions(programDir() + "\\quendix3.dat", defs, error);
    SignatureStore store;
    ImageSummary summary;
    try {
        return build(folder, listSignatureFolder(folder), haveDefinitions ? &defs : nullptr, store, summary, error);
    } catch (const std::exception& e) {
        error = std::string("the signature databases could not be loaded (") + e.what() + ")";
        return false;
    }
}

}  // namespace qdx
