// Group Policy's lists of trusted publishers, and the routes its settings block.
#include "connfile/connfile.h"
#include "morvelan/morvelan.h"

#include <gtest/gtest.h>

TEST(Policy, AListMayHoldTheCertificateByEitherThumbprintOrByAnEntryThatIsNone) {
    const std::string sha1 = "0123456789abcdef0123456789abcdef01234567";
    const std::string sha256 = std::string(56, 'C') + "89ABCDEF";
    const std::pair<std::string, bool> cases[] = {
        {"", false},
        {" ,\t, ", false},
        {"0123456789ABCDEF0123456789ABCDEF01234567", true},
        {std::string(40, '0') + " , sha256:" + std::string(56, 'c') + "89abcdef\t,", true},
        {" " + std::string(40, '0') + "\t," + std::string(64, '0') + ",\t" + std::string(64, '0'),
         false},
        // The SHA-256 thumbprint's first 40 digits are not the certificate's SHA-1 one.
        {std::string(40, 'C'), false},
        {std::string(63, '0'), true},
        {std::string(39, '0') + "g", true},
        {"01 23 45 67 89 ab cd ef 01 23 45 67 89 ab cd ef 01 23 45 67", true},
        {"sha256:sha1:" + sha1, true},
    };
    for (const auto& [list, listed] : cases) {
        EXPECT_EQ(mayBeListed(list, sha1, sha256), listed) << list;
    }
}

// The certificate is looked up only where its being listed decides; its chain is the client's
// to judge. Which route each setting blocks, the end-to-end cases show.
TEST(Policy, ASignedFileIsRefusedOnlyWhereValidPublishersAreDisabledAndItIsNotListed) {
    struct Case {
        bool signedFiles, listed;
        const char* outcome;
    };
    const Case cases[] = {
        {false, false, "looked up, refused"},
        {false, true, "looked up, open"},
        {true, false, "open"},
    };
    for (const Case& c : cases) {
        CONFIG_DATA values;
        initDefaultData(values);
        values.signer_thumbprint = std::string(40, '0');
        std::string outcome;
        const bool refused = routeRefusal(values, false, {c.signedFiles, false, ""}, [&] {
                                 outcome = "looked up, ";
                                 return c.listed;
                             }).has_value();
        EXPECT_EQ(outcome + (refused ? "refused" : "open"), c.outcome);
    }
}
