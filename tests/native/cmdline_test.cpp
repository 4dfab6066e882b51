// Tokenizer, lookups and options, case by case.
#include "cmdline/cmdline.h"
#include "connfile/connfile.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Args = std::vector<std::string>;

template <typename Case> std::string caseName(const ::testing::TestParamInfo<Case>& param) {
    return param.param.name;
}

// Each case starts from an empty argument table.
template <typename Case> class CaseTest : public ::testing::TestWithParam<Case> {
  protected:
    void SetUp() override { clearArgs(); }
};

std::string repeated(const std::string& item, int count) {
    std::string line;
    for (int i = 0; i < count; ++i) {
        line += item;
    }
    return line;
}

struct SplitCase {
    const char* name;
    std::string line;
    ArgsResult result;
    Args stored;
};

using Split = CaseTest<SplitCase>;

TEST_P(Split, StoresTheArgumentsAndReportsTheOutcome) {
    const SplitCase& c = GetParam();
    EXPECT_EQ(parseArgs(c.line), c.result);
    EXPECT_EQ(args, c.stored);
}

const std::string k128 = repeated("a ", 127) + "last";
const Args k128Args = [] {
    Args a(127, "a");
    a.push_back("last");
    return a;
}();

INSTANTIATE_TEST_SUITE_P(
    Tokenizer, Split,
    ::testing::Values(
        SplitCase{"QuotedKeepsBlanks",
                  R"(-p "my pass word" -u u)",
                  ArgsResult::ok,
                  {"-p", "my pass word", "-u", "u"}},
        SplitCase{"EscapedQuoteUnquoted", R"(-p my\"pass)", ArgsResult::ok, {"-p", "my\"pass"}},
        SplitCase{"EscapedQuoteQuoted", R"(-p "a\"b")", ArgsResult::ok, {"-p", "a\"b"}},
        SplitCase{"EscapedQuoteFirstInQuotes", R"("\"x")", ArgsResult::ok, {"\"x"}},
        SplitCase{
            "BackslashElsewhereIsPlain", R"(C:\dir\ "a\b")", ArgsResult::ok, {"C:\\dir\\", "a\\b"}},
        SplitCase{"ArgumentAfterClosingQuoteIsQuoted",
                  R"("abc"def ghi)",
                  ArgsResult::unterminated,
                  {"abc"}},
        SplitCase{"ArgumentAfterClosingQuoteClosed",
                  R"("abc"def ghi")",
                  ArgsResult::ok,
                  {"abc", "def ghi"}},
        SplitCase{
            "QuoteInsideUnquotedOpensNewArgument", R"(ab"c d")", ArgsResult::ok, {"ab", "c d"}},
        SplitCase{"BlankAfterQuotesClearsQuoting", R"("a" b c)", ArgsResult::ok, {"a", "b", "c"}},
        SplitCase{"BackslashQuoteAtStart", R"(\"x)", ArgsResult::unterminated, {"\\"}},
        SplitCase{"TabDoesNotSeparate", "a\tb", ArgsResult::ok, {"a\tb"}},
        SplitCase{"RunsOfBlanks", "  a   b  ", ArgsResult::ok, {"a", "b"}},
        SplitCase{"BlanksOnly", "    ", ArgsResult::ok, {}},
        SplitCase{"Empty", "", ArgsResult::empty, {}},
        SplitCase{"EmptyQuoted", R"(-d "")", ArgsResult::ok, {"-d", ""}},
        SplitCase{"HighBytes", "\x80\xE9 \xFF", ArgsResult::ok, {"\x80\xE9", "\xFF"}},
        SplitCase{
            "LongArgumentKeptWhole", repeated("x", 5000), ArgsResult::ok, {repeated("x", 5000)}},
        SplitCase{"Exactly128", k128, ArgsResult::ok, k128Args},
        SplitCase{"Exactly128TrailingBlanks", k128 + "   ", ArgsResult::ok, k128Args},
        SplitCase{"Exactly128ClosingQuote", repeated("a ", 127) + "\"last\"", ArgsResult::ok,
                  k128Args},
        SplitCase{"OneTooMany", k128 + " b", ArgsResult::too_many, k128Args},
        SplitCase{"OneTooManyQuoted", k128 + " \"\"", ArgsResult::too_many, k128Args},
        SplitCase{"OneTooManyAfterQuoteInsideArgument", repeated("a ", 127) + "last\"x\"",
                  ArgsResult::too_many, k128Args},
        SplitCase{"TrailingBackslash", R"(a\ b\)", ArgsResult::ok, {"a\\", "b\\"}}),
    caseName<SplitCase>);

TEST(Lookup, OptionLastIsPresentWithoutValue) {
    clearArgs();
    ASSERT_EQ(parseArgs("-u me -p"), ArgsResult::ok);
    EXPECT_TRUE(hasArg("-p"));
    EXPECT_EQ(getValue("-p"), nullptr);
    ASSERT_NE(getValue("-u"), nullptr);
    EXPECT_EQ(*getValue("-u"), "me");
    EXPECT_FALSE(hasArg("-U"));
}

struct OptionsCase {
    const char* name;
    std::string line;
    CmdLineResult result;
    int width, height, mode; // checked when result is ok
};

using Options = CaseTest<OptionsCase>;

