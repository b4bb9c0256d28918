// OLE1 native data and the OLE1 objects of an RTF on any bytes: the file
// found lies inside the data and is not empty, and is the one member of
// its reader; the objects' data handed to
// the sink never exceeds what was fed, and an object ends only once its
// stated size has come.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "ole1.h"

namespace {

class Count final : public qdx::Ole1Objects::Sink {
public:
    void begin(bool, uint32_t stated) override {
        if (open_) std::abort();
        open_ = true;
        stated_ = stated;
        had_ = 0;
    }
    void data(const uint8_t*, size_t size) override {
        if (!open_) std::abort();
        had_ += size;
        total_ += size;
    }
    void end() override {
        if (!open_ || had_ != stated_) std::abort();
        open_ = false;
    }
    uint64_t total_ = 0;

private:
    bool open_ = false;
    uint64_t stated_ = 0, had_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    uint64_t offset = 0, length = 0;
    if (qdx::ole10NativePayload(bytes, offset, length) && (length == 0 || offset > size || size - offset < length))
        std::abort();
    // The same file as a member, read whole.
    qdx::MemoryFile file(bytes);
    auto reader = qdx::openOle10Native(file);
    qdx::MemberInfo info;
    if (reader->next(info)) {
        char buffer[4096];
        uint64_t total = 0;
        while (const size_t got = reader->data().read(buffer, sizeof buffer)) total += got;
        if (total != length || info.size != length || reader->next(info)) std::abort();
    }
    // The same bytes as decoded \objdata, in runs of lengths the first byte picks.
    qdx::Ole1Objects objects;
    Count sink;
    const size_t run = size ? 1 + data[0] % 64 : 1;
    for (size_t at = 0; at < size; at += run) objects.feed(data + at, std::min(run, size - at), sink);
    if (sink.total_ > size) std::abort();
    return 0;
}
