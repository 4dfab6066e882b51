// Fuzz target: any command-line tail through the tokenizer and the options, and any UTF-16
// command line through its UTF-8 form and back.
#include "cmdline/cmdline.h"
#include "connfile/connfile.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view line(reinterpret_cast<const char*>(data), size);
    clearArgs();
    CONFIG_DATA values;
    initDefaultData(values);
    const CmdLineOutcome outcome = parseCommandLine(line, values);
    // What the rest of the run relies on, whatever the line held.
    if (args.size() > kMaxArgs) {
        std::abort();
    }
    if (outcome.result == CmdLineResult::ok) {
        if (values.saveonly != 0 && !hasArg("-s")) {
            std::abort();
        }
        if (formatConfigFile(values).empty()) {
            std::abort();
        }
    }
    clearArgs();
    Utf16 units(size / 2, 0);
    std::memcpy(units.data(), data, units.size() * 2);
    if (toUtf16(toUtf8(units)) != units) {
        std::abort();
    }
    return 0;
}
