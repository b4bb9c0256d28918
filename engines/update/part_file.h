// A download or a rebuilt container in the signatures folder, under a name
// no engine loads ("daily.cvd.part"), until it is checked, flushed and put in
// place of the old file in one rename. Until then the installed file stays
// as it was; a part file of a run that did not finish is removed.
#pragma once
#include <windows.h>

#include <string>

namespace qdx::update {

class PartFile {
public:
    // `finalPath`: where the file goes once it is good.
    explicit PartFile(std::string finalPath);
    ~PartFile();
    PartFile(const PartFile&) = delete;
    PartFile& operator=(const PartFile&) = delete;

    HANDLE handle() const { return handle_; }
    uint64_t size() const;
    void write(const void* data, size_t size);
    // Overwrites bytes already written (the file position stays at the end).
    void writeAt(uint64_t offset, const void* data, size_t size);
    // Flushes the data to the disk and renames the file over the old one,
    // through this handle. Throws std::runtime_error with the system's text;
    // the old file then stays.
    void commit();

private:
    std::string finalPath_, partPath_;
    HANDLE handle_ = INVALID_HANDLE_VALUE;
    bool committed_ = false;
};

// Removes part files a run that was ended left behind.
void removeLeftoverParts(const std::string& folder);

}  // namespace qdx::update
