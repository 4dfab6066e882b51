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
    return toUtf8(windir) + "\\system32\\mstsc.exe";
}

unsigned long startClient(const std::optional<std::string>& mstscPath,
                          const std::string& commandLine, void** process) {
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
                        FALSE, 0, nullptr, nullptr, &startInfo, &pidInfo)) {
        return GetLastError();
    }
    // The client runs on its own; nothing here waits for it.
    CloseHandle(pidInfo.hThread);
    if (process != nullptr) {
        *process = pidInfo.hProcess;
    } else {
        CloseHandle(pidInfo.hProcess);
    }
    return 0;
}
