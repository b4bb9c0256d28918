#include "file_scan.h"

#include <algorithm>
#include <chrono>
#include <new>
#include <optional>

#include "arj.h"
#include "autoit.h"
#include "binhex.h"
#include "compound_file.h"
#include "compressed_file.h"
#include "embedded.h"
#include "embedded_program.h"
#include "file_type.h"
#include "html_views.h"
#include "installshield.h"
#include "libarchive_reader.h"
#include "mail.h"
#include "mspack_reader.h"
#include "nsis.h"
#include "ole1.h"
#include "onenote.h"
#include "packed_program.h"
#include "pdf.h"
#include "powerpoint.h"
#include "rtf.h"
#include "text_normalise.h"
#include "tnef_file.h"
#include "zip.h"

namespace qdx {

namespace {
constexpr size_t kTypeHeadBytes = size_t{64} * 1024;
}

namespace {

// Text matched as text beside the object's own matching, as it is read:
// the same chunks, one pass. A text file is matched so by its normalised
// view; a page's script view as it is.
class AsText {
public:
    AsText(const SignatureStore& store, const ScanOptions& options, uint64_t size, bool normalise)
        : scan_(store, options, size, {}, MatchAs::NormalisedText), normalise_(normalise) {}
    void feed(const uint8_t* data, size_t size) {
        fed_ += size;
        if (tooLong() || scan_.satisfied()) return;
        if (!normalise_) {
            scan_.feed(data, size);
            return;
        }
        view_.resize(size);
        scan_.feed(view_.data(), normaliser_.normalise(data, size, view_.data()));
    }
    // Empty when the text was too long to be normalised.
    std::vector<Finding> finish() { return tooLong() ? std::vector<Finding>{} : scan_.finish(); }

private:
    bool tooLong() const { return normalise_ && fed_ > kMaxTextNormalised; }

