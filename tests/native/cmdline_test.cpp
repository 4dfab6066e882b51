// The password leaves no copy in freed memory on its way through the command line.
#include "cmdline/cmdline.h"
#include "connfile/connfile.h"

#include <gtest/gtest.h>

#include <malloc.h>

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

TEST(Secrets, NoFreedMemoryHoldsThePassword) {
    // A short password lives inside its string, a long one in a block of its own.
    for (const std::string& password : {std::string("pw-1234"), "pw-" + std::string(300, 'x')}) {
        // The command line, whole or cut short by an open quote, and a line of standard input.
        const Utf16 commandLines[] = {
            toUtf16("-u u -h h -t t -r 1x2 -p " + password + " 1 2 3 4 5 6 7 8\\"),
            toUtf16("-u u -p \"" + password)};
        const std::string input = "\xEF\xBB\xBF" + password + "\r\nnext line";
        const std::string part = password.substr(2, 5);
        const Utf16 widePart = toUtf16(part);
        watched[0] = part;
        watched[1] = {reinterpret_cast<const char*>(widePart.data()), 2 * widePart.size()};
        for (const Utf16& commandLine : commandLines) {
            // What a run does: the command line in UTF-8, the options, the protection.
            std::string line = toUtf8(commandLine);
            CONFIG_DATA data;
            initDefaultData(data);
            (void)parseCommandLine(line, data);
            clearArgs();
            wipe(line);
            Utf16 wide = toUtf16(data.password);
            wipe(wide.data(), wide.size() * sizeof(wide[0]));
            wipe(data.password);
        }
        // Or a line of standard input, which grows as it is read.
        std::size_t next = 0;
        std::string piped;
        (void)readPasswordLine([&] { return static_cast<unsigned char>(input[next++]); }, piped);
        EXPECT_EQ(piped, password);
        wipe(piped);
        watched[0] = watched[1] = {};
    }
    EXPECT_FALSE(leaked);
}
