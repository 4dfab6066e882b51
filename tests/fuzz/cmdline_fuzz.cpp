// Fuzz target: any command-line tail through the tokenizer and the options, any bytes through
// the UTF-8 check and as a user's connection file, and any UTF-16 command line through its
// UTF-8 form and back.
#include "cmdline/cmdline.h"
#include "connfile/connfile.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    CONFIG_DATA values;
    initDefaultData(values);
    (void)parseCommandLine(input, values);
    (void)isUtf8Text(input);
    // A file's settings under the options' make a file of well-formed lines, one per name.
    const auto noAnsi = [](std::string_view) { return std::optional<std::string>(); };
    const SourceRead read = readSettings(input, noAnsi);
    if (read.fault == SourceFault::none) {
        applySettings(read.settings, values, [](std::string_view) { return false; });
        if (readSettings(formatConfigFile(values), noAnsi).fault != SourceFault::none) {
            std::abort();
        }
    }
    Utf16 units(size / 2, 0);
    std::memcpy(units.data(), data, units.size() * 2);
    if (args.size() > kMaxArgs || toUtf16(toUtf8(units)) != units) {
        std::abort();
    }
    clearArgs();
    return 0;
}
