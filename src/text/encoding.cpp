// Text encodings, hexadecimal, base64 and secret wiping: no platform calls.
#include "text.h"

#include <algorithm>
#include <cstdint>

namespace {

void appendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
        return;
    }
    if (c < 0x800) {
        out += static_cast<char>(0xC0 | c >> 6);
    } else {
        if (c < 0x10000) {
            out += static_cast<char>(0xE0 | c >> 12);
        } else {
            out += static_cast<char>(0xF0 | c >> 18);
            out += static_cast<char>(0x80 | (c >> 12 & 0x3F));
        }
        out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
    }
    out += static_cast<char>(0x80 | (c & 0x3F));
}

bool isHigh(char32_t c) {
    return c >= 0xD800 && c < 0xDC00;
}

bool isLow(char32_t c) {
    return c >= 0xDC00 && c < 0xE000;
}

} // namespace

std::string toUtf8(std::basic_string_view<Utf16::value_type> text) {
    // Room enough from the start: growing would free copies of a password unwiped.
    std::string out;
    out.reserve(3 * text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        char32_t c = static_cast<char16_t>(text[i]);
        const char32_t next = i + 1 < text.size() ? static_cast<char16_t>(text[i + 1]) : 0;
        if (isHigh(c) && isLow(next)) {
            c = 0x10000 + ((c - 0xD800) << 10) + (next - 0xDC00);
            ++i;
        }
        appendUtf8(out, c);
    }
    return out;
}

// Reads what toUtf8 writes; other bytes give other characters, never a read past the end.
Utf16 toUtf16(std::string_view text) {
    Utf16 out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i++]);
        const int extra = lead < 0xC0 ? 0 : lead < 0xE0 ? 1 : lead < 0xF0 ? 2 : 3;
        char32_t c = extra == 0 ? lead : lead & (0x3Fu >> extra);
        for (int n = 0; n < extra && i < text.size(); ++n) {
            c = c << 6 | (static_cast<unsigned char>(text[i++]) & 0x3Fu);
        }
        if (c >= 0x10000) {
            out += static_cast<Utf16::value_type>(0xD800 + ((c - 0x10000) >> 10));
            c = 0xDC00 + (c & 0x3FF);
        }
        out += static_cast<Utf16::value_type>(c);
    }
    return out;
}

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

// The old text is wiped first: a string that grows frees its old block as it is.
Secret& Secret::operator=(std::string_view value) {
    clear();
    text.assign(value);
    return *this;
}

void Secret::clear() noexcept {
    wipe(text.data(), text.capacity());
    text.clear();
}

bool isUtf8Text(std::string_view text) {
    static constexpr char32_t kShortest[] = {0x01, 0x80, 0x800, 0x10000};
    for (std::size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i++]);
        const int extra = lead < 0x80   ? 0
                          : lead < 0xC2 ? -1 // a continuation byte, or an overlong lead
                          : lead < 0xE0 ? 1
                          : lead < 0xF0 ? 2
                          : lead < 0xF5 ? 3
                                        : -1;
        if (extra < 0 || static_cast<std::size_t>(extra) > text.size() - i) {
            return false;
        }
        char32_t c = extra == 0 ? lead : lead & (0x3Fu >> extra);
        for (int n = 0; n < extra; ++n) {
            const auto next = static_cast<unsigned char>(text[i++]);
            if ((next & 0xC0) != 0x80) {
                return false;
            }
            c = c << 6 | (next & 0x3Fu);
        }
        if (c < kShortest[extra] || c > 0x10FFFF || (c >= 0xD800 && c < 0xE000)) {
            return false;
        }
    }
    return true;
}

std::string bytesFromHex(std::string_view hex) {
    std::string bytes;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
        int value = 0;
        for (const char c : hex.substr(i, 2)) {
            const int digit = c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10;
            value = value * 16 + digit;
        }
        bytes += static_cast<char>(value);
    }
    return bytes;
}

bool isHexDigits(std::string_view text) {
    return text.find_first_not_of("0123456789ABCDEFabcdef") == std::string_view::npos;
}

std::string base64(std::string_view bytes) {
    static const char digits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
        const std::size_t n = std::min<std::size_t>(3, bytes.size() - i);
        std::uint32_t group = 0;
        for (std::size_t k = 0; k < 3; ++k) {
            group = group << 8 | (k < n ? static_cast<unsigned char>(bytes[i + k]) : 0u);
        }
        for (std::size_t k = 0; k < 4; ++k) {
            out += k <= n ? digits[group >> (18 - 6 * k) & 0x3F] : '=';
        }
    }
    return out;
}

std::string lowerAscii(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    }
    return out;
}
