// Command line: the argument table and its tokenizer, the options and the usage text.
#pragma once

#include <cstddef>
#include <functional>
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

enum class CmdLineResult {
    ok,
    usage,         // a required option or an option's value is missing, or "-r" is malformed
    too_many_args, // the line holds more than kMaxArgs arguments
    refused,       // a value cannot be taken as it stands; message says why
};

struct CmdLineOutcome {
    CmdLineResult result;
    bool unterminated; // the unterminated-quote message is due, whatever the result
    bool quiet;        // "-q": messages on standard output only, never in a message box
    bool direct;       // "-n": the client starts with no connection file (see fitsCredential)
    bool usageAsked;   // no word at all, or only "/?", "-?" or "--help"
    std::string message;
    std::vector<std::string_view> given;   // the options given a value, in the line's order
    std::vector<std::string_view> missing; // required ones left out for the "-f" file to give
};

// Splits the tail and copies the options' values into data.
CmdLineOutcome parseCommandLine(std::string_view lpCmdLine, CONFIG_DATA& data);

// The host of a "-h" value without its port, as the client names the host's credential; an
// IPv6 address keeps its colons.
std::string_view hostWithoutPort(std::string_view address);

// Credential Manager holds a secret of at most 2560 bytes (CRED_MAX_CREDENTIAL_BLOB_SIZE).
constexpr std::size_t kMaxCredentialPassword = 1280; // UTF-16 units

// Whether the password, in UTF-16, fits Credential Manager; "-n" stores it there.
bool fitsCredential(std::string_view password);

constexpr int kEndOfInput = -1;
constexpr int kReadFailed = -2;

enum class PasswordInput {
    ok,
    ended,       // the input ended before any byte of a line
    not_utf8,    // the line is not UTF-8 text
    read_failed, // the input could not be read
};

// The first line of the bytes nextByte gives (0 to 255, kEndOfInput or kReadFailed), without
// its LF or CR LF and a leading UTF-8 byte-order mark, into password. Reads nothing after the
// LF; leaves no copy of the line behind.
PasswordInput readPasswordLine(const std::function<int()>& nextByte, std::string& password);

// The same, of what a console gave for the typed line, then readError (0 where the input ended
// there): a line whose input ended before its line end is the password all the same, one cut
// short by a failed read is none.
PasswordInput readTypedLine(std::string_view line, unsigned long readError, std::string& password);

#ifdef _WIN32
// The password from standard input: the first line of a pipe or a file, or typed at a prompt
// with echo off on a console. error is the Windows error when the result is read_failed.
PasswordInput readPassword(std::string& password, unsigned long& error);
#endif

extern const char* const kUnterminatedMessage;
extern const char* const kTooManyArgsMessage;
extern const char* const kPasswordTooLongMessage;
extern const char* const kUsageText;
