#include "mspack_reader.h"

#include <mspack.h>

#include <algorithm>
#include <cstdarg>
#include <cstring>
#include <limits>
#include <stdexcept>
#include <vector>

namespace qdx {
namespace {

// The library names files by strings; ours are the only two it is given.
constexpr const char* kInput = "input";
constexpr const char* kOutput = "output";

struct Handle {
    bool output = false;
    uint64_t at = 0;
};

// The library's view of the world: one input (the archive) and one output
// (the member being unpacked, into memory).
struct System {
    mspack_system ops;  // first: the library hands back a pointer to it
    RandomAccess* input = nullptr;
    std::string* output = nullptr;
    uint64_t outputLimit = 0;
    bool cut = false;
    std::string readError;
};

System& of(mspack_system* self) { return *reinterpret_cast<System*>(self); }

struct File {
    System* system;
    Handle handle;
};

mspack_file* openFile(mspack_system* self, const char* name, int mode) {
    System& s = of(self);
    const bool output = name && std::strcmp(name, kOutput) == 0;
    if (!output && !(name && std::strcmp(name, kInput) == 0)) return nullptr;
    if (output != (mode == MSPACK_SYS_OPEN_WRITE)) return nullptr;
    if (output && !s.output) return nullptr;
    auto* f = new (std::nothrow) File{&s, {output, 0}};
    return reinterpret_cast<mspack_file*>(f);
}

void closeFile(mspack_file* file) { delete reinterpret_cast<File*>(file); }

// libmspack may pass a file it never opened (a CAB folder continued from a
// cabinet that is not there): every use of one refuses it.
int readFile(mspack_file* file, void* buffer, int bytes) {
    if (!file) return -1;
    File& f = *reinterpret_cast<File*>(file);
    if (f.handle.output || bytes < 0) return -1;
    RandomAccess& in = *f.system->input;
    if (f.handle.at >= in.size() || bytes == 0) return 0;
    try {
        const size_t got = in.readAt(f.handle.at, buffer, static_cast<size_t>(bytes));
        f.handle.at += got;
        return static_cast<int>(got);
    } catch (const ReadError& e) {
        f.system->readError = e.what();
        return -1;
    }
}

int writeFile(mspack_file* file, void* buffer, int bytes) {
    if (!file) return -1;
    File& f = *reinterpret_cast<File*>(file);
    System& s = *f.system;
    if (!f.handle.output || bytes < 0 || !s.output) return -1;
    const uint64_t room = s.outputLimit - std::min<uint64_t>(s.outputLimit, s.output->size());
    if (static_cast<uint64_t>(bytes) > room) {
        s.output->append(static_cast<const char*>(buffer), static_cast<size_t>(room));
        s.cut = true;
        return -1;  // the library stops this member at once
    }
    s.output->append(static_cast<const char*>(buffer), static_cast<size_t>(bytes));
    return bytes;
}

int seekFile(mspack_file* file, off_t offset, int mode) {
    if (!file) return -1;
    File& f = *reinterpret_cast<File*>(file);
    if (f.handle.output) return -1;
    const uint64_t size = f.system->input->size();
    int64_t base = 0;
    switch (mode) {
        case MSPACK_SYS_SEEK_START: base = 0; break;
        case MSPACK_SYS_SEEK_CUR: base = static_cast<int64_t>(f.handle.at); break;
        case MSPACK_SYS_SEEK_END: base = static_cast<int64_t>(size); break;
        default: return -1;
    }
    const int64_t to = base + static_cast<int64_t>(offset);
    if (to < 0 || static_cast<uint64_t>(to) > size) return -1;
    f.handle.at = static_cast<uint64_t>(to);
    return 0;
}

off_t tellFile(mspack_file* file) {
    if (!file) return -1;
    const File& f = *reinterpret_cast<File*>(file);
    if (f.handle.at > static_cast<uint64_t>(std::numeric_limits<off_t>::max())) return -1;
    return static_cast<off_t>(f.handle.at);
}

// NOLINTNEXTLINE(cert-dcl50-cpp): libmspack calls it through its C interface, with printf arguments
void message(mspack_file*, const char*, ...) {}

// Zeroed: the library's KWAJ reader frees fields of a header it never
// filled when the header cannot be read.
void* allocate(mspack_system*, size_t bytes) { return std::calloc(1, bytes); }
void release(void* p) { std::free(p); }
void copy(void* from, void* to, size_t bytes) { std::memmove(to, from, bytes); }

class Output final : public MemberData {
public:
    void set(std::string data, bool damaged, std::string stopped) {
        data_ = std::move(data);
        at_ = 0;
        damaged_ = damaged;
        stopped_ = std::move(stopped);
    }
    size_t read(void* buffer, size_t size) override {
        const size_t n = std::min(size, data_.size() - at_);
        std::memcpy(buffer, data_.data() + at_, n);
        at_ += n;
        return n;
    }
    bool damaged() const override { return damaged_; }
    std::string stopped() const override { return stopped_; }

private:
    std::string data_;
    size_t at_ = 0;
    bool damaged_ = false;
    std::string stopped_;
};

// What the four formats have in common: the system, the member list as
// the library made it, and unpacking one member into memory.
class Base : public ArchiveReader {
public:
    Base(RandomAccess& file, uint64_t memberLimit) {
        system_.ops = {openFile, closeFile, readFile, writeFile, seekFile, tellFile, message,
                       allocate, release, copy, nullptr};
        system_.input = &file;
        system_.outputLimit = memberLimit;
        int selftest = MSPACK_ERR_OK;
        MSPACK_SYS_SELFTEST(selftest);
        if (selftest != MSPACK_ERR_OK) throw std::runtime_error("libmspack was built with another size of file offsets");
    }
    MemberData& data() override {
        if (!pendingUnpack_) return output_;
        pendingUnpack_ = false;
        std::string out;
        system_.output = &out;
        system_.cut = false;
        const int r = unpackCurrent();
        system_.output = nullptr;
        rethrow();
        std::string stopped;
        if (system_.cut)
            stopped = "it unpacks to more than the " + std::to_string(system_.outputLimit >> 20) +
                      " MiB this engine holds of one member";
        output_.set(std::move(out), r != MSPACK_ERR_OK && !system_.cut, std::move(stopped));
        return output_;
    }
    bool damaged() const override { return damaged_; }

protected:
    virtual int unpackCurrent() = 0;

