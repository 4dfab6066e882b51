// Windows: finds the Remote Desktop client and starts it on a connection file.
#include "morvelan.h"

#include <windows.h>

#ifndef _WIN64
static_assert(sizeof(STARTUPINFOA) == 68, "STARTUPINFOA of 32-bit Windows");
#endif

std::optional<std::string> findMstscPath() {
    const UINT size = GetWindowsDirectoryA(nullptr, 0);
    if (size == 0) {
        return std::nullopt;
    }
    std::string windir(size, '\0');
    const UINT length = GetWindowsDirectoryA(windir.data(), size);
    if (length == 0 || length >= size) {
        return std::nullopt;
    }
    windir.resize(length);
    return windir + "\\system32\\mstsc.exe";
}

unsigned long startClient(const std::optional<std::string>& mstscPath, const std::string& cfgFile) {
    STARTUPINFOA startInfo{};
    startInfo.cb = sizeof(startInfo);
    startInfo.dwFlags = STARTF_USESTDHANDLES;
    startInfo.wShowWindow = 0;
    startInfo.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startInfo.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
    startInfo.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION pidInfo{};
    // CreateProcessA may write into the command line, so it gets a buffer of its own.
    std::string cmdLine = clientCommandLine(cfgFile);
    // Without an application name Windows finds the client by its name in the command line.
    const char* application = mstscPath ? mstscPath->c_str() : nullptr;
    if (!CreateProcessA(application, cmdLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startInfo, &pidInfo)) {
        return GetLastError();
    }
    // The client runs on its own; nothing here waits for it.
    CloseHandle(pidInfo.hThread);
    CloseHandle(pidInfo.hProcess);
    return 0;
}
