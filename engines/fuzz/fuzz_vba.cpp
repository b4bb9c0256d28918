// VBA decompression and the `dir` reader on any bytes: the stream and the
// whole-buffer form agree, output per chunk stays within 4096 bytes per
// chunk header read, and the module and macro lists keep to their bounds.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "vba.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view in(reinterpret_cast<const char*>(data), size);
    bool damaged = false;
    const std::string whole = qdx::vbaDecompress(in, size_t{1} << 22, &damaged);
    // Each chunk takes at least 3 bytes of input and gives at most 4096.
    if (whole.size() > (size / 3 + 1) * 4096) std::abort();
    qdx::MemoryStream stream(in);
    qdx::VbaDecompressor d(stream);
    std::string pieces;
    char buffer[777];
    while (const size_t got = d.read(buffer, sizeof buffer)) pieces.append(buffer, got);
    if (pieces != whole || d.damaged() != damaged) std::abort();
    std::vector<qdx::VbaModule> modules;
    qdx::readVbaDir(in, modules);
    if (modules.size() > qdx::kMaxVbaModules) std::abort();
    for (const auto& m : modules)
        if (m.name.size() > 255 || m.streamName.size() > 255 || m.streamNameUnicode.size() > 255) std::abort();
    if (qdx::readWordMacroTable(in).size() > qdx::kMaxVbaModules) std::abort();
    return 0;
}
