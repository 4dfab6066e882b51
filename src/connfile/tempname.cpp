// File names and paths as Windows reads them, and the temporary files' names: no platform calls.
#include "connfile.h"

TempPlacement placeTempFile(std::string_view dir, std::string_view prefix, std::size_t letters,
                            std::seed_seq& seed,
                            const std::function<int(const std::string&)>& write) {
    // Not a secret: the name only has to differ from other runs' names, and the folder is the
    // user's own. The letters are a to y, as earlier releases named their files.
    std::mt19937 draw(seed);
    TempPlacement placed{kWriteTaken, std::string(dir), {}};
    for (int i = 0; i < kMaxTempTries && placed.result == kWriteTaken; ++i) {
        std::string name(prefix);
        for (std::size_t n = 0; n < letters; ++n) {
            name += static_cast<char>('a' + draw() % 25);
        }
        name += ".tmp";
        placed.path = placed.dir + '\\' + name;
        // Three letters may spell "nul" or "con": a new file cannot have such a name.
        placed.result = deviceNameLength(name) != 0 ? kWriteTaken : write(placed.path);
    }
    return placed;
}

bool isTempFile(std::string_view name) {
    static constexpr std::string_view ext = ".tmp";
    return name.size() >= ext.size() && lowerAscii(name.substr(name.size() - ext.size())) == ext;
}

std::size_t deviceNameLength(std::string_view name) {
    // "NUL.txt", "nul.tar.gz" and "NUL  .x" all open NUL: the part before the first dot
    // counts, without its trailing blanks.
    std::string_view base = name.substr(0, name.find('.'));
    while (!base.empty() && base.back() == ' ') {
        base.remove_suffix(1);
    }
    const std::string lower = lowerAscii(base);
    const std::string_view name3 = std::string_view(lower).substr(0, 3);
    const std::string_view number = std::string_view(lower).substr(name3.size());
    const bool device =
        number.empty() && (name3 == "con" || name3 == "prn" || name3 == "aux" || name3 == "nul");
    // The ports also take the superscript digits one to three (U+00B9, U+00B2, U+00B3).
    const bool port = (name3 == "com" || name3 == "lpt") &&
                      ((number.size() == 1 && number[0] >= '0' && number[0] <= '9') ||
                       number == "\xC2\xB9" || number == "\xC2\xB2" || number == "\xC2\xB3");
    // The console's own names, which some systems also read before a dot.
    const bool console = lower == "conin$" || lower == "conout$";
    return device || port || console ? base.size() : 0;
}

std::string fileNameFromTitle(std::string_view title) {
    // A title is display text ("Prod: web01", "Web/DB"); it must never name another folder or
    // an NTFS stream, where the clean-up would not find the file.
    static constexpr std::string_view kNotInNames = "\\/:*?\"<>|";
    std::string name(title);
    for (char& c : name) {
        // Bytes of characters beyond ASCII are all 0x80 or above in UTF-8, so stay untouched.
        if ((c >= '\x01' && c <= '\x1F') || kNotInNames.find(c) != std::string_view::npos) {
            c = '_';
        }
    }
    // Nor a device: "com1.lab" as the start of a name opens COM1, "com1_.lab" does not. Without
    // a dot, the "_" that follows the title ends the device name already.
    if (const std::size_t device = deviceNameLength(name);
        device != 0 && name.find('.') != std::string::npos) {
        name.insert(device, 1, '_');
    }
    return name;
}

bool isAbsolutePath(std::string_view path) {
    const auto separator = [path](std::size_t i) {
        return i < path.size() && (path[i] == '\\' || path[i] == '/');
    };
    const char drive = path.empty() ? '\0' : static_cast<char>(path[0] | 0x20);
    // "C:x" goes on from drive C:'s current folder, "\x" from the current drive's root.
    return (drive >= 'a' && drive <= 'z' && path.size() > 1 && path[1] == ':' && separator(2)) ||
           (separator(0) && separator(1));
}
