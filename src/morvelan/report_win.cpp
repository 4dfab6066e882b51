// Windows: reports a message on standard output and in a message box.
#include "morvelan.h"

#include "../cmdline/cmdline.h"

#include <windows.h>

#include <cstdio>

std::string logbuff;

void logmb() {
    // Without a console the message box below still shows the text, so write errors are moot.
    (void)std::fputs(logbuff.c_str(), stdout);
    (void)std::fputc('\n', stdout);
    // Scripts reading the output should see it while the box is still open.
    (void)std::fflush(stdout);
    MessageBoxA(nullptr, logbuff.c_str(), "Morvelan v1.51 - Info", MB_OK);
}

int fail(std::string_view message) {
    logbuff = message;
    logmb();
    return 1;
}

int Usage() {
    logbuff = kUsageText;
    logmb();
    return 0;
}