    ObjectScan scan_;
    bool normalise_;
    TextNormaliser normaliser_;
    std::vector<uint8_t> view_;
    uint64_t fed_ = 0;
};

// The view's findings after the object's own, each name once; a family
// stands only when nothing else was found.
void addViewFindings(std::vector<Finding>& found, std::vector<Finding> more) {
    if (more.empty()) return;
    const auto isFamily = [](const Finding& f) { return f.kind == Finding::Family; };
    const bool moreNamed = !std::all_of(more.begin(), more.end(), isFamily);
    const bool foundNamed = !std::all_of(found.begin(), found.end(), isFamily);
    if (moreNamed) found.erase(std::remove_if(found.begin(), found.end(), isFamily), found.end());
    for (const Finding& f : more) {
        if (isFamily(f) && (foundNamed || moreNamed)) continue;
        const bool seen = std::any_of(found.begin(), found.end(), [&](const Finding& g) {
            return g.kind == f.kind && g.index == f.index && g.name == f.name;
        });
        if (!seen) found.push_back(f);
    }
}

}  // namespace

std::vector<Finding> scanObject(const SignatureStore& store, const ScanOptions& options, InputStream& in, uint64_t size,
                                bool& allowed, std::string* headCopy, EmbeddedFinder* finder, MatchAs as) {
    // The first bytes first: they tell the type and hold the PE headers.
    // Small objects need no chunk of full size (a stated size may be wrong,
    // so it only sets the buffer's size, never how much is read).
    std::vector<uint8_t> buffer(static_cast<size_t>(std::clamp<uint64_t>(size + 1, uint64_t{64} * 1024, kReadChunk)));
    size_t have = 0;
    while (have < buffer.size()) {
        const size_t got = in.read(buffer.data() + have, buffer.size() - have);
        if (got == 0) break;
        have += got;
    }
    const std::string_view head(reinterpret_cast<const char*>(buffer.data()), std::min(have, kPeHeadBytes));
    if (headCopy) headCopy->assign(head.substr(0, kTypeHeadBytes));
    const FileType type = recogniseType(head.substr(0, kTypeHeadBytes));
    allowed = false;
    if (as == MatchAs::Object && type == FileType::Html) return {};
    ObjectScan scan(store, options, size, head, as == MatchAs::ScriptView ? MatchAs::HtmlView : as);
    std::optional<AsText> text;
    const bool textual = type == FileType::Text || (type == FileType::Other && normalisedAsText(head));
    if (as == MatchAs::Object && textual && (size == kUnknownSize || size <= kMaxTextNormalised))
        text.emplace(store, options, size, true);
    if (as == MatchAs::ScriptView) text.emplace(store, options, size, false);
    if (finder && searchEmbedded(type)) scan.findEmbedded(finder);
    scan.feed(buffer.data(), have);
    if (text) text->feed(buffer.data(), have);
    // The head filled the buffer unless the stream ended in it.
    while (have == buffer.size() && !scan.satisfied()) {
        const size_t got = in.read(buffer.data(), buffer.size());
        if (got == 0) break;
        scan.feed(buffer.data(), got);
        if (text) text->feed(buffer.data(), got);
    }
    std::vector<Finding> found = scan.finish();
    allowed = scan.allowed();
    if (text && !allowed && !scan.satisfied()) addViewFindings(found, text->finish());
    return found;
}

namespace {

using Clock = std::chrono::steady_clock;

// What is left of one archive's budget, shared with the archives inside it.
struct Budget {
    uint64_t bytes = 0;
    uint64_t members = 0;
    Clock::time_point deadline;
    bool timeUp() const { return Clock::now() >= deadline; }
};

// A member's data counted against the budget as it is read: it ends when
// the bytes or the time are spent (then cut() or late() tells).
class CountedStream final : public InputStream {
public:
    CountedStream(MemberData& in, Budget& budget) : in_(in), budget_(budget) {}
    size_t read(void* buffer, size_t size) override {
        if (ended_) return 0;
        if (budget_.timeUp()) {
            late_ = ended_ = true;
            return 0;
        }
        if (budget_.bytes == 0) {
            // Past the budget: say so only when there is more.
            uint8_t probe;
            cut_ = in_.read(&probe, 1) != 0;
            ended_ = true;
            return 0;
        }
        const size_t got = in_.read(buffer, static_cast<size_t>(std::min<uint64_t>(size, budget_.bytes)));
        budget_.bytes -= got;
        total_ += got;
        if (got == 0) ended_ = true;
        return got;
    }
    bool late() const { return late_; }
    bool cut() const { return cut_; }
    bool ended() const { return ended_; }
    uint64_t total() const { return total_; }

private:
    MemberData& in_;
    Budget& budget_;
    uint64_t total_ = 0;
    bool late_ = false, cut_ = false, ended_ = false;
};

MatchAs matchAs(MemberView view) {
    switch (view) {
        case MemberView::MacroText:
            return MatchAs::MacroText;
        case MemberView::Listing:
            return MatchAs::Listing;
        case MemberView::HtmlText:
            return MatchAs::HtmlView;
        case MemberView::Script:
            return MatchAs::ScriptView;
        default:
            return MatchAs::Object;
    }
}

// Text and documents of formats of their own are never read as a ZIP by a
// directory near their end (a ZIP in a stream of theirs would be taken for
// the whole file): the ZIP archives in them are found where they begin.
bool mayEndInZipDirectory(FileType type) {
    switch (type) {
        case FileType::Text:
        case FileType::Html:
        case FileType::Mail:
        case FileType::Uuencoded:
        case FileType::Ole2:
        case FileType::Pdf:
        case FileType::Rtf:
        case FileType::OneNote:
        case FileType::Tnef:
        case FileType::BinHex:
            return false;
        default:
            return true;
    }
}

// Enough of a candidate's bytes for the recogniser to confirm a header
// there (an ARJ main header is the longest, at most 2,608 bytes).
constexpr size_t kCandidateHeadBytes = 4096;

// The most archives found inside one object that are opened.
constexpr size_t kMaxEmbeddedOpened = 64;

class ArchiveScan {
public:
    // `documentsOnly`: archives are not to be opened, documents still are
    // (their streams, macros and objects), and only documents inside them.
    ArchiveScan(const SignatureStore& store, const ScanOptions& options, const ArchiveLimits& limits,
                std::vector<FileFinding>& out, std::vector<ScanNote>* notes, bool documentsOnly)
        : store_(store), options_(options), limits_(limits), out_(out), notes_(notes), documentsOnly_(documentsOnly) {}

