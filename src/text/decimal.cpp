// Decimal numbers read from text, in the few forms the program meets: no platform calls.
#include "text.h"

#include <limits>

namespace {

bool isBlank(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

} // namespace

std::optional<Decimal> readDecimal(std::string_view text, DecimalForm form, std::uint64_t max) {
    const bool atoi = form == DecimalForm::atoi;
    std::size_t i = 0;
    while (atoi && i < text.size() && isBlank(text[i])) {
        ++i;
    }
    Decimal number{0, false};
    if (form != DecimalForm::digits && i < text.size() &&
        (text[i] == '-' || (atoi && text[i] == '+'))) {
        number.negative = text[i++] == '-';
    }
    const std::uint64_t limit =
        number.negative && max < std::numeric_limits<std::uint64_t>::max() ? max + 1 : max;
    const std::size_t first = i;
    for (; i < text.size() && isDigit(text[i]); ++i) {
        const auto digit = static_cast<std::uint64_t>(text[i] - '0');
        if (digit > limit || number.magnitude > (limit - digit) / 10) {
            return std::nullopt;
        }
        number.magnitude = number.magnitude * 10 + digit;
    }
    // atoi stops at the first other character; the other forms are digits to their end.
    if (!atoi && (i == first || i < text.size())) {
        return std::nullopt;
    }
    return number;
}

std::optional<std::int32_t> readInt32(std::string_view text, DecimalForm form) {
    const std::optional<Decimal> number =
        readDecimal(text, form, std::numeric_limits<std::int32_t>::max());
    if (!number) {
        return std::nullopt;
    }
    const auto magnitude = static_cast<std::int64_t>(number->magnitude);
    return static_cast<std::int32_t>(number->negative ? -magnitude : magnitude);
}
