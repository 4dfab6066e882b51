// Windows: protects the password with the data protection API for the current user.
#include "connfile.h"

#include <windows.h>

#include <dpapi.h>

static_assert(sizeof(wchar_t) == 2, "the client expects UTF-16 text");

std::optional<unsigned long> cryptPassword(CONFIG_DATA& data) {
    // The exact UTF-16 text that was typed: any character works.
    Utf16 wide = toUtf16(data.password);
    // The terminator is protected too: the client reads the blob as a NUL-terminated string.
    DATA_BLOB in{static_cast<DWORD>((wide.size() + 1) * sizeof(wchar_t)),
                 reinterpret_cast<BYTE*>(wide.data())};
    DATA_BLOB out{0, nullptr};
    const bool ok = CryptProtectData(&in, L"psw", nullptr, nullptr, nullptr, 0, &out) != FALSE;
    const DWORD error = GetLastError();
    wipe(wide.data(), wide.size() * sizeof(wchar_t));
    if (!ok) {
        return error;
    }
    data.password_blob = hexUpper(out.pbData, out.cbData);
    LocalFree(out.pbData);
    wipe(data.password);
    return std::nullopt;
}
