// Windows: writes the connection file, whole or not at all, in the encoding its text needs.
#include "connfile.h"

#include <windows.h>

#include <algorithm>

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

// Writes bytes to path as a new file, which is gone again when it cannot be written whole.
int writeWhole(const Utf16& path, const std::string& bytes) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
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

// The folder of path, with its final backslash, as a full path; empty when there is none.
Utf16 fullFolder(const Utf16& path) {
    const DWORD size = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    Utf16 full(size, L'\0');
    wchar_t* name = nullptr;
    const DWORD length = GetFullPathNameW(path.c_str(), size, full.data(), &name);
    if (size == 0 || length == 0 || length >= size || name == nullptr) {
        return {};
    }
    return full.substr(0, static_cast<std::size_t>(name - full.data()));
}

// A saved file replaces the user's own only once the new one is whole: written beside it
// first under a free name, so that a failed save leaves the earlier file as it was.
int replaceWhole(const Utf16& path, const std::string& bytes) {
    const Utf16 folder = fullFolder(path);
    // As many letters as the path limit leaves room for: a save may take all 259 characters.
    const std::size_t room = kMaxPath - std::min(kMaxPath, folder.size() + 4);
    if (folder.empty() || room == 0) {
        return kWriteFailed;
    }
    const TempPlacement beside = placeNewFile(
        toUtf8(folder.substr(0, folder.size() - 1)), "", std::min(room, kTempLetters),
        [&bytes](const std::string& name) { return writeWhole(toUtf16(name), bytes); });
    if (beside.result != kWriteOk) {
        return kWriteFailed;
    }
    const Utf16 written = toUtf16(beside.path);
    if (MoveFileExW(written.c_str(), path.c_str(),
                    MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        return kWriteOk;
    }
    DeleteFileW(written.c_str());
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
    return exclusive ? writeWhole(path, bytes) : replaceWhole(path, bytes);
}
