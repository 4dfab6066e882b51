// The search for a free temporary file name, and file names and paths as Windows reads them.
#include "connfile/connfile.h"

#include <gtest/gtest.h>

#include <set>

TEST(TempName, DrawsAnotherNameWhileTheNameIsTakenUpToALimit) {
    // The first `taken` names are taken, then the write gives `last`. Names that open a device
    // are taken without a write.
    struct Case {
        const char* prefix;
        std::size_t letters;
        int taken, last, tries, result;
    };
    for (const Case c :
         {Case{"Lab 1_", kTempLetters, 3, kWriteOk, 4, kWriteOk},
          Case{"Lab 1_", 1, 0, kWriteFailed, 1, kWriteFailed},
          Case{"Lab 1_", kTempLetters, kMaxTempTries, kWriteOk, kMaxTempTries, kWriteTaken},
          Case{"nul.", kTempLetters, 0, kWriteOk, 0, kWriteTaken}}) {
        std::set<std::string> tried;
        std::seed_seq seed{1, 2, 3};
        const TempPlacement placed =
            placeTempFile("C:\\T", c.prefix, c.letters, seed, [&](const std::string& path) {
                tried.insert(path);
                return static_cast<int>(tried.size()) > c.taken ? c.last : kWriteTaken;
            });
        EXPECT_EQ(static_cast<int>(tried.size()), c.tries) << c.prefix << c.taken;
        EXPECT_EQ(placed.result, c.result) << c.prefix << c.taken;
        EXPECT_EQ(placed.path.size(), std::string_view(c.prefix).size() + c.letters + 9)
            << placed.path;
    }
}

TEST(FileName, DeviceNamesAreTakenForTheDevice) {
    // Each name, and the length of the device name it opens; 0 for a plain name.
    const std::pair<const char*, std::size_t> cases[] = {
        {"NUL", 3},           {"nul.txt", 3},     {"Nul.tar.gz", 3},
        {"nul  .x", 3},       {"con", 3},         {"PRN.x", 3},
        {"aux.", 3},          {"COM0.x", 4},      {"lpt9", 4},
        {"COM\xC2\xB9.x", 5}, {"lpt\xC2\xB3", 5}, {"NULL.x", 0},
        {" nul.x", 0},        {"nu.x", 0},        {"COM10.x", 0},
        {"COM.x", 0},         {"LPTa", 0},        {"COM\xE2\x81\xB4", 0},
        {"COM\xC2\xB4", 0},   {".nul", 0},        {"ConOut$.x", 7}};
    for (const auto& [name, device] : cases) {
        EXPECT_EQ(deviceNameLength(name), device) << name;
    }
}

TEST(FileName, ATitleNamesAPlainFile) {
    const std::pair<const char*, const char*> cases[] = {
        // The title, and the start of its file name.
        {"nul.corp.example", "nul_.corp.example"},
        {"NUL", "NUL"},
        {"com1 .lab", "com1_ .lab"},
        {"LPT\xC2\xB2.x", "LPT\xC2\xB2_.x"},
        {"nul:x.y", "nul_x.y"}};
    for (const auto& [title, name] : cases) {
        EXPECT_EQ(fileNameFromTitle(title), name) << title;
    }
}

TEST(Path, OnlyADriveAndItsRootOrANetworkPathIsAbsolute) {
    for (const char* absolute :
         {"C:\\Temp", "z:/t", "\\\\server\\share", "//server/share", "\\\\?\\C:\\t"}) {
        EXPECT_TRUE(isAbsolutePath(absolute)) << absolute;
    }
    for (const char* relative :
         {"", "Temp", "C:Temp", "C:", "\\Temp", "/Temp", "1:\\t", "..\\t", "\xC3\x89:\\t"}) {
        EXPECT_FALSE(isAbsolutePath(relative)) << relative;
    }
}
