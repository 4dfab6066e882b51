// Windows: the console entry, which hands the command-line tail to WinMain.
#include "morvelan.h"

#include "../text/text.h"

#include <windows.h>

#include <cstdlib>

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

// The runtime's default handler for an uncaught exception prints its type's name, and links a
// 40 KiB demangler into the exe for that. The program throws nothing of its own; running out
// of memory ends it all the same.
namespace __gnu_cxx {
// NOLINTNEXTLINE(bugprone-reserved-identifier,cert-dcl37-c,cert-dcl51-cpp): the runtime's name.
void __verbose_terminate_handler() {
    std::abort();
}
} // namespace __gnu_cxx
