// The command-line tail: the program's name cut off, with no platform calls.
#include "morvelan.h"

std::string_view commandTail(std::string_view commandLine) {
    std::size_t pos = 0;
    if (!commandLine.empty() && commandLine[0] == '"') {
        const std::size_t close = commandLine.find('"', 1);
        // Without a closing quote there is no telling where the name ends: keep the whole line.
        if (close == std::string_view::npos) {
            return commandLine;
        }
        pos = close + 1;
    } else {
        pos = commandLine.find(' ');
        if (pos == std::string_view::npos) {
            return commandLine.substr(commandLine.size());
        }
    }
    while (pos < commandLine.size() && commandLine[pos] == ' ') {
        ++pos;
    }
    return commandLine.substr(pos);
}
