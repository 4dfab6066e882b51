// UTF-8 as the program writes it.
#include "text/text.h"

#include <gtest/gtest.h>

TEST(Text, TheFirstTwoByteCharacterIsUtf8Text) {
    // A typed password is converted, then checked as UTF-8 like a piped one: U+0080 in one
    // byte would be refused, while it converts back unchanged everywhere else.
    EXPECT_EQ(toUtf8(u"\u0080"), "\xC2\x80");
}
