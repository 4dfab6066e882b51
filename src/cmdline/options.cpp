// Options: from the argument table into the settings record.
#include "cmdline.h"

#include "../connfile/connfile.h"
#include "../text/text.h"

#include <cstdint>

namespace {

// line: a text written as a line of the connection file, where a line break would begin a
// setting of the caller's choosing. The password is written in hexadecimal, and the title
// only names the file: they may hold any character. password: the record's self-wiping holder.
// flag: no value; it sets how the run goes, or a setting of the connection.
enum class Kind { text, line, password, resolution, save, thumbprint, flag };

struct Option {
    const char* name;
    bool required;
    Kind kind;
    std::string CONFIG_DATA::*field;
    const char* refusal; // the message for a value of the right form that cannot be taken
    bool CmdLineOutcome::*runFlag;
    int CONFIG_DATA::*setting; // the connection's setting a flag turns on
};

// Applied in this order: the first missing required option ends the run. The flags come
// first of all, wherever they stand.
const Option kOptions[] = {
    {"-u", true, Kind::line, &CONFIG_DATA::username,
     "Error: The user name (-u) may not hold a line break; nothing was done.", nullptr, nullptr},
    {"-p", true, Kind::password, nullptr, nullptr, nullptr, nullptr},
    {"-h", true, Kind::line, &CONFIG_DATA::full_address,
     "Error: The host name (-h) may not hold a line break; nothing was done.", nullptr, nullptr},
    {"-t", true, Kind::text, &CONFIG_DATA::window_title, nullptr, nullptr, nullptr},
    {"-d", false, Kind::line, &CONFIG_DATA::domain,
     "Error: The domain (-d) may not hold a line break; nothing was done.", nullptr, nullptr},
    {"-r", false, Kind::resolution, nullptr, nullptr, nullptr, nullptr},
    {"-s", false, Kind::save, &CONFIG_DATA::destination_file, nullptr, nullptr, nullptr},
    {"-c", false, Kind::thumbprint, &CONFIG_DATA::signer_thumbprint,
     "Error: The thumbprint (-c) must be 40 or 64 hexadecimal digits; nothing was done.", nullptr,
     nullptr},
    {"-q", false, Kind::flag, nullptr, nullptr, &CmdLineOutcome::quiet, nullptr},
    {"-n", false, Kind::flag, nullptr, nullptr, &CmdLineOutcome::direct, nullptr},
    {"-a", false, Kind::flag, nullptr, nullptr, nullptr, &CONFIG_DATA::administrative_session},
    {"-m", false, Kind::flag, nullptr, nullptr, nullptr, &CONFIG_DATA::use_multimon},
};

bool isSpace(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

// A decimal integer read like the C runtime's atoi, but refused when it does not fit 32 bits.
bool decimalValue(std::string_view text, int& value) {
    std::size_t i = 0;
    while (i < text.size() && isSpace(text[i])) {
        ++i;
    }
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    const std::int64_t limit = negative ? -static_cast<std::int64_t>(INT32_MIN) : INT32_MAX;
    std::int64_t magnitude = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        magnitude = magnitude * 10 + (text[i] - '0');
        if (magnitude > limit) {
            return false;
        }
    }
    value = static_cast<int>(negative ? -magnitude : magnitude);
    return true;
}

// Width, a lower-case "x", height; only the first "x" counts ("800x600x32" is 800 by 600).
bool applyResolution(const std::string& value, CONFIG_DATA& data) {
    const std::size_t xpos = value.find('x');
    if (xpos == std::string::npos) {
        return false;
    }
    const std::string_view text(value);
    int width = 0;
    int height = 0;
    if (!decimalValue(text.substr(0, xpos), width) ||
        !decimalValue(text.substr(xpos + 1), height)) {
        return false;
    }
    data.desktop_width = width;
    data.desktop_height = height;
    data.screen_mode_id = 1;
    return true;
}

// SHA-1, as the trusted-publishers policy lists certificates, or SHA-256, as the signing tool
// takes them.
bool isThumbprint(std::string_view value) {
    return (value.size() == 40 || value.size() == 64) &&
           value.find_first_not_of("0123456789ABCDEFabcdef") == std::string_view::npos;
}

CmdLineResult applyOption(const Option& option, const std::string& value, CONFIG_DATA& data) {
    switch (option.kind) {
    case Kind::text:
        break;
    case Kind::line:
        if (value.find_first_of("\r\n") != std::string::npos) {
            return CmdLineResult::refused;
        }
        break;
    case Kind::password:
        data.password = value;
        return CmdLineResult::ok;
    case Kind::resolution:
        return applyResolution(value, data) ? CmdLineResult::ok : CmdLineResult::usage;
    case Kind::save:
        data.saveonly = 1;
        break;
    case Kind::thumbprint:
        if (!isThumbprint(value)) {
            return CmdLineResult::refused;
        }
        break;
    case Kind::flag: // takes no value: applyFlags has set it
        return CmdLineResult::ok;
    }
    data.*option.field = value;
    return CmdLineResult::ok;
}

// "-n" hands the client no file, so there is none to save or sign, and the host goes on the
// client's command line, where a blank, a tab or a quote would split it.
const char* directRefusal(const CONFIG_DATA& data) {
    if (data.saveonly != 0) {
        return "Error: -n starts a session without a file, and -s only saves a file; "
               "nothing was done.";
    }
    if (!data.signer_thumbprint.empty()) {
        return "Error: -n writes no file for -c to sign; nothing was done.";
    }
    if (data.full_address.empty() ||
        data.full_address.find_first_of(" \t\"") != std::string::npos) {
        return "Error: With -n the host name (-h) may not be empty or hold a blank, a tab or a "
               "quote; nothing was done.";
    }
    // "-" is read from standard input later, and checked then.
    if (data.password != "-" && !fitsCredential(data.password)) {
        return kPasswordTooLongMessage;
    }
    return nullptr;
}

// Whether the argument at index is an option's value, found as the options find theirs: the
// word after the option's first occurrence.
bool isValue(std::size_t index) {
    for (const Option& option : kOptions) {
        if (option.kind != Kind::flag && getValue(option.name) == &args[index]) {
            return true;
        }
    }
    return false;
}

// A flag counts only where it stands as an option: a password "-n" or a title "-q" from a
// script's variable is data like any other.
bool standsAsOption(std::string_view flag) {
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == flag && !isValue(i)) {
            return true;
        }
    }
    return false;
}

