// Windows: the password in Credential Manager, where the client finds it without a file.
#include "morvelan.h"

#include "../connfile/connfile.h"
#include "../text/text.h"

#include <windows.h>

#include <wincred.h>

#include <random>

namespace {

// What Credential Manager keeps of one type for a target; persist 0 when it keeps none.
struct Kept {
    DWORD persist = 0;
    std::uint64_t written = 0;
    std::string comment;
    Utf16 user;
};

// The Windows error of a look-up that failed for any reason but "not found".
unsigned long lookUp(const Utf16& target, DWORD type, Kept& kept) {
    PCREDENTIALW found = nullptr;
    kept = Kept{};
    if (!CredReadW(target.c_str(), type, 0, &found)) {
        const DWORD error = GetLastError();
        return error == ERROR_NOT_FOUND ? 0 : error;
    }
    kept.persist = found->Persist;
    kept.written =
        (std::uint64_t{found->LastWritten.dwHighDateTime} << 32) | found->LastWritten.dwLowDateTime;
    kept.comment = toUtf8(found->Comment != nullptr ? found->Comment : L"");
    kept.user = found->UserName != nullptr ? found->UserName : L"";
    // Windows hands back a generic credential's secret: someone's password.
    wipe(found->CredentialBlob, found->CredentialBlobSize);
    CredFree(found);
    return 0;
}

// Whether kept is the credential of the run with that mark: a mark tells one run's credential
// from another's, and from the user's.
bool ownedBy(const Kept& kept, const std::string& mark) {
    const std::optional<CommentRead> read = readComment(kept.comment);
    return read && read->mark == mark;
}

// Not a secret: a mark only has to differ from the marks of other runs.
std::string newMark() {
    const std::array<std::uint32_t, 5> entropy = runEntropy();
    std::seed_seq seed(entropy.begin(), entropy.end());
    std::mt19937 random(seed);
    unsigned char bytes[kMarkDigits / 2];
    for (unsigned char& byte : bytes) {
        byte = static_cast<unsigned char>(random());
    }
    return hexUpper(bytes, sizeof bytes);
}

unsigned long write(const OwnCredential& own, const std::vector<ClientId>& clients,
                    const std::string& user, const std::string& password) {
    const Utf16 name = toUtf16(own.target);
    Utf16 comment = toUtf16(credentialComment(own.mark, clients));
    Utf16 userName = toUtf16(user);
    Utf16 secret = toUtf16(password);
    CREDENTIALW credential{};
    credential.Type = own.type;
    credential.TargetName = const_cast<wchar_t*>(name.c_str());
    credential.Comment = comment.data();
    credential.UserName = userName.data();
    // Without a terminator: the size alone gives the password's length.
    credential.CredentialBlobSize = static_cast<DWORD>(secret.size() * sizeof(wchar_t));
    credential.CredentialBlob = reinterpret_cast<LPBYTE>(secret.data());
    // Kept in memory, never on disk, and never past log-off; it replaces one of an earlier run.
    credential.Persist = CRED_PERSIST_SESSION;
    const DWORD error = CredWriteW(&credential, 0) ? 0 : GetLastError();
    wipe(secret.data(), secret.size() * sizeof(wchar_t));
    return error;
}

// The clients a run's credential names, as its comment gives them; none for another's.
std::vector<ClientId> clientsOf(const Kept& kept) {
    const std::optional<CommentRead> read = readComment(kept.comment);
    return read ? read->clients : std::vector<ClientId>{};
}

// The client as a running process, opened with that access; nothing where no process of its id
// and creation time runs, since ids are reused. One the run may not open is another Windows
// user's, and so not the client, which runs as the run's own user.
HANDLE openClient(const ClientId& client, DWORD access) {
    HANDLE process = client.id != 0
                         ? OpenProcess(access | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, client.id)
                         : nullptr;
    DWORD code = 0;
    if (process != nullptr && (processCreated(process) != client.created ||
                               !GetExitCodeProcess(process, &code) || code != STILL_ACTIVE)) {
        CloseHandle(process);
        process = nullptr;
    }
    return process;
}

std::vector<ClientId> runningClients(const Kept& kept) {
    std::vector<ClientId> running;
    for (const ClientId& client : clientsOf(kept)) {
        if (HANDLE process = openClient(client, 0)) {
            running.push_back(client);
            CloseHandle(process);
        }
    }
    return running;
}

// Windows compares user names without regard to case.
bool sameUser(const Utf16& one, const std::string& other) {
    return CompareStringOrdinal(one.c_str(), -1, toUtf16(other).c_str(), -1, TRUE) == CSTR_EQUAL;
}

// The name of the turns for target: the logon session's id, which keeps other logons' runs
// (their credentials are their own) out, and a hash of the target as Credential Manager compares
// it, without regard to case, so that the name is short and plain whatever the host holds.
unsigned long turnName(const std::string& target, Utf16& name) {
    Utf16 upper = toUtf16(target);
    CharUpperBuffW(upper.data(), static_cast<DWORD>(upper.size()));
    std::uint64_t ids[2] = {0, 14695981039346656037ULL}; // the logon session, FNV-1a
    for (const wchar_t c : upper) {
        ids[1] = (ids[1] ^ static_cast<std::uint16_t>(c)) * 1099511628211ULL;
    }
    HANDLE token = nullptr;
    TOKEN_STATISTICS statistics{};
    DWORD size = 0;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) {
        return GetLastError();
    }
    const DWORD error =
        GetTokenInformation(token, TokenStatistics, &statistics, sizeof statistics, &size)
            ? 0
            : GetLastError();
    CloseHandle(token);
    const LUID& logon = statistics.AuthenticationId;
    ids[0] = (std::uint64_t{static_cast<std::uint32_t>(logon.HighPart)} << 32) | logon.LowPart;
    name = L"Local\\Morvelan " +
           toUtf16(hexUpper(reinterpret_cast<const unsigned char*>(ids), sizeof ids));
    return error;
}

} // namespace

