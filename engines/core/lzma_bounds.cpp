// liblzma's decoders, as the libraries call them, bounded: the engine is
// linked with --wrap for these functions, so that every call from the
// archive library comes here first. A stream or raw decoder that would need
// more than kMaxDecoderMemory is refused as liblzma refuses one over its
// memory limit.
#include <lzma.h>

#include "decoder_memory.h"

namespace qdx {
namespace {
thread_local uint64_t refused = 0;
}

void noteDecoderRefused(uint64_t wanted) { refused = wanted ? wanted : 1; }

uint64_t takeDecoderRefused() {
    const uint64_t wanted = refused;
    refused = 0;
    return wanted;
}

}  // namespace qdx

extern "C" {

lzma_ret __real_lzma_raw_decoder(lzma_stream* strm, const lzma_filter* filters);
lzma_ret __real_lzma_stream_decoder(lzma_stream* strm, uint64_t memlimit, uint32_t flags);
lzma_ret __real_lzma_alone_decoder(lzma_stream* strm, uint64_t memlimit);
lzma_ret __real_lzma_auto_decoder(lzma_stream* strm, uint64_t memlimit, uint32_t flags);

lzma_ret __wrap_lzma_raw_decoder(lzma_stream* strm, const lzma_filter* filters) {
    const uint64_t wanted = lzma_raw_decoder_memusage(filters);
    if (wanted == UINT64_MAX) return LZMA_OPTIONS_ERROR;
    if (wanted > qdx::kMaxDecoderMemory) {
        qdx::noteDecoderRefused(wanted);
        return LZMA_MEMLIMIT_ERROR;
    }
    return __real_lzma_raw_decoder(strm, filters);
}

// Streams state their dictionary in each block's header: liblzma checks
// it against the limit before it allocates, and answers LZMA_MEMLIMIT_ERROR.
lzma_ret __wrap_lzma_stream_decoder(lzma_stream* strm, uint64_t, uint32_t flags) {
    return __real_lzma_stream_decoder(strm, qdx::kMaxDecoderMemory, flags);
}

lzma_ret __wrap_lzma_alone_decoder(lzma_stream* strm, uint64_t) {
    return __real_lzma_alone_decoder(strm, qdx::kMaxDecoderMemory);
}

lzma_ret __wrap_lzma_auto_decoder(lzma_stream* strm, uint64_t, uint32_t flags) {
    return __real_lzma_auto_decoder(strm, qdx::kMaxDecoderMemory, flags);
}

}  // extern "C"
