// Saved mail: one message, or an mbox of many ("From " lines between
// them). Headers are read with their folding; multipart bodies to
// kMaxMailNesting levels, their boundaries found as tolerant mail readers
// find them (anywhere in a line, junk after them); each leaf part is a
// member, decoded from base64, quoted-printable or uuencode; text bodies
// and the text after a multipart's closing boundary are members too, with
// uuencoded blocks in them cut out into members of their own; a
// message/rfc822 part is a member read again as mail.
// Hostile input is bounded: lines are cut at kMaxMailLine bytes, headers
// at kMaxMailHeaderBytes per entity, nesting deeper than kMaxMailNesting
// is read as a plain body; the reader holds one line and one decoded line
// at a time, never a body.
#pragma once
#include <cstddef>
#include <memory>

#include "archive_reader.h"

namespace qdx {

inline constexpr size_t kMaxMailLine = size_t{64} * 1024;
inline constexpr size_t kMaxMailHeaderBytes = size_t{256} * 1024;
inline constexpr size_t kMaxMailNesting = 16;
// Uuencoded blocks taken from one text body.
inline constexpr size_t kMaxMailUuBlocks = 64;

std::unique_ptr<ArchiveReader> openMail(RandomAccess& file);
// A text file that begins with a uuencoded block: its blocks as members.
std::unique_ptr<ArchiveReader> openUuencoded(RandomAccess& file);

}  // namespace qdx
