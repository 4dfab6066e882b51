// Settings record, file format, encodings and temporary names.
#include "connfile/connfile.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <regex>
#include <string>
#include <vector>

namespace {

CONFIG_DATA defaults() {
    CONFIG_DATA data;
    initDefaultData(data);
    return data;
}

TEST(Writer, DefaultsGiveTheTwentyFiveLinesByteForByte) {
    std::ifstream in(MORVELAN_TEST_DATA "/default.rdp", std::ios::binary);
    std::string expected;
    for (std::string line; std::getline(in, line);) {
        expected += line + "\r\n";
    }
    EXPECT_EQ(formatConfigFile(defaults()), expected);
}

TEST(Writer, WritesValuesUnchangedAfterTheirKeys) {
    CONFIG_DATA data = defaults();
    data.desktop_width = -5;
    data.full_address = "host:3390";
    data.username = "DOM\\user name";
    data.domain = "a b:c";
    const std::string text = formatConfigFile(data);
    for (const char* line : {"\r\ndesktopwidth:i:-5\r\n", "\r\nfull address:s:host:3390\r\n",
                             "\r\nusername:s:DOM\\user name\r\n", "\r\ndomain:s:a b:c\r\n"}) {
        EXPECT_NE(text.find(line), std::string::npos) << line;
    }
}

TEST(Utf8, ConvertsBothWaysExactly) {
    const std::pair<std::u16string, std::string> cases[] = {
        {u"a \"b\"", "a \"b\""},
        {u"\u00E9\u00AD", "\xC3\xA9\xC2\xAD"},
        {u"\u0416\u07FF\u0800", "\xD0\x96\xDF\xBF\xE0\xA0\x80"},
        {u"\uFF02", "\xEF\xBC\x82"}, // a look-alike quote stays what it is
        {u"\U0001F511\U0010FFFF", "\xF0\x9F\x94\x91\xF4\x8F\xBF\xBF"},
        // Unpaired surrogates keep a form of their own.
        {std::u16string{0xD800, u'x', 0xDFFF}, "\xED\xA0\x80x\xED\xBF\xBF"},
        {std::u16string{0xDBFF}, "\xED\xAF\xBF"},
    };
    for (const auto& [utf16, utf8] : cases) {
        EXPECT_EQ(toUtf8(utf16), utf8);
        EXPECT_EQ(toUtf16(utf8), utf16) << utf8;
    }
}

TEST(Hex, EveryByteGivesTwoUppercaseDigits) {
    const unsigned char bytes[] = {5, 171, 0, 255, 16};
    EXPECT_EQ(hexUpper(bytes, sizeof bytes), "05AB00FF10");
}

TEST(Wipe, LeavesNoByteOfTheSecret) {
    std::string secret = "hunter2 with a longer tail to defeat small-string storage";
    const char* storage = secret.data();
    const std::size_t size = secret.size();
    wipe(secret);
    EXPECT_TRUE(secret.empty());
    EXPECT_EQ(std::string(storage, size), std::string(size, '\0'));
}

// Writes that find the first names taken, then the given result.
struct PlaceCase {
    int taken;
    int last;
    int expectedTries;
};

TEST(TempName, DrawsAgainWhileTakenUpToTheLimit) {
    for (const PlaceCase c :
         {PlaceCase{0, kWriteOk, 1}, PlaceCase{3, kWriteOk, 4}, PlaceCase{2, kWriteFailed, 3},
          PlaceCase{kMaxTempTries, kWriteOk, kMaxTempTries}}) {
        std::vector<std::string> tried;
        std::seed_seq seed{1, 2, 3};
        const TempPlacement placed =
            placeTempFile("C:\\T dir", "Lab 1_", seed, [&](const std::string& path) {
                tried.push_back(path);
                return static_cast<int>(tried.size()) > c.taken ? c.last : kWriteTaken;
            });
        ASSERT_EQ(static_cast<int>(tried.size()), c.expectedTries) << c.taken;
        EXPECT_EQ(placed.result, c.taken < kMaxTempTries ? c.last : kWriteTaken);
        EXPECT_EQ(placed.dir, "C:\\T dir");
        EXPECT_EQ(placed.path, tried.back());
        for (const std::string& path : tried) {
            EXPECT_TRUE(std::regex_match(path, std::regex(R"(C:\\T dir\\Lab 1_[a-y]{10}\.tmp)")))
                << path;
            EXPECT_EQ(std::count(tried.begin(), tried.end(), path), 1) << "drawn twice: " << path;
        }
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
