// Windows: the console entry, which hands the command-line tail to WinMain.
#include "morvelan.h"

#include <windows.h>

#include <cstring>

int main() {
    static char noCommandLine[] = "";
    char* commandLine = GetCommandLineA();
    if (commandLine == nullptr) {
        commandLine = noCommandLine;
    }
    // The C runtime's own argv splitting differs from the program's rules, so it is not used.
    const std::string_view tail =
        commandTail(std::string_view(commandLine, std::strlen(commandLine)));
    char* lpCmdLine = commandLine + (tail.data() - commandLine);
    return WinMain(GetModuleHandleA(nullptr), nullptr, lpCmdLine, 1);
}