    // The archives in one object (the file, or a member): by its type, a ZIP
    // directory at its end, and those embedded in it. False once the
    // findings are complete (the first known signature found).
    bool contents(RandomAccess& file, FileType type, std::string_view name, const std::string& prefix,
                  uint32_t depth, Budget& budget, const EmbeddedFinder* embedded) {
        if (!unpacked(file, type, prefix, depth, budget)) return false;
        if (documentsOnly_) {
            if (!isDocumentContainer(type)) return true;
            std::unique_ptr<ArchiveReader> reader = open(file, type, name, budget);
            return !reader || walk(*reader, prefix, depth, budget);
        }
        ZipListing listing;
        const uint64_t room = std::min<uint64_t>(budget.members, kMaxZipMembers);
        if (mayEndInZipDirectory(type) && listZip(file, listing, static_cast<size_t>(room), type == FileType::Zip)) {
            const auto claimed = listing.claimed;
            auto reader = zipReader(file, std::move(listing));
            if (!walk(*reader, prefix, depth, budget)) return false;
            if (embedded && !inner(file, type, prefix, depth, budget, *embedded, claimed)) return false;
            return true;
        }
        if (type != FileType::Zip && isContainer(type)) {
            std::unique_ptr<ArchiveReader> reader = open(file, type, name, budget);
            if (reader && !walk(*reader, prefix, depth, budget)) return false;
        }
        return !embedded || inner(file, type, prefix, depth, budget, *embedded, {});
    }

    void note(const std::string& member, const std::string& reason) {
        if (!notes_) return;
        if (notes_->size() < limits_.maxNotes) {
            notes_->push_back({member, reason});
        } else if (notes_->size() == limits_.maxNotes) {
            notes_->push_back({"...", "more members not scanned"});
        }
    }

    // A program carried inside a program, then a packed program's
    // unpacked image, as clamscan reads them whether archives are opened
    // or not.
    bool unpacked(RandomAccess& file, FileType type, const std::string& prefix, uint32_t depth, Budget& budget) {
        if (!unpacksProgram(type)) return true;
        if (std::unique_ptr<ArchiveReader> inside = openEmbeddedProgram(file))
            if (!walk(*inside, prefix, depth, budget)) return false;
        std::unique_ptr<ArchiveReader> reader = openPackedProgram(file);
        return !reader || walk(*reader, prefix, depth, budget);
    }

    bool unpacksProgram(FileType type) const { return type == FileType::WindowsProgram && options_.unpackPrograms; }

private:
    std::unique_ptr<ArchiveReader> open(RandomAccess& file, FileType type, std::string_view name, Budget& budget) {
        if (isCompressedFile(type)) return openCompressedFile(file, type, name);
        if (readByLibarchive(type)) return openLibarchive(file, type, name);
        if (readByMspack(type))
            return openMspack(file, type, name, std::max<uint64_t>(1, std::min(budget.bytes, kMaxMemberHeld)));
        if (type == FileType::Arj) return openArj(file);
        if (type == FileType::Nsis) return openNsis(file);
        if (type == FileType::AutoIt) return openAutoIt(file);
        if (type == FileType::InstallShieldMsi) return openInstallShieldMsi(file);
        if (type == FileType::Tnef) return openTnef(file);
        if (type == FileType::BinHex) return openBinHex(file);
        if (type == FileType::Ole2) return openOle2(file);
        if (type == FileType::Rtf) return openRtf(file);
        if (type == FileType::OneNote) return openOneNote(file);
        if (type == FileType::Ole10Native) return openOle10Native(file);
        if (type == FileType::PowerPointDocument) return openPowerPointObjects(file);
        if (type == FileType::Mail) return openMail(file);
        if (type == FileType::Uuencoded) return openUuencoded(file);
        if (type == FileType::Html) return openHtml(file);
        if (type == FileType::Pdf) return openPdf(file, std::max<uint64_t>(1, std::min(budget.bytes, kMaxMemberHeld)));
        return nullptr;
    }

