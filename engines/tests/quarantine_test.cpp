// The scanner's quarantine against what others leave in it or do meanwhile:
// a store folder someone else made, entries and files planted in it, a store
// at its limit, a file written to while it is kept, and the signature image
// changed under a scan. Wine keeps no owners (every file reads as the running
// user's), so these tests say through the store's owner reader which files
// "someone else" owns; reading the owner from Windows is the one part shown
// on Windows only.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "compiled_signatures.h"
#include "quarantine_format/EntryHeader.h"
#include "quarantine_format/Payload.h"
#include "quarantine_format/StoreSecurity.h"
#include "scan.h"
#include "test_support.h"

using namespace qdx;
using namespace qdxtest;
namespace format = quendix::quarantine;

namespace {

std::wstring wide(const std::string& s) { return std::wstring(s.begin(), s.end()); }

uint64_t fileIndex(HANDLE h) {
    BY_HANDLE_FILE_INFORMATION info{};
    GetFileInformationByHandle(h, &info);
    return uint64_t{info.nFileIndexHigh} << 32 | info.nFileIndexLow;
}

uint64_t fileIndex(const std::string& path) {
    HANDLE h = CreateFileA(path.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    EXPECT_NE(h, INVALID_HANDLE_VALUE) << path;
    const uint64_t index = fileIndex(h);
    CloseHandle(h);
    return index;
}

// Files and folders "another user" owns, by their file number; everything
// else reads as the Administrators'. Put back when the test ends.
struct ForeignOwners {
    std::set<uint64_t> files;
    ForeignOwners() {
        format::setOwnerReader([this](void* h) {
            return files.count(fileIndex(static_cast<HANDLE>(h))) ? format::Principal::Other
                                                                   : format::Principal::Administrators;
        });
    }
    ~ForeignOwners() { format::setOwnerReader({}); }
    void add(const std::string& path) { files.insert(fileIndex(path)); }
};

struct ScanRun {
    std::vector<std::string> lines;
    int counted = 0;
};

ScanRun scan(const std::string& path, int action, QuarantineStore& store, ScanMonitor* monitor = nullptr) {
    Request r;
    r.path = path;
    r.target = UserSpecified;
    r.action = action;
    r.fileSet = 2;
    ScanRun run;
    Scanner s(definitions(), r, [&](const std::string& l) {
        run.lines.push_back(l);
        run.counted += countsAsInfection(l, action);
    }, monitor, &store);
    s.scanRequest();
    s.finish();
    return run;
}

int linesBeginning(const ScanRun& run, const std::string& prefix) {
    int n = 0;
    for (const auto& l : run.lines) n += l.rfind(prefix, 0) == 0;
    return n;
}

std::string lineBeginning(const ScanRun& run, const std::string& prefix) {
    for (const auto& l : run.lines)
        if (l.rfind(prefix, 0) == 0) return l;
    return {};
}

// The entries of a store, read by the same code the quarantine window reads
// them with, oldest name first.
struct Kept {
    std::string name;
    format::EntryHeader header;
    std::string bytes;
};

std::vector<Kept> entriesIn(const std::string& folder) {
    std::vector<std::string> names;
    WIN32_FIND_DATAA e;
    HANDLE find = FindFirstFileA((folder + "\\*.qdq").c_str(), &e);
    if (find != INVALID_HANDLE_VALUE) {
        do names.push_back(e.cFileName);
        while (FindNextFileA(find, &e));
        FindClose(find);
    }
    std::sort(names.begin(), names.end());
    std::vector<Kept> out;
    for (const std::string& name : names) {
        const std::string data = readFile(folder + "\\" + name);
        Kept k{name, {}, {}};
        try {
            k.header = format::parseEntryHeader(data, data.size());
            format::PayloadDecoder decoder(k.header.size, [&](const std::uint8_t* p, std::size_t n) {
                k.bytes.append(reinterpret_cast<const char*>(p), n);
            });
            decoder.feed(reinterpret_cast<const std::uint8_t*>(data.data()) + k.header.headerBytes,
                         data.size() - k.header.headerBytes);
            decoder.finish();
        } catch (const format::DamagedEntry&) {
            k.header.path = "(damaged)";
        }
        out.push_back(std::move(k));
    }
    return out;
}

std::string unixPath(const std::string& path) {
    using UnixName = char*(CDECL*)(LPCWSTR);
    static const auto unixName = reinterpret_cast<UnixName>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name")));
    const char* name = unixName ? unixName(wide(path).c_str()) : nullptr;
    if (!name) throw std::runtime_error("no Unix path for " + path);
    return name;
}

// Runs a Unix command line (Wine starts Unix programs too) and waits a moment
// for its effect: Wine may signal the process before it has run.
void runUnix(std::string command) {
    STARTUPINFOA si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    ASSERT_TRUE(CreateProcessA("Z:\\bin\\sh", command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi));
    WaitForSingleObject(pi.hProcess, INFINITE);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    Sleep(300);
}

// Distinct bytes for each file, so that an entry shows whose it is.
std::string infected(int n) { return signature("EICAR-Test-File") + " file " + std::to_string(n); }

}  // namespace

// A store folder someone else made (a standard user may make it before the
// product does) is moved aside with what was planted in it, and a new one
// holds the scanner's entries; so is a parent folder someone else made.
TEST(QuarantineOwner, FolderSomeoneElseMadeIsSetAsideAndMadeAnew) {
    for (const bool parentToo : {false, true}) {
        SCOPED_TRACE(parentToo ? "the parent was made by someone else" : "the store was made by someone else");
        const std::string home = freshDir(parentToo ? "owner-parent" : "owner-store");
        const std::string parent = home + "\\Quendix", folder = parent + "\\Quarantine";
        CreateDirectoryA(parent.c_str(), nullptr);
        CreateDirectoryA(folder.c_str(), nullptr);
        writeFile(folder + "\\20000101000000-0BADF00D.qdq", "planted");
        ForeignOwners others;
        const std::string made = parentToo ? parent : folder;
        const uint64_t theirs = fileIndex(made);
        others.add(made);
        others.add(folder + "\\20000101000000-0BADF00D.qdq");
        const std::string files = freshDir(parentToo ? "owner-parent-files" : "owner-store-files");
        writeFile(files + "\\eicar.com", infected(1));

        QuarantineStore store(wide(folder));
        const ScanRun run = scan(files, Delete, store);
        EXPECT_EQ(linesBeginning(run, "File deleted: " + files + "\\eicar.com (EICAR-Test-File)"), 1);
        const std::string moved = (parentToo ? parent : folder) + ".untrusted-";
        const std::string note = lineBeginning(run, "Scanning: the quarantine folder " + (parentToo ? parent : folder) +
                                                        " belonged to a user other than SYSTEM or the Administrators");
        ASSERT_FALSE(note.empty());
        EXPECT_NE(note.find("it was moved to " + moved), std::string::npos) << note;
        EXPECT_EQ(run.counted, 1);

        const std::vector<Kept> kept = entriesIn(folder);
        ASSERT_EQ(kept.size(), 1u);
        EXPECT_EQ(kept[0].header.path, files + "\\eicar.com");
        EXPECT_EQ(kept[0].bytes, infected(1));
        EXPECT_NE(fileIndex(made), theirs);
        // The planted file went along with the folder it was in.
        WIN32_FIND_DATAA e;
        HANDLE find = FindFirstFileA((moved + "*").c_str(), &e);
        ASSERT_NE(find, INVALID_HANDLE_VALUE);
        FindClose(find);
        const std::string aside = (parentToo ? home : parent) + "\\" + e.cFileName;
        EXPECT_EQ(readFile(aside + (parentToo ? "\\Quarantine" : "") + "\\20000101000000-0BADF00D.qdq"), "planted");
    }
}

// A link in the store's place is never used nor moved (moving it could move
// what it leads to), whoever made it: the change goes ahead without a copy,
// and its line says why; what the link leads to is untouched.
TEST(QuarantineOwner, LinkInTheStoresPlaceIsNeverUsed) {
    const std::string home = freshDir("owner-link"), elsewhere = freshDir("owner-link-target");
    CreateDirectoryA((home + "\\Quendix").c_str(), nullptr);
    const std::string folder = home + "\\Quendix\\Quarantine";
    writeFile(elsewhere + "\\kept.txt", "theirs");
    runUnix("/bin/sh -c \"ln -s '" + unixPath(elsewhere) + "' '" + unixPath(home + "\\Quendix") + "/Quarantine'\"");
    ASSERT_TRUE(GetFileAttributesA(folder.c_str()) & FILE_ATTRIBUTE_REPARSE_POINT);
    const std::string files = freshDir("owner-link-files");
    for (const bool theirs : {false, true}) {
        SCOPED_TRACE(theirs ? "made by someone else" : "made by the Administrators");
        ForeignOwners others;
        if (theirs) others.add(folder);
        writeFile(files + "\\a.com", infected(1));
        QuarantineStore store(wide(folder));
        const ScanRun run = scan(files, Delete, store);
        EXPECT_EQ(lineBeginning(run, "File deleted: "),
                  "File deleted: " + files + "\\a.com (EICAR-Test-File); no copy was kept, since the quarantine could "
                  "not take it: the quarantine folder " + folder + " is a link or not a folder");
        EXPECT_TRUE(GetFileAttributesA(folder.c_str()) & FILE_ATTRIBUTE_REPARSE_POINT);
        EXPECT_EQ(readFile(elsewhere + "\\kept.txt"), "theirs");
        EXPECT_TRUE(entriesIn(elsewhere).empty());
    }
}

// Only the scanner's own entries count toward the limit, by what they take
// on the disk: a huge planted file and an entry someone else owns count for
// nothing and stay. Past the limit the oldest of the scanner's entries go,
// and the results say so.
TEST(QuarantineLimit, CountsOwnEntriesOnlyAndMakesRoomFromTheOldest) {
    const std::string folder = freshDir("limit") + "\\Quendix\\Quarantine";
    const std::string files = freshDir("limit-files");
    {
        QuarantineStore made(wide(folder));
        Handle scratch;
        std::string why;
        ASSERT_EQ(made.scratch(scratch, why), 0u) << why;
    }
    // A planted file far beyond the limit, sparse, and a foreign "entry" that is older than any.
    HANDLE big = CreateFileA((folder + "\\planted.bin").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(big, INVALID_HANDLE_VALUE);
    LARGE_INTEGER at;
    at.QuadPart = 64ll << 20;
    SetFilePointerEx(big, at, nullptr, FILE_BEGIN);
    SetEndOfFile(big);
    CloseHandle(big);
    writeFile(folder + "\\19990101000000-0BADF00D.qdq", "someone else's");
    ForeignOwners others;
    others.add(folder + "\\19990101000000-0BADF00D.qdq");

    // What one entry takes here, kept in a store of its own.
    QuarantineLimits limits;
    {
        QuarantineStore measure(wide(freshDir("limit-measure") + "\\Quendix\\Quarantine"));
        writeFile(files + "\\f0.com", infected(0));
        ASSERT_EQ(scan(files + "\\f0.com", Delete, measure).counted, 1);
        limits.storeSize = 3 * measure.bytesHeld();  // three entries
        ASSERT_GT(limits.storeSize, 0u);
    }
    QuarantineStore store(wide(folder), limits);
    std::vector<std::string> order;
    for (int n = 1; n <= 6; ++n) {
        writeFile(files + "\\f" + std::to_string(n) + ".com", infected(n));
        const ScanRun run = scan(files + "\\f" + std::to_string(n) + ".com", Delete, store);
        ASSERT_EQ(linesBeginning(run, "File deleted: "), 1) << (run.lines.empty() ? "" : run.lines.back());
        EXPECT_EQ(lineBeginning(run, "File deleted: ").find("no copy"), std::string::npos);
        EXPECT_EQ(run.counted, 1);
        if (n > 3) {
            const std::string note = lineBeginning(run, "Scanning: the quarantine reached its limit of ");
            EXPECT_FALSE(note.empty()) << "file " << n;
        }
        EXPECT_LE(store.bytesHeld(), limits.storeSize);
    }
    std::set<std::string> paths;
    for (const Kept& k : entriesIn(folder))
        if (k.header.path != "(damaged)") paths.insert(k.header.path);
    EXPECT_EQ(paths, (std::set<std::string>{files + "\\f4.com", files + "\\f5.com", files + "\\f6.com"}));
    EXPECT_EQ(readFile(folder + "\\19990101000000-0BADF00D.qdq"), "someone else's");
    EXPECT_TRUE(exists(folder + "\\planted.bin"));

    // A new scan counts the store afresh, with the same result.
    QuarantineStore later(wide(folder), limits);
    writeFile(files + "\\f7.com", infected(7));
    const ScanRun run = scan(files + "\\f7.com", Delete, later);
    EXPECT_EQ(linesBeginning(run, "File deleted: "), 1);
    EXPECT_FALSE(lineBeginning(run, "Scanning: the quarantine reached its limit").empty());
    EXPECT_EQ(entriesIn(folder).size(), 4u);  // three of ours and the foreign one
}

// When no copy can be kept at all, the action the user chose still happens,
// and its line says that no copy was kept and why.
TEST(QuarantineLimit, NoCopyLetsTheChosenActionDecideAndSaysSo) {
    const std::string dir = freshDir("nocopy");
    const std::string folder = freshDir("store-nocopy") + "\\Quendix\\Quarantine";
    QuarantineLimits limits;
    limits.storeSize = 100;  // less than any entry
    QuarantineStore tiny(wide(folder), limits);
    const std::string why = "; no copy was kept, since the quarantine could not take it: its copy would take more "
                            "than the quarantine's whole limit";
    writeFile(dir + "\\a.com", infected(1));
    ScanRun run = scan(dir, Delete, tiny);
    EXPECT_EQ(linesBeginning(run, "File deleted: " + dir + "\\a.com (EICAR-Test-File)" + why), 1);
    EXPECT_FALSE(exists(dir + "\\a.com"));
    writeFile(dir + "\\b.com", infected(2));
    run = scan(dir, Rename, tiny);
    EXPECT_EQ(linesBeginning(run, "File renamed: " + dir + "\\b.com to b.vom (EICAR-Test-File)" + why), 1);
    EXPECT_EQ(readFile(dir + "\\b.vom"), infected(2));
    DeleteFileA((dir + "\\b.vom").c_str());
    writeFile(dir + "\\c.com", host() + signature("Quendix-Test.Tail.A"));
    run = scan(dir, Disinfect, tiny);
    EXPECT_EQ(linesBeginning(run, "Virus removed: Quendix-Test.Tail.A in " + dir + "\\c.com" + why), 1);
    EXPECT_EQ(readFile(dir + "\\c.com"), host());
    EXPECT_EQ(run.counted, 1);
    EXPECT_TRUE(entriesIn(folder).empty());

    // A store that cannot be used at all (its folder cannot be made) takes no
    // clean copy either: disinfection then deletes, as for a virus that
    // cannot be cut out, and says that no copy was kept.
    QuarantineStore unusable(wide(dir + "\\missing\\Quendix\\Quarantine"));
    writeFile(dir + "\\d.com", host() + signature("Quendix-Test.Tail.A"));
    run = scan(dir, Disinfect, unusable);
    const std::string deleted = lineBeginning(run, "File deleted: " + dir + "\\d.com (Quendix-Test.Tail.A)");
    EXPECT_NE(deleted.find("; no copy was kept, since the quarantine could not take it: cannot open the folder"),
              std::string::npos)
        << deleted;
    EXPECT_FALSE(exists(dir + "\\d.com"));
}

// Nobody may write to a file between its quarantine copy and its change:
// a program that has it open for writing keeps it unchanged (with a line),
// and one that tries to open it meanwhile is refused, so that every write
// that succeeded is in the kept copy.
TEST(QuarantineCopy, NoWriteIsLostBetweenTheCopyAndTheChange) {
    const std::string folder = freshDir("store-writes") + "\\Quendix\\Quarantine";
    QuarantineStore store(wide(folder));
    const std::string dir = freshDir("writes");
    const std::string path = dir + "\\big.com";
    const std::string body = infected(1) + std::string(3 << 20, 'x');  // several chunks

    for (int action : {Delete, Rename, Disinfect}) {
        SCOPED_TRACE("action " + std::to_string(action));
        writeFile(path, action == Disinfect ? host() + signature("Quendix-Test.Tail.A") + std::string(3 << 20, 'x')
                                            : body);
        HANDLE writer = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(writer, INVALID_HANDLE_VALUE);
        const std::string before = readFile(path);
        const ScanRun held = scan(dir, action, store);
        CloseHandle(writer);
        EXPECT_EQ(linesBeginning(held, "Error: could not "), 1);
        EXPECT_NE(held.lines.back().find("another program has it open for writing"), std::string::npos)
            << held.lines.back();
        EXPECT_EQ(readFile(path), before);
        EXPECT_TRUE(entriesIn(folder).empty());

        // Writes tried at every question the scan asks while it checks the file.
        struct Writer : ScanMonitor {
            std::string path, content;
            int written = 0, refused = 0;
            bool keepGoing(const std::wstring& checking, const ScanFigures&) override {
                if (checking != wide(path)) return true;
                HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                       nullptr, OPEN_EXISTING, 0, nullptr);
                if (h == INVALID_HANDLE_VALUE) {
                    refused += GetLastError() == ERROR_SHARING_VIOLATION;
                    return true;
                }
                const std::string mark = "written " + std::to_string(++written);
                SetFilePointer(h, 2 << 20, nullptr, FILE_BEGIN);
                DWORD n = 0;
                WriteFile(h, mark.data(), static_cast<DWORD>(mark.size()), &n, nullptr);
                CloseHandle(h);
                content.replace(2 << 20, mark.size(), mark);
                return true;
            }
        } monitor;
        monitor.path = path;
        monitor.content = before;
        const ScanRun run = scan(dir, action, store, &monitor);
        EXPECT_EQ(run.counted, 1) << (run.lines.empty() ? "" : run.lines.back());
        EXPECT_GT(monitor.refused, 0) << "no write was tried while the file was kept";
        const std::vector<Kept> kept = entriesIn(folder);
        ASSERT_EQ(kept.size(), 1u);
        EXPECT_TRUE(kept[0].bytes == monitor.content) << "a write that succeeded is missing from the kept copy";
        for (const Kept& k : kept) DeleteFileA((folder + "\\" + k.name).c_str());
        DeleteFileA(path.c_str());
        DeleteFileA((dir + "\\big.vom").c_str());
    }
}

// The compiled signature image stays open, denying writes, as long as a
// store uses its view: nothing can change it in place under a running scan.
TEST(SignatureImage, CannotBeWrittenWhileInUse) {
    const std::string folder = freshDir("image-held") + "\\signatures";
    CreateDirectoryA(folder.c_str(), nullptr);
    writeFile(folder + "\\test.ndb", "Win.Test.Body-1-0:0:*:6d6164652d757020626f6479\n");
    {
        SignatureStore building;
        ImageSummary summary;
        loadCompiledSignatures(folder, nullptr, building, summary);
    }
    const std::string image = folder + "\\" + kImageName;
    ASSERT_TRUE(exists(image));
    auto openForWriting = [&] {
        HANDLE h = CreateFileA(image.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                               nullptr, OPEN_EXISTING, 0, nullptr);
        const DWORD error = GetLastError();
        if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
        return h == INVALID_HANDLE_VALUE ? error : 0ul;
    };
    {
        auto store = std::make_unique<SignatureStore>();
        ImageSummary summary;
        loadCompiledSignatures(folder, nullptr, *store, summary);
        EXPECT_EQ(openForWriting(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    }
    EXPECT_EQ(openForWriting(), 0ul);
}
