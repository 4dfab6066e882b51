// Both shipped exes, read back: hardening flags, sections, version information, manifest.
#include "harness.h"

#include <windows.h>

#include <cstdlib>
#include <cstring>

namespace {

using namespace harness;

struct Headers {
    WORD machine = 0;
    WORD subsystem = 0;
    WORD dllCharacteristics = 0;
    DWORD relocSize = 0;
    std::vector<IMAGE_SECTION_HEADER> sections;
};

template <typename Optional> void readOptional(const char* p, Headers& h) {
    Optional optional;
    std::memcpy(&optional, p, sizeof optional);
    h.subsystem = optional.Subsystem;
    h.dllCharacteristics = optional.DllCharacteristics;
    h.relocSize = optional.DataDirectory[IMAGE_DIRECTORY_ENTRY_BASERELOC].Size;
}

Headers readHeaders(const std::string& image) {
    Headers h;
    IMAGE_DOS_HEADER dos;
    std::memcpy(&dos, image.data(), sizeof dos);
    const char* nt = image.data() + dos.e_lfanew;
    IMAGE_FILE_HEADER file;
    std::memcpy(&file, nt + 4, sizeof file);
    h.machine = file.Machine;
    const char* optional = nt + 4 + sizeof file;
    if (file.Machine == IMAGE_FILE_MACHINE_AMD64) {
        readOptional<IMAGE_OPTIONAL_HEADER64>(optional, h);
    } else {
        readOptional<IMAGE_OPTIONAL_HEADER32>(optional, h);
    }
    const char* section = optional + file.SizeOfOptionalHeader;
    for (WORD i = 0; i < file.NumberOfSections; ++i) {
        IMAGE_SECTION_HEADER header;
        std::memcpy(&header, section + i * sizeof header, sizeof header);
        h.sections.push_back(header);
    }
    return h;
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
    const Headers h = readHeaders(readFile(path));
    EXPECT_EQ(h.machine, GetParam().machine);
    EXPECT_EQ(h.subsystem, IMAGE_SUBSYSTEM_WINDOWS_CUI);
    EXPECT_TRUE(h.dllCharacteristics & IMAGE_DLLCHARACTERISTICS_DYNAMIC_BASE);
    EXPECT_TRUE(h.dllCharacteristics & IMAGE_DLLCHARACTERISTICS_NX_COMPAT);
    EXPECT_GT(h.relocSize, 0u) << "randomised addresses need relocations";
    if (h.machine == IMAGE_FILE_MACHINE_AMD64) {
        EXPECT_TRUE(h.dllCharacteristics & IMAGE_DLLCHARACTERISTICS_HIGH_ENTROPY_VA);
    }
    for (const IMAGE_SECTION_HEADER& s : h.sections) {
        const std::string name(reinterpret_cast<const char*>(s.Name),
                               strnlen(reinterpret_cast<const char*>(s.Name), 8));
        EXPECT_FALSE((s.Characteristics & IMAGE_SCN_MEM_WRITE) &&
                     (s.Characteristics & IMAGE_SCN_MEM_EXECUTE))
            << name << " is writable and executable";
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
