#include "file_scan.h"

#include <algorithm>
#include <chrono>
#include <new>

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

namespace {

using Clock = std::chrono::steady_clock;

// Bytes [offset, offset + size) of another file, as a file of their own:
// a stored archive inside an archive, read in place.
class SubFile final : public RandomAccess {
public:
    SubFile(RandomAccess& file, uint64_t offset, uint64_t size) : file_(file), offset_(offset), size_(size) {}
    uint64_t size() const override { return size_; }
    size_t readAt(uint64_t offset, void* buffer, size_t size) override {
        if (offset >= size_) return 0;
        return file_.readAt(offset_ + offset, buffer, static_cast<size_t>(std::min<uint64_t>(size, size_ - offset)));
    }

private:
    RandomAccess& file_;
    uint64_t offset_, size_;
};

// What is left of one archive's budget, shared with the archives inside it.
struct Budget {
    uint64_t bytes = 0;
    uint64_t members = 0;
    Clock::time_point deadline;
    bool timeUp() const { return Clock::now() >= deadline; }
};

// A member's data counted against the budget as it is read; it ends when
// the time is up.
class CountedStream final : public InputStream {
public:
    CountedStream(ZipMemberStream& in, Budget& budget) : in_(in), budget_(budget) {}
    size_t read(void* buffer, size_t size) override {
        if (budget_.timeUp()) {
            late_ = true;
            return 0;
        }
        const size_t got = in_.read(buffer, size);
        budget_.bytes -= std::min<uint64_t>(got, budget_.bytes);
        total_ += got;
        return got;
    }
    bool late() const { return late_; }
    uint64_t total() const { return total_; }

private:
    ZipMemberStream& in_;
    Budget& budget_;
    uint64_t total_ = 0;
    bool late_ = false;
};

class ArchiveScan {
public:
    ArchiveScan(const SignatureStore& store, const ScanOptions& options, const ArchiveLimits& limits,
                std::vector<FileFinding>& out, std::vector<ScanNote>* notes)
        : store_(store), options_(options), limits_(limits), out_(out), notes_(notes) {}

    // False once the findings are complete (the first known signature found).
    bool scan(RandomAccess& file, const std::string& prefix, uint32_t depth, Budget& budget, bool anywhere = true) {
        ZipListing listing;
        const uint64_t room = budget.members;
        if (!listZip(file, listing, static_cast<size_t>(std::min<uint64_t>(room, kMaxZipMembers)), anywhere)) return true;
        for (const ZipSkipped& s : listing.skipped) note(prefix + s.name, "not scanned: " + s.reason);
        if (listing.skippedMore)
            note(prefix + "...", "not scanned: " + std::to_string(listing.skippedMore) + " more members that cannot be read");
        budget.members -= std::min<uint64_t>(budget.members, listing.members.size() + listing.skipped.size() + listing.skippedMore);
        for (size_t i = 0; i < listing.members.size(); ++i) {
            const ZipMember& m = listing.members[i];
            const std::string name = prefix + m.name;
            const char* over = budget.bytes == 0 ? "the archive's budget of unpacked bytes is spent"
                               : budget.timeUp() ? "the archive's time budget is spent"
                                                 : nullptr;
            if (over) {
                const size_t left = listing.members.size() - i;
                note(left == 1 ? name : prefix + "...",
                     "not scanned: " + (left == 1 ? std::string() : std::to_string(left) + " members, ") + over);
                return true;
            }
            if (!member(file, m, name, depth, budget)) return false;
        }
        if (listing.moreMembers) note(prefix + "...", "not scanned: members beyond the archive's budget of members");
        return true;
    }

