// Fuzz target: any command-line tail through the tokenizer and the options, and any UTF-16
// command line through its UTF-8 form and back.
#include "cmdline/cmdline.h"
#include "connfile/connfile.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    CONFIG_DATA values;
    initDefaultData(values);
    (void)parseCommandLine(std::string_view(reinterpret_cast<const char*>(data), size), values);
    Utf16 units(size / 2, 0);
    std::memcpy(units.data(), data, units.size() * 2);
    if (args.size() > kMaxArgs || toUtf16(toUtf8(units)) != units) {
        std::abort();
    }
    clearArgs();
    return 0;
}
