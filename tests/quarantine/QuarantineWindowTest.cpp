// The quarantine window on entries made as the scanner makes them: what was
// deleted, disinfected or renamed comes back byte for byte with its
// attributes and times, never over a file standing there, and a damaged
// entry or an unsafe store is refused with an error box.
#undef _WIN32_WINNT
#define _WIN32_WINNT 0x0600
#include "quarantine/WideText.h"
#include "quarantine_format/StoreSecurity.h"
#include "support/QuarantineStore.h"
#include "support/Scratch.h"

#include <windows.h>

#include <sddl.h>

#include <gtest/gtest.h>

using namespace quendix;
using namespace quendix::testing;
using quendix::quarantine::Action;
using quendix::quarantine::narrow;
using quendix::quarantine::widen;

namespace {

struct QuarantineTest : ::testing::Test {
    ScratchDir scratch;
    std::wstring here = widen(scratch.path());
    std::wstring store = here + L"\\Quendix\\Quarantine";
    QuarantineTest() { makeStoreFolder(store); }

    std::wstring make(const std::wstring& name, const std::string& bytes, DWORD attributes, std::uint64_t written)
    {
        const std::wstring path = here + L"\\" + name;
        writeFile(narrow(path), bytes);
        HANDLE h = CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        FILETIME t{static_cast<DWORD>(written), static_cast<DWORD>(written >> 32)};
        SetFileTime(h, nullptr, &t, &t);
        CloseHandle(h);
        SetFileAttributesW(path.c_str(), attributes);
        return path;
    }
    int entriesLeft() const
    {
        WIN32_FIND_DATAW found{};
        HANDLE find = FindFirstFileW((store + L"\\*.qdq").c_str(), &found);
        int n = 0;
        if (find != INVALID_HANDLE_VALUE) {
            do
                ++n;
            while (FindNextFileW(find, &found));
            FindClose(find);
        }
        return n;
    }
};

// Binary bytes with every value, so that nothing is lost in a text mode.
std::string sampleBytes(int seed, std::size_t size)
{
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<char>((i * 7 + seed) ^ (i >> 8));
    return bytes;
}

constexpr std::uint64_t kWritten = 130000000000000000ull;   // 2012

TEST_F(QuarantineTest, DeletedDisinfectedAndRenamedFilesComeBackAsTheyWere)
{
    const std::string deletedBytes = sampleBytes(1, 300000), cleanedBytes = sampleBytes(2, 5000),
                      infectedBytes = sampleBytes(3, 7000), renamedBytes = sampleBytes(4, 1);
    const std::wstring deleted = make(L"report.doc", deletedBytes, FILE_ATTRIBUTE_READONLY, kWritten);
    const std::wstring disinfected = make(L"tool.exe", infectedBytes, FILE_ATTRIBUTE_ARCHIVE, kWritten + 1234567);
    const std::wstring renamed = make(L"setup.com", renamedBytes, FILE_ATTRIBUTE_ARCHIVE, kWritten + 99);
    const FileState deletedBefore = fileState(deleted), disinfectedBefore = fileState(disinfected),
                    renamedBefore = fileState(renamed);
    // As the scanner leaves them: one gone, one cleaned in place, one renamed.
    quarantineFile(store, deleted, "Test.File", Action::Deleted);
    quarantineFile(store, disinfected, "Test.Virus", Action::Disinfected);
    quarantineFile(store, renamed, "Test.Variant", Action::Renamed, here + L"\\setup.vom");
    SetFileAttributesW(deleted.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileW(deleted.c_str());
    writeFile(narrow(disinfected), cleanedBytes);
    MoveFileW(renamed.c_str(), (here + L"\\setup.vom").c_str());

    QuarantineDriver driver(store);
    ASSERT_EQ(driver.window.EntryList.count(), 3);
    EXPECT_EQ(driver.window.EntryList.cell(driver.rowOf(narrow(disinfected)), 2), "Test.Virus");
    EXPECT_EQ(driver.window.EntryList.cell(driver.rowOf(narrow(disinfected)), 3), "Disinfected");
    EXPECT_EQ(driver.window.EntryList.cell(driver.rowOf(narrow(deleted)), 4), "300,000");

    driver.restore(driver.rowOf(narrow(deleted)));
    driver.restore(driver.rowOf(narrow(renamed)));
    // The cleaned file stands where the original was: another name is asked
    // for, and a name that is taken too is asked for again.
    const std::wstring other = here + L"\\tool (infected).exe";
    driver.chosenPaths = {here + L"\\setup.vom", other};
    driver.restore(driver.rowOf(narrow(disinfected)));
    EXPECT_TRUE(driver.errors.texts.empty()) << driver.errors.texts.front();
    EXPECT_EQ(driver.dialogTitles.size(), 2u);

    for (const auto& [path, before] : {std::pair{deleted, deletedBefore}, std::pair{renamed, renamedBefore},
                                       std::pair{other, disinfectedBefore}}) {
        const FileState after = fileState(path);
        EXPECT_TRUE(after.bytes == before.bytes) << narrow(path);
        EXPECT_EQ(after.attributes, before.attributes) << narrow(path);
        EXPECT_EQ(after.written, before.written) << narrow(path);
    }
    EXPECT_EQ(fileState(disinfected).bytes, cleanedBytes);
    EXPECT_EQ(fileState(here + L"\\setup.vom").bytes, renamedBytes);
    EXPECT_EQ(entriesLeft(), 0);
    EXPECT_EQ(driver.window.EntryList.count(), 0);
}

TEST_F(QuarantineTest, RestoreNeverOverwritesAndKeepsTheEntryWhenCancelled)
{
    const std::wstring path = make(L"letter.txt", "original", FILE_ATTRIBUTE_ARCHIVE, kWritten);
    quarantineFile(store, path, "Test.File", Action::Disinfected);
    writeFile(narrow(path), "cleaned");
    QuarantineDriver driver(store);
    driver.restore(0);   // the dialog is cancelled
    EXPECT_EQ(driver.dialogTitles.size(), 1u);
    EXPECT_EQ(fileState(path).bytes, "cleaned");
    EXPECT_EQ(entriesLeft(), 1);

    // Restore To a place that is taken asks again, too.
    driver.chosenPaths = {path, here + L"\\copy.txt"};
    driver.restoreTo(0);
    EXPECT_EQ(fileState(path).bytes, "cleaned");
    EXPECT_EQ(fileState(here + L"\\copy.txt").bytes, "original");
    EXPECT_EQ(entriesLeft(), 0);

    // A folder that is gone is not an error to stop at: another place is asked for.
    CreateDirectoryW((here + L"\\gone").c_str(), nullptr);
    const std::wstring lost = make(L"gone\\note.txt", "note", FILE_ATTRIBUTE_ARCHIVE, kWritten);
    quarantineFile(store, lost, "Test.File", Action::Deleted);
    removeTree(narrow(here + L"\\gone"));
    driver.window.refresh();
    driver.chosenPaths = {here + L"\\note.txt"};
    driver.restore(0);
    EXPECT_TRUE(driver.errors.texts.empty()) << driver.errors.texts.front();
    EXPECT_EQ(fileState(here + L"\\note.txt").bytes, "note");
}

TEST_F(QuarantineTest, DamagedEntryIsRefusedWithAnErrorAndStays)
{
    const std::wstring path = make(L"data.bin", sampleBytes(5, 20000), FILE_ATTRIBUTE_ARCHIVE, kWritten);
    const std::wstring entry = quarantineFile(store, path, "Test.File", Action::Deleted);
    DeleteFileW(path.c_str());
    // One payload byte changed: the header still reads well.
    std::string bytes = readFile(narrow(entry));
    bytes[bytes.size() - 100] ^= 0x40;
    writeFile(narrow(entry), bytes);
    // And one entry whose header is cut short.
    const std::wstring broken = store + L"\\20260101120000-0000ABCD.qdq";
    writeFile(narrow(broken), "QUENDIX-QUARANTINE 1\r\npath=C:\\x\r\n");

    QuarantineDriver driver(store);
    ASSERT_EQ(driver.window.EntryList.count(), 2);
    EXPECT_EQ(driver.window.EntryList.cell(0, 3), "Damaged");
    driver.restore(0);
    driver.restore(driver.rowOf(narrow(path)));
    ASSERT_EQ(driver.errors.texts.size(), 2u);
    for (const std::string& text : driver.errors.texts)
        EXPECT_NE(text.find("damaged"), std::string::npos) << text;
    EXPECT_FALSE(fileExists(narrow(path)));
    EXPECT_EQ(entriesLeft(), 2);
    EXPECT_EQ(readFile(narrow(entry)), bytes);
    // From now on it is listed as what it is.
    EXPECT_EQ(driver.window.EntryList.cell(1, 3), "Damaged");
}

TEST_F(QuarantineTest, DeleteForGoodAsksFirst)
{
    const std::wstring path = make(L"a.com", "infected", FILE_ATTRIBUTE_ARCHIVE, kWritten);
    quarantineFile(store, path, "Test.File", Action::Deleted);
    QuarantineDriver driver(store);
    driver.deleteForGood(0);   // answered No
    EXPECT_EQ(entriesLeft(), 1);
    driver.questions.answers = {false, true};
    driver.deleteForGood(0);
    EXPECT_EQ(driver.questions.texts.size(), 2u);
    EXPECT_EQ(entriesLeft(), 0);
    EXPECT_EQ(driver.window.EntryList.count(), 0);
}

TEST_F(QuarantineTest, StoreOthersMayWriteToIsNotRead)
{
    const std::wstring path = make(L"a.com", "infected", FILE_ATTRIBUTE_ARCHIVE, kWritten);
    quarantineFile(store, path, "Test.File", Action::Deleted);
    PSECURITY_DESCRIPTOR open = nullptr;
    ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:(A;OICI;FA;;;WD)", SDDL_REVISION_1, &open,
                                                                     nullptr));
    ASSERT_TRUE(SetFileSecurityW(store.c_str(), DACL_SECURITY_INFORMATION, open));
    LocalFree(open);
    QuarantineDriver driver(store);
    EXPECT_EQ(driver.window.EntryList.count(), 0);
    ASSERT_EQ(driver.errors.texts.size(), 1u);
    EXPECT_NE(driver.errors.texts[0].find("not safe"), std::string::npos) << driver.errors.texts[0];
}

