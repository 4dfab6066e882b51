// Options: from the argument table into the settings record.
#include "cmdline.h"

#include "../connfile/connfile.h"
#include "../text/text.h"

#include <array>
#include <cstdint>
#include <iterator>

namespace {

// line: a text written as a line of the connection file, where a line break would begin a
// setting of the caller's choosing. The password is written in hexadecimal, and the title
// only names the file: they may hold any character. password: the record's self-wiping holder.
// file: a path that may not be empty. flag: no value; it sets how the run goes, or a setting
// of the connection.
enum class Kind { text, line, password, resolution, save, thumbprint, file, flag };

// unless_file: "-f" may name a file that gives it instead.
enum class Need { no, yes, unless_file };

struct Option {
    const char* name;
    Need need;
    Kind kind;
    std::string CONFIG_DATA::*field;
    const char* refusal; // the message for a value of the right form that cannot be taken
    bool CmdLineOutcome::*runFlag;
    int CONFIG_DATA::*setting; // the connection's setting a flag turns on
};

// Decided in this order: the first missing required option, or the first option whose value
// is missing, malformed or refused, ends the run.
const Option kOptions[] = {
    {"-u", Need::unless_file, Kind::line, &CONFIG_DATA::username,
     "Error: The user name (-u) may not hold a line break; nothing was done.", nullptr, nullptr},
    {"-p", Need::yes, Kind::password, nullptr, nullptr, nullptr, nullptr},
    {"-h", Need::unless_file, Kind::line, &CONFIG_DATA::full_address,
     "Error: The host name (-h) may not hold a line break; nothing was done.", nullptr, nullptr},
    {"-t", Need::yes, Kind::text, &CONFIG_DATA::window_title, nullptr, nullptr, nullptr},
    {"-d", Need::no, Kind::line, &CONFIG_DATA::domain,
     "Error: The domain (-d) may not hold a line break; nothing was done.", nullptr, nullptr},
    {"-r", Need::no, Kind::resolution, nullptr, nullptr, nullptr, nullptr},
    {"-s", Need::no, Kind::save, &CONFIG_DATA::destination_file, nullptr, nullptr, nullptr},
    {"-c", Need::no, Kind::thumbprint, &CONFIG_DATA::signer_thumbprint,
     "Error: The thumbprint (-c) must be 40 or 64 hexadecimal digits; nothing was done.", nullptr,
     nullptr},
    {"-f", Need::no, Kind::file, &CONFIG_DATA::source_file,
     "Error: The connection file to start from (-f) may not be empty; nothing was done.", nullptr,
     nullptr},
    {"-q", Need::no, Kind::flag, nullptr, nullptr, &CmdLineOutcome::quiet, nullptr},
    {"-n", Need::no, Kind::flag, nullptr, nullptr, &CmdLineOutcome::direct, nullptr},
    {"-a", Need::no, Kind::flag, nullptr, nullptr, nullptr, &CONFIG_DATA::administrative_session},
    {"-m", Need::no, Kind::flag, nullptr, nullptr, nullptr, &CONFIG_DATA::use_multimon},
};

// Width, a lower-case "x", height; only the first "x" counts ("800x600x32" is 800 by 600).
bool applyResolution(const std::string& value, CONFIG_DATA& data) {
    const std::size_t xpos = value.find('x');
    if (xpos == std::string::npos) {
        return false;
    }
    const std::string_view text(value);
    // Each read as the C runtime's atoi reads it, but refused when it does not fit 32 bits.
    const std::optional<std::int32_t> width = readInt32(text.substr(0, xpos), DecimalForm::atoi);
    const std::optional<std::int32_t> height = readInt32(text.substr(xpos + 1), DecimalForm::atoi);
    if (!width || !height) {
        return false;
    }
    data.desktop_width = *width;
    data.desktop_height = *height;
    data.screen_mode_id = 1;
    return true;
}

// SHA-1, or SHA-256 as the signing tool takes them and, since July 2026, the trusted-publishers
// policy lists them.
bool isThumbprint(std::string_view value) {
    return (value.size() == 40 || value.size() == 64) && isHexDigits(value);
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
        // A single "-" asks for standard input, where the password itself may be "-".
        data.password_from_input = value == "-";
        if (!data.password_from_input) {
            data.password = value; // straight from the table's copy: no temporary to free
        }
        return CmdLineResult::ok;
    case Kind::resolution:
        return applyResolution(value, data) ? CmdLineResult::ok : CmdLineResult::usage;
    case Kind::save:
        data.saveonly = 1;
        break;
    case Kind::file:
        if (value.empty()) {
            return CmdLineResult::refused;
        }
        break;
    case Kind::thumbprint:
        if (!isThumbprint(value)) {
            return CmdLineResult::refused;
        }
        break;
    case Kind::flag: // takes no value: the pass sets it
        return CmdLineResult::ok;
    }
    data.*option.field = value;
    return CmdLineResult::ok;
}

