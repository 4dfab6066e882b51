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

// What the client's credential names begin with.
constexpr std::string_view kTargetPrefix = "TERMSRV/";

// The name under which the client looks up the host's password in Credential Manager:
// "TERMSRV/" and the host as given, without its port.
std::string credentialTarget(std::string_view host);

// "domain\user", or the user alone when no domain is given.
std::string credentialUser(std::string_view domain, std::string_view user);

// A Windows error code as people look it up: decimal, or hexadecimal for HRESULT-style codes.
std::string windowsError(unsigned long code);

// A process as no other can be taken for it: an id is reused once its process has ended.
struct ClientId {
    unsigned long id = 0;
    std::uint64_t created = 0; // its creation time, as Windows gives it
};

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

// The comment of a run's credential: its mark and the clients it serves, this run's first, then
// the running ones of earlier runs for the same user that it took the credential over from.
std::string credentialComment(std::string_view mark, const std::vector<ClientId>& clients);

// A comment that credentialComment wrote, read back; an earlier release's names no client.
struct CommentRead {
    std::string mark;
    std::vector<ClientId> clients;
};
std::optional<CommentRead> readComment(std::string_view comment);

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

// The native client's full path under the Windows directory, or nothing when Windows cannot say.
std::optional<std::string> findMstscPath();

// Whether the run is a 32-bit process on 64-bit Windows, where system32 is SysWOW64.
bool underWow64();

// Writes text and a line end to standard output alone, for what needs no message box.
void logline(std::string_view text);

// A client started on hold: its credential names it before it runs, and the caller then lets
// it run (resumeClient) or ends it.
struct HeldClient {
    void* process = nullptr;
    void* thread = nullptr;
    ClientId id;
};

// Starts the client with that command line without waiting for it; 0, or the Windows error.
// When held is given, the client is started on hold, and the caller closes its handles.
unsigned long startClient(const std::optional<std::string>& mstscPath,
                          const std::string& commandLine, HeldClient* held = nullptr);

// Lets a client on hold run, and closes its thread's handle.
void resumeClient(HeldClient& held);

// The message refusing the route of a launch that the computer's or the user's Group Policy
// blocks, read from the native registry; nothing where the client would not block it.
std::optional<std::string> policyRefusal(const CONFIG_DATA& values, bool direct);

// Whether Credential Guard runs, which keeps the client from sending saved Windows
// credentials; false where Windows cannot tell.
bool credentialGuardRunning();

enum class CredentialResult {
    stored,
    saved,         // a credential for the target is kept beyond this logon session: the user's
    held,          // a session of another user, started by another run, still uses it
    lookup_failed, // Credential Manager could not be asked
    write_failed,
    replaced, // another program changed the target as this run wrote it; this run's is gone
};

struct CredentialOutcome {
    CredentialResult result;
    unsigned long error; // the Windows error, when the look-up, the write or the read-back failed
    bool savedDomain;    // saved: the user's credential is a domain password
    std::string holder;  // held: the user of that session
    bool otherType;      // an earlier session credential of the other type is there
    std::vector<ClientId> carried; // running clients of the same user that it also serves
    OwnCredential credential;      // stored: what this run wrote, its time of writing 0 where the
                                   // read-back failed
};

// Whether this run may store its password under target for user: not over one the user saved,
// nor while another user's session, started by another run, still uses the credential there.
// Runs for one target take turns (HostTurn) from this look-up to the client's start.
CredentialOutcome checkCredential(const std::string& target, const std::string& user, bool generic);

// Stores the password for the client in Credential Manager for this logon session: as a
// domain password, which only Windows reads back, or where generic, as a generic credential,
// which Credential Guard lets the client send. It replaces the credentials of earlier runs that
// checkCredential allowed, and names the client it serves.
void storeCredential(CredentialOutcome& checked, const std::string& user,
                     const std::string& password, const ClientId& client);

// Runs for one credential's target in this logon session, one at a time; 0, or the Windows error
// when the turn cannot be had.
struct HostTurn {
    void* mutex = nullptr;
    unsigned long error = 0;
    explicit HostTurn(const std::string& target);
    HostTurn(const HostTurn&) = delete;
    HostTurn& operator=(const HostTurn&) = delete;
    ~HostTurn();
};

// The creation time of a process, or 0 when Windows cannot say.
std::uint64_t processCreated(void* process);

// Removes the credential, if it is still the one its run wrote; whether it did.
bool removeOwnCredential(const OwnCredential& own);

// Starts the watcher of the client, which removes the run's credential once the client has
// ended; 0, or the Windows error.
unsigned long startWatcher(void* client, const OwnCredential& own);

// The watcher: waits for the client to end, then removes the credential; the exit status.
int watchClient(const WatchRequest& request);
#endif
