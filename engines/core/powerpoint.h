// The OLE objects a PowerPoint 97-2003 presentation embeds, from its
// "PowerPoint Document" stream, taken out as clamscan takes them. The
// stream's records are followed at its top level only (8-byte header:
// version and instance, type, length; the contents of containers are
// passed over with them); each ExOleObjStg record (type 0x1011) holds a
// 4-byte size and the object packed by zlib, inflated as far as it goes
// (an object stored unpacked gives nothing). As in clamscan the result is
// all or nothing: a record of length 0, or an object's data running past
// the end of the stream, and no object is given (the reader says it is
// damaged). Each object is a member, itself an OLE2 file.
#pragma once
#include <cstddef>
#include <memory>

#include "archive_reader.h"

namespace qdx {

// The most objects taken from one stream.
inline constexpr size_t kMaxPowerPointObjects = 65536;

// Members "object 1", "object 2", ... inflated as they are read.
std::unique_ptr<ArchiveReader> openPowerPointObjects(RandomAccess& stream);

}  // namespace qdx
