// The command-line tail as the entry cuts it, and error codes as messages show them.
#include "morvelan/morvelan.h"

#include <gtest/gtest.h>

namespace {

struct TailCase {
    const char* line;
    const char* tail;
};

TEST(CommandTail, CutsTheProgramName) {
    const TailCase cases[] = {
        {R"("C:\Program Files\morvelan.exe"   -u me -p x)", "-u me -p x"},
        {R"("C:\a b\morvelan.exe"-u me)", "-u me"},
        {R"(morvelan.exe -u "a b")", R"(-u "a b")"},
        {"morvelan   \t-u", "\t-u"},
        {R"("C:\no closing quote -u me)", R"("C:\no closing quote -u me)"},
        {"morvelan.exe", ""},
        {"morvelan.exe   ", ""},
        {R"("C:\x.exe")", ""},
        {"", ""},
    };
    for (const TailCase& c : cases) {
        EXPECT_EQ(commandTail(c.line), c.tail) << c.line;
    }
}

TEST(WindowsError, DecimalForWin32CodesHexForHresults) {
    EXPECT_EQ(windowsError(2), "Windows error 2");
    EXPECT_EQ(windowsError(0x8009001DUL), "Windows error 0x8009001D");
}

} // namespace