TEST_P(Options, AppliesResolutionOrAsksForUsage) {
    const OptionsCase& c = GetParam();
    CONFIG_DATA data;
    initDefaultData(data);
    const CmdLineOutcome out = parseCommandLine("-u u -p p -h h -t t " + c.line, data);
    EXPECT_EQ(out.result, c.result);
    EXPECT_FALSE(out.unterminated);
    if (c.result == CmdLineResult::ok) {
        EXPECT_EQ(data.desktop_width, c.width);
        EXPECT_EQ(data.desktop_height, c.height);
        EXPECT_EQ(data.screen_mode_id, c.mode);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Resolution, Options,
    ::testing::Values(
        OptionsCase{"NoResolution", "", CmdLineResult::ok, 800, 600, 2},
        OptionsCase{"Plain", "-r 1024x768", CmdLineResult::ok, 1024, 768, 1},
        OptionsCase{"CapitalX", "-r 1024X768", CmdLineResult::usage, 0, 0, 0},
        OptionsCase{"NoWidth", "-r x600", CmdLineResult::ok, 0, 600, 1},
        OptionsCase{"NoHeight", "-r 800x", CmdLineResult::ok, 800, 0, 1},
        OptionsCase{"Depth", "-r 800x600x32", CmdLineResult::ok, 800, 600, 1},
        OptionsCase{"Negative", "-r -5x7", CmdLineResult::ok, -5, 7, 1},
        OptionsCase{"Spaces", "-r \" +12x\t9z\"", CmdLineResult::ok, 12, 9, 1},
        OptionsCase{"LongDigits", "-r 0000000000000000800x600", CmdLineResult::ok, 800, 600, 1},
        OptionsCase{"Int32Limits", "-r 2147483647x-2147483648", CmdLineResult::ok, 2147483647,
                    -2147483647 - 1, 1},
        OptionsCase{"WidthOverflow", "-r 2147483648x1", CmdLineResult::usage, 0, 0, 0},
        OptionsCase{"HeightOverflow", "-r 1x-2147483649", CmdLineResult::usage, 0, 0, 0},
        OptionsCase{"HugeNumber", "-r 1x" + repeated("9", 40), CmdLineResult::usage, 0, 0, 0},
        OptionsCase{"ResolutionLast", "-r", CmdLineResult::usage, 0, 0, 0},
        OptionsCase{"DomainLast", "-d", CmdLineResult::usage, 0, 0, 0},
        OptionsCase{"SaveLast", "-s", CmdLineResult::usage, 0, 0, 0},
        OptionsCase{"FirstResolutionWins", "-r 640x480 -r 1x1", CmdLineResult::ok, 640, 480, 1}),
    caseName<OptionsCase>);

struct RecordCase {
    const char* name;
    std::string line;
    CmdLineResult result;
    bool unterminated;
    std::string username, password, host, title, domain, destination;
    int saveonly;
};

using Record = CaseTest<RecordCase>;

TEST_P(Record, FillsTheFieldsTheOptionsName) {
    const RecordCase& c = GetParam();
    CONFIG_DATA data;
    initDefaultData(data);
    const CmdLineOutcome out = parseCommandLine(c.line, data);
    EXPECT_EQ(out.result, c.result);
    EXPECT_EQ(out.unterminated, c.unterminated);
    EXPECT_EQ(data.username, c.username);
    EXPECT_EQ(data.password, c.password);
    EXPECT_EQ(data.full_address, c.host);
    EXPECT_EQ(data.window_title, c.title);
    EXPECT_EQ(data.domain, c.domain);
    EXPECT_EQ(data.destination_file, c.destination);
    EXPECT_EQ(data.saveonly, c.saveonly);
}

const std::string kDefTitle = "Remote Desktop Connection";

INSTANTIATE_TEST_SUITE_P(
    Fields, Record,
    ::testing::Values(RecordCase{"Typical", R"(-h srv -u me -p "a b" -t Lab -d CORP)",
                                 CmdLineResult::ok, false, "me", "a b", "srv", "Lab", "CORP", "",
                                 0},
                      RecordCase{"SaveOnly", "-u u -p p -h h -t t -s conn", CmdLineResult::ok,
                                 false, "u", "p", "h", "t", "", "conn", 1},
                      RecordCase{"ValueNamedLikeOption", "-u u -t t -p -h -h host",
                                 CmdLineResult::ok, false, "u", "-h", "-h", "t", "", "", 0},
                      RecordCase{"FirstOccurrenceWins", "-u a -u b -p p -h h -t t",
                                 CmdLineResult::ok, false, "a", "p", "h", "t", "", "", 0},
                      RecordCase{"StrayArgumentsIgnored", "x -u u y -p p -h h z -t t",
                                 CmdLineResult::ok, false, "u", "p", "h", "t", "", "", 0},
                      RecordCase{"Empty", "", CmdLineResult::usage, false, "Administrator", "",
                                 "127.0.0.1", kDefTitle, "", "", 0},
                      RecordCase{"HostMissingKeepsEarlierOptions", "-u u -p p",
                                 CmdLineResult::usage, false, "u", "p", "127.0.0.1", kDefTitle, "",
                                 "", 0},
                      RecordCase{"TitleLast", "-u u -p p -h h -t", CmdLineResult::usage, false, "u",
                                 "p", "h", kDefTitle, "", "", 0},
                      RecordCase{"Unterminated", R"(-p "secret)", CmdLineResult::usage, true,
                                 "Administrator", "", "127.0.0.1", kDefTitle, "", "", 0},
                      RecordCase{"UnterminatedAfterOptions", R"(-u u -p p -h h -t t "x)",
                                 CmdLineResult::ok, true, "u", "p", "h", "t", "", "", 0},
                      RecordCase{"TooMany", "-u u -p p -h h -t t -s x" + repeated(" y", 119),
                                 CmdLineResult::too_many_args, false, "Administrator", "",
                                 "127.0.0.1", kDefTitle, "", "", 0}),
    caseName<RecordCase>);

} // namespace
