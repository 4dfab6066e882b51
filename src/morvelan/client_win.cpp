// Windows: finds the Remote Desktop client and starts it, on a file or on a host.
#include "morvelan.h"

#include "../text/text.h"

#include <windows.h>

#ifndef _WIN64
static_assert(sizeof(STARTUPINFOW) == 68, "STARTUPINFOW of 32-bit Windows");
#endif

std::optional<std::string> findMstscPath() {
    const UINT size = GetWindowsDirectoryW(nullptr, 0);
    if (size == 0) {
        return std::nullopt;
    }
    Utf16 windir(size, L'\0');
    const UINT length = GetWindowsDirectoryW(windir.data(), size);
    if (length == 0 || length >= size) {
        return std::nullopt;
    }
    windir.resize(length);
    const std::string windows = toUtf8(windir);
    // SysWOW64's 32-bit client only starts the native one and ends: a watcher waiting on it would
    // take a -n password away as the session starts. Sysnative is the native system folder as a
    // 32-bit process names it.
    if (underWow64()) {
        const std::string native = windows + "\\Sysnative\\mstsc.exe";
        if (GetFileAttributesW(toUtf16(native).c_str()) != INVALID_FILE_ATTRIBUTES) {
            return native;
        }
    }
    return windows + "\\system32\\mstsc.exe";
}

bool underWow64() {
    BOOL wow64 = FALSE;
    return IsWow64Process(GetCurrentProcess(), &wow64) && wow64;
}

unsigned long startClient(const std::optional<std::string>& mstscPath,
                          const std::string& commandLine, HeldClient* held) {
    STARTUPINFOW startInfo{};
    startInfo.cb = sizeof(startInfo);
    startInfo.dwFlags = STARTF_USESTDHANDLES;
    startInfo.wShowWindow = 0;
    startInfo.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startInfo.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
    startInfo.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION pidInfo{};
    // CreateProcessW may write into the command line, so it gets a buffer of its own.
    Utf16 cmdLine = toUtf16(commandLine);
    const Utf16 application = toUtf16(mstscPath.value_or(""));
    // Without an application name Windows finds the client by its name in the command line.
    if (!CreateProcessW(mstscPath ? application.c_str() : nullptr, cmdLine.data(), nullptr, nullptr,
                        FALSE, held != nullptr ? CREATE_SUSPENDED : 0, nullptr, nullptr, &startInfo,
                        &pidInfo)) {
        return GetLastError();
    }
    if (held == nullptr) {
        // The client runs on its own; nothing here waits for it.
        CloseHandle(pidInfo.hThread);
        CloseHandle(pidInfo.hProcess);
        return 0;
    }
    *held = {
        pidInfo.hProcess, pidInfo.hThread, {pidInfo.dwProcessId, processCreated(pidInfo.hProcess)}};
    return 0;
}

void resumeClient(HeldClient& held) {
    ResumeThread(held.thread);
    CloseHandle(held.thread);
    held.thread = nullptr;
}

std::uint64_t processCreated(void* process) {
    FILETIME created{};
    FILETIME unused[3];
    if (!GetProcessTimes(process, &created, &unused[0], &unused[1], &unused[2])) {
        return 0;
    }
    return (std::uint64_t{created.dwHighDateTime} << 32) | created.dwLowDateTime;
}