    void note(const std::string& member, const std::string& reason) {
        if (!notes_) return;
        if (notes_->size() < limits_.maxNotes) {
            notes_->push_back({member, reason});
        } else if (notes_->size() == limits_.maxNotes) {
            notes_->push_back({"...", "more members not scanned"});
        }
    }

private:
    bool member(RandomAccess& file, const ZipMember& m, const std::string& name, uint32_t depth, Budget& budget) {
        std::vector<Finding> found;
        std::string magic;
        try {
            // The stated size is a hint: offsets from the end and hashes need
            // the true one, so a member that lied about it is read once more.
            uint64_t size = m.size;
            for (int pass = 0; pass < 2; ++pass) {
                auto stream = openMember(file, m, budget.bytes);
                CountedStream counted(*stream, budget);
                bool allowed = false;
                found = scanObject(store_, options_, counted, size, allowed, &magic);
                if (allowed) return true;
                if (stream->damaged()) {
                    note(name, "scanned up to where its data is damaged");
                } else if (counted.late()) {
                    note(name, "not scanned whole: the archive's time budget is spent");
                } else if (stream->cut()) {
                    note(name, "not scanned whole: the archive's budget of unpacked bytes is spent");
                } else if (pass == 0 && counted.total() != size && (options_.allMatches || found.empty())) {
                    size = counted.total();
                    continue;
                }
                break;
            }
        } catch (const std::bad_alloc&) {
            note(name, "not scanned: not enough memory");
            return true;
        }
        for (const Finding& f : found) {
            if (!options_.allMatches) {
                // A known signature in a member outranks a family seen in the archive.
                if (f.kind == Finding::Family && !out_.empty()) continue;
                if (!out_.empty() && out_[0].finding.kind == Finding::Family) out_.clear();
                if (out_.empty()) out_.push_back({f, name});
                if (f.kind != Finding::Family) return false;
                continue;
            }
            out_.push_back({f, name});
        }
        if (magic.substr(0, 4) != std::string_view("PK\x03\x04", 4)) return true;
        if (depth + 1 >= limits_.maxDepth) {
            note(name, "not opened: archives lie deeper inside archives than " + std::to_string(limits_.maxDepth) + " levels");
            return true;
        }
        return inner(file, m, name, depth, budget);
    }

    // An archive inside the archive: a stored one is read in place, a
    // deflated one unpacked into memory (within the budget) first.
    bool inner(RandomAccess& file, const ZipMember& m, const std::string& name, uint32_t depth, Budget& budget) {
        if (m.method == 0) {
            SubFile sub(file, m.dataOffset, std::min(m.packedSize, file.size() - m.dataOffset));
            return scan(sub, name + "/", depth + 1, budget);
        }
        std::string data;
        try {
            auto stream = openMember(file, m, std::min<uint64_t>(budget.bytes, kMaxInnerInMemory));
            CountedStream counted(*stream, budget);
            char chunk[64 * 1024];
            while (const size_t got = counted.read(chunk, sizeof chunk)) data.append(chunk, got);
            if (stream->cut() || counted.late()) {
                note(name, "not opened: the archive's budget is spent");
                return true;
            }
        } catch (const std::bad_alloc&) {
            note(name, "not opened: not enough memory");
            return true;
        }
        MemoryFile inMemory(data);
        return scan(inMemory, name + "/", depth + 1, budget);
    }

    static constexpr uint64_t kMaxInnerInMemory = 64ull << 20;

    const SignatureStore& store_;
    const ScanOptions& options_;
    const ArchiveLimits& limits_;
    std::vector<FileFinding>& out_;
    std::vector<ScanNote>* notes_;
};

}  // namespace

std::vector<FileFinding> scanFile(const SignatureStore& store, const ScanOptions& options, RandomAccess& file,
                                  bool archives, std::vector<ScanNote>* notes, const ArchiveLimits& limits) {
    std::vector<FileFinding> out;
    RangeStream whole(file, 0, file.size());
    bool allowed = false;
    std::string magic;
    for (const Finding& f : scanObject(store, options, whole, file.size(), allowed, &magic)) out.push_back({f, ""});
    if (allowed) return out;
    const bool known = std::any_of(out.begin(), out.end(), [](const FileFinding& f) { return f.finding.kind != Finding::Family; });
    if (!archives || (known && !options.allMatches)) return out;
    // ZIP archives, and files of any kind with an archive's directory at
    // their end (self-extracting archives, archives appended to programs).
    // Only a file that begins as an archive is searched for local headers
    // when it has no directory: in others they would mostly be chance bytes.
    const bool likely = magic.substr(0, 2) == "PK";
    Budget budget;
    const uint64_t byRatio = file.size() > limits.ratioFloor / std::max<uint32_t>(limits.maxRatio, 1)
                                 ? file.size() * limits.maxRatio
                                 : limits.ratioFloor;
    budget.bytes = std::min(limits.maxUnpacked, byRatio);
    budget.members = limits.maxMembers;
    budget.deadline = Clock::now() + std::chrono::seconds(limits.maxSeconds);
    ArchiveScan(store, options, limits, out, notes).scan(file, "", 0, budget, likely);
    return out;
}

}  // namespace qdx