    bool member(const std::string& name, uint64_t size, MemberInfo& out) {
        out = MemberInfo{};
        out.name = name.empty() ? "data" : name.substr(0, kMaxMemberNameKept);
        out.size = size;
        output_.set({}, false, {});
        pendingUnpack_ = true;
        return true;
    }
    void rethrow() {
        if (!system_.readError.empty()) {
            std::string what;
            what.swap(system_.readError);
            throw ReadError(what);
        }
    }

    System system_;
    Output output_;
    bool pendingUnpack_ = false;
    bool damaged_ = false;
};

class Cabinet final : public Base {
public:
    Cabinet(RandomAccess& file, uint64_t memberLimit) : Base(file, memberLimit) {
        d_ = mspack_create_cab_decompressor(&system_.ops);
        if (!d_) throw std::bad_alloc();
        d_->set_param(d_, MSCABD_PARAM_FIXMSZIP, 1);  // as other tools: damaged MSZIP blocks still give bytes
        cab_ = d_->open(d_, const_cast<char*>(kInput));
        rethrow();
        if (!cab_) damaged_ = true;
        next_ = cab_ ? cab_->files : nullptr;
    }
    ~Cabinet() override {
        if (cab_) d_->close(d_, cab_);
        mspack_destroy_cab_decompressor(d_);
    }
    bool next(MemberInfo& out) override {
        pendingUnpack_ = false;
        if (!next_) return false;
        current_ = next_;
        next_ = next_->next;
        member(current_->filename ? current_->filename : "", current_->length, out);
        const mscabd_folder* folder = current_->folder;
        if (!folder)
            out.unreadable = "its data lies in another cabinet of a set";
        else if ((folder->comp_type & 0x000F) > MSCAB_COMP_LZX)
            out.unreadable = "it is packed by a method this engine does not unpack";
        if (!out.unreadable.empty()) pendingUnpack_ = false;
        return true;
    }

private:
    int unpackCurrent() override { return d_->extract(d_, current_, const_cast<char*>(kOutput)); }

    mscab_decompressor* d_ = nullptr;
    mscabd_cabinet* cab_ = nullptr;
    mscabd_file *next_ = nullptr, *current_ = nullptr;
};

class Help final : public Base {
public:
    Help(RandomAccess& file, uint64_t memberLimit) : Base(file, memberLimit) {
        d_ = mspack_create_chm_decompressor(&system_.ops);
        if (!d_) throw std::bad_alloc();
        chm_ = d_->open(d_, const_cast<char*>(kInput));
        rethrow();
        if (!chm_) damaged_ = true;
        next_ = chm_ ? chm_->files : nullptr;
    }
    ~Help() override {
        if (chm_) d_->close(d_, chm_);
        mspack_destroy_chm_decompressor(d_);
    }
    bool next(MemberInfo& out) override {
        pendingUnpack_ = false;
        while (next_ && next_->length == 0) next_ = next_->next;
        if (!next_) return false;
        current_ = next_;
        next_ = next_->next;
        return member(current_->filename ? current_->filename : "", static_cast<uint64_t>(current_->length), out);
    }

private:
    int unpackCurrent() override { return d_->extract(d_, current_, const_cast<char*>(kOutput)); }

