// Launch control: the command-line tail, the main flow, reporting and the client start.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The command line without the program's name and the blanks after it.
std::string_view commandTail(std::string_view commandLine);

struct CONFIG_DATA;
struct CmdLineOutcome;
struct FileSetting;

// Fills values with the defaults and the options of the tail, and empties the argument table.
CmdLineOutcome readCommandLine(std::string_view tail, CONFIG_DATA& values);

// "-f": takes the file's settings into values under the options'; false, taking nothing, when
// an option the run requires was left out and the file does not give its setting either.
bool takeSettings(const std::vector<FileSetting>& settings, const CmdLineOutcome& cmd,
                  CONFIG_DATA& values);

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

// A credential a run wrote for its client, as the watcher of that client knows it.
struct OwnCredential {
    std::string target;
    unsigned long type = 0;    // CRED_TYPE_GENERIC (1) or CRED_TYPE_DOMAIN_PASSWORD (2)
    std::uint64_t written = 0; // its time of writing, as Credential Manager gives it
    std::string mark;          // kMarkDigits hexadecimal digits in its comment, one run's own
};

constexpr std::size_t kMarkDigits = 16;

// What the watcher of a client is handed on its command line, after kWatchWord.
struct WatchRequest {
    std::uint64_t client = 0;   // the client's process handle, inherited from the run
    unsigned long clientId = 0; // the client's process id, which that handle must have
    OwnCredential credential;
};

// The first word of the watcher's command line; no user types it, so no option has it.
constexpr std::string_view kWatchWord = "--watch-client";

std::string watchArguments(const WatchRequest& request);

// The request of a tail that watchArguments wrote; nothing for any other tail.
std::optional<WatchRequest> parseWatch(std::string_view tail);

// Group Policy's three settings over the routes a run may take, as the client reads them.
struct RoutePolicies {
    bool signedFiles = true;   // "Allow .rdp files from valid publishers ...", which "-n" needs
    bool unsignedFiles = true; // "Allow .rdp files from unknown publishers"
    std::string thumbprints;   // the trusted publishers: the computer's list, a comma, the user's
};

// Whether the comma-separated list may hold the certificate of those hexadecimal thumbprints:
// it holds one of them, in either case, blanks around it and an algorithm name and a colon
// before it allowed; or it holds an entry that is no thumbprint, which may name any certificate.
bool mayBeListed(std::string_view list, std::string_view sha1, std::string_view sha256);

// The message refusing the route of a launch (no file with direct, else a file, signed with
// "-c") where the client would block it; signerListed is asked only where the certificate's
// being listed decides.
std::optional<std::string> routeRefusal(const CONFIG_DATA& values, bool direct,
                                        const RoutePolicies& policies,
                                        const std::function<bool()>& signerListed);

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

// Writes text and a line end to standard output alone, for what needs no message box.
void logline(std::string_view text);

// Starts the client with that command line without waiting for it; 0, or the Windows error.
// When process is given, it receives the client's process handle, which the caller closes.
unsigned long startClient(const std::optional<std::string>& mstscPath,
                          const std::string& commandLine, void** process = nullptr);

// The message refusing the route of a launch that the computer's or the user's Group Policy
// blocks, read from the native registry; nothing where the client would not block it.
std::optional<std::string> policyRefusal(const CONFIG_DATA& values, bool direct);

// Whether Credential Guard runs, which keeps the client from sending saved Windows
// credentials; false where Windows cannot tell.
bool credentialGuardRunning();

enum class CredentialResult {
    stored,
    saved,         // a credential for the target is kept beyond this logon session: the user's
    lookup_failed, // Credential Manager could not be asked
    write_failed,
};

struct CredentialOutcome {
    CredentialResult result;
    unsigned long error;      // the Windows error, when the look-up or the write failed
    bool savedDomain;         // saved: the user's credential is a domain password
    OwnCredential credential; // stored: what this run wrote
};

// Stores the password for the client in Credential Manager for this logon session: as a
// domain password, which only Windows reads back, or where generic, as a generic credential,
// which Credential Guard lets the client send. Credentials of earlier runs for the target are
// replaced; one the user saved is left as it is, and nothing is stored then.
CredentialOutcome storeCredential(const std::string& target, const std::string& user,
                                  const std::string& password, bool generic);

// Removes the credential, if it is still the one its run wrote; whether it did.
bool removeOwnCredential(const OwnCredential& own);

// Starts the watcher of the client, which removes the run's credential once the client has
// ended; 0, or the Windows error.
unsigned long startWatcher(void* client, const OwnCredential& own);

// The watcher: waits for the client to end, then removes the credential; the exit status.
int watchClient(const WatchRequest& request);
#endif
