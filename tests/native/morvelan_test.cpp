// The credential's name for an IPv6 address, with a port or not.
#include "morvelan/morvelan.h"

#include <gtest/gtest.h>

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
