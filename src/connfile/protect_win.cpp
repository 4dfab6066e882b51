// Windows: protects the password with the data protection API for the current user.
#include "connfile.h"

#include <windows.h>

#include <climits>
#include <dpapi.h>
#include <string>

static_assert(sizeof(wchar_t) == 2, "the client expects UTF-16 text");

namespace {

// The command line arrives in the ANSI code page, so the password is converted from it,
// not from the C runtime's locale, which would turn 0x80 into U+0080 instead of the euro sign.
bool toUtf16(const std::string& text, std::wstring& wide) {
    wide.clear();
    if (text.empty()) {
        return true;
    }
    if (text.size() > static_cast<std::size_t>(INT_MAX)) {
        return false;
    }
    const int length = static_cast<int>(text.size());
    const int units = MultiByteToWideChar(CP_ACP, 0, text.data(), length, nullptr, 0);
    if (units <= 0) {
        return false;
    }
    wide.resize(static_cast<std::size_t>(units));
    return MultiByteToWideChar(CP_ACP, 0, text.data(), length, wide.data(), units) == units;
}

} // namespace

unsigned long cryptPassword(CONFIG_DATA& data) {
    std::wstring wide;
    if (!toUtf16(data.password, wide)) {
        wipe(wide.data(), wide.size() * sizeof(wchar_t));
        return ERROR_NO_UNICODE_TRANSLATION;
    }
    // The terminator is protected too: the client reads the blob as a NUL-terminated string.
    DATA_BLOB in{static_cast<DWORD>((wide.size() + 1) * sizeof(wchar_t)),
                 reinterpret_cast<BYTE*>(wide.data())};
    DATA_BLOB out{0, nullptr};
    const BOOL ok = CryptProtectData(&in, L"psw", nullptr, nullptr, nullptr, 0, &out);
    const DWORD error = ok ? 0 : GetLastError();
    wipe(wide.data(), wide.size() * sizeof(wchar_t));
    if (!ok) {
        return error != 0 ? error : static_cast<DWORD>(ERROR_GEN_FAILURE);
    }
    std::string hex = hexUpper(out.pbData, out.cbData);
    LocalFree(out.pbData);
    wipe(data.password);
    data.password = std::move(hex);
    return 0;
}
