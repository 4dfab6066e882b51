// Windows: writes the connection file, whole or not at all, in the encoding its text needs.
#include "connfile.h"

#include <windows.h>

namespace {

// The client reads ANSI and UTF-16 files; ANSI keeps the files of earlier releases unchanged.
// A signed file is UTF-16, as the signing tool writes it.
std::string fileBytes(const std::string& text, bool signedFile) {
    const Utf16 wide = toUtf16(text);
    auto [bytes, exact] = toAnsi(wide);
    if (!exact || signedFile) {
        bytes = "\xFF\xFE"; // little-endian byte-order mark, as the client writes its own files
        bytes.append(reinterpret_cast<const char*>(wide.data()), wide.size() * sizeof(wchar_t));
    }
    return bytes;
}

} // namespace

int generateConfigFile(const std::string& fileName, const CONFIG_DATA& data, bool exclusive) {
    const Utf16 path = toUtf16(fileName);
    // Refused here rather than by Windows, which may cut or reinterpret a longer path.
    if (path.size() > kMaxPath) {
        return kWriteFailed;
    }
    const std::string bytes = fileBytes(formatConfigFile(data), !data.signature.empty());
    // A new temporary file never replaces another run's; a saved file replaces the user's own.
    HANDLE file =
        CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, exclusive ? CREATE_NEW : CREATE_ALWAYS,
                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return GetLastError() == ERROR_FILE_EXISTS ? kWriteTaken : kWriteFailed;
    }
    DWORD written = 0;
    const bool ok =
        WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
        written == bytes.size();
    if (!CloseHandle(file) || !ok) {
        // A truncated connection file would fail later in the client, far from the cause.
        DeleteFileW(path.c_str());
        return kWriteFailed;
    }
    return kWriteOk;
}
