// What Windows reads from the built programs before they run: the manifest
// (elevation, supported systems, DPI awareness), the version information
// Explorer shows, and the program icon in every size Windows picks from.
#include "support/ProgramDriver.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <set>
#include <string>
#include <vector>

using quendix::e2e::folderOfThisProgram;

namespace {

std::string binFile(const char* name)
{
    return folderOfThisProgram() + "\\..\\bin\\" + name;
}

// A program's resources, loaded without running it.
class Resources {
public:
    explicit Resources(const std::string& path)
        : module_(LoadLibraryExA(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE))
    {
    }
    ~Resources()
    {
        if (module_)
            FreeLibrary(module_);
    }
    Resources(const Resources&) = delete;
    Resources& operator=(const Resources&) = delete;
    bool loaded() const { return module_ != nullptr; }

    std::string bytes(LPCSTR type, LPCSTR name) const
    {
        HRSRC found = FindResourceA(module_, name, type);
        if (!found)
            return {};
        HGLOBAL data = LoadResource(module_, found);
        return std::string(static_cast<const char*>(LockResource(data)), SizeofResource(module_, found));
    }

private:
    HMODULE module_;
};

const char* const kSupportedSystems[] = {
    "{e2011457-1546-43c5-a5fe-008deee3d3f0}",   // Vista
    "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}",   // 7
    "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}",   // 8
    "{1f676c76-80e1-4239-95bb-83d0f6d0da78}",   // 8.1
    "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}",   // 10 and 11
};

std::string versionString(const std::vector<char>& info, const char* name)
{
    char* value = nullptr;
    UINT length = 0;
    std::string key = std::string("\\StringFileInfo\\040904E4\\") + name;
    if (!VerQueryValueA(info.data(), key.c_str(), reinterpret_cast<void**>(&value), &length) || !value)
        return "(none)";
    return std::string(value, length && value[length - 1] == '\0' ? length - 1 : length);
}

} // namespace

TEST(ProgramFiles, TheFrontEndAsksForElevationAndPerMonitorDpiWithoutVisualStyles)
{
    Resources program(binFile("quendix.exe"));
    ASSERT_TRUE(program.loaded());
    std::string manifest = program.bytes(MAKEINTRESOURCEA(24), MAKEINTRESOURCEA(1));
    ASSERT_FALSE(manifest.empty());
    EXPECT_NE(manifest.find("level=\"requireAdministrator\""), std::string::npos);
    EXPECT_NE(manifest.find(">true/pm</dpiAware>"), std::string::npos);
    EXPECT_NE(manifest.find(">PerMonitorV2, PerMonitor</dpiAwareness>"), std::string::npos);
    for (const char* system : kSupportedSystems)
        EXPECT_NE(manifest.find(std::string("<supportedOS Id=\"") + system + "\"/>"), std::string::npos) << system;
    EXPECT_EQ(manifest.find("Microsoft.Windows.Common-Controls"), std::string::npos);

    // The quarantine window reads an administrators-only folder.
    Resources quarantine(binFile("quendixq.exe"));
    ASSERT_TRUE(quarantine.loaded());
    EXPECT_NE(quarantine.bytes(MAKEINTRESOURCEA(24), MAKEINTRESOURCEA(1)).find("level=\"requireAdministrator\""),
              std::string::npos);

    for (const char* engine : {"quendix7.exe", "quendix9.exe"}) {
        Resources resources(binFile(engine));
        ASSERT_TRUE(resources.loaded()) << engine;
        std::string own = resources.bytes(MAKEINTRESOURCEA(24), MAKEINTRESOURCEA(1));
        EXPECT_NE(own.find("level=\"asInvoker\""), std::string::npos) << engine;
        EXPECT_NE(own.find(kSupportedSystems[4]), std::string::npos) << engine;
    }
}

// The PE header's flags, read from the file as the loader reads them.
struct HeaderFlags {
    WORD characteristics = 0;      // IMAGE_FILE_HEADER
    WORD dllCharacteristics = 0;   // IMAGE_OPTIONAL_HEADER
};

HeaderFlags headerFlags(const std::string& path)
{
    HeaderFlags flags;
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return flags;
    std::vector<char> head(4096);
    DWORD got = 0;
    ReadFile(file, head.data(), static_cast<DWORD>(head.size()), &got, nullptr);
    CloseHandle(file);
    if (got < sizeof(IMAGE_DOS_HEADER))
        return flags;
    auto dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(head.data());
    if (dos->e_lfanew <= 0 || static_cast<DWORD>(dos->e_lfanew) + sizeof(IMAGE_NT_HEADERS32) > got)
        return flags;
    auto nt = reinterpret_cast<const IMAGE_NT_HEADERS32*>(head.data() + dos->e_lfanew);
    if (nt->Signature != IMAGE_NT_SIGNATURE)
        return flags;
    flags.characteristics = nt->FileHeader.Characteristics;
    flags.dllCharacteristics = nt->OptionalHeader.DllCharacteristics;
    return flags;
}

