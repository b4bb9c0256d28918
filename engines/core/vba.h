// Macros inside OLE2 files. VBA projects: the compression every stream of
// the project uses (a signature byte, then chunks of at most 4096 bytes,
// each of literals and copy tokens, or stored), and the `dir` stream that
// names each module's stream and where its source text begins in it. Word
// 6/95: the macro table of the document stream, each macro XORed by a key.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "stream.h"

namespace qdx {

// The decompressed bytes of a compressed container read from `in`, a chunk
// at a time. Damaged data (a wrong signature or chunk header, a copy from
// before the chunk) ends it early; then damaged() tells.
class VbaDecompressor final : public InputStream {
public:
    explicit VbaDecompressor(InputStream& in) : in_(in) {}
    size_t read(void* buffer, size_t size) override;
    bool damaged() const { return damaged_; }

private:
    bool nextChunk();

    InputStream& in_;
    bool started_ = false, ended_ = false, damaged_ = false;
    uint8_t packed_[4096];
    uint8_t chunk_[4096];
    size_t have_ = 0, given_ = 0;
};

// All of a small compressed container (a `dir` stream), at most `most`
// bytes of it.
std::string vbaDecompress(std::string_view packed, size_t most, bool* damaged = nullptr);

struct VbaModule {
    std::string name;        // as the project names it, at most 255 bytes
    std::string streamName;  // the stream in the VBA storage: 8-bit, as stored
    std::u16string streamNameUnicode;
    uint32_t textOffset = 0;  // where the compressed source begins in the stream
};

// The modules a decompressed `dir` stream lists (at most kMaxVbaModules);
// false when it is no `dir` stream or is cut short before its first module.
inline constexpr size_t kMaxVbaModules = 1000;
bool readVbaDir(std::string_view dir, std::vector<VbaModule>& modules);

struct WordMacro {
    uint32_t offset = 0, length = 0;  // in the document stream
    uint8_t key = 0;
};

// The macros a Word 6/95 macro table lists (at most kMaxVbaModules): its
// records are read as the usual readers read them, up to the macro list.
std::vector<WordMacro> readWordMacroTable(std::string_view table);

}  // namespace qdx
