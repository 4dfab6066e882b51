// Windows: the private temporary folder and the connection file's place in it.
#include "connfile.h"

#include <windows.h>

#include <cstdio>
#include <ctime>

namespace {

std::string environmentValue(const char* name, bool& found) {
    const DWORD size = GetEnvironmentVariableA(name, nullptr, 0);
    found = size != 0;
    if (!found) {
        return {};
    }
    std::string value(size, '\0');
    const DWORD length = GetEnvironmentVariableA(name, value.data(), size);
    value.resize(length < size ? length : 0);
    return value;
}

// Deletes the connection files of earlier runs, which hold protected passwords.
void deleteOldFiles(const std::string& dir) {
    const std::string pattern = dir + "\\*.tmp";
    if (pattern.size() > kMaxPath) {
        return;
    }
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(pattern.c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) {
        return;
    }
    do {
        // The pattern also matches longer extensions through 8.3 short names ("a.tmpx").
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ||
            !isTempFile(found.cFileName)) {
            continue;
        }
        const std::string filePath = dir + "\\" + found.cFileName;
        if (filePath.size() <= kMaxPath) {
            DeleteFileA(filePath.c_str());
        }
    } while (FindNextFileA(search, &found));
    FindClose(search);
}

// Creates the private folder, or empties it of old files; false when it cannot be had.
bool preparePrivateDir(const std::string& dir) {
    WIN32_FIND_DATAA found;
    HANDLE entry = FindFirstFileA(dir.c_str(), &found);
    if (entry == INVALID_HANDLE_VALUE) {
        return CreateDirectoryA(dir.c_str(), nullptr) != 0;
    }
    // Any entry of that name counts as the folder; a plain file then makes the write fail.
    FindClose(entry);
    deleteOldFiles(dir);
    return true;
}

} // namespace

std::string genTempName(std::string_view prefix) {
    const auto seed = static_cast<unsigned>(std::time(nullptr));
    bool haveTemp = false;
    const std::string temp = environmentValue("TEMP", haveTemp);
    if (!haveTemp) {
        // Console only: a message box here would stop scripts for what is not an error.
        (void)std::fputs("TEMP dir not found. Assuming C:\\\n", stdout);
        return tempFileName("c:", prefix, seed);
    }
    std::string dir = temp + "\\morvelan";
    // A path too long to use is refused by the writer; the folder is left alone then.
    if (tempFileName(dir, prefix, seed).size() <= kMaxPath && !preparePrivateDir(dir)) {
        dir = "c:";
    }
    return tempFileName(dir, prefix, seed);
}
