// Both shipped exes, read back: hardening flags, sections, version information, manifest.
#include "harness.h"

#include <windows.h>

#include <cstdlib>
#include <cstring>

namespace {

using namespace harness;

// A header of type T at offset in the file; zeros past its end.
template <typename T> T at(const std::string& image, std::size_t offset) {
    T value{};
    if (offset + sizeof value <= image.size()) {
        std::memcpy(&value, image.data() + offset, sizeof value);
    }
    return value;
}

struct Headers {
    IMAGE_FILE_HEADER file;
    WORD subsystem;
    WORD dllCharacteristics;
    DWORD relocSize;
    std::size_t sections; // offset of the section table
};

template <typename Optional> Headers readHeaders(const std::string& image, std::size_t nt) {
    const auto file = at<IMAGE_FILE_HEADER>(image, nt + 4);
    const auto optional = at<Optional>(image, nt + 4 + sizeof file);
    return {file, optional.Subsystem, optional.DllCharacteristics,
            optional.DataDirectory[IMAGE_DIRECTORY_ENTRY_BASERELOC].Size,
            nt + 4 + sizeof file + file.SizeOfOptionalHeader};
}

Headers readHeaders(const std::string& image) {
    const auto nt = static_cast<std::size_t>(at<IMAGE_DOS_HEADER>(image, 0).e_lfanew);
    return at<IMAGE_FILE_HEADER>(image, nt + 4).Machine == IMAGE_FILE_MACHINE_AMD64
               ? readHeaders<IMAGE_OPTIONAL_HEADER64>(image, nt)
               : readHeaders<IMAGE_OPTIONAL_HEADER32>(image, nt);
}

std::string versionString(const std::vector<char>& info, const std::string& name) {
    char* value = nullptr;
    UINT length = 0;
    const std::string path = "\\StringFileInfo\\040904B0\\" + name;
    if (!VerQueryValueA(info.data(), path.c_str(), reinterpret_cast<void**>(&value), &length)) {
        return {};
    }
    return std::string(value, length > 0 ? length - 1 : 0);
}

std::string manifest(const std::string& exe) {
    HMODULE module = LoadLibraryExA(exe.c_str(), nullptr,
                                    LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    if (module == nullptr) {
        return {};
    }
    std::string text;
    if (HRSRC resource = FindResourceA(module, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24))) {
        const char* data = static_cast<const char*>(LockResource(LoadResource(module, resource)));
        text.assign(data, SizeofResource(module, resource));
    }
    FreeLibrary(module);
    return text;
}

struct Exe {
    const char* name;
    const char* variable; // environment variable holding the exe's Unix path
    WORD machine;
};

class ShippedExe : public ::testing::TestWithParam<Exe> {
  protected:
    void SetUp() override {
        const char* unixPath = std::getenv(GetParam().variable);
        ASSERT_NE(unixPath, nullptr);
        path = windowsPath(unixPath);
        ASSERT_TRUE(fs::exists(path)) << path << ": build the win32 and win64 presets first";
    }
    std::string path;
};

TEST_P(ShippedExe, IsHardenedConsoleProgramForItsMachine) {
    const std::string image = readFile(path);
    const Headers h = readHeaders(image);
    EXPECT_EQ(h.file.Machine, GetParam().machine);
    EXPECT_EQ(h.subsystem, IMAGE_SUBSYSTEM_WINDOWS_CUI);
    EXPECT_TRUE(h.dllCharacteristics & IMAGE_DLLCHARACTERISTICS_DYNAMIC_BASE);
    EXPECT_TRUE(h.dllCharacteristics & IMAGE_DLLCHARACTERISTICS_NX_COMPAT);
    EXPECT_GT(h.relocSize, 0u) << "randomised addresses need relocations";
    EXPECT_EQ((h.dllCharacteristics & IMAGE_DLLCHARACTERISTICS_HIGH_ENTROPY_VA) != 0,
              h.file.Machine == IMAGE_FILE_MACHINE_AMD64);
    for (WORD i = 0; i < h.file.NumberOfSections; ++i) {
        const auto section =
            at<IMAGE_SECTION_HEADER>(image, h.sections + i * sizeof(IMAGE_SECTION_HEADER));
        const DWORD writableCode = IMAGE_SCN_MEM_WRITE | IMAGE_SCN_MEM_EXECUTE;
        EXPECT_NE(section.Characteristics & writableCode, writableCode)
            << std::string(reinterpret_cast<const char*>(section.Name), sizeof section.Name)
            << " is writable and executable";
    }
}

TEST_P(ShippedExe, CarriesItsVersionInformation) {
    const DWORD size = GetFileVersionInfoSizeA(path.c_str(), nullptr);
    ASSERT_GT(size, 0u);
    std::vector<char> info(size);
    ASSERT_TRUE(GetFileVersionInfoA(path.c_str(), 0, size, info.data()));
    EXPECT_EQ(versionString(info, "ProductName"), "Morvelan");
    EXPECT_EQ(versionString(info, "ProductVersion"), "1.51");
    EXPECT_EQ(versionString(info, "FileVersion"), "1.51");
    EXPECT_EQ(versionString(info, "OriginalFilename"), "morvelan.exe");
    EXPECT_NE(versionString(info, "FileDescription").find("Remote Desktop"), std::string::npos);
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueA(info.data(), "\\", reinterpret_cast<void**>(&fixed), &length));
    EXPECT_EQ(fixed->dwFileVersionMS, MAKELONG(51, 1));
}

TEST_P(ShippedExe, EmbedsItsApplicationManifest) {
    const std::string text = manifest(path);
    for (const char* part : {R"(level="asInvoker")", R"(name="Microsoft.Windows.Common-Controls")",
                             R"(version="6.0.0.0")", "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}",
                             "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}"}) {
        EXPECT_NE(text.find(part), std::string::npos) << part;
    }
}

std::string exeName(const ::testing::TestParamInfo<Exe>& info) {
    return info.param.name;
}

INSTANTIATE_TEST_SUITE_P(Builds, ShippedExe,
                         ::testing::Values(Exe{"Win32", "MORVELAN_EXE32", IMAGE_FILE_MACHINE_I386},
                                           Exe{"Win64", "MORVELAN_EXE", IMAGE_FILE_MACHINE_AMD64}),
                         exeName);

} // namespace
