// Windows: reads the Group Policy settings that decide which routes the client opens.
#include "morvelan.h"

#include "../connfile/connfile.h"
#include "../text/text.h"

#include <windows.h>

namespace {

constexpr wchar_t kPolicies[] = L"Software\\Policies\\Microsoft\\Windows NT\\Terminal Services";

// The policies' key under root in the native view, which the client reads; nullptr without one.
HKEY openPolicies(HKEY root) {
    HKEY key = nullptr;
    return RegOpenKeyExW(root, kPolicies, 0, KEY_QUERY_VALUE | KEY_WOW64_64KEY, &key) ==
                   ERROR_SUCCESS
               ? key
               : nullptr;
}

// Missing, of another type or unreadable, a value is not set.
std::optional<DWORD> numberValue(HKEY key, const wchar_t* name) {
    DWORD type = 0;
    DWORD value = 0;
    DWORD size = sizeof value;
    if (key != nullptr &&
        RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) ==
            ERROR_SUCCESS &&
        type == REG_DWORD && size == sizeof value) {
        return value;
    }
    return std::nullopt;
}

std::string textValue(HKEY key, const wchar_t* name) {
    DWORD type = 0;
    DWORD size = 0;
    if (key == nullptr ||
        RegQueryValueExW(key, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
        type != REG_SZ) {
        return {};
    }
    std::wstring text(size / sizeof(wchar_t), L'\0');
    if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(text.data()), &size) !=
            ERROR_SUCCESS ||
        type != REG_SZ) {
        return {};
    }
    text.resize(size / sizeof(wchar_t));
    // A value may be stored with its terminator or without.
    return toUtf8(text.substr(0, text.find(L'\0')));
}

// The computer's setting over the user's; a setting made in neither place is enabled.
bool allowed(const HKEY (&keys)[2], const wchar_t* name) {
    for (const HKEY key : keys) {
        if (const std::optional<DWORD> value = numberValue(key, name)) {
            return *value != 0;
        }
    }
    return true;
}

RoutePolicies readPolicies() {
    const HKEY keys[2] = {openPolicies(HKEY_LOCAL_MACHINE), openPolicies(HKEY_CURRENT_USER)};
    RoutePolicies policies;
    policies.signedFiles = allowed(keys, L"AllowSignedFiles");
    policies.unsignedFiles = allowed(keys, L"AllowUnsignedFiles");
    policies.thumbprints = textValue(keys[0], L"TrustedCertThumbprints") + "," +
                           textValue(keys[1], L"TrustedCertThumbprints");
    for (const HKEY key : keys) {
        if (key != nullptr) {
            RegCloseKey(key);
        }
    }
    return policies;
}

} // namespace

std::optional<std::string> policyRefusal(const CONFIG_DATA& values, bool direct) {
    const RoutePolicies policies = readPolicies();
    return routeRefusal(values, direct, policies, [&values, &policies] {
        // Without the certificate the run cannot tell; signing says why it is not there.
        const std::optional<CertificateThumbprints> signer =
            certificateThumbprints(values.signer_thumbprint);
        return !signer || mayBeListed(policies.thumbprints, signer->sha1, signer->sha256);
    });
}
