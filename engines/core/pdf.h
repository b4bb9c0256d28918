// PDF documents opened as clamscan opens them: the objects found by their
// "N G obj" ... "endobj" markers wherever they lie (the cross-reference
// table is not trusted), each object's stream decoded through its filters
// (Flate, LZW, ASCIIHex, ASCII85, RunLength; Crypt as identity; images and
// the filters not decoded here leave the stream as it stood before them),
// the objects inside object streams, and the JavaScript of /JS strings.
// Documents encrypted with an empty user password are decrypted (RC4,
// AES-128 and AES-256, revisions 2 to 5 of the standard handler); others
// are noted, their streams taken as they stand.
//
// Members: "obj N G" (a stream decoded, or an object's text), "obj N G
// javascript" (its /JS strings). Which objects become members follows
// clamscan: streams without filters or with Flate, ASCIIHex, ASCII85 or
// DCT ones, and objects marked as JavaScript, actions, page contents or
// embedded files; images other than DCT ones are passed over.
#pragma once
#include <cstdint>
#include <memory>

#include "archive_reader.h"

namespace qdx {

// The most objects read from one document (objects in object streams
// included); the rest are noted.
inline constexpr uint32_t kMaxPdfObjects = 100000;
// The most filters applied to one stream (as clamscan).
inline constexpr uint32_t kMaxPdfFilters = 64;
// The most bytes of one object's text read to parse its dictionary (its
// JavaScript is read from as much as a stream may hold).
inline constexpr uint32_t kMaxPdfObjectText = 1u << 20;

// `hold`: the most bytes of one stream, and of each filter's output, held
// in memory (more is cut and noted).
std::unique_ptr<ArchiveReader> openPdf(RandomAccess& file, uint64_t hold = uint64_t{64} << 20);

}  // namespace qdx
