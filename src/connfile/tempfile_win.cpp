// Windows: the private temporary folder, and the places of new files under random names.
#include "connfile.h"

#include <windows.h>

#include <cstdio>

namespace {

// A client reads its file a moment after it starts; older files have been read.
constexpr ULONGLONG kGraceTicks = 60ULL * 10000000; // 60 seconds in 100-ns units

ULONGLONG ticks(const FILETIME& time) {
    return (static_cast<ULONGLONG>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

// Empty when the variable is not set.
std::string environmentValue(const wchar_t* name) {
    const DWORD size = GetEnvironmentVariableW(name, nullptr, 0);
    Utf16 value(size, L'\0');
    const DWORD length = GetEnvironmentVariableW(name, value.data(), size);
    value.resize(length < size ? length : 0);
    return toUtf8(value);
}

// Deletes the connection files of earlier runs, which hold protected passwords, once their
// clients have had time to read them.
void deleteOldFiles(const std::string& dir) {
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW(toUtf16(dir + "\\*.tmp").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) {
        return;
    }
    do {
        // The pattern also matches longer extensions through 8.3 short names ("a.tmpx").
        const std::string name = toUtf8(found.cFileName);
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 && isTempFile(name) &&
            ticks(now) > ticks(found.ftLastWriteTime) + kGraceTicks) {
            DeleteFileW(toUtf16(dir + "\\" + name).c_str());
        }
    } while (FindNextFileW(search, &found));
    FindClose(search);
}

// Creates the private folder, or cleans it of old files; false when it cannot be had.
bool preparePrivateDir(const std::string& dir) {
    const Utf16 path = toUtf16(dir);
    WIN32_FIND_DATAW found;
    HANDLE entry = FindFirstFileW(path.c_str(), &found);
    if (entry == INVALID_HANDLE_VALUE) {
        if (CreateDirectoryW(path.c_str(), nullptr)) {
            return true;
        }
        // Another run started at the same time may have made it since the look-up: a folder
        // there now is as good. A plain file made meanwhile is not.
        const DWORD error = GetLastError();
        const DWORD attributes = GetFileAttributesW(path.c_str());
        return error == ERROR_ALREADY_EXISTS && attributes != INVALID_FILE_ATTRIBUTES &&
               (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    }
    // Any entry of that name counts as the folder; a plain file then makes the write fail.
    FindClose(entry);
    deleteOldFiles(dir);
    return true;
}

// The root of C:, where no clean-up ever comes: the user is told, since the file stays there.
std::string rootOfC() {
    // Console only: a message box here would stop scripts for what is not an error.
    (void)std::fputs("TEMP dir not found. Assuming C:\\\n", stdout);
    return "c:";
}

std::string privateDir(std::string_view prefix) {
    // An empty or relative TEMP would put the folder, and the clean-up of its ".tmp" files,
    // wherever the current folder is.
    const std::string temp = environmentValue(L"TEMP");
    if (!isAbsolutePath(temp)) {
        return rootOfC();
    }
    const std::string dir = temp + "\\morvelan";
    // A name too long to use is refused by the writer; the folder is left alone then.
    const std::size_t nameLength =
        toUtf16(dir).size() + 1 + toUtf16(prefix).size() + kTempLetters + 4;
    return nameLength > kMaxPath || preparePrivateDir(dir) ? dir : rootOfC();
}

} // namespace

std::array<std::uint32_t, 5> runEntropy() {
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    return {now.dwLowDateTime, now.dwHighDateTime, GetCurrentProcessId(), counter.LowPart,
            static_cast<std::uint32_t>(counter.HighPart)};
}

TempPlacement placeNewFile(std::string_view dir, std::string_view prefix, std::size_t letters,
                           const std::function<int(const std::string&)>& write) {
    const std::array<std::uint32_t, 5> entropy = runEntropy();
    std::seed_seq seed(entropy.begin(), entropy.end());
    return placeTempFile(dir, prefix, letters, seed, write);
}

TempPlacement genTempName(std::string_view prefix,
                          const std::function<int(const std::string&)>& write) {
    return placeNewFile(privateDir(prefix), prefix, kTempLetters, write);
}
