// The command line: no freed memory holds the password; which value and which fault count.
#include "cmdline/cmdline.h"
#include "connfile/connfile.h"
#include "morvelan/morvelan.h"

#include <gtest/gtest.h>

#include <malloc.h>

#include <memory>

// Every block is searched for a part of the password, in UTF-8 and UTF-16, as it is freed.
static std::string_view watched[2];
static bool leaked = false;

void* operator new(std::size_t size) {
    void* block = std::malloc(size > 0 ? size : 1);
    return block != nullptr ? block : throw std::bad_alloc();
}

void operator delete(void* block) noexcept {
    const std::string_view data(static_cast<const char*>(block),
                                block != nullptr ? malloc_usable_size(block) : 0);
    for (const std::string_view part : watched) {
        leaked = leaked || (!part.empty() && data.find(part) != std::string_view::npos);
    }
    std::free(block);
}

void operator delete(void* block, std::size_t) noexcept {
    operator delete(block);
}

// The pattern with each "PW" replaced by the password, in a block that never grows: the test
// itself frees no copy of the password unwiped, which a later block could show.
std::string withPassword(std::string_view pattern, const std::string& password) {
    std::string text;
    text.reserve(pattern.size() + 2 * password.size());
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        if (pattern.substr(i, 2) == "PW") {
            text += password;
            ++i;
        } else {
            text += pattern[i];
        }
    }
    return text;
}

TEST(Secrets, NoFreedMemoryHoldsThePassword) {
    // A short password lives inside its string, a long one in a block of its own.
    for (const std::string& password : {std::string("pw-1234"), "pw-" + std::string(300, 'x')}) {
        const std::string part = password.substr(2, 5);
        const Utf16 widePart = toUtf16(part);
        watched[0] = part;
        watched[1] = {reinterpret_cast<const char*>(widePart.data()), 2 * widePart.size()};
        // A good line; one cut short by an open quote, which ends in the usage text; a refused
        // one. The password is in the record by then in each, and in the open quote too.
        for (const char* pattern : {"-u u -h h -t t -r 1x2 -p PW 1 2 3 4 5 6 7 8\\",
                                    "-u u -p PW -t \"PW", "-u u -p PW -h h -t t -n -s x"}) {
            // What a run does: the command line from UTF-16 to UTF-8, the record from it, the
            // protection's UTF-16 form; the record ends as the run does, whatever it was told.
            std::string text = withPassword(pattern, password);
            Utf16 commandLine = toUtf16(text);
            wipe(text);
            std::string line = toUtf8(commandLine);
            wipe(commandLine.data(), commandLine.size() * sizeof(commandLine[0]));
            CONFIG_DATA data;
            (void)readCommandLine(line, data);
            EXPECT_TRUE(args.empty()); // the table's copies are gone once the record has its own
            wipe(line);
            Utf16 wide = toUtf16(data.password);
            wipe(wide.data(), wide.size() * sizeof(wide[0]));
            // A copy of the record, as a lambda or the writer may hold one, moved on; the
            // password replaced by a longer text.
            auto copy = std::make_unique<CONFIG_DATA>(data);
            CONFIG_DATA moved(std::move(*copy));
            copy.reset();
            moved.password = std::string(1000, 'F');
        }
        // Or a line of standard input, which grows as it is read.
        std::string input = withPassword("\xEF\xBB\xBFPW\r\nnext line", password);
        std::size_t next = 0;
        std::string piped;
        (void)readPasswordLine([&] { return static_cast<unsigned char>(input[next++]); }, piped);
        EXPECT_EQ(piped, password);
        wipe(piped);
        wipe(input);
        watched[0] = watched[1] = {};
    }
    EXPECT_FALSE(leaked);
}

// Only an option's first occurrence is applied, and the first fault in the options' order
// decides, wherever it stands on the line.
TEST(CommandLine, FirstOccurrenceAndFaultsInOptionOrder) {
    const struct {
        const char* line;
        CmdLineResult result;
        const char* message;
        const char* user; // as the record holds it
    } cases[] = {
        {"-u a -u b\nc -p p -h h -t t", CmdLineResult::ok, "", "a"},
        {"-u a -p p -h h -t t -u", CmdLineResult::usage, "", "a"},
        {"-h a\nb -u c\nd -p p -t t", CmdLineResult::refused,
         "Error: The user name (-u) may not hold a line break; nothing was done.", "Administrator"},
        {"-t t -h a\nb -p p", CmdLineResult::usage, "", "Administrator"},
        // A file may give the host and the user, never the title or the password.
        {"-f f -p p -t t", CmdLineResult::ok, "", "Administrator"},
        {"-f f -u u -h h -p p", CmdLineResult::usage, "", "u"},
        {"-r 1X2 -d a\nb -u u -p p -h h -t t", CmdLineResult::refused,
         "Error: The domain (-d) may not hold a line break; nothing was done.", "u"},
    };
    for (const auto& c : cases) {
        CONFIG_DATA data;
        const CmdLineOutcome outcome = readCommandLine(c.line, data);
        EXPECT_EQ(outcome.result, c.result) << c.line;
        EXPECT_EQ(outcome.message, c.message) << c.line;
        EXPECT_EQ(data.username, c.user) << c.line;
    }
}

// A console gives the typed line, then whether its input ended there or a read failed.
TEST(Password, ATypedLineWithoutItsLineEnd) {
    std::string password;
    EXPECT_EQ(readTypedLine("typed", 0, password), PasswordInput::ok);
    EXPECT_EQ(password, "typed");
    EXPECT_EQ(readTypedLine("cut", 6, password), PasswordInput::read_failed);
    EXPECT_EQ(readTypedLine("abc\x1A\r\n", 0, password), PasswordInput::ended);
}
