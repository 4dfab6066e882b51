// Hexadecimal encoding, secret wiping and temporary file names: no platform calls.
#include "connfile.h"

#include <cstdlib>

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

std::string tempFileName(std::string_view dir, std::string_view prefix, unsigned seed) {
    std::string path(dir);
    path += '\\';
    path += prefix;
    // Seeded with whole seconds and limited to a..y, as earlier releases named their files:
    // the name only has to differ from the last run's, the folder itself is private.
    std::srand(seed);
    for (int i = 0; i < 10; ++i) {
        // NOLINTNEXTLINE(cert-msc30-c,cert-msc50-cpp): not a secret, see above.
        path += static_cast<char>('a' + std::rand() % 25);
    }
    path += ".tmp";
    return path;
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
