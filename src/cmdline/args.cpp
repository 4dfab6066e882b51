// Argument tokenizer: the command-line tail into the global argument table.
#include "cmdline.h"

#include "../text/text.h"

std::vector<std::string> args;

namespace {

// State of one split. inQuotes is the "last delimiter was a quote" flag: an opening quote or
// a quote inside an unquoted argument sets it, and only a blank between arguments clears it.
struct Scanner {
    bool parsing = false;
    bool inQuotes = false;
    std::string carg;

    bool begin() {
        if (args.size() >= kMaxArgs) {
            return false;
        }
        parsing = true;
        carg.clear();
        return true;
    }

    void store() {
        args.push_back(carg);
        wipe(carg);
        parsing = false;
    }
};

} // namespace

ArgsResult parseArgs(std::string_view lpCmdLine) {
    const std::string_view line = lpCmdLine.substr(0, lpCmdLine.find('\0'));
    if (line.empty()) {
        return ArgsResult::empty;
    }
    // Room enough from the start: growing would free copies of the password unwiped.
    args.reserve(kMaxArgs);
    Scanner s;
    s.carg.reserve(line.size());
    for (std::size_t i = 0; i <= line.size(); ++i) {
        const char c = i < line.size() ? line[i] : '\0';
        if (!s.parsing) {
            if (c == ' ') {
                s.inQuotes = false;
            } else if (c == '"') {
                if (!s.begin()) {
                    return ArgsResult::too_many;
                }
                s.inQuotes = true;
            } else if (c != '\0') {
                if (!s.begin()) {
                    return ArgsResult::too_many;
                }
                s.carg += c;
            }
            continue;
        }
        switch (c) {
        case '\0':
            if (s.inQuotes) {
                wipe(s.carg);
                return ArgsResult::unterminated;
            }
            s.store();
            break;
        case ' ':
            if (s.inQuotes) {
                s.carg += c;
            } else {
                s.store();
            }
            break;
        case '"':
            s.store();
            // A quote inside an unquoted argument ends it and opens a quoted one at once.
            if (!s.inQuotes) {
                if (!s.begin()) {
                    return ArgsResult::too_many;
                }
                s.inQuotes = true;
            }
            break;
        case '\\':
            if (i + 1 < line.size() && line[i + 1] == '"') {
                s.carg += '"';
                ++i;
            } else {
                s.carg += c;
            }
            break;
        default:
            s.carg += c;
            break;
        }
    }
    return ArgsResult::ok;
}

void clearArgs() {
    for (std::string& arg : args) {
        wipe(arg);
    }
    args.clear();
}
