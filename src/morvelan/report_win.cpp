// Windows: reports a message on standard output and in a message box.
#include "morvelan.h"

#include "../cmdline/cmdline.h"
#include "../text/text.h"
#include "morvelan_version.h"

#include <windows.h>

#include <cstdio>

std::string logbuff;
bool quiet = false;

namespace {

// A console is given the text in UTF-16, so it shows every character exactly; bytes would go
// through its own code page. False when standard output is no console.
bool writeConsole(const Utf16& text) {
    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    DWORD mode = 0;
    if (!GetConsoleMode(out, &mode)) {
        return false;
    }
    // Line ends as the runtime writes them to standard output.
    Utf16 lines;
    for (const wchar_t c : text) {
        if (c == L'\n') {
            lines += L'\r';
        }
        lines += c;
    }
    lines += L"\r\n";
    // What the runtime holds for standard output comes first.
    (void)std::fflush(stdout);
    DWORD written = 0;
    return WriteConsoleW(out, lines.data(), static_cast<DWORD>(lines.size()), &written, nullptr) !=
           0;
}

} // namespace

void logline(std::string_view text) {
    const Utf16 wide = toUtf16(text);
    // Scripts read redirected output in the ANSI code page, as earlier releases wrote it; a
    // character without a form there shows as "?" on it. A failed write has nowhere else to
    // be told.
    if (!writeConsole(wide)) {
        (void)std::fputs(toAnsi(wide).text.c_str(), stdout);
        (void)std::fputc('\n', stdout);
        // Scripts reading the output should see it while a box is still open.
        (void)std::fflush(stdout);
    }
}

void logmb() {
    logline(logbuff);
    // The box shows every character exactly.
    if (!quiet) {
        MessageBoxW(nullptr, toUtf16(logbuff).c_str(),
                    L"Morvelan v" MORVELAN_VERSION_TEXT " - Info", MB_OK);
    }
}

int fail(std::string_view message, int status) {
    logbuff = message;
    logmb();
    return status;
}

int Usage(int status) {
    return fail(kUsageText, status);
}
