// Settings record, file writer, encodings and temporary names.
#include "connfile/connfile.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/resource.h>

namespace {

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream data;
    data << in.rdbuf();
    return data.str();
}

// The connection file of a record with only the defaults applied, with CR LF line ends.
const std::string kDefaultFile = [] {
    std::string text;
    for (char c : readFile(MORVELAN_TEST_DATA "/default.rdp")) {
        text += c == '\n' ? std::string("\r\n") : std::string(1, c);
    }
    return text;
}();

CONFIG_DATA defaults() {
    CONFIG_DATA data;
    initDefaultData(data);
    return data;
}

class Writer : public ::testing::Test {
  protected:
    std::string path = ::testing::TempDir() + "morvelan_writer_test.rdp";
    void TearDown() override { (void)std::remove(path.c_str()); }
};

TEST_F(Writer, DefaultsGiveTheTwentyFiveLinesByteForByte) {
    ASSERT_EQ(generateConfigFile(path, defaults()), kWriteOk);
    EXPECT_EQ(readFile(path), kDefaultFile);
}

TEST_F(Writer, WritesValuesUnchangedAfterTheirKeys) {
    CONFIG_DATA data = defaults();
    data.desktop_width = -5;
    data.full_address = "host:3390";
    data.username = "DOM\\user name";
    data.domain = "a b:c";
    ASSERT_EQ(generateConfigFile(path, data), kWriteOk);
    const std::string text = readFile(path);
    for (const char* line : {"\r\ndesktopwidth:i:-5\r\n", "\r\nfull address:s:host:3390\r\n",
                             "\r\nusername:s:DOM\\user name\r\n", "\r\ndomain:s:a b:c\r\n"}) {
        EXPECT_NE(text.find(line), std::string::npos) << line;
    }
}

TEST_F(Writer, OverwritesAnExistingFileFromItsStart) {
    std::ofstream(path, std::ios::binary) << std::string(5000, 'z');
    ASSERT_EQ(generateConfigFile(path, defaults()), kWriteOk);
    EXPECT_EQ(readFile(path), kDefaultFile);
}

TEST_F(Writer, RefusesWhatItCannotOpenAndLeavesNothing) {
    const std::string missing = ::testing::TempDir() + "no-such-dir/x.rdp";
    EXPECT_EQ(generateConfigFile(missing, defaults()), kWriteFailed);
    EXPECT_EQ(generateConfigFile("", defaults()), kWriteFailed);
    // Longer than Windows' MAX_PATH allows: refused before any file is touched.
    const std::string tooLong = path + std::string(kMaxPath, 'x');
    EXPECT_EQ(generateConfigFile(tooLong, defaults()), kWriteFailed);
    EXPECT_FALSE(std::ifstream(tooLong).good());
}

TEST_F(Writer, FailedWriteLeavesNoHalfWrittenFile) {
    // A file size limit makes the write itself fail, as a full disk would.
    ASSERT_NE(std::signal(SIGXFSZ, SIG_IGN), SIG_ERR);
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    rlimit small = saved;
    small.rlim_cur = 100;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const int result = generateConfigFile(path, defaults());
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &saved), 0);
    EXPECT_EQ(result, kWriteFailed);
    EXPECT_FALSE(std::ifstream(path).good());
}

TEST(Hex, EveryByteGivesTwoUppercaseDigits) {
    const unsigned char bytes[] = {5, 171, 0, 255, 16};
    EXPECT_EQ(hexUpper(bytes, sizeof bytes), "05AB00FF10");
    EXPECT_EQ(hexUpper(bytes, 0), "");
}

TEST(Wipe, LeavesNoByteOfTheSecret) {
    std::string secret = "hunter2 with a longer tail to defeat small-string storage";
    const char* storage = secret.data();
    const std::size_t size = secret.size();
    wipe(secret);
    EXPECT_TRUE(secret.empty());
    EXPECT_EQ(std::string(storage, size), std::string(size, '\0'));
}

TEST(TempName, TitleThenTenLettersFromAToY) {
    const std::string dir = "C:\\Temp dir\\morvelan";
    for (unsigned seed : {0u, 1u, 1733500000u}) {
        const std::string path = tempFileName(dir, "Lab 1_", seed);
        ASSERT_EQ(path.size(), dir.size() + 1 + 6 + 10 + 4);
        EXPECT_EQ(path.rfind(dir + "\\Lab 1_", 0), 0u);
        EXPECT_EQ(path.substr(path.size() - 4), ".tmp");
        for (char c : path.substr(dir.size() + 7, 10)) {
            EXPECT_TRUE(c >= 'a' && c <= 'y') << path;
        }
        // Seeded by the second: two runs in the same second share a name.
        EXPECT_EQ(tempFileName(dir, "Lab 1_", seed), path);
    }
}

TEST(TempName, OnlyTmpExtensionsCountAsOldFiles) {
    for (const char* name : {"a.tmp", "Lab_abc.TMP", ".tmp", "x.Tmp"}) {
        EXPECT_TRUE(isTempFile(name)) << name;
    }
    for (const char* name : {"a.tmpx", "a.rdp", "tmp", "a.tm", "atmp"}) {
        EXPECT_FALSE(isTempFile(name)) << name;
    }
}

} // namespace
