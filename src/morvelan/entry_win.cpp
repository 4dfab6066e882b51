// Windows: the console entry, which hands the command-line tail to WinMain.
#include "morvelan.h"

#include "../connfile/connfile.h"

#include <windows.h>

int main() {
    const wchar_t* commandLine = GetCommandLineW();
    // Read in UTF-16 and split in UTF-8: no character is changed, and no quote appears that
    // was not typed (the ANSI form turns look-alikes such as U+FF02 into '"').
    std::string line = toUtf8(commandLine != nullptr ? commandLine : L"");
    // The C runtime's own argv splitting differs from the program's rules, so it is not used.
    std::string tail(commandTail(line));
    wipe(line);
    const int status = WinMain(GetModuleHandleW(nullptr), nullptr, tail.data(), 1);
    wipe(tail);
    return status;
}