    mschm_decompressor* d_ = nullptr;
    mschmd_header* chm_ = nullptr;
    mschmd_file *next_ = nullptr, *current_ = nullptr;
};

// The name of the one file a compressed file holds: its own name with the
// last character, which `compress` replaced by '_', put back when known.
std::string expandedName(std::string_view name, char missing) {
    const size_t slash = name.find_last_of("/\\");
    if (slash != std::string_view::npos) name.remove_prefix(slash + 1);
    std::string out(name);
    if (!out.empty() && out.back() == '_' && missing) out.back() = missing;
    return out.empty() ? "data" : out;
}

class Szdd final : public Base {
public:
    Szdd(RandomAccess& file, std::string_view name, uint64_t memberLimit) : Base(file, memberLimit) {
        d_ = mspack_create_szdd_decompressor(&system_.ops);
        if (!d_) throw std::bad_alloc();
        header_ = d_->open(d_, const_cast<char*>(kInput));
        rethrow();
        if (!header_) damaged_ = true;
        name_ = expandedName(name, header_ ? static_cast<char>(header_->missing_char) : '\0');
    }
    ~Szdd() override {
        if (header_) d_->close(d_, header_);
        mspack_destroy_szdd_decompressor(d_);
    }
    bool next(MemberInfo& out) override {
        pendingUnpack_ = false;
        if (!header_ || given_) return false;
        given_ = true;
        return member(name_, static_cast<uint64_t>(header_->length), out);
    }

private:
    int unpackCurrent() override {
        // The library opens its input anew for this.
        d_->close(d_, header_);
        header_ = d_->open(d_, const_cast<char*>(kInput));
        if (!header_) return MSPACK_ERR_READ;
        return d_->extract(d_, header_, const_cast<char*>(kOutput));
    }

    msszdd_decompressor* d_ = nullptr;
    msszddd_header* header_ = nullptr;
    std::string name_;
    bool given_ = false;
};

class Kwaj final : public Base {
public:
    Kwaj(RandomAccess& file, std::string_view name, uint64_t memberLimit) : Base(file, memberLimit) {
        d_ = mspack_create_kwaj_decompressor(&system_.ops);
        if (!d_) throw std::bad_alloc();
        header_ = d_->open(d_, const_cast<char*>(kInput));
        rethrow();
        if (!header_) damaged_ = true;
        name_ = header_ && header_->filename && *header_->filename ? std::string(header_->filename)
                                                                      : expandedName(name, 0);
    }
    ~Kwaj() override {
        if (header_) d_->close(d_, header_);
        mspack_destroy_kwaj_decompressor(d_);
    }
    bool next(MemberInfo& out) override {
        pendingUnpack_ = false;
        if (!header_ || given_) return false;
        given_ = true;
        member(name_, header_->length ? static_cast<uint64_t>(header_->length) : kUnknownSize, out);
        if (header_->comp_type > MSKWAJ_COMP_MSZIP) {
            out.unreadable = "it is packed by a method this engine does not unpack";
            pendingUnpack_ = false;
        }
        return true;
    }

private:
    int unpackCurrent() override { return d_->extract(d_, header_, const_cast<char*>(kOutput)); }

    mskwaj_decompressor* d_ = nullptr;
    mskwajd_header* header_ = nullptr;
    std::string name_;
    bool given_ = false;
};

}  // namespace

bool readByMspack(FileType type) {
    return type == FileType::Cab || type == FileType::Chm || type == FileType::Szdd || type == FileType::Kwaj;
}

std::unique_ptr<ArchiveReader> openMspack(RandomAccess& file, FileType type, std::string_view name,
                                          uint64_t memberLimit) {
    switch (type) {
        case FileType::Cab: return std::make_unique<Cabinet>(file, memberLimit);
        case FileType::Chm: return std::make_unique<Help>(file, memberLimit);
        case FileType::Szdd: return std::make_unique<Szdd>(file, name, memberLimit);
        case FileType::Kwaj: return std::make_unique<Kwaj>(file, name, memberLimit);
        default: return nullptr;
    }
}

}  // namespace qdx
