// The type of an object (a file or a member), named from its first bytes
// alone: what decides which reader opens it. Cheap enough to ask of every
// object: a few comparisons at fixed offsets, no search.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace qdx {

enum class FileType : uint8_t {
    Other,
    // Archives and compressed files.
    Zip,
    Rar,
    SevenZip,
    Gzip,
    Bzip2,
    Xz,
    Lzma,
    Lzip,
    Zstd,
    Compress,
    Tar,
    Cpio,
    Iso9660,
    Lha,
    Xar,
    Ar,
    Cab,
    Chm,
    Szdd,
    Kwaj,
    Arj,
    // Everything else this engine tells apart.
    WindowsProgram,
    Ole2,
    Pdf,
    Rtf,
    OneNote,
    Mail,
    Uuencoded,
    Html,
    Text,
    // Never recognised by their bytes: named by the reader of the file they
    // lie in (an OLE2 stream by its name).
    Ole10Native,
    PowerPointDocument,
    // Recognised by their bytes again; appended, as the values above are
    // kept. A mail message's TNEF stream (winmail.dat) and its attachments.
    Tnef,
    // A Macintosh file's forks in BinHex 4.0 text.
    BinHex,
    // An NSIS installer's data: never by an object's first bytes, only by
    // its header inside a Windows program (embedded.h).
    Nsis,
    // A compiled AutoIt script and the files it carries, after their mark.
    AutoIt,
    // An InstallShield installer's files of the MSI kind, after "InstallShield".
    InstallShieldMsi,
};

// The last value above: stored images are checked against it.
inline constexpr FileType kLastFileType = FileType::InstallShieldMsi;

// `head`: the object's first bytes, as many as there are up to 64 KiB (an
// ISO 9660 image is known by its volume descriptor at 32 KiB).
FileType recogniseType(std::string_view head);

// The types opened as containers of members.
bool isContainer(FileType type);
// Those of them that are documents (OLE2, PDF, RTF, OneNote, mail and its
// parts: TNEF, uuencoded files; the parts of OLE2 files read as
// containers): opened even where archives are not.
bool isDocumentContainer(FileType type);

// A short name for the results file and notes ("7z", "gzip", ...).
const char* typeName(FileType type);

}  // namespace qdx
