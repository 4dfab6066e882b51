// Windows: the password in Credential Manager, where the client finds it without a file.
#include "morvelan.h"

#include "../text/text.h"

#include <windows.h>

#include <wincred.h>

namespace {

// How long a credential of that type for the target is kept: 0 when there is none, or the
// Windows error of the look-up.
unsigned long persistence(const Utf16& target, DWORD type, DWORD& persist) {
    PCREDENTIALW found = nullptr;
    persist = 0;
    if (!CredReadW(target.c_str(), type, 0, &found)) {
        const DWORD error = GetLastError();
        return error == ERROR_NOT_FOUND ? 0 : error;
    }
    persist = found->Persist;
    // Windows hands back a generic credential's secret: someone's password.
    wipe(found->CredentialBlob, found->CredentialBlobSize);
    CredFree(found);
    return 0;
}

} // namespace

CredentialOutcome storeCredential(const std::string& target, const std::string& user,
                                  const std::string& password) {
    const Utf16 name = toUtf16(target);
    DWORD domainKept = 0;
    DWORD genericKept = 0;
    if (const unsigned long error = persistence(name, CRED_TYPE_DOMAIN_PASSWORD, domainKept)) {
        return {CredentialResult::lookup_failed, error};
    }
    if (const unsigned long error = persistence(name, CRED_TYPE_GENERIC, genericKept)) {
        return {CredentialResult::lookup_failed, error};
    }
    // One kept beyond this logon session is the user's own: it is never replaced.
    if (domainKept > CRED_PERSIST_SESSION || genericKept > CRED_PERSIST_SESSION) {
        return {CredentialResult::saved, 0};
    }
    Utf16 userName = toUtf16(user);
    Utf16 secret = toUtf16(password);
    CREDENTIALW credential{};
    // Only the authentication packages read this type's secret back; no program of the user can.
    credential.Type = CRED_TYPE_DOMAIN_PASSWORD;
    credential.TargetName = const_cast<wchar_t*>(name.c_str());
    credential.UserName = userName.data();
    // Without a terminator: the size alone gives the password's length.
    credential.CredentialBlobSize = static_cast<DWORD>(secret.size() * sizeof(wchar_t));
    credential.CredentialBlob = reinterpret_cast<LPBYTE>(secret.data());
    // Kept in memory until log-off, never on disk; it replaces one of an earlier run.
    credential.Persist = CRED_PERSIST_SESSION;
    const DWORD error = CredWriteW(&credential, 0) ? 0 : GetLastError();
    wipe(secret.data(), secret.size() * sizeof(wchar_t));
    if (error != 0) {
        return {CredentialResult::write_failed, error};
    }
    // An earlier session's generic one would leave the client two passwords to choose from.
    if (genericKept != 0) {
        CredDeleteW(name.c_str(), CRED_TYPE_GENERIC, 0);
    }
    return {CredentialResult::stored, 0};
}

void deleteCredential(const std::string& target) {
    CredDeleteW(toUtf16(target).c_str(), CRED_TYPE_DOMAIN_PASSWORD, 0);
}
