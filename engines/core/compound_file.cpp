#include "compound_file.h"

#include <algorithm>
#include <cstring>
#include <utility>
#include <vector>

#include "bytes.h"
#include "vba.h"
#include "xlm.h"

namespace qdx {
namespace {

constexpr uint32_t kFree = 0xFFFFFFFF, kEndOfChain = 0xFFFFFFFE;
constexpr uint32_t kNoStream = 0xFFFFFFFF;
constexpr size_t kEntrySize = 128;
constexpr uint8_t kStorage = 1, kStream = 2, kRoot = 5;
// The macro table of a Word 6/95 document, and the macros taken from a file.
constexpr size_t kMaxWordMacroTable = size_t{1} << 20;
constexpr size_t kMaxMacros = 4096;
// The `dir` stream of a VBA project is a few KiB; more is not one.
constexpr size_t kMaxDirPacked = size_t{1} << 20, kMaxDirUnpacked = size_t{4} << 20;

struct Entry {
    std::u16string name;
    uint8_t type = 0;
    uint32_t left = kNoStream, right = kNoStream, child = kNoStream;
    uint32_t start = 0;
    uint64_t size = 0;
    uint32_t parent = kNoStream;  // the storage it lies in, once walked
};

char16_t foldAscii(char16_t c) { return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c - u'A' + u'a') : c; }

bool sameName(const std::u16string& a, const std::u16string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                              [](char16_t x, char16_t y) { return foldAscii(x) == foldAscii(y); });
}

std::u16string widen(std::string_view s) {
    std::u16string out;
    for (unsigned char c : s) out.push_back(c);
    return out;
}

// A name for the results file: ASCII as it is, anything else as "_".
std::string printable(const std::u16string& name) {
    std::string out;
    for (char16_t c : name) out.push_back(c >= 0x20 && c < 0x7F && c != '/' ? static_cast<char>(c) : '_');
    return out;
}

class Ole2Reader;

// One stream's bytes, sector by sector along its chain: never more than its
// stated size, and damaged where the chain ends early, leaves the file or
// comes back to a sector it passed.
class StreamData final : public MemberData {
public:
    StreamData(Ole2Reader& reader, const Entry& entry, uint32_t stamp);
    size_t read(void* buffer, size_t size) override;
    bool damaged() const override { return damaged_; }

private:
    Ole2Reader& reader_;
    bool mini_;
    uint32_t sector_;
    uint64_t left_;
    uint32_t inSector_ = 0;  // bytes of the current sector given
    uint32_t stamp_;
    bool damaged_ = false;
};

// Skips `count` bytes of a stream; false where it ends first.
bool skipBytes(InputStream& in, uint64_t count) {
    uint8_t sink[4096];
    while (count) {
        const size_t got = in.read(sink, static_cast<size_t>(std::min<uint64_t>(sizeof sink, count)));
        if (got == 0) return false;
        count -= got;
    }
    return true;
}

// The macro source of one VBA module, decompressed from its stream.
class MacroData final : public MemberData {
public:
    MacroData(std::unique_ptr<StreamData> stream, uint32_t skip) : stream_(std::move(stream)), skip_(skip) {}
    size_t read(void* buffer, size_t size) override {
        if (skip_ && !skipBytes(*stream_, std::exchange(skip_, 0))) return 0;
        return text_.read(buffer, size);
    }
    bool damaged() const override { return stream_->damaged() || text_.damaged(); }

private:
    std::unique_ptr<StreamData> stream_;
    uint32_t skip_;
    VbaDecompressor text_{*stream_};
};