TEST(ProgramFiles, EveryProgramIsTerminalServerAndLargeAddressAware)
{
    // Without the first, a Remote Desktop host gives each user a Windows
    // folder of their own, and the exchange files land where they may write.
    for (const char* file : {"quendix.exe", "quendix7.exe", "quendix9.exe"}) {
        SCOPED_TRACE(file);
        HeaderFlags flags = headerFlags(binFile(file));
        EXPECT_TRUE(flags.dllCharacteristics & IMAGE_DLLCHARACTERISTICS_TERMINAL_SERVER_AWARE);
        EXPECT_TRUE(flags.characteristics & IMAGE_FILE_LARGE_ADDRESS_AWARE);
    }
}

TEST(ProgramFiles, EveryProgramCarriesTheProductsVersionInformation)
{
    const struct {
        const char* file;
        const char* description;
    } programs[] = {
        {"quendix.exe", "Quendix Professional anti-virus"},
        {"quendixq.exe", "Quendix Quarantine"},
        {"quendix7.exe", "Quendix Professional scanner engine"},
        {"quendix9.exe", "Quendix Professional info engine"},
    };
    for (const auto& p : programs) {
        SCOPED_TRACE(p.file);
        std::string path = binFile(p.file);
        DWORD handle = 0;
        DWORD size = GetFileVersionInfoSizeA(path.c_str(), &handle);
        ASSERT_GT(size, 0u);
        std::vector<char> info(size);
        ASSERT_TRUE(GetFileVersionInfoA(path.c_str(), 0, size, info.data()));
        VS_FIXEDFILEINFO* fixed = nullptr;
        UINT length = 0;
        ASSERT_TRUE(VerQueryValueA(info.data(), "\\", reinterpret_cast<void**>(&fixed), &length));
        EXPECT_EQ(fixed->dwFileVersionMS, MAKELONG(5, 2));
        EXPECT_EQ(fixed->dwProductVersionMS, MAKELONG(5, 2));
        EXPECT_EQ(versionString(info, "ProductName"), "Quendix Professional");
        EXPECT_EQ(versionString(info, "ProductVersion"), "2.5");
        EXPECT_EQ(versionString(info, "FileVersion"), "2.5");
        EXPECT_EQ(versionString(info, "FileDescription"), p.description);
        EXPECT_EQ(versionString(info, "OriginalFilename"), p.file);
        EXPECT_EQ(versionString(info, "LegalCopyright"), "Copyright \xA9 2026 Quendix");
    }
}

TEST(ProgramFiles, TheIconComesIn16_32_48And256PixelsTheLargestAsPng)
{
    for (const char* file : {"quendix.exe", "quendixq.exe"}) {
        SCOPED_TRACE(file);
        Resources program(binFile(file));
        ASSERT_TRUE(program.loaded());
        std::string group = program.bytes(MAKEINTRESOURCEA(14), "MAINICON");   // RT_GROUP_ICON
        ASSERT_GE(group.size(), 6u);
        int count = static_cast<unsigned char>(group[4]) | static_cast<unsigned char>(group[5]) << 8;
        ASSERT_EQ(group.size(), 6u + 14u * static_cast<unsigned>(count));
        std::set<int> sizes;
        for (int i = 0; i < count; ++i) {
            const unsigned char* entry = reinterpret_cast<const unsigned char*>(group.data()) + 6 + 14 * i;
            int side = entry[0] ? entry[0] : 256;
            int bits = entry[6] | entry[7] << 8;
            int id = entry[12] | entry[13] << 8;
            sizes.insert(side);
            EXPECT_EQ(bits, 32) << side;
            std::string image = program.bytes(MAKEINTRESOURCEA(3), MAKEINTRESOURCEA(id));   // RT_ICON
            if (side == 256)
                EXPECT_EQ(image.substr(0, 8), "\x89PNG\r\n\x1a\n");
            else
                EXPECT_GT(image.size(), static_cast<std::size_t>(side * side * 4)) << side;
        }
        EXPECT_EQ(sizes, (std::set<int>{16, 32, 48, 256}));
    }
}
