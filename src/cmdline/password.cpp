// The password as a line of standard input: line ends, byte-order mark and UTF-8 check.
#include "cmdline.h"

#include "../text/text.h"

PasswordInput readPasswordLine(const std::function<int()>& nextByte, std::string& password) {
    std::string line;
    line.reserve(256);
    int byte = nextByte();
    // One byte at a time, up to the LF: what follows the line is left for whoever reads next.
    for (; byte >= 0 && byte != '\n'; byte = nextByte()) {
        appendSecret(line, static_cast<char>(byte));
    }
    static constexpr std::string_view kBom = "\xEF\xBB\xBF";
    const std::size_t start = std::string_view(line).substr(0, 3) == kBom ? 3 : 0;
    std::size_t end = line.size();
    if (end > start && line[end - 1] == '\r') {
        --end;
    }
    PasswordInput result = PasswordInput::ok;
    if (byte == kReadFailed) {
        result = PasswordInput::read_failed;
    } else if (byte == kEndOfInput && line.size() == start) {
        // A broken pipeline must not become an empty password; an empty line is one.
        result = PasswordInput::ended;
    } else if (!isUtf8Text(std::string_view(line).substr(start, end - start))) {
        result = PasswordInput::not_utf8;
    } else {
        password.reserve(end - start);
        password.assign(line, start, end - start);
    }
    wipe(line);
    return result;
}

PasswordInput readTypedLine(std::string_view line, unsigned long readError, std::string& password) {
    // Ctrl+Z is the console's end of input, which the console hands over as a character: never
    // a password, nor a part of one.
    if (line.find('\x1A') != std::string_view::npos) {
        return PasswordInput::ended;
    }
    std::size_t next = 0;
    return readPasswordLine(
        [line, &next, readError] {
            if (next < line.size()) {
                return static_cast<int>(static_cast<unsigned char>(line[next++]));
            }
            return readError != 0 ? kReadFailed : kEndOfInput;
        },
        password);
}
