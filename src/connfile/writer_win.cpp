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

// Writes bytes to path, which disposition opens as a new or an emptied file; the file is
// gone again when it cannot be written whole.
int writeWhole(const Utf16& path, const std::string& bytes, DWORD disposition) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, disposition,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return GetLastError() == ERROR_FILE_EXISTS ? kWriteTaken : kWriteFailed;
    }
    // Some names open a device (NUL, a port, a printer), where the file would be lost or sent
    // away; nothing of that name is to be deleted either.
    if (GetFileType(file) != FILE_TYPE_DISK) {
        CloseHandle(file);
        return kWriteFailed;
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

// A saved file replaces the user's own only once the new one is whole: written beside it
// first, so that a failed save leaves the earlier file as it was.
int replaceWhole(const Utf16& path, const std::string& bytes) {
    const DWORD size = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    Utf16 full(size, L'\0');
    wchar_t* name = nullptr;
    const DWORD length = GetFullPathNameW(path.c_str(), size, full.data(), &name);
    if (size == 0 || length == 0 || length >= size || name == nullptr) {
        return kWriteFailed;
    }
    const Utf16 folder = full.substr(0, static_cast<std::size_t>(name - full.data()));
    wchar_t temp[MAX_PATH];
    if (GetTempFileNameW(folder.c_str(), L"mor", 0, temp) == 0) {
        return kWriteFailed;
    }
    if (writeWhole(temp, bytes, TRUNCATE_EXISTING) == kWriteOk &&
        MoveFileExW(temp, path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        return kWriteOk;
    }
    DeleteFileW(temp);
    return kWriteFailed;
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
    return exclusive ? writeWhole(path, bytes, CREATE_NEW) : replaceWhole(path, bytes);
}
