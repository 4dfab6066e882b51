// Windows: writes the connection file, whole or not at all.
#include "connfile.h"

#include <windows.h>

int generateConfigFile(const std::string& fileName, const CONFIG_DATA& data, bool exclusive) {
    // Refused here rather than by Windows, which may cut or reinterpret a longer path.
    if (fileName.size() > kMaxPath) {
        return kWriteFailed;
    }
    const std::string text = formatConfigFile(data);
    // A new temporary file never replaces another run's; a saved file replaces the user's own.
    HANDLE file =
        CreateFileA(fileName.c_str(), GENERIC_WRITE, 0, nullptr,
                    exclusive ? CREATE_NEW : CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return GetLastError() == ERROR_FILE_EXISTS ? kWriteTaken : kWriteFailed;
    }
    DWORD written = 0;
    const bool ok =
        WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
        written == text.size();
    if (!CloseHandle(file) || !ok) {
        // A truncated connection file would fail later in the client, far from the cause.
        DeleteFileA(fileName.c_str());
        return kWriteFailed;
    }
    return kWriteOk;
}
