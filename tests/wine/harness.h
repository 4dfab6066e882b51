// Helpers shared by the tests that run the program under Wine.
#pragma once

#include "../common/testfiles.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <optional>
#include <string>

namespace harness {

namespace fs = std::filesystem;

// Changes to the inherited environment: a value sets a variable, nullopt removes it.
using EnvChanges = std::map<std::string, std::optional<std::string>>;

struct Result {
    unsigned long exitCode = 0;
    std::string output; // standard output, bytes as written
};

// The Windows path of a file named by its Unix path (Wine maps the Unix root to drive Z:).
std::string windowsPath(std::string unixPath);

// The program under test.
fs::path morvelanExe();

// Starts the program (exe, or morvelan.exe) with exactly "morvelan.exe " + tail as its
// command line.
Result runMorvelan(const std::string& tail, const EnvChanges& env, const fs::path& cwd,
                   const fs::path& exe = {});

// What the stand-in client recorded, if it was started.
struct ClientRecord {
    std::string commandLine;
    std::string file;
};

using testfiles::readFile;
using testfiles::writeFile;

// Decodes hexadecimal text; fails the test on a malformed one.
std::string fromHex(const std::string& hex);

// The value of a "key:type:" line of a connection file, or nullopt.
std::optional<std::string> fileValue(const std::string& file, const std::string& key);

// Opens a protected blob given in hexadecimal; returns the UTF-16 bytes and the description.
bool unprotect(const std::string& hex, std::string& plain, std::wstring& description);

// The bytes of text as UTF-16LE with its terminator, as the protected blob holds it.
std::string utf16Bytes(const std::wstring& text);

// One fresh folder per test, with a TEMP folder and the client's log in it.
class Scratch : public ::testing::Test {
  protected:
    void SetUp() override;

    // The environment of a normal run: TEMP and the stand-in client's log.
    EnvChanges env() const;
    Result run(const std::string& tail) { return runMorvelan(tail, env(), dir); }

    // Waits for the stand-in client's record.
    std::optional<ClientRecord> client(int timeoutMs = 15000) const;
    // True when no client has been started within a short wait.
    bool noClient() const { return !client(1500).has_value(); }

    fs::path dir;  // the test's own folder
    fs::path temp; // TEMP for the run
    fs::path log;  // the client's record, without extension
};

} // namespace harness
