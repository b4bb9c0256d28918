// OLE1 embedded objects, read as clamscan reads them: the native data an
// OLE2 stream "\x01Ole10Native" holds, and the objects an RTF's \objdata
// carries one after another. Both are hostile: every length is checked
// against the bytes there are, and nothing is copied.
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>

#include "archive_reader.h"
#include "stream.h"

namespace qdx {

// The file to scan in OLE1 native data: [offset, offset + size) of it.
// The data starts with a 4-byte little-endian size. When the rest is at
// least that long, it is a package: a 2-byte type, the label, the file
// name, 8 bytes, the command (each string ending in a zero byte), then the
// file's own 4-byte size and its bytes. When the rest is shorter, it is
// taken as the object itself, cut short. Wherever the data is shorter than
// its size, only whole blocks of 8 KiB of it are kept (clamscan copies in
// such blocks and drops one it cannot read whole). False when there is
// nothing to scan: the data too short, a string without its end, or an
// empty file.
bool ole10NativePayload(RandomAccess& native, uint64_t& offset, uint64_t& size);
bool ole10NativePayload(std::string_view native, uint64_t& offset, uint64_t& size);

// The same file as the one member ("file") of an archive, read in place;
// no member when ole10NativePayload finds none. `native` must outlive it.
std::unique_ptr<ArchiveReader> openOle10Native(RandomAccess& native);

// The objects of an RTF's decoded \objdata, fed in the runs its text comes
// in: each object has an 8-byte header (version and format, not checked), a
// 4-byte length and a class name, 8 bytes (the lengths of the topic and item
// names, taken to be empty), a 4-byte data size and the data. The data of
// each object goes to the sink; then the next object may follow. Faithful to
// clamscan where runs matter: the 8 bytes after the class name must lie in
// one run (the rest of a shorter run is dropped), and a class name longer
// than 64 bytes ends the reading of the \objdata.
class Ole1Objects {
public:
    class Sink {
    public:
        virtual ~Sink() = default;
        // An object's data begins: an OLE2 file (it starts D0 CF) or native
        // data, of `statedSize` bytes as its header says.
        virtual void begin(bool ole2, uint32_t statedSize) = 0;
        virtual void data(const uint8_t* bytes, size_t size) = 0;
        // All of the stated size has come.
        virtual void end() = 0;
    };

    void feed(const uint8_t* bytes, size_t size, Sink& sink);
    // Data of an object has begun and not yet ended.
    bool inData() const { return stage_ == Stage::Data && begun_; }

private:
    enum class Stage : uint8_t { Header, NameLength, Name, Names, DataSize, Data, Stuck };
    Stage stage_ = Stage::Header;
    uint32_t count_ = 0;   // bytes of the current field had
    uint64_t length_ = 0;  // the field's value: a name's length, or data left
    bool begun_ = false;
};

}  // namespace qdx