// "-n" hands the client no file, so there is none to save or sign, and the host goes on the
// client's command line, where a blank, a tab or a quote would split it. The credential is
// named after the host: an empty name would be no server's, and a "*" in it a wildcard that
// Windows may offer to every server.
const char* directRefusal(const CONFIG_DATA& data) {
    if (!data.source_file.empty()) {
        return "Error: -n starts a session without a file, and -f names one to start from; "
               "nothing was done.";
    }
    if (data.saveonly != 0) {
        return "Error: -n starts a session without a file, and -s only saves a file; "
               "nothing was done.";
    }
    if (!data.signer_thumbprint.empty()) {
        return "Error: -n writes no file for -c to sign; nothing was done.";
    }
    const std::string_view host = hostWithoutPort(data.full_address);
    if (host.empty() || host == "[]" ||
        data.full_address.find_first_of(" \t\"*") != std::string::npos) {
        return "Error: With -n the host name (-h) may not be empty or hold a blank, a tab, a "
               "quote or an asterisk; nothing was done.";
    }
    // Standard input is read later, and checked then.
    if (!data.password_from_input && !fitsCredential(data.password)) {
        return kPasswordTooLongMessage;
    }
    return nullptr;
}

// The option a word names, as an index into kOptions; kNoOption for any other word.
constexpr std::size_t kOptionCount = std::size(kOptions);
constexpr std::size_t kNoOption = kOptionCount;

std::size_t optionNamed(std::string_view word) {
    std::size_t index = 0;
    while (index < kOptionCount && word != kOptions[index].name) {
        ++index;
    }
    return index;
}

void applyFlag(const Option& flag, CmdLineOutcome& outcome, CONFIG_DATA& data) {
    if (flag.runFlag != nullptr) {
        outcome.*flag.runFlag = true;
    } else {
        data.*flag.setting = 1;
    }
}

// What the pass found for each option, in the table's order.
struct Found {
    bool given = false;
    CmdLineResult result = CmdLineResult::ok;
};

// The line read once, left to right: an option that takes a value takes the next word,
// whatever it is, so a password "-s" or a title "-q" from a script's variable is data and
// never an option. Only the first occurrence of an option is applied; a later one still takes
// its word. Every flag is set, even on a line that is refused: "-q" keeps the refusal out of a
// box.
void readOptions(std::array<Found, kOptionCount>& found, CmdLineOutcome& outcome,
                 CONFIG_DATA& data) {
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::size_t index = optionNamed(args[i]);
        if (index == kNoOption) {
            continue;
        }
        const Option& option = kOptions[index];
        if (option.kind == Kind::flag) {
            applyFlag(option, outcome, data);
            continue;
        }
        Found& it = found[index];
        // An option that stands last has no value; that is as good as a missing one.
        if (i + 1 == args.size()) {
            it.result = CmdLineResult::usage;
        } else if (!it.given) {
            it.result = applyOption(option, args[i + 1], data);
            outcome.given.push_back(option.name);
        }
        it.given = true;
        ++i;
    }
}

// The first fault in the table's order: a missing required option, a missing or malformed
// value, or a refused one. With "-f", what the file may give is looked for there later.
void decide(const std::array<Found, kOptionCount>& found, bool fromFile, CmdLineOutcome& outcome) {
    for (std::size_t index = 0; index < kOptionCount; ++index) {
        const Option& option = kOptions[index];
        const bool missing = !found[index].given && option.need != Need::no;
        if (missing && fromFile && option.need == Need::unless_file) {
            outcome.missing.push_back(option.name);
            continue;
        }
        outcome.result = missing ? CmdLineResult::usage : found[index].result;
        if (outcome.result == CmdLineResult::refused) {
            outcome.message = option.refusal;
        }
        if (outcome.result != CmdLineResult::ok) {
            return;
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

std::string_view hostWithoutPort(std::string_view address) {
    const std::size_t colon = address.rfind(':');
    // One colon ends a name or an IPv4 address and begins the port. An IPv6 address holds
    // several, and has a port only after the bracket that closes it ("[fe80::1]:3390").
    if (colon != std::string_view::npos &&
        (address.find(':') == colon || (address[0] == '[' && address[colon - 1] == ']'))) {
        return address.substr(0, colon);
    }
    return address;
}

CmdLineOutcome parseCommandLine(std::string_view lpCmdLine, CONFIG_DATA& data) {
    const ArgsResult split = parseArgs(lpCmdLine);
    CmdLineOutcome outcome{};
    outcome.unterminated = split == ArgsResult::unterminated;
    std::array<Found, kOptionCount> found{};
    readOptions(found, outcome, data);
    outcome.usageAsked = !outcome.unterminated && asksForUsage();
    // A dropped argument could turn a save into a launch, so an overlong line is refused whole.
    if (split == ArgsResult::too_many) {
        outcome.result = CmdLineResult::too_many_args;
        return outcome;
    }
    decide(found, found[optionNamed("-f")].given, outcome);
    if (outcome.result != CmdLineResult::ok) {
        return outcome;
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
