// The database containers: a 512-byte header line ("ClamAV-VDB:time:version:
// signatures:level:MD5:signature:builder:time" padded with blanks), then a
// tar archive of database files, gzip-compressed in .cvd files and usually
// plain in .cld files.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

#include "stream.h"

namespace qdx {

inline constexpr size_t kContainerHeaderSize = 512;

struct ContainerHeader {
    std::string created;
    uint32_t version = 0, signatures = 0, level = 0;
    std::string md5;  // 32 hex digits over everything after the header, or "X" when not kept
    std::string signature;  // the maker's signature of the MD5 (the updater checks it)
    std::string builder;
    uint64_t builtAt = 0;  // seconds since 1970, when the header tells
};

bool parseContainerHeader(std::string_view block, ContainerHeader& out);

// The members of a tar archive, one after the other. Damage (bad header
// checksum, data that ends early) throws std::runtime_error.
class TarReader {
public:
    explicit TarReader(InputStream& in) : in_(in) {}
    // Moves to the next regular file; false at the end of the archive.
    bool next();
    const std::string& name() const { return name_; }  // without folders
    uint64_t size() const { return size_; }
    InputStream& member() { return member_; }

private:
    class Member final : public InputStream {
    public:
        explicit Member(TarReader& tar) : tar_(tar) {}
        size_t read(void* buffer, size_t size) override;

    private:
        TarReader& tar_;
    };
    void readExactly(void* buffer, size_t size);
    void skip(uint64_t size);

    InputStream& in_;
    Member member_{*this};
    std::string name_;
    uint64_t size_ = 0, left_ = 0, padding_ = 0;
    bool ended_ = false;
};

}  // namespace qdx
