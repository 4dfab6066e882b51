// Windows: text in the ANSI code page, for standard output and the connection file.
#include "text.h"

#include <windows.h>

#include <utility>

AnsiText toAnsi(const Utf16& text) {
    // Never a look-alike: a character without a form of its own there counts as not exact.
    // A UTF-8 code page holds every character and takes neither the flag nor the report.
    const bool utf8 = GetACP() == CP_UTF8;
    const DWORD flags = utf8 ? 0 : WC_NO_BEST_FIT_CHARS;
    BOOL usedDefault = FALSE;
    BOOL* report = utf8 ? nullptr : &usedDefault;
    const int length = static_cast<int>(text.size());
    const int size =
        WideCharToMultiByte(CP_ACP, flags, text.data(), length, nullptr, 0, nullptr, report);
    std::string out(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_ACP, flags, text.data(), length, out.data(), size, nullptr, report);
    return {std::move(out), usedDefault == FALSE};
}

std::optional<std::string> fromAnsi(std::string_view text) {
    const int length = static_cast<int>(text.size());
    const int size =
        MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, text.data(), length, nullptr, 0);
    Utf16 wide(static_cast<std::size_t>(size), L'\0');
    if (length > 0 && (size == 0 || MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, text.data(),
                                                        length, wide.data(), size) != size)) {
        return std::nullopt;
    }
    return toUtf8(wide);
}
