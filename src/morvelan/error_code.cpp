// Windows error codes as text, in the form people look them up: no platform calls.
#include "morvelan.h"

std::string windowsError(unsigned long code) {
    if (code < 0x10000) {
        return "Windows error " + std::to_string(code);
    }
    static const char digits[] = "0123456789ABCDEF";
    std::string hex;
    for (int shift = 28; shift >= 0; shift -= 4) {
        hex += digits[(code >> shift) & 0xF];
    }
    return "Windows error 0x" + hex;
}