    // Archives found by their headers inside the object, where no archive
    // read before claims those bytes.
    bool inner(RandomAccess& file, FileType type, const std::string& prefix, uint32_t depth, Budget& budget,
               const EmbeddedFinder& embedded, const std::vector<std::pair<uint64_t, uint64_t>>& claimed) {
        size_t opened = 0;
        std::string head;
        for (const EmbeddedCandidate& c : embedded.candidates()) {
            // The object itself, opened above; a ZIP's own members are in `claimed`.
            if (c.offset == 0 && c.type == type && type != FileType::Zip) continue;
            auto after = std::upper_bound(claimed.begin(), claimed.end(), std::make_pair(c.offset, ~uint64_t{0}));
            if (after != claimed.begin() && std::prev(after)->second > c.offset) continue;
            if (budget.bytes == 0 || budget.timeUp() || budget.members == 0) return true;
            if (c.type == FileType::Zip) {
                ZipListing one;
                if (!listZipMemberAt(file, c.offset, one) || (one.members.empty() && one.skipped.empty())) continue;
                if (++opened > kMaxEmbeddedOpened) break;
                auto reader = zipReader(file, std::move(one));
                if (!walk(*reader, prefix, depth, budget)) return false;
                continue;
            }
            uint64_t start = c.offset;
            if (c.type == FileType::Nsis) {
                // Only in programs, as clamscan reads them; the data begins with the flags before the header.
                if (type != FileType::WindowsProgram || c.offset <= kNsisSignatureAt) continue;
                start -= kNsisSignatureAt;
            }
            head.resize(static_cast<size_t>(std::min<uint64_t>(kCandidateHeadBytes, file.size() - start)));
            head.resize(file.readAt(start, head.data(), head.size()));
            if (c.type == FileType::Nsis ? !looksLikeNsis(reinterpret_cast<const uint8_t*>(head.data()), head.size())
                                         : recogniseType(head) != c.type)
                continue;
            if (!embeddedIn(c.type, type)) continue;
            if (++opened > kMaxEmbeddedOpened) break;
            SubFile rest(file, start, file.size() - start);
            std::unique_ptr<ArchiveReader> reader = open(rest, c.type, {}, budget);
            if (reader && !walk(*reader, prefix, depth, budget)) return false;
        }
        if (opened > kMaxEmbeddedOpened)
            note(prefix + "...", "not scanned: more than " + std::to_string(kMaxEmbeddedOpened) +
                                     " archives lie inside it");
        return true;
    }

    bool walk(ArchiveReader& reader, const std::string& prefix, uint32_t depth, Budget& budget) {
        MemberInfo info;
        for (bool first = true;; first = false) {
            // Spent after a member: a reader that cannot tell what is left
            // is asked for no more, as the next header of a compressed
            // archive lies behind the rest of this member's data, all of
            // which would be unpacked to reach it.
            if (!first && reader.membersLeft() < 0 && (budget.bytes == 0 || budget.timeUp())) {
                note(prefix + "...", "not scanned: any members after " + info.name + ", " +
                                         (budget.bytes == 0 ? "the archive's budget of unpacked bytes is spent"
                                                            : "the archive's time budget is spent"));
                return true;
            }
            if (budget.members == 0) {
                if (reader.next(info)) note(prefix + "...", "not scanned: members beyond the archive's budget of members");
                return true;
            }
            if (!reader.next(info)) break;
            --budget.members;
            const std::string name = prefix + info.name;
            if (!info.unreadable.empty()) {
                note(name, "not scanned: " + info.unreadable);
                continue;
            }
            const char* over = budget.bytes == 0 ? "the archive's budget of unpacked bytes is spent"
                               : budget.timeUp() ? "the archive's time budget is spent"
                                                 : nullptr;
            if (over) {
                const int64_t left = reader.membersLeft();
                if (left == 0)
                    note(name, std::string("not scanned: ") + over);
                else if (left > 0)
                    note(prefix + "...", "not scanned: " + std::to_string(left + 1) + " members, " + over);
                else
                    note(prefix + "...", "not scanned: " + info.name + " and the members after it, " + over);
                return true;
            }
            if (!member(reader, info, name, depth, budget)) return false;
        }
        if (reader.damaged()) note(prefix + "...", "not scanned: the rest of the archive, which is damaged");
        return true;
    }

