// The whole program from exact command lines: usage, quoting, save-only mode, limits.
#include "harness.h"

namespace {

using namespace harness;

// Standard output is in text mode, so every newline of a report arrives as CR LF.
std::string console(const std::string& text) {
    std::string out;
    for (char c : text) {
        out += c == '\n' ? std::string("\r\n") : std::string(1, c);
    }
    return out + "\r\n";
}

const std::string kUsage = console(
    "Usage:\n\nMorvelan -h hostname -p password -u username -t title [-s file] [-r resolution]"
    "\n\n"
    "hostname  - IP or HostName of the remote computer\n"
    "password  - the text password. Use \"s to enclose a password with spaces\n"
    "username  - username to connect to the remote computer\n"
    "resolution - 800x600, 1024x768, 640x480, 1152x864\n"
    "title - text to be displayed on the window title of the RDC client\n"
    "file - filename where to only save the configuration file\n"
    "\nIf you want full screen, please ommit the -r parameter.");

const std::string kUnterminated =
    console("Error: Unterminated string constant. Make sure you've matched the \" chars.");

class CommandLine : public Scratch {
  protected:
    // Nothing of a normal run happened: no client, no private folder.
    void expectNothingStarted() {
        EXPECT_TRUE(noClient());
        EXPECT_FALSE(fs::exists(temp / "morvelan"));
    }
};

TEST_F(CommandLine, UsageTextForAnEmptyTailOrAMissingOption) {
    for (const char* tail : {"", "   ", "-u u -p p", "-u u -p p -h h -t"}) {
        const Result run = this->run(tail);
        EXPECT_EQ(run.exitCode, 0u) << tail;
        EXPECT_EQ(run.output, kUsage) << tail;
    }
    expectNothingStarted();
}

TEST_F(CommandLine, UnterminatedQuoteIsReportedThenTheUsageText) {
    const Result run = this->run(R"(-p "never closed)");
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_EQ(run.output, kUnterminated + kUsage);
    expectNothingStarted();
}

TEST_F(CommandLine, QuotedPasswordWithBlanksAndQuotesReachesTheFile) {
    const Result run = this->run(R"(-h srv.example -u me -p "my \"pass\" word" -t Lab -d CORP )"
                                 R"(-r 1024x768)");
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_EQ(run.output, "");
    const auto record = client();
    ASSERT_TRUE(record);
    EXPECT_EQ(fileValue(record->file, "full address:s:"), "srv.example");
    EXPECT_EQ(fileValue(record->file, "username:s:"), "me");
    EXPECT_EQ(fileValue(record->file, "domain:s:"), "CORP");
    EXPECT_EQ(fileValue(record->file, "screen mode id:i:"), "1");
    EXPECT_EQ(fileValue(record->file, "desktopwidth:i:"), "1024");
    EXPECT_EQ(fileValue(record->file, "desktopheight:i:"), "768");
    std::string plain;
    std::wstring description;
    ASSERT_TRUE(
        unprotect(fileValue(record->file, "password 51:b:").value_or(""), plain, description));
    EXPECT_EQ(plain, utf16Bytes(L"my \"pass\" word"));
}

TEST_F(CommandLine, SaveOnlyWritesTheNamedFileAndStartsNothing) {
    const Result first = run("-u me -p pw -h host -t Lab -s conn");
    const Result second = run("-u me -p pw -h host -t Lab -s out.rdp");
    EXPECT_EQ(first.exitCode, 0u);
    EXPECT_EQ(second.exitCode, 0u);
    EXPECT_EQ(first.output + second.output, "");
    EXPECT_EQ(fileValue(readFile(dir / "conn.rdp"), "full address:s:"), "host");
    EXPECT_TRUE(fs::exists(dir / "out.rdp.rdp"));
    expectNothingStarted();
}

TEST_F(CommandLine, MoreThan128ArgumentsAreRefused) {
    std::string tail = "-u me -p pw -h host -t Lab";
    for (int i = 8; i < 128; ++i) {
        tail += " x";
    }
    ASSERT_EQ(run(tail + "   ").exitCode, 0u);
    ASSERT_TRUE(client());
    fs::remove(log.string() + ".done");

    const Result run = this->run(tail + " -s");
    EXPECT_EQ(run.exitCode, 1u);
    EXPECT_EQ(run.output,
              console("Error: Too many arguments. At most 128 are accepted; nothing was done."));
    EXPECT_TRUE(noClient());
}

} // namespace
