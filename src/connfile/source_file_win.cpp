// Windows: reads the user's connection file whole.
#include "connfile.h"

#include <windows.h>

std::optional<unsigned long> readSourceFile(const std::string& path, std::string& bytes) {
    const Utf16 name = toUtf16(path);
    if (name.size() > kMaxPath) {
        return ERROR_FILENAME_EXCED_RANGE;
    }
    HANDLE file = CreateFileW(name.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return GetLastError();
    }
    // A device (CON, a port, a pipe) would be read from, not a file: it may wait for ever.
    LARGE_INTEGER size{};
    DWORD error = GetFileType(file) != FILE_TYPE_DISK                      ? ERROR_INVALID_NAME
                  : !GetFileSizeEx(file, &size)                            ? GetLastError()
                  : size.QuadPart > static_cast<LONGLONG>(kMaxSourceBytes) ? ERROR_FILE_TOO_LARGE
                                                                           : 0;
    if (error == 0) {
        bytes.assign(static_cast<std::size_t>(size.QuadPart), '\0');
        DWORD read = 0;
        // A file that grows meanwhile is read as far as its size was.
        if (!ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr)) {
            error = GetLastError();
        }
        bytes.resize(read);
    }
    CloseHandle(file);
    if (error != 0) {
        return error;
    }
    return std::nullopt;
}
