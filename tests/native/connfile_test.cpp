// The search for a free temporary file name, and the paths Windows takes as absolute.
#include "connfile/connfile.h"

#include <gtest/gtest.h>

#include <set>

TEST(TempName, DrawsAnotherNameWhileTheNameIsTakenUpToALimit) {
    // The first `taken` names are taken, then the write gives `last`.
    struct Case {
        int taken, last, tries, result;
    };
    for (const Case c : {Case{3, kWriteOk, 4, kWriteOk}, Case{2, kWriteFailed, 3, kWriteFailed},
                         Case{kMaxTempTries, kWriteOk, kMaxTempTries, kWriteTaken}}) {
        std::set<std::string> tried;
        std::seed_seq seed{1, 2, 3};
        const TempPlacement placed =
            placeTempFile("C:\\T", "Lab 1_", seed, [&](const std::string& path) {
                tried.insert(path);
                return static_cast<int>(tried.size()) > c.taken ? c.last : kWriteTaken;
            });
        EXPECT_EQ(static_cast<int>(tried.size()), c.tries) << c.taken;
        EXPECT_EQ(placed.result, c.result) << c.taken;
        EXPECT_EQ(tried.count(placed.path), 1u);
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