CredentialOutcome checkCredential(const std::string& target, const std::string& user,
                                  bool generic) {
    const Utf16 name = toUtf16(target);
    const DWORD type = generic ? CRED_TYPE_GENERIC : CRED_TYPE_DOMAIN_PASSWORD;
    CredentialOutcome outcome{CredentialResult::stored,    0, false, {}, false, {},
                              {target, type, 0, newMark()}};
    Kept domain;
    Kept other;
    if ((outcome.error = lookUp(name, CRED_TYPE_DOMAIN_PASSWORD, domain)) != 0 ||
        (outcome.error = lookUp(name, CRED_TYPE_GENERIC, other)) != 0) {
        outcome.result = CredentialResult::lookup_failed;
        return outcome;
    }
    // One kept beyond this logon session is the user's own: it is never replaced.
    outcome.savedDomain = domain.persist > CRED_PERSIST_SESSION;
    if (outcome.savedDomain || other.persist > CRED_PERSIST_SESSION) {
        outcome.result = CredentialResult::saved;
        return outcome;
    }
    // A session still running for the host keeps the credential: for another user, the run
    // waits its turn; for the same one, the new credential serves that session too.
    for (const Kept* kept : {&domain, &other}) {
        const std::vector<ClientId> running =
            kept->persist == CRED_PERSIST_SESSION ? runningClients(*kept) : std::vector<ClientId>{};
        if (!running.empty() && !sameUser(kept->user, user)) {
            outcome.result = CredentialResult::held;
            outcome.holder = toUtf8(kept->user);
            return outcome;
        }
        outcome.carried.insert(outcome.carried.end(), running.begin(), running.end());
    }
    // An earlier run's one of the other type would leave the client two passwords to choose
    // from.
    outcome.otherType = (generic ? domain : other).persist != 0;
    return outcome;
}

void storeCredential(CredentialOutcome& checked, const std::string& user,
                     const std::string& password, const ClientId& client) {
    OwnCredential& own = checked.credential;
    const Utf16 name = toUtf16(own.target);
    std::vector<ClientId> clients{client};
    clients.insert(clients.end(), checked.carried.begin(), checked.carried.end());
    if ((checked.error = write(own, clients, user, password)) != 0) {
        checked.result = CredentialResult::write_failed;
        return;
    }
    if (checked.otherType) {
        CredDeleteW(name.c_str(),
                    own.type == CRED_TYPE_GENERIC ? CRED_TYPE_DOMAIN_PASSWORD : CRED_TYPE_GENERIC,
                    0);
    }
    // Its time of writing as well: rewritten since, even with this comment, it is no longer
    // this run's.
    // A failed read-back leaves the time 0 and the error, which the run reports.
    Kept written;
    if ((checked.error = lookUp(name, own.type, written)) != 0) {
        return;
    }
    if (written.persist == 0 || !ownedBy(written, own.mark)) {
        checked.result = CredentialResult::replaced;
        return;
    }
    own.written = written.written;
}

bool removeOwnCredential(const OwnCredential& own) {
    const Utf16 name = toUtf16(own.target);
    Kept kept;
    // Not the run's once a later run for the same host has replaced it for a client of its own,
    // or the user has.
    const auto stillOwn = [&] {
        return lookUp(name, own.type, kept) == 0 && kept.persist == CRED_PERSIST_SESSION &&
               kept.written == own.written && ownedBy(kept, own.mark);
    };
    // The sessions of the same user that it was taken over from use it too: it goes with the
    // last of them.
    if (stillOwn()) {
        for (const ClientId& client : clientsOf(kept)) {
            if (HANDLE process = openClient(client, SYNCHRONIZE)) {
                WaitForSingleObject(process, INFINITE);
                CloseHandle(process);
            }
        }
    }
    // In turn with the runs for the target: one that writes its own meanwhile keeps it.
    const HostTurn turn(own.target);
    return turn.error == 0 && stillOwn() && CredDeleteW(name.c_str(), own.type, 0) != 0;
}

HostTurn::HostTurn(const std::string& target) {
    Utf16 name;
    if ((error = turnName(target, name)) != 0) {
        return;
    }
    if ((mutex = CreateMutexW(nullptr, FALSE, name.c_str())) == nullptr) {
        error = GetLastError();
        return;
    }
    // A run's turn lasts a moment; one not over within a minute is stuck, and the next run
    // says so rather than wait for ever.
    const DWORD waited = WaitForSingleObject(mutex, 60000);
    // An abandoned turn is this run's: the run that had it has ended.
    error = waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED ? 0
            : waited == WAIT_TIMEOUT                            ? ERROR_TIMEOUT
                                                                : GetLastError();
}

HostTurn::~HostTurn() {
    if (mutex != nullptr) {
        if (error == 0) {
            ReleaseMutex(mutex);
        }
        CloseHandle(mutex);
    }
}