TEST_F(QuarantineTest, RestoreThroughAFolderThatLeadsElsewhereWritesNothing)
{
    // C:\...\test_quarantine\linked leads to ...\test_quarantine-elsewhere (made by CTest).
    const std::wstring linked = here.substr(0, here.find_last_of(L'\\')) + L"\\linked";
    if (!(GetFileAttributesW(linked.c_str()) & FILE_ATTRIBUTE_REPARSE_POINT) ||
        GetFileAttributesW(linked.c_str()) == INVALID_FILE_ATTRIBUTES)
        GTEST_SKIP() << "no linked folder: run through CTest";
    const std::wstring path = linked + L"\\planted.dll";
    writeFile(narrow(path), "payload");
    quarantineFile(store, path, "Test.File", Action::Deleted);
    DeleteFileW(path.c_str());
    QuarantineDriver driver(store);
    driver.restore(0);
    ASSERT_EQ(driver.errors.texts.size(), 1u);
    EXPECT_NE(driver.errors.texts[0].find("another place"), std::string::npos) << driver.errors.texts[0];
    EXPECT_FALSE(fileExists(narrow(path)));
    EXPECT_EQ(entriesLeft(), 1);
}

// Files "another user" owns, by their file number (Wine keeps no owners, and
// shows every file as the running user's); the rest read as the
// Administrators'. Reading the owner itself is shown on Windows only.
struct ForeignOwners {
    std::vector<std::uint64_t> files;
    static std::uint64_t indexOf(HANDLE h)
    {
        BY_HANDLE_FILE_INFORMATION info{};
        GetFileInformationByHandle(h, &info);
        return std::uint64_t(info.nFileIndexHigh) << 32 | info.nFileIndexLow;
    }
    ForeignOwners()
    {
        quarantine::setOwnerReader([this](void* h) {
            const std::uint64_t index = indexOf(static_cast<HANDLE>(h));
            for (std::uint64_t f : files)
                if (f == index)
                    return quarantine::Principal::Other;
            return quarantine::Principal::Administrators;
        });
    }
    ~ForeignOwners() { quarantine::setOwnerReader({}); }
    void add(const std::wstring& path)
    {
        HANDLE h = CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                               nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
        files.push_back(indexOf(h));
        CloseHandle(h);
    }
};