void applyFlags(CmdLineOutcome& outcome, CONFIG_DATA& data) {
    for (const Option& flag : kOptions) {
        if (flag.kind != Kind::flag || !standsAsOption(flag.name)) {
            continue;
        }
        if (flag.runFlag != nullptr) {
            outcome.*flag.runFlag = true;
        } else {
            data.*flag.setting = 1;
        }
    }
}

// No word at all, or only the Windows way of asking for help.
bool asksForUsage() {
    return args.empty() ||
           (args.size() == 1 && (args[0] == "/?" || args[0] == "-?" || args[0] == "--help"));
}

} // namespace

bool fitsCredential(std::string_view password) {
    Utf16 wide = toUtf16(password);
    const bool fits = wide.size() <= kMaxCredentialPassword;
    wipe(wide.data(), wide.size() * sizeof(wide[0]));
    return fits;
}

CmdLineOutcome parseCommandLine(std::string_view lpCmdLine, CONFIG_DATA& data) {
    const ArgsResult split = parseArgs(lpCmdLine);
    CmdLineOutcome outcome{};
    outcome.unterminated = split == ArgsResult::unterminated;
    // Even a line that is refused has its flags: "-q" keeps the refusal out of a box.
    applyFlags(outcome, data);
    outcome.usageAsked = !outcome.unterminated && asksForUsage();
    // A dropped argument could turn a save into a launch, so an overlong line is refused whole.
    if (split == ArgsResult::too_many) {
        outcome.result = CmdLineResult::too_many_args;
        return outcome;
    }
    for (const Option& option : kOptions) {
        if (option.kind == Kind::flag || (!option.required && !hasArg(option.name))) {
            continue;
        }
        // An option that stands last has no value; that is as good as a missing one.
        const std::string* value = getValue(option.name);
        outcome.result =
            value != nullptr ? applyOption(option, *value, data) : CmdLineResult::usage;
        if (outcome.result == CmdLineResult::refused) {
            outcome.message = option.refusal;
        }
        if (outcome.result != CmdLineResult::ok) {
            return outcome;
        }
    }
    // Every monitor means full screen, so a window's size cannot go with it.
    if (data.use_multimon != 0 && data.screen_mode_id == 1) {
        outcome.result = CmdLineResult::refused;
        outcome.message = "Error: -m shows the session full screen on every monitor, and -r asks "
                          "for a window; nothing was done.";
        return outcome;
    }
    if (outcome.direct) {
        if (const char* refusal = directRefusal(data)) {
            outcome.result = CmdLineResult::refused;
            outcome.message = refusal;
        }
    }
    return outcome;
}
