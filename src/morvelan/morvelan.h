// Launch control: the command-line tail, the main flow, reporting and the client start.
#pragma once

#include <optional>
#include <string>
#include <string_view>

// The command line without the program's name and the blanks after it.
std::string_view commandTail(std::string_view commandLine);

struct CONFIG_DATA;
struct CmdLineOutcome;

// Fills values with the defaults and the options of the tail, and empties the argument table.
CmdLineOutcome readCommandLine(std::string_view tail, CONFIG_DATA& values);

// The client's command line; the path is quoted, since titles and TEMP may hold blanks.
std::string clientCommandLine(std::string_view cfgFile);

// The client's command line for a session without a file: the host, then the window's size,
// or full screen, then the administrative session and every monitor when asked for.
std::string directCommandLine(const CONFIG_DATA& data);

// The name under which the client looks up the host's password in Credential Manager:
// "TERMSRV/" and the host as given, without its port.
std::string credentialTarget(std::string_view host);

// "domain\user", or the user alone when no domain is given.
std::string credentialUser(std::string_view domain, std::string_view user);

// A Windows error code as people look it up: decimal, or hexadecimal for HRESULT-style codes.
std::string windowsError(unsigned long code);

// Exit statuses, one meaning each, for scripts to act on.
constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;    // the run failed: a file, the folder, the protection, the client
constexpr int kExitWrongLine = 2; // the command line is wrong

#ifdef _WIN32
// The message being reported; logmb shows it on standard output and, unless quiet, in a
// message box.
extern std::string logbuff;
void logmb();

// Reports message through logbuff and logmb and gives status back.
int fail(std::string_view message, int status = kExitFailed);

// "-q": no message box, for runs that nobody watches.
extern bool quiet;

// Reports the usage text and gives status back.
int Usage(int status);

// The client's full path under the Windows directory, or nothing when Windows cannot say.
std::optional<std::string> findMstscPath();

// Starts the client with that command line without waiting for it; 0, or the Windows error.
unsigned long startClient(const std::optional<std::string>& mstscPath,
                          const std::string& commandLine);

enum class CredentialResult {
    stored,
    saved,         // a credential for the target is kept beyond this logon session: the user's
    lookup_failed, // Credential Manager could not be asked
    write_failed,
};

struct CredentialOutcome {
    CredentialResult result;
    unsigned long error; // the Windows error, when the look-up or the write failed
};

// Stores the password for the client in Credential Manager until log-off, as a domain
// password, which only Windows reads back. Credentials of earlier runs for the target are
// replaced; one the user saved is left as it is, and nothing is stored then.
CredentialOutcome storeCredential(const std::string& target, const std::string& user,
                                  const std::string& password);
// Removes the credential storeCredential wrote.
void deleteCredential(const std::string& target);
#endif
