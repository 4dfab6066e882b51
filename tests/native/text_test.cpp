// UTF-8 as the program writes it, and back to UTF-16 unchanged.
#include "text/text.h"

#include <gtest/gtest.h>

TEST(Text, EachCharacterKeepsItsFormBothWays) {
    // A typed password is converted, then checked as UTF-8 like a piped one: U+0080 in one
    // byte would be refused. U+E000 follows the low surrogates: after a high one it is no pair.
    const std::pair<std::u16string, const char*> cases[] = {
        {u"\u0080", "\xC2\x80"},
        {{0xD800, 0xE000}, "\xED\xA0\x80\xEE\x80\x80"},
    };
    for (const auto& [wide, utf8] : cases) {
        EXPECT_EQ(toUtf8(wide), utf8) << utf8;
        EXPECT_EQ(toUtf16(utf8), wide) << utf8;
    }
}