// A Word 6/95 macro: bytes of the document stream, each XORed with a key.
class WordMacroData final : public MemberData {
public:
    WordMacroData(std::unique_ptr<StreamData> stream, uint32_t skip, uint32_t length, uint8_t key)
        : stream_(std::move(stream)), skip_(skip), left_(length), key_(key) {}
    size_t read(void* buffer, size_t size) override {
        if (skip_ && !skipBytes(*stream_, std::exchange(skip_, 0))) left_ = 0;
        const size_t got = stream_->read(buffer, static_cast<size_t>(std::min<uint64_t>(size, left_)));
        left_ -= got;
        auto* p = static_cast<uint8_t*>(buffer);
        for (size_t i = 0; i < got; ++i) p[i] ^= key_;
        return got;
    }
    bool damaged() const override { return stream_->damaged(); }

private:
    std::unique_ptr<StreamData> stream_;
    uint32_t skip_;
    uint64_t left_;
    uint8_t key_;
};

// A stream that ends when a shared count of bytes is spent.
class BudgetedStream final : public InputStream {
public:
    BudgetedStream(InputStream& in, uint64_t& left) : in_(in), left_(left) {}
    size_t read(void* buffer, size_t size) override {
        if (left_ == 0) {
            spent_ = true;
            return 0;
        }
        const size_t got = in_.read(buffer, static_cast<size_t>(std::min<uint64_t>(size, left_)));
        left_ -= got;
        return got;
    }
    bool spent() const { return spent_; }

private:
    InputStream& in_;
    uint64_t& left_;
    bool spent_ = false;
};

// The XLM listing of a workbook stream, read from the stream afresh.
class ListingData final : public MemberData {
public:
    explicit ListingData(std::unique_ptr<StreamData> stream) : stream_(std::move(stream)) {}
    size_t read(void* buffer, size_t size) override { return listing_.read(buffer, size); }
    bool damaged() const override { return stream_->damaged() || listing_.damaged(); }

private:
    std::unique_ptr<StreamData> stream_;
    XlmListing listing_{*stream_};
};

// An image of a workbook's drawing group, held with the group.
class ImageData final : public MemberData {
public:
    ImageData(std::shared_ptr<const std::string> drawing, DrawingImage image)
        : drawing_(std::move(drawing)), in_(std::string_view(*drawing_).substr(image.offset, image.size)) {}
    size_t read(void* buffer, size_t size) override { return in_.read(buffer, size); }
    bool damaged() const override { return false; }

private:
    std::shared_ptr<const std::string> drawing_;
    MemoryStream in_;
};

class Ole2Reader final : public ArchiveReader {
public:
    explicit Ole2Reader(RandomAccess& file) : file_(file) {}

