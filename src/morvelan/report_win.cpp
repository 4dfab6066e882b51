// Windows: reports a message on standard output and in a message box.
#include "morvelan.h"

#include "../cmdline/cmdline.h"
#include "../text/text.h"

#include <windows.h>

#include <cstdio>

std::string logbuff;
bool quiet = false;

void logmb() {
    const Utf16 text = toUtf16(logbuff);
    // Scripts read standard output in the ANSI code page, as earlier releases wrote it; a
    // character without a form there shows as "?" on it, and exactly in the box. Without a
    // console the box still shows the text, so write errors are moot.
    (void)std::fputs(toAnsi(text).text.c_str(), stdout);
    (void)std::fputc('\n', stdout);
    // Scripts reading the output should see it while the box is still open.
    (void)std::fflush(stdout);
    if (!quiet) {
        MessageBoxW(nullptr, text.c_str(), L"Morvelan v1.51 - Info", MB_OK);
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
