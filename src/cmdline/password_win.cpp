// Windows: the password from standard input, typed unseen on a console or piped in.
#include "cmdline.h"

#include "../text/text.h"

#include <windows.h>

namespace {

// The console input whose echo is off while the password is typed, and its mode before.
HANDLE console = nullptr;
DWORD consoleMode = 0;

// Ctrl+C and Ctrl+Break end the run at the prompt: no password, so nothing is written. The
// console must never stay without echo.
BOOL WINAPI restoreConsole(DWORD) {
    SetConsoleMode(console, consoleMode);
    ExitProcess(1);
}

// The prompt goes to the console even when standard output is redirected.
void writePrompt(const wchar_t* text) {
    HANDLE out =
        CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    nullptr, OPEN_EXISTING, 0, nullptr);
    DWORD written = 0;
    WriteConsoleW(out, text, static_cast<DWORD>(lstrlenW(text)), &written, nullptr);
    CloseHandle(out);
}

// The typed line in UTF-8, as the console gave it, line end included.
std::string typedLine(HANDLE in, DWORD& error) {
    console = in;
    SetConsoleCtrlHandler(restoreConsole, TRUE);
    SetConsoleMode(in, (consoleMode | ENABLE_LINE_INPUT | ENABLE_PROCESSED_INPUT) &
                           ~static_cast<DWORD>(ENABLE_ECHO_INPUT));
    // Only now: what is typed at the prompt is never shown.
    writePrompt(L"Password: ");
    Utf16 line;
    line.reserve(256);
    wchar_t chunk[256];
    // A line longer than the chunk comes in several reads.
    for (;;) {
        DWORD got = 0;
        const BOOL read = ReadConsoleW(in, chunk, 256, &got, nullptr);
        if (read == FALSE || got == 0) {
            error = read == FALSE ? GetLastError() : 0;
            // Windows ends the read at Ctrl+C before the handler's thread ends the run: no
            // message may come first.
            if (error == ERROR_OPERATION_ABORTED) {
                Sleep(2000);
            }
            break;
        }
        for (DWORD i = 0; i < got; ++i) {
            appendSecret(line, chunk[i]);
        }
        if (chunk[got - 1] == L'\n') {
            break;
        }
    }
    wipe(chunk, sizeof chunk);
    SetConsoleMode(in, consoleMode);
    SetConsoleCtrlHandler(restoreConsole, FALSE);
    writePrompt(L"\r\n"); // the user's Enter was not echoed either
    std::string text = toUtf8(line);
    wipe(line.data(), line.size() * sizeof(wchar_t));
    return text;
}

// The first line of a pipe or a file, read a byte at a time.
PasswordInput pipedLine(HANDLE in, std::string& password, DWORD& error) {
    unsigned char next = 0;
    const PasswordInput result = readPasswordLine(
        [in, &next, &error] {
            DWORD got = 0;
            if (!ReadFile(in, &next, 1, &got, nullptr)) {
                error = GetLastError();
                // A pipe whose writer has closed its end has simply ended.
                return error == ERROR_BROKEN_PIPE ? kEndOfInput : kReadFailed;
            }
            return got == 1 ? static_cast<int>(next) : kEndOfInput;
        },
        password);
    next = 0;
    return result;
}

} // namespace

PasswordInput readPassword(std::string& password, unsigned long& error) {
    HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
    DWORD readError = 0;
    PasswordInput result = PasswordInput::ok;
    if (GetConsoleMode(in, &consoleMode)) {
        std::string line = typedLine(in, readError);
        result = readTypedLine(line, readError, password);
        wipe(line);
    } else {
        result = pipedLine(in, password, readError);
    }
    error = readError;
    return result;
}
