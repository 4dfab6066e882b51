// Windows: the password in Credential Manager, where the client finds it without a file.
#include "morvelan.h"

#include "../text/text.h"

#include <windows.h>

#include <wincred.h>

unsigned long storeCredential(const std::string& target, const std::string& user,
                              const std::string& password) {
    Utf16 name = toUtf16(target);
    Utf16 userName = toUtf16(user);
    Utf16 secret = toUtf16(password);
    CREDENTIALW credential{};
    credential.Type = CRED_TYPE_GENERIC;
    credential.TargetName = name.data();
    credential.UserName = userName.data();
    // Without a terminator: the size alone gives the password's length.
    credential.CredentialBlobSize = static_cast<DWORD>(secret.size() * sizeof(wchar_t));
    credential.CredentialBlob = reinterpret_cast<LPBYTE>(secret.data());
    // Kept in memory until log-off, never on disk; a later run for the host replaces it.
    credential.Persist = CRED_PERSIST_SESSION;
    const DWORD error = CredWriteW(&credential, 0) ? 0 : GetLastError();
    wipe(secret.data(), secret.size() * sizeof(wchar_t));
    return error;
}

void deleteCredential(const std::string& target) {
    CredDeleteW(toUtf16(target).c_str(), CRED_TYPE_GENERIC, 0);
}
