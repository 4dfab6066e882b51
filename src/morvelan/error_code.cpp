// Windows error codes as text, in the form people look them up: no platform calls.
#include "morvelan.h"

#include "../text/text.h"

std::string windowsError(unsigned long code) {
    if (code < 0x10000) {
        return "Windows error " + std::to_string(code);
    }
    const unsigned char bytes[] = {static_cast<unsigned char>(code >> 24 & 0xFF),
                                   static_cast<unsigned char>(code >> 16 & 0xFF),
                                   static_cast<unsigned char>(code >> 8 & 0xFF),
                                   static_cast<unsigned char>(code & 0xFF)};
    return "Windows error 0x" + hexUpper(bytes, sizeof bytes);
}
