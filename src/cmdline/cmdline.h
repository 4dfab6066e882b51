// Command line: the argument table, its tokenizer and lookups, the options and the usage text.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

struct CONFIG_DATA;

// One run opens one connection; a longer line is far more likely a scripting mistake.
constexpr std::size_t kMaxArgs = 128;

// The arguments of the command-line tail, in order; they may hold the plain password.
extern std::vector<std::string> args;

enum class ArgsResult {
    ok,
    empty,        // no line at all: nothing stored
    unterminated, // a quoted argument was not closed: the arguments before it are kept
    too_many,     // a further argument began after kMaxArgs
};

// Splits a command-line tail: only the blank separates, a quote may open inside an argument,
// and a backslash escapes nothing but a quote. Appends to args.
ArgsResult parseArgs(std::string_view lpCmdLine);

// Wipes and empties the table.
void clearArgs();

bool hasArg(std::string_view argument);

// The argument after the first one equal to argument; nullptr when there is none.
const std::string* getValue(std::string_view argument);

enum class CmdLineResult {
    ok,
    usage,         // a required option or an option's value is missing, or "-r" is malformed
    too_many_args, // the line holds more than kMaxArgs arguments
    refused,       // a value cannot be taken as it stands; message says why
};

struct CmdLineOutcome {
    CmdLineResult result;
    bool unterminated; // the unterminated-quote message is due, whatever the result
    std::string message;
};

// Splits the tail and copies the options' values into data.
CmdLineOutcome parseCommandLine(std::string_view lpCmdLine, CONFIG_DATA& data);

extern const char* const kUnterminatedMessage;
extern const char* const kTooManyArgsMessage;
extern const char* const kUsageText;
