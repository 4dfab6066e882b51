// The watcher's command line: what a run writes reads back, and nothing else reads at all.
#include "morvelan/morvelan.h"

#include <gtest/gtest.h>

TEST(Watch, ReadsBackWhatARunWritesAndNothingElse) {
    const WatchRequest sent{18446744073709551615U,
                            4294967295U,
                            {"TERMSRV/[fe80::1]", 2, 133000000000000000U, "0123456789ABCDEF"}};
    const std::string line = watchArguments(sent);
    const std::optional<WatchRequest> read = parseWatch(line);
    ASSERT_TRUE(read.has_value());
    EXPECT_EQ(watchArguments(*read), line);
    // Each differs from "--watch-client 4 8 1 0 0123456789ABCDEF TERMSRV/h" in one word.
    for (const char* other :
         {"--watch-client 4 8 1 0 0123456789ABCDEF TERMSRV/h x",
          "--watch-client 4 4294967296 1 0 0123456789ABCDEF TERMSRV/h",
          "--watch-client 18446744073709551616 8 1 0 0123456789ABCDEF TERMSRV/h",
          "--watch-client 4 8 3 0 0123456789ABCDEF TERMSRV/h",
          "--watch-client 4 8 0 0 0123456789ABCDEF TERMSRV/h",
          "--watch-client 4 -8 1 0 0123456789ABCDEF TERMSRV/h",
          "--watch-client  4 8 1 0 0123456789ABCDEF TERMSRV/h",
          "--watch-client 4 8 1 0 0123456789abcdef TERMSRV/h",
          "--watch-client 4 8 1 0 0123456789ABCDE TERMSRV/h",
          "--watch-client 4 8 1 0 0123456789ABCDEF TERMSRVh",
          "-h 4 8 1 0 0123456789ABCDEF TERMSRV/h"}) {
        EXPECT_FALSE(parseWatch(other).has_value()) << other;
    }
}
