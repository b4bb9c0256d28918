#include "embedded_program.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <string_view>

#include "bytes.h"
#include "pe.h"

namespace qdx {
namespace {

constexpr size_t kChunk = size_t{1} << 20;
// "PE\0\0" lies 60 to 300 bytes after the "MZ" ends.
constexpr uint64_t kNearest = 2 + 60, kFurthest = 2 + 300;
// Candidates checked against the PE headers: a file made of "MZ" and
// "PE\0\0" costs no more than this many header reads.
constexpr size_t kMaxCandidates = 1024;

bool validAt(RandomAccess& file, uint64_t offset, std::string& head) {
    // The signature where the DOS header points first: most candidates
    // end there, without reading their headers.
    uint8_t dos[0x40], signature[4];
    if (file.readAt(offset, dos, sizeof dos) != sizeof dos) return false;
    const uint64_t pe = le32(dos + 0x3C);
    if (pe + 24 > kPeHeadBytes || file.readAt(offset + pe, signature, 4) != 4 ||
        std::memcmp(signature, "PE\0\0", 4) != 0)
        return false;
    // As far as the largest section table after the largest optional header.
    const uint64_t left = file.size() - offset;
    head.resize(static_cast<size_t>(std::min({left, uint64_t{kPeHeadBytes}, pe + 24 + 0xFFFF + uint64_t{96} * 40})));
    head.resize(file.readAt(offset, head.data(), head.size()));
    PeInfo info;
    return readPe(head, left, info);
}

class ProgramData final : public MemberData {
public:
    ProgramData(RandomAccess& file, uint64_t offset) : in_(file, offset, file.size() - offset) {}
    size_t read(void* buffer, size_t size) override { return in_.read(buffer, size); }
    bool damaged() const override { return false; }

private:
    RangeStream in_;
};

class EmbeddedProgramReader final : public ArchiveReader {
public:
    EmbeddedProgramReader(RandomAccess& file, uint64_t offset) : file_(file), offset_(offset) {}
    bool next(MemberInfo& out) override {
        if (given_) return false;
        given_ = true;
        out = MemberInfo{};
        out.name = "program at " + std::to_string(offset_);
        out.size = file_.size() - offset_;
        return true;
    }
    MemberData& data() override {
        data_ = std::make_unique<ProgramData>(file_, offset_);
        return *data_;
    }
    bool damaged() const override { return false; }
    std::unique_ptr<RandomAccess> inPlace() override {
        return std::make_unique<SubFile>(file_, offset_, file_.size() - offset_);
    }
    int64_t membersLeft() const override { return given_ ? 0 : 1; }

private:
    RandomAccess& file_;
    uint64_t offset_;
    bool given_ = false;
    std::unique_ptr<ProgramData> data_;
};

}  // namespace

uint64_t findEmbeddedProgram(RandomAccess& file) {
    const uint64_t size = file.size();
    constexpr std::string_view kPe("PE\0\0", 4);
    std::string chunk, head;
    size_t checked = 0;
    // Each "MZ" of a chunk with the bytes its "PE\0\0" may lie in after it.
    // Programs further from the end are passed over: no need to read there.
    const uint64_t first = size > kMaxEmbeddedProgram ? size - kMaxEmbeddedProgram : 0;
    for (uint64_t from = first; from < size; from += kChunk) {
        chunk.resize(static_cast<size_t>(std::min<uint64_t>(kChunk + kFurthest + kPe.size(), size - from)));
        chunk.resize(file.readAt(from, chunk.data(), chunk.size()));
        const size_t mine = std::min(chunk.size(), kChunk);
        size_t pe = 0;  // the first "PE\0\0" at or after the nearest place
        for (size_t mz = chunk.find("MZ", from == 0 ? 1 : 0); mz != std::string::npos && mz < mine;
             mz = chunk.find("MZ", mz + 1)) {
            if (pe != std::string::npos && pe < mz + kNearest) pe = chunk.find(kPe, mz + kNearest);
            if (pe == std::string::npos) break;
            if (pe > mz + kFurthest) continue;
            const uint64_t at = from + mz;
            if (validAt(file, at, head)) return at;
            if (++checked >= kMaxCandidates) return kNoEmbeddedProgram;
        }
    }
    return kNoEmbeddedProgram;
}

std::unique_ptr<ArchiveReader> openEmbeddedProgram(RandomAccess& file) {
    const uint64_t at = findEmbeddedProgram(file);
    if (at == kNoEmbeddedProgram) return nullptr;
    return std::make_unique<EmbeddedProgramReader>(file, at);
}

}  // namespace qdx
