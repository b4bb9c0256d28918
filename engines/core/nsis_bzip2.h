// bzip2 as NSIS installers carry it: no stream header (blocks of 900,000
// bytes), a block begins with the one byte 0x31 and the stream ends with
// the one byte 0x17, no CRCs, no randomised blocks. libbz2 cannot read it,
// so the blocks are decoded here (Huffman, move-to-front, inverse BWT, the
// run lengths). At most one block is held: about 4.5 MB.
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>

#include "stream.h"

namespace qdx {

class NsisBzip2Stream final : public InputStream {
public:
    explicit NsisBzip2Stream(InputStream& packed);
    ~NsisBzip2Stream() override;
    NsisBzip2Stream(const NsisBzip2Stream&) = delete;
    NsisBzip2Stream& operator=(const NsisBzip2Stream&) = delete;

    // 0 at the end marker, at damage (then damaged()) or where the data ends
    // early (also damage). Only ReadError is thrown.
    size_t read(void* buffer, size_t size) override;
    bool damaged() const { return damaged_; }
    bool ended() const { return ended_; }
    // The packed data ran out before the end marker.
    bool exhausted() const { return exhausted_; }

private:
    struct Block;
    bool nextBlock();
    std::unique_ptr<Block> block_;
    bool damaged_ = false, ended_ = false, exhausted_ = false;
};

}  // namespace qdx
