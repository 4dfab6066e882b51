// Error codes as messages show them: decimal, or eight hexadecimal digits for HRESULTs.
#include "morvelan/morvelan.h"

#include <gtest/gtest.h>

TEST(WindowsError, DecimalBelowSixteenBitsHexadecimalAbove) {
    EXPECT_EQ(windowsError(65535), "Windows error 65535");
    EXPECT_EQ(windowsError(0x10000), "Windows error 0x00010000");
    EXPECT_EQ(windowsError(0xFEDCBA98), "Windows error 0xFEDCBA98");
}
