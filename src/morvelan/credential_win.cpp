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
    Utf16 comment;
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
    kept.comment = found->Comment != nullptr ? found->Comment : L"";
    // Windows hands back a generic credential's secret: someone's password.
    wipe(found->CredentialBlob, found->CredentialBlobSize);
    CredFree(found);
    return 0;
}

// The comment that tells one run's credential from another's, and from the user's.
Utf16 commentOf(const std::string& mark) {
    return L"Morvelan " + toUtf16(mark);
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

unsigned long write(const OwnCredential& own, const std::string& user,
                    const std::string& password) {
    const Utf16 name = toUtf16(own.target);
    Utf16 comment = commentOf(own.mark);
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

} // namespace

CredentialOutcome storeCredential(const std::string& target, const std::string& user,
                                  const std::string& password, bool generic) {
    const Utf16 name = toUtf16(target);
    const DWORD type = generic ? CRED_TYPE_GENERIC : CRED_TYPE_DOMAIN_PASSWORD;
    CredentialOutcome outcome{CredentialResult::stored, 0, false, {target, type, 0, newMark()}};
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
    if ((outcome.error = write(outcome.credential, user, password)) != 0) {
        outcome.result = CredentialResult::write_failed;
        return outcome;
    }
    // An earlier run's one of the other type would leave the client two passwords to choose
    // from.
    if ((generic ? domain : other).persist != 0) {
        CredDeleteW(name.c_str(), generic ? CRED_TYPE_DOMAIN_PASSWORD : CRED_TYPE_GENERIC, 0);
    }
    // Its time of writing as well: rewritten since, even with this comment, it is no longer
    // this run's.
    Kept written;
    if (lookUp(name, type, written) == 0 && written.comment == commentOf(outcome.credential.mark)) {
        outcome.credential.written = written.written;
    }
    return outcome;
}

bool removeOwnCredential(const OwnCredential& own) {
    const Utf16 name = toUtf16(own.target);
    Kept kept;
    // A later run for the same host has replaced it for a client of its own, or the user has.
    if (lookUp(name, own.type, kept) != 0 || kept.persist != CRED_PERSIST_SESSION ||
        kept.written != own.written || kept.comment != commentOf(own.mark)) {
        return false;
    }
    return CredDeleteW(name.c_str(), own.type, 0) != 0;
}
