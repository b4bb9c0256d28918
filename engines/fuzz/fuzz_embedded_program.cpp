// The embedded-program search on any bytes: what it finds lies after the
// start, begins with "MZ" and reads as a valid PE file, and the member is
// the file from there to the end.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "embedded_program.h"
#include "pe.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    qdx::MemoryFile file(bytes);
    const uint64_t at = qdx::findEmbeddedProgram(file);
    if (at == qdx::kNoEmbeddedProgram) return 0;
    if (at == 0 || at + 2 > size || std::memcmp(data + at, "MZ", 2) != 0) std::abort();
    qdx::PeInfo pe;
    if (!qdx::readPe(bytes.substr(at, qdx::kPeHeadBytes), size - at, pe)) std::abort();
    auto reader = qdx::openEmbeddedProgram(file);
    qdx::MemberInfo info;
    if (!reader || !reader->next(info) || info.size != size - at) std::abort();
    return 0;
}
