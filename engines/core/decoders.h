// Decoders of the compressed streams the engine reads, each an input
// stream over the packed data: gzip (concatenated members too), bzip2,
// xz, lzma (the old format), lzip, zstd, and the raw LZMA of ZIP members.
// Damaged data throws std::runtime_error; a decoder that would need more
// memory than kMaxDecoderMemory throws DecoderTooLarge.
#pragma once
#include <cstdint>
#include <memory>
#include <stdexcept>

#include "stream.h"

namespace qdx {

class DecoderTooLarge : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

std::unique_ptr<InputStream> gzipDecoder(InputStream& packed);
std::unique_ptr<InputStream> bzip2Decoder(InputStream& packed);
std::unique_ptr<InputStream> xzDecoder(InputStream& packed);
std::unique_ptr<InputStream> lzmaAloneDecoder(InputStream& packed);
std::unique_ptr<InputStream> lzipDecoder(InputStream& packed);
std::unique_ptr<InputStream> zstdDecoder(InputStream& packed);
// ZIP's LZMA (method 14): a small header, then raw LZMA data, ended by an
// end marker (`endMarker`) or by the stated `size`.
std::unique_ptr<InputStream> zipLzmaDecoder(InputStream& packed, bool endMarker, uint64_t size);

}  // namespace qdx
