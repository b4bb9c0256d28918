#include "file_scan.h"

#include <algorithm>

#include "zip.h"

namespace qdx {

std::vector<Finding> scanObject(const SignatureStore& store, const ScanOptions& options, InputStream& in,
                                uint64_t size, bool& allowed, std::string* headCopy) {
    // The first bytes first: they tell the type and hold the PE headers.
    // Small objects need no chunk of full size (a stated size may be wrong,
    // so it only sets the buffer's size, never how much is read).
    std::vector<uint8_t> buffer(static_cast<size_t>(std::clamp<uint64_t>(size + 1, 64 * 1024, kReadChunk)));
    size_t have = 0;
    while (have < buffer.size()) {
        const size_t got = in.read(buffer.data() + have, buffer.size() - have);
        if (got == 0) break;
        have += got;
    }
    const std::string_view head(reinterpret_cast<const char*>(buffer.data()), std::min(have, kPeHeadBytes));
    if (headCopy) headCopy->assign(head.substr(0, 4));
    ObjectScan scan(store, options, size, head);
    scan.feed(buffer.data(), have);
    // The head filled the buffer unless the stream ended in it.
    while (have == buffer.size() && !scan.satisfied()) {
        const size_t got = in.read(buffer.data(), buffer.size());
        if (got == 0) break;
        scan.feed(buffer.data(), got);
    }
    std::vector<Finding> found = scan.finish();
    allowed = scan.allowed();
    return found;
}

std::vector<FileFinding> scanFile(const SignatureStore& store, const ScanOptions& options, RandomAccess& file,
                                  bool archives) {
    std::vector<FileFinding> out;
    RangeStream whole(file, 0, file.size());
    bool allowed = false;
    std::string magic;
    for (const Finding& f : scanObject(store, options, whole, file.size(), allowed, &magic)) out.push_back({f, ""});
    if (allowed) return out;
    const bool known = std::any_of(out.begin(), out.end(), [](const FileFinding& f) { return f.finding.kind != Finding::Family; });
    if (!archives || (known && !options.allMatches)) return out;
    // ZIP archives, and programs that may carry one (self-extracting archives).
    if (magic.substr(0, 2) != "PK" && magic.substr(0, 2) != "MZ") return out;
    std::vector<ZipMember> members;
    if (!listZip(file, members)) return out;
    for (const ZipMember& m : members) {
        std::vector<Finding> found;
        try {
            auto stream = openMember(file, m);
            bool memberAllowed = false;
            found = scanObject(store, options, *stream, m.size, memberAllowed);
        } catch (const ReadError&) {
            throw;
        } catch (const std::runtime_error&) {
            continue;  // a damaged member: nothing more to learn from it
        }
        for (const Finding& f : found) {
            if (!options.allMatches) {
                // A known signature in a member outranks a family seen in the archive.
                if (f.kind == Finding::Family && !out.empty()) continue;
                if (!out.empty() && out[0].finding.kind == Finding::Family) out.clear();
                if (out.empty()) out.push_back({f, m.name});
                if (f.kind != Finding::Family) return out;
                continue;
            }
            out.push_back({f, m.name});
        }
    }
    return out;
}

}  // namespace qdx
