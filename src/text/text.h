// Text helpers every module uses: UTF-8 and UTF-16, the UTF-8 check, hexadecimal, base64 and
// the wiping of secrets.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

// Texts are UTF-8 inside the program and UTF-16 at the Windows calls.
#ifdef _WIN32
using Utf16 = std::wstring;
#else
using Utf16 = std::u16string;
#endif

// Exact conversions both ways: an unpaired surrogate keeps a three-byte form of its own (as in
// WTF-8), so that no character of the command line is ever changed on the way.
std::string toUtf8(std::basic_string_view<Utf16::value_type> text);
Utf16 toUtf16(std::string_view text);

// Whether text is UTF-8 as the standard has it: no overlong forms, no surrogates, nothing past
// U+10FFFF. NUL is refused too: the client reads a password up to its first NUL.
bool isUtf8Text(std::string_view text);

// Two uppercase hexadecimal digits per byte, no separators.
std::string hexUpper(const unsigned char* bytes, std::size_t count);

// The bytes of an even number of hexadecimal digits, in either case.
std::string bytesFromHex(std::string_view hex);

// Whether text holds only the digits 0-9, a-f and A-F; true for an empty text.
bool isHexDigits(std::string_view text);

std::string base64(std::string_view bytes);

// The text with A to Z in lower case: the names of settings, which are ASCII.
std::string lowerAscii(std::string_view text);

// Overwrites a secret in a way the optimiser may not drop, then empties it.
void wipe(void* bytes, std::size_t count);
void wipe(std::string& secret);

// A plain password that wipes every copy of itself when it is replaced or ends, on every path a
// run takes. Every byte it has room for is wiped: a string moved from keeps its text in its
// inline buffer, and a shorter text leaves the end of a longer one behind.
class Secret {
  public:
    Secret() = default;
    Secret(const Secret&) = default;
    Secret(Secret&&) noexcept = default;
    // Records are copied, never assigned to one another.
    Secret& operator=(const Secret&) = delete;
    Secret& operator=(Secret&&) = delete;
    Secret& operator=(std::string_view value);
    ~Secret() { clear(); }

    // Wipes the text and empties it.
    void clear() noexcept;

    operator const std::string&() const noexcept { return text; }
    operator std::string_view() const noexcept { return text; }
    bool operator==(std::string_view other) const noexcept { return text == other; }
    bool operator!=(std::string_view other) const noexcept { return text != other; }

  private:
    std::string text;
};

inline void wipe(Secret& secret) {
    secret.clear();
}

// Appends to a secret of unknown length. A string that grows frees its old block as it is, so
// here the secret moves to a larger block by hand and the old one is wiped first.
template <typename String> void appendSecret(String& secret, typename String::value_type c) {
    if (secret.size() == secret.capacity()) {
        String larger;
        larger.reserve(2 * secret.capacity() + 64);
        larger.append(secret);
        wipe(secret.data(), secret.size() * sizeof(c));
        secret.swap(larger);
    }
    secret.push_back(c);
}

#ifdef _WIN32
struct AnsiText {
    std::string text;
    bool exact; // every character has a form of its own in the ANSI code page
};

// The text in the ANSI code page, "?" standing for a character without a form there.
AnsiText toAnsi(const Utf16& text);

// ANSI text in UTF-8; nothing when it holds a byte sequence that is no character there.
std::optional<std::string> fromAnsi(std::string_view text);
#endif
