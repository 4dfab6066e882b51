// Error codes as messages show them, and the credential's name for a host with a port or not.
#include "morvelan/morvelan.h"

#include <gtest/gtest.h>

TEST(WindowsError, DecimalBelowSixteenBitsHexadecimalAbove) {
    EXPECT_EQ(windowsError(65535), "Windows error 65535");
    EXPECT_EQ(windowsError(0x10000), "Windows error 0x00010000");
    EXPECT_EQ(windowsError(0xFEDCBA98), "Windows error 0xFEDCBA98");
}

TEST(CredentialTarget, CutsAPortOnlyWhereItCanBeToldFromTheAddress) {
    const std::pair<const char*, const char*> cases[] = {
        {"fe80::1", "TERMSRV/fe80::1"},
        {"[fe80::1]", "TERMSRV/[fe80::1]"},
        {"[fe80::1]:3390", "TERMSRV/[fe80::1]"},
        {"x]:1:2", "TERMSRV/x]:1:2"},
    };
    for (const auto& [host, target] : cases) {
        EXPECT_EQ(credentialTarget(host), target) << host;
    }
}