    bool open() {
        uint8_t h[512];
        if (file_.readAt(0, h, sizeof h) != sizeof h) return false;
        if (std::memcmp(h, "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8) != 0) return false;
        const uint32_t shift = le16(h + 30), miniShift = le16(h + 32);
        if (shift < 7 || shift > 16 || miniShift < 2 || miniShift >= shift) return false;
        sectorSize_ = 1u << shift;
        miniSectorSize_ = 1u << miniShift;
        miniCutoff_ = le32(h + 56);
        // Sector n lies at (n + 1) * size: the header takes sector -1.
        sectors_ = file_.size() > sectorSize_ ? (file_.size() - sectorSize_ + sectorSize_ - 1) / sectorSize_ : 0;
        if (sectors_ > kFree - 16) sectors_ = kFree - 16;
        stamps_.assign(static_cast<size_t>(sectors_), 0);
        if (!readFat(h)) return false;
        readDirectory(le32(h + 48));
        if (entries_.empty() || entries_[0].type != kRoot) {
            damaged_ = true;
            return true;
        }
        readMiniFat(le32(h + 60));
        walkTree();
        findMacros();
        findWordMacros();
        findXlm();
        return true;
    }

    bool next(MemberInfo& out) override {
        data_.reset();
        out = MemberInfo{};
        currentMacro_ = nullptr;
        currentExtra_ = nullptr;
        if (at_ < order_.size()) {
            const Entry& e = entries_[order_[at_++]];
            current_ = &e;
            out.name = path(e).substr(0, kMaxMemberNameKept);
            out.size = e.size;
            // OLE1 objects, and the objects a presentation embeds, by the names Office gives their streams.
            if (sameName(e.name, u"\x01Ole10Native")) out.format = FileType::Ole10Native;
            if (sameName(e.name, u"PowerPoint Document")) out.format = FileType::PowerPointDocument;
            const uint64_t room = e.size < miniCutoff_ ? miniStreamSize_ : file_.size();
            if (e.size > room) out.unreadable = "it claims more bytes than the file holds";
            return true;
        }
        if (macro_ < macros_.size()) {
            const Macro& m = macros_[macro_++];
            current_ = &entries_[m.entry];
            currentMacro_ = &m;
            const std::string what = m.word ? " (macro " + std::to_string(m.number) + ")" : " (macro source)";
            out.name = (path(*current_) + what).substr(0, kMaxMemberNameKept);
            out.view = MemberView::MacroText;
            if (m.word) out.size = m.length;
            const uint64_t room = current_->size < miniCutoff_ ? miniStreamSize_ : file_.size();
            if (current_->size > room) out.unreadable = "it claims more bytes than the file holds";
            return true;
        }
        if (extra_ < extras_.size()) {
            const Extra& x = extras_[extra_++];
            current_ = &entries_[x.entry];
            currentExtra_ = &x;
            const std::string base = path(*current_);
            if (x.image == kListing) {
                out.name = (base + " (XLM macros)").substr(0, kMaxMemberNameKept);
                out.view = MemberView::Listing;
                if (x.entry == xlmUnread_)
                    out.unreadable = "its workbook streams read more than twice the file's bytes";
            } else {
                out.name = (base + " (image " + std::to_string(x.image) + ")").substr(0, kMaxMemberNameKept);
                out.size = x.picture.size;
                if (!x.drawing)
                    out.unreadable = "its drawing group is larger than the " +
                                     std::to_string(kMaxXlmDrawingGroup >> 20) + " MiB this engine holds";
            }
            return true;
        }
        return false;
    }

    MemberData& data() override {
        if (const Extra* x = std::exchange(currentExtra_, nullptr)) {
            if (x->image == kListing)
                data_ = std::make_unique<ListingData>(std::make_unique<StreamData>(*this, *current_, ++stamp_));
            else if (x->drawing)
                data_ = std::make_unique<ImageData>(x->drawing, x->picture);
            else
                data_ = std::make_unique<EmptyMemberData>();
            return *data_;
        }
        auto stream = std::make_unique<StreamData>(*this, *current_, ++stamp_);
        const Macro* m = std::exchange(currentMacro_, nullptr);
        if (!m)
            data_ = std::move(stream);
        else if (m->word)
            data_ = std::make_unique<WordMacroData>(std::move(stream), m->offset, m->length, m->key);
        else
            data_ = std::make_unique<MacroData>(std::move(stream), m->offset);
        return *data_;
    }
    bool damaged() const override { return damaged_; }
    int64_t membersLeft() const override {
        return static_cast<int64_t>(order_.size() - at_ + macros_.size() - macro_ + extras_.size() - extra_);
    }

    // For StreamData: the next sector of a chain, or kEndOfChain; false
    // where the chain is damaged.
    bool follow(bool mini, uint32_t sector, uint32_t& next) const {
        const std::vector<uint32_t>& table = mini ? miniFat_ : fat_;
        if (sector >= table.size()) return false;
        next = table[sector];
        return true;
    }
    // Reads bytes [from, from + size) of sector `sector`; fewer where the
    // file ends. Marks the sector as passed by `stamp`: false when it was.
    bool pass(bool mini, uint32_t sector, uint32_t stamp) {
        if (mini) {
            if (sector >= miniStamps_.size() || miniStamps_[sector] == stamp) return false;
            miniStamps_[sector] = stamp;
            return true;
        }
        if (sector >= stamps_.size() || stamps_[sector] == stamp) return false;
        stamps_[sector] = stamp;
        return true;
    }
    size_t readSector(bool mini, uint32_t sector, uint32_t from, void* buffer, size_t size) {
        if (!mini) return file_.readAt((uint64_t{sector} + 1) * sectorSize_ + from, buffer, size);
        // A mini sector lies in the mini stream, itself a chain of sectors.
        const uint64_t at = uint64_t{sector} * miniSectorSize_ + from;
        const uint64_t index = at / sectorSize_;
        if (index >= miniStreamSectors_.size()) return 0;
        const uint32_t within = static_cast<uint32_t>(at % sectorSize_);
        const size_t n = std::min<size_t>(size, sectorSize_ - within);
        return file_.readAt((uint64_t{miniStreamSectors_[index]} + 1) * sectorSize_ + within, buffer, n);
    }
    uint32_t sectorSize(bool mini) const { return mini ? miniSectorSize_ : sectorSize_; }
    bool isMini(const Entry& e) const { return e.size < miniCutoff_ && &e != &entries_[0]; }

private:
    struct Macro {
        uint32_t entry;
        uint32_t offset;      // VBA: where the compressed source begins; Word: the macro's bytes
        uint32_t length = 0;  // Word only
        uint8_t key = 0;      // Word only: the XOR key
        bool word = false;
        uint32_t number = 0;
    };
    // A workbook stream's listing (image 0) or one of its images.
    static constexpr uint32_t kListing = 0;
    struct Extra {
        uint32_t entry;
        uint32_t image;
        DrawingImage picture{};
        std::shared_ptr<const std::string> drawing{};  // null for an image not held
    };

    // The sectors of a chain in the main FAT, at most `most` of them; stops
    // at damage (a sector outside the file, or one passed before).
    std::vector<uint32_t> chain(uint32_t start, uint64_t most) {
        std::vector<uint32_t> out;
        const uint32_t stamp = ++stamp_;
        for (uint32_t s = start; s != kEndOfChain && out.size() < most;) {
            if (s >= fat_.size() || s >= sectors_ || stamps_[s] == stamp) {
                damaged_ = damaged_ || s != kFree;
                break;
            }
            stamps_[s] = stamp;
            out.push_back(s);
            s = fat_[s];
        }
        return out;
    }

    bool readFat(const uint8_t* h) {
        // The FAT need describe no more sectors than the file holds.
        const uint64_t perSector = sectorSize_ / 4;
        const uint64_t fatSectorsNeeded = (sectors_ + perSector - 1) / perSector;
        std::vector<uint32_t> fatSectors;
        for (size_t i = 0; i < 109 && fatSectors.size() < fatSectorsNeeded; ++i) {
            const uint32_t s = le32(h + 76 + 4 * i);
            if (s == kFree) break;
            fatSectors.push_back(s);
        }
        std::vector<uint8_t> sector(sectorSize_);
        const uint32_t stamp = ++stamp_;
        for (uint32_t d = le32(h + 68); d != kEndOfChain && d != kFree && fatSectors.size() < fatSectorsNeeded;) {
            if (d >= sectors_ || stamps_[d] == stamp) {
                damaged_ = true;
                break;
            }
            stamps_[d] = stamp;
            if (file_.readAt((uint64_t{d} + 1) * sectorSize_, sector.data(), sectorSize_) != sectorSize_) {
                damaged_ = true;
                break;
            }
            for (uint64_t i = 0; i + 1 < perSector && fatSectors.size() < fatSectorsNeeded; ++i) {
                const uint32_t s = le32(sector.data() + 4 * i);
                if (s != kFree) fatSectors.push_back(s);
            }
            d = le32(sector.data() + sectorSize_ - 4);
        }
        fat_.reserve(static_cast<size_t>(fatSectors.size() * perSector));
        for (uint32_t s : fatSectors) {
            if (s >= sectors_ ||
                file_.readAt((uint64_t{s} + 1) * sectorSize_, sector.data(), sectorSize_) != sectorSize_) {
                damaged_ = true;
                std::fill(sector.begin(), sector.end(), 0xFF);
            }
            for (uint64_t i = 0; i < perSector; ++i) fat_.push_back(le32(sector.data() + 4 * i));
        }
        return !fat_.empty();
    }

    void readDirectory(uint32_t start) {
        const uint64_t perSector = sectorSize_ / kEntrySize;
        const std::vector<uint32_t> sectors = chain(start, (kMaxOle2Entries + perSector - 1) / perSector);
        std::vector<uint8_t> sector(sectorSize_);
        for (uint32_t s : sectors) {
            if (file_.readAt((uint64_t{s} + 1) * sectorSize_, sector.data(), sectorSize_) != sectorSize_) {
                damaged_ = true;
                break;
            }
            for (uint64_t i = 0; i < perSector && entries_.size() < kMaxOle2Entries; ++i) {
                const uint8_t* e = sector.data() + i * kEntrySize;
                Entry entry;
                const uint32_t nameBytes = std::min<uint32_t>(le16(e + 64), 64);
                for (uint32_t k = 0; k + 1 < nameBytes; k += 2) {
                    const auto c = static_cast<char16_t>(le16(e + k));
                    if (c == 0) break;
                    entry.name.push_back(c);
                }
                entry.type = e[66];
                entry.left = le32(e + 68);
                entry.right = le32(e + 72);
                entry.child = le32(e + 76);
                entry.start = le32(e + 116);
                // Files of 512-byte sectors keep junk in the size's high half.
                entry.size = sectorSize_ == 512 ? le32(e + 120) : le64(e + 120);
                entries_.push_back(std::move(entry));
            }
        }
    }

    void readMiniFat(uint32_t start) {
        const Entry& root = entries_[0];
        miniStreamSectors_ = chain(root.start, (root.size + sectorSize_ - 1) / sectorSize_);
        miniStreamSize_ = std::min<uint64_t>(root.size, uint64_t{miniStreamSectors_.size()} * sectorSize_);
        const uint64_t miniSectors = miniStreamSize_ / miniSectorSize_;
        const uint64_t perSector = sectorSize_ / 4;
        const std::vector<uint32_t> sectors = chain(start, (miniSectors + perSector - 1) / perSector);
        std::vector<uint8_t> sector(sectorSize_);
        for (uint32_t s : sectors) {
            if (file_.readAt((uint64_t{s} + 1) * sectorSize_, sector.data(), sectorSize_) != sectorSize_) break;
            for (uint64_t i = 0; i < perSector; ++i) miniFat_.push_back(le32(sector.data() + 4 * i));
        }
        miniStamps_.assign(std::min<size_t>(miniFat_.size(), static_cast<size_t>(miniSectors)), 0);
    }

    // Every entry reachable from the root, once: the trees are followed
    // with a list of their own, never by recursion, and an entry met again
    // (a tree pointing into itself) is passed over.
    void walkTree() {
        std::vector<bool> seen(entries_.size());
        std::vector<uint32_t> todo;
        seen[0] = true;
        auto push = [&](uint32_t i, uint32_t parent) {
            if (i >= entries_.size()) {
                if (i != kNoStream) damaged_ = true;
                return;
            }
            if (seen[i]) {
                damaged_ = true;
                return;
            }
            seen[i] = true;
            entries_[i].parent = parent;
            todo.push_back(i);
        };
        push(entries_[0].child, 0);
        while (!todo.empty()) {
            const uint32_t i = todo.back();
            todo.pop_back();
            const Entry e = entries_[i];
            if (e.type == kStream) order_.push_back(i);
            if (e.type == kStorage) push(e.child, i);
            push(e.right, e.parent);
            push(e.left, e.parent);
        }
    }

    // The VBA projects: a storage holding a `dir` stream names its modules.
    void findMacros() {
        for (uint32_t i : order_) {
            const Entry& dirEntry = entries_[i];
            if (!sameName(dirEntry.name, u"dir") || dirEntry.size > kMaxDirPacked) continue;
            std::string packed(static_cast<size_t>(dirEntry.size), '\0');
            StreamData stream(*this, dirEntry, ++stamp_);
            size_t have = 0;
            while (have < packed.size()) {
                const size_t got = stream.read(packed.data() + have, packed.size() - have);
                if (got == 0) break;
                have += got;
            }
            packed.resize(have);
            std::vector<VbaModule> modules;
            if (!readVbaDir(vbaDecompress(packed, kMaxDirUnpacked), modules)) continue;
            for (const VbaModule& m : modules) {
                const std::u16string wanted = m.streamNameUnicode.empty() ? widen(m.streamName) : m.streamNameUnicode;
                for (uint32_t k : order_)
                    if (entries_[k].parent == dirEntry.parent && sameName(entries_[k].name, wanted)) {
                        if (macros_.size() < kMaxMacros) macros_.push_back({k, m.textOffset});
                        break;
                    }
            }
        }
    }

    // Up to `most` bytes of a stream from `offset`.
    std::string streamBytes(uint32_t entry, uint64_t offset, size_t most) {
        StreamData stream(*this, entries_[entry], ++stamp_);
        std::string out;
        if (!skipBytes(stream, offset)) return out;
        out.resize(most);
        size_t have = 0;
        while (have < most) {
            const size_t got = stream.read(out.data() + have, most - have);
            if (got == 0) break;
            have += got;
        }
        out.resize(have);
        return out;
    }

    // Word 6/95 macros: the document stream's header names a table of them
    // (at 0x118 its offset and length); each is scanned as macro source.
    void findWordMacros() {
        for (uint32_t i : order_) {
            if (!sameName(entries_[i].name, u"WordDocument") || macros_.size() >= kMaxMacros) continue;
            const std::string fib = streamBytes(i, 0x118, 8);
            if (fib.size() < 8) continue;
            const auto* f = reinterpret_cast<const uint8_t*>(fib.data());
            const uint32_t tableLength = le32(f + 4);
            if (tableLength == 0) continue;
            const std::string table = streamBytes(i, le32(f), std::min<size_t>(tableLength, kMaxWordMacroTable));
            for (const WordMacro& m : readWordMacroTable(table)) {
                if (macros_.size() >= kMaxMacros) break;
                if (m.length == 0) continue;
                macros_.push_back({i, m.offset, m.length, m.key, true, static_cast<uint32_t>(macros_.size() + 1)});
            }
        }
    }

    // Excel 4.0 macro sheets: a `Workbook` (or `Book`) stream whose sheets
    // include one, or whose drawing group holds data, has every `Workbook`
    // stream listed (clamscan looks for `Book` ones and never finds them),
    // and the images of each listed stream's drawing group follow it.
    // Streams of a file hold its sectors once; hostile directories can
    // point many workbooks at the same ones. The surveys read at most
    // twice the file and hold one drawing group's worth of drawings.
    void findXlm() {
        bool macros = false, images = false;
        std::vector<std::pair<uint32_t, BiffSurvey>> surveyed;
        uint64_t readable = 2 * file_.size() + (uint64_t{1} << 20);
        size_t held = 0;
        for (uint32_t i : order_) {
            const bool workbook = sameName(entries_[i].name, u"Workbook");
            if (!workbook && !sameName(entries_[i].name, u"Book")) continue;
            StreamData stream(*this, entries_[i], ++stamp_);
            BudgetedStream budgeted(stream, readable);
            BiffSurvey survey = surveyBiff(budgeted, kMaxXlmDrawingGroup - held);
            macros = macros || survey.macroSheet;
            images = images || survey.drawingGroup;
            if (budgeted.spent()) {
                xlmUnread_ = i;
                break;
            }
            if (!workbook || !survey.whole) continue;
            held += survey.drawing.size();
            surveyed.emplace_back(i, std::move(survey));
        }
        if (xlmUnread_ != kNoStream) extras_.push_back({xlmUnread_, kListing});
        if (!macros && !images) return;
        // A drawing alone, with no macros of either kind: clamscan writes
        // the streams out and scans none of them (nor any VBA source).
        const bool vbaSeen = std::any_of(order_.begin(), order_.end(), [&](uint32_t i) {
            const std::u16string& n = entries_[i].name;
            return sameName(n, u"_VBA_PROJECT") || sameName(n, u"PowerPoint Document") ||
                   sameName(n, u"WordDocument") || sameName(n, u"\x01Ole10Native");
        });
        if (!macros && !vbaSeen) {
            at_ = order_.size();
            macros_.clear();
        }
        for (auto& [entry, survey] : surveyed) {
            extras_.push_back({entry, kListing});
            if (survey.drawing.empty() && !survey.drawingCut) continue;
            if (survey.drawingCut) {
                extras_.push_back({entry, 1});
                continue;
            }
            const std::vector<DrawingImage> found = drawingImages(survey.drawing);
            auto drawing = std::make_shared<const std::string>(std::move(survey.drawing));
            for (size_t k = 0; k < found.size(); ++k)
                extras_.push_back({entry, static_cast<uint32_t>(k + 1), found[k], drawing});
        }
    }

    std::string path(const Entry& e) const {
        std::vector<const Entry*> chain{&e};
        for (uint32_t p = e.parent; p != 0 && p < entries_.size() && chain.size() < 64; p = entries_[p].parent)
            chain.push_back(&entries_[p]);
        std::string out;
        for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
            if (!out.empty()) out += '/';
            out += printable((*it)->name);
            if (out.size() > kMaxMemberNameKept) break;
        }
        return out;
    }

    RandomAccess& file_;
    uint32_t sectorSize_ = 512, miniSectorSize_ = 64;
    uint64_t miniCutoff_ = 4096;
    uint64_t sectors_ = 0;
    std::vector<uint32_t> fat_, miniFat_, miniStreamSectors_;
    uint64_t miniStreamSize_ = 0;
    std::vector<uint32_t> stamps_, miniStamps_;
    uint32_t stamp_ = 0;
    std::vector<Entry> entries_;
    std::vector<uint32_t> order_;
    std::vector<Macro> macros_;
    std::vector<Extra> extras_;
    uint32_t xlmUnread_ = kNoStream;  // the workbook whose survey the read budget stopped
    size_t at_ = 0, macro_ = 0, extra_ = 0;
    const Entry* current_ = nullptr;
    const Macro* currentMacro_ = nullptr;
    const Extra* currentExtra_ = nullptr;
    std::unique_ptr<MemberData> data_;
    bool damaged_ = false;
};

StreamData::StreamData(Ole2Reader& reader, const Entry& entry, uint32_t stamp)
    : reader_(reader), mini_(reader.isMini(entry)), sector_(entry.start), left_(entry.size), stamp_(stamp) {
    if (left_ && !reader_.pass(mini_, sector_, stamp_)) {
        damaged_ = true;
        left_ = 0;
    }
}

size_t StreamData::read(void* buffer, size_t size) {
    auto* to = static_cast<uint8_t*>(buffer);
    size_t out = 0;
    const uint32_t sectorSize = reader_.sectorSize(mini_);
    while (out < size && left_ > 0) {
        if (inSector_ == sectorSize) {
            uint32_t next = 0;
            if (!reader_.follow(mini_, sector_, next) || next == kEndOfChain || !reader_.pass(mini_, next, stamp_)) {
                damaged_ = true;
                left_ = 0;
                break;
            }
            sector_ = next;
            inSector_ = 0;
        }
        const size_t want = static_cast<size_t>(std::min<uint64_t>({size - out, sectorSize - inSector_, left_}));
        const size_t got = reader_.readSector(mini_, sector_, inSector_, to + out, want);
        out += got;
        inSector_ += static_cast<uint32_t>(got);
        left_ -= got;
        if (got < want) {
            damaged_ = true;
            left_ = 0;
        }
    }
    return out;
}

}  // namespace

std::unique_ptr<ArchiveReader> openOle2(RandomAccess& file) {
    auto reader = std::make_unique<Ole2Reader>(file);
    if (!reader->open()) return nullptr;
    return reader;
}

}  // namespace qdx
