// Hexadecimal encoding, secret wiping and temporary file names: no platform calls.
#include "connfile.h"

std::string hexUpper(const unsigned char* bytes, std::size_t count) {
    static const char digits[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(count * 2);
    for (std::size_t i = 0; i < count; ++i) {
        out += digits[bytes[i] >> 4];
        out += digits[bytes[i] & 0x0F];
    }
    return out;
}

void wipe(void* bytes, std::size_t count) {
    volatile unsigned char* p = static_cast<volatile unsigned char*>(bytes);
    for (std::size_t i = 0; i < count; ++i) {
        p[i] = 0;
    }
}

void wipe(std::string& secret) {
    wipe(secret.data(), secret.size());
    secret.clear();
}

TempPlacement placeTempFile(std::string_view dir, std::string_view prefix, std::seed_seq& seed,
                            const std::function<int(const std::string&)>& write) {
    // Not a secret: the name only has to differ from other runs' names, and the folder is the
    // user's own. The letters are a to y, as earlier releases named their files.
    std::mt19937 letters(seed);
    TempPlacement placed{kWriteTaken, std::string(dir), {}};
    for (int i = 0; i < kMaxTempTries && placed.result == kWriteTaken; ++i) {
        placed.path = placed.dir + '\\' + std::string(prefix);
        for (int n = 0; n < 10; ++n) {
            placed.path += static_cast<char>('a' + letters() % 25);
        }
        placed.path += ".tmp";
        placed.result = write(placed.path);
    }
    return placed;
}

bool isTempFile(std::string_view name) {
    static constexpr std::string_view ext = ".tmp";
    if (name.size() < ext.size()) {
        return false;
    }
    const std::string_view tail = name.substr(name.size() - ext.size());
    for (std::size_t i = 0; i < ext.size(); ++i) {
        const char c = tail[i];
        const char lower = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
        if (lower != ext[i]) {
            return false;
        }
    }
    return true;
}
