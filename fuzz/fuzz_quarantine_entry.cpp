// A quarantine entry as a whole file: the header is parsed and the payload
// decoded as the quarantine window does. Checks that the decoder never gives
// more than the stated size, gives exactly that size when it succeeds, and
// that a parsed header written out again reads back the same.
#include "quarantine_format/EntryHeader.h"
#include "quarantine_format/Payload.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

using namespace quendix::quarantine;

namespace {
void check(bool ok)
{
    if (!ok)
        std::abort();
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view file(reinterpret_cast<const char*>(data), size);
    EntryHeader header;
    try {
        header = parseEntryHeader(file, size);
    } catch (const DamagedEntry&) {
        return 0;
    }
    check(header.headerBytes <= kMaxHeaderBytes && header.headerBytes + header.stored == size);
    const std::string again = formatEntryHeader(header);
    try {
        EntryHeader reread = parseEntryHeader(again, again.size() + header.stored);
        check(reread.path == header.path && reread.size == header.size && reread.stored == header.stored &&
              reread.virus == header.virus && reread.action == header.action);
    } catch (const DamagedEntry&) {
        // Values with a stray CR cannot be written out again; the parser refuses them already.
        check(false);
    }
    std::uint64_t produced = 0;
    try {
        PayloadDecoder decoder(header.size, [&](const std::uint8_t*, std::size_t n) {
            produced += n;
            check(produced <= header.size);
        });
        // In two pieces, to cover a stream split anywhere.
        const std::size_t half = header.stored / 2;
        decoder.feed(data + header.headerBytes, half);
        decoder.feed(data + header.headerBytes + half, header.stored - half);
        decoder.finish();
        check(produced == header.size);
    } catch (const DamagedEntry&) {
    }
    return 0;
}