// An entry someone else planted (a standard user who made the store first)
// is neither listed nor restored, and the window says why it passes over it.
TEST_F(QuarantineTest, EntriesOthersOwnArePassedOverAndNeverRestored)
{
    const std::wstring ours = make(L"ours.com", "ours", FILE_ATTRIBUTE_ARCHIVE, kWritten);
    const std::wstring theirs = make(L"theirs.dll", "planted bytes", FILE_ATTRIBUTE_ARCHIVE, kWritten);
    quarantineFile(store, ours, "Test.File", Action::Deleted);
    const std::wstring planted = quarantineFile(store, theirs, "Test.File", Action::Deleted);
    DeleteFileW(ours.c_str());
    DeleteFileW(theirs.c_str());
    ForeignOwners others;
    others.add(planted);

    QuarantineDriver driver(store);
    ASSERT_EQ(driver.window.entries().size(), 1u);
    EXPECT_EQ(driver.rowOf(narrow(theirs)), -1);
    EXPECT_NE(driver.rowOf(narrow(ours)), -1);
    const std::string label = driver.window.StoreLabel.text();
    EXPECT_NE(label.find("1 file passed over, owned by a user other than SYSTEM or the Administrators"),
              std::string::npos)
        << label;
    EXPECT_TRUE(driver.errors.texts.empty());

    // Even asked for directly (a listing made before it was planted).
    quarantine::StoredEntry stale;
    stale.file = planted;
    EXPECT_THROW(quarantine::restoreEntry(stale, theirs), quarantine::ForeignEntry);
    EXPECT_FALSE(fileExists(narrow(theirs)));
    EXPECT_EQ(entriesLeft(), 2);
}

// A store folder someone else owns is not read at all.
TEST_F(QuarantineTest, StoreSomeoneElseOwnsIsNotRead)
{
    const std::wstring path = make(L"a.com", "infected", FILE_ATTRIBUTE_ARCHIVE, kWritten);
    quarantineFile(store, path, "Test.File", Action::Deleted);
    ForeignOwners others;
    others.add(store);
    QuarantineDriver driver(store);
    EXPECT_EQ(driver.window.EntryList.count(), 0);
    ASSERT_EQ(driver.errors.texts.size(), 1u);
    EXPECT_NE(driver.errors.texts[0].find("is not safe: it is owned by a user other than SYSTEM or the Administrators"),
              std::string::npos)
        << driver.errors.texts[0];
}

} // namespace