    bool member(ArchiveReader& reader, const MemberInfo& info, const std::string& name, uint32_t depth,
                Budget& budget) {
        std::vector<Finding> found;
        std::string head, held;
        EmbeddedFinder embedded;
        std::unique_ptr<RandomAccess> stored;
        bool whole = false;
        try {
            MemberData& data = reader.data();
            stored = reader.inPlace();
            CountedStream counted(data, budget);
            // Held whole when it is small enough: its true size is known
            // then, and an archive in it opens from memory.
            const uint64_t expected = std::min({info.size, budget.bytes, kMaxMemberHeld});
            if (expected != kUnknownSize) held.reserve(static_cast<size_t>(expected));
            // One buffer for every member: a megabyte zeroed for each small
            // member cost more than reading it.
            if (chunk_.empty()) chunk_.resize(kReadChunk);
            while (held.size() < kMaxMemberHeld) {
                const size_t got =
                    counted.read(chunk_.data(),
                                 static_cast<size_t>(std::min<uint64_t>(chunk_.size(), kMaxMemberHeld - held.size())));
                if (got == 0) break;
                held.append(chunk_.data(), got);
            }
            whole = counted.ended();
            bool allowed = false;
            const MatchAs as = matchAs(info.view);
            EmbeddedFinder* finder = as != MatchAs::Object || documentsOnly_ ? nullptr : &embedded;
            if (whole) {
                MemoryStream in(held);
                found = scanObject(store_, options_, in, held.size(), allowed, &head, finder, as);
            } else {
                PrefixedStream in(held, counted);
                found = scanObject(store_, options_, in, info.size, allowed, &head, finder, as);
            }
            if (allowed) return true;
            if (!data.stopped().empty()) {
                note(name, "not scanned whole: " + data.stopped());
            } else if (data.damaged()) {
                note(name, "scanned up to where its data is damaged");
            } else if (counted.late()) {
                note(name, "not scanned whole: the archive's time budget is spent");
            } else if (counted.cut()) {
                note(name, "not scanned whole: the archive's budget of unpacked bytes is spent");
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
        if (info.view != MemberView::File)
            return true;  // source text, listings, a page's views: nothing in them is opened
        const FileType type = info.format != FileType::Other ? info.format : recogniseType(head);
        if (documentsOnly_ && !isDocumentContainer(type) && !unpacksProgram(type)) return true;
        if (depth + 1 >= limits_.maxDepth) {
            if (isContainer(type))
                note(name, "not opened: archives lie deeper inside archives than " + std::to_string(limits_.maxDepth) +
                               " levels");
            return true;
        }
        const std::string inside = name + "/";
        const size_t slash = info.name.find_last_of('/');
        const std::string_view last = std::string_view(info.name).substr(slash == std::string::npos ? 0 : slash + 1);
        if (whole) {
            MemoryFile file(held);
            return contents(file, type, last, inside, depth + 1, budget, &embedded);
        }
        if (stored) return contents(*stored, type, last, inside, depth + 1, budget, &embedded);
        if (type == FileType::Tar || type == FileType::Cpio) {
            // A tar too large to hold, from a compressed file: its members
            // straight from the compressed file, unpacked once more.
            if (std::unique_ptr<ArchiveReader> again = reader.archiveInside())
                return walk(*again, inside, depth + 1, budget);
        }
        if (isContainer(type))
            note(name, "not opened: it is larger than the " + std::to_string(kMaxMemberHeld >> 20) +
                           " MiB this engine holds of one member");
        return true;
    }

    const SignatureStore& store_;
    const ScanOptions& options_;
    const ArchiveLimits& limits_;
    std::vector<FileFinding>& out_;
    std::vector<ScanNote>* notes_;
    bool documentsOnly_;
    std::vector<char> chunk_;
};

}  // namespace

std::vector<FileFinding> scanFile(const SignatureStore& store, const ScanOptions& options, RandomAccess& file,
                                  bool archives, std::vector<ScanNote>* notes, const ArchiveLimits& limits,
                                  std::string_view name) {
    std::vector<FileFinding> out;
    RangeStream whole(file, 0, file.size());
    bool allowed = false;
    std::string head;
    EmbeddedFinder embedded;
    for (const Finding& f : scanObject(store, options, whole, file.size(), allowed, &head, archives ? &embedded : nullptr))
        out.push_back({f, ""});
    if (allowed) return out;
    const bool known = std::any_of(out.begin(), out.end(), [](const FileFinding& f) { return f.finding.kind != Finding::Family; });
    if (known && !options.allMatches) return out;
    const FileType type = recogniseType(head);
    if (!archives && !isDocumentContainer(type) && !(type == FileType::WindowsProgram && options.unpackPrograms))
        return out;
    // Archives and compressed files by their type; ZIP archives also by a
    // directory at the end of a file of any kind (self-extracting archives,
    // archives appended to programs); archives of every kind embedded in it.
    Budget budget;
    const uint64_t byRatio = file.size() > limits.ratioFloor / std::max<uint32_t>(limits.maxRatio, 1)
                                 ? file.size() * limits.maxRatio
                                 : limits.ratioFloor;
    budget.bytes = std::min(limits.maxUnpacked, byRatio);
    budget.members = limits.maxMembers;
    budget.deadline = Clock::now() + std::chrono::seconds(limits.maxSeconds);
    ArchiveScan(store, options, limits, out, notes, !archives)
        .contents(file, type, name, "", 0, budget, archives ? &embedded : nullptr);
    return out;
}

}  // namespace qdx
