// Small files of each format the engine reads, built in memory for the tests
// and the fuzz targets' seeds.
#pragma once
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace qdxtest {

// A PE file: sections of the given raw data (each padded to 0x200 bytes),
// the entry point at `entry` bytes into section `entrySection`.
std::string makePe(const std::vector<std::string>& sections, size_t entrySection, uint32_t entry);
// Where section `index`'s data begins in makePe's file.
uint32_t peSectionOffset(const std::vector<std::string>& sections, size_t index);

struct ZipEntry {
    ZipEntry(std::string n, std::string d, bool packed = false, std::string extra = {}, bool wide = false)
        : name(std::move(n)), data(std::move(d)), deflate(packed), localExtra(std::move(extra)), zip64(wide) {}
    std::string name, data;
    bool deflate = false;
    std::string localExtra;  // an extra field in the local header only
    bool zip64 = false;      // sizes and offset in ZIP64 extra fields
};
std::string makeZip(const std::vector<ZipEntry>& entries);

std::string makeTar(const std::vector<std::pair<std::string, std::string>>& files);
std::string gzip(const std::string& data);
// A container: header line (with the MD5 of the rest when `md5` is true,
// "X" otherwise) padded to 512 bytes, then `content`.
std::string makeContainer(const std::string& content, bool md5);

std::string md5Hex(const std::string& data);
std::string sha256Hex(const std::string& data);
// The bytes as a body signature writes them.
std::string hexOf(const std::string& data);

}  // namespace qdxtest
