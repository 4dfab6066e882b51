// The user's connection file: its lines read as settings, and taken under the options'.
#include "connfile.h"

#include <algorithm>
#include <set>

namespace {

// The file's lines, each in UTF-8 without its LF; nothing for a line that is not text in the
// file's encoding.
std::vector<std::optional<std::string>>
textLines(std::string_view bytes,
          const std::function<std::optional<std::string>(std::string_view)>& fromAnsi) {
    std::vector<std::optional<std::string>> lines;
    if (bytes.substr(0, 2) == "\xFF\xFE") {
        Utf16 text;
        for (std::size_t i = 2; i + 1 < bytes.size(); i += 2) {
            text += static_cast<Utf16::value_type>(static_cast<unsigned char>(bytes[i]) |
                                                   static_cast<unsigned char>(bytes[i + 1]) << 8);
        }
        for (std::size_t start = 0; start <= text.size();) {
            const std::size_t end =
                std::min(text.find(Utf16::value_type{'\n'}, start), text.size());
            lines.push_back(toUtf8(text.substr(start, end - start)));
            start = end + 1;
        }
        if (bytes.size() % 2 != 0) { // half a character at the end
            lines.back().reset();
        }
    } else {
        const bool bom = bytes.substr(0, 3) == "\xEF\xBB\xBF";
        bytes.remove_prefix(bom ? 3 : 0);
        const bool utf8 = bom || isUtf8Text(bytes);
        for (std::size_t start = 0; start <= bytes.size();) {
            const std::size_t end = std::min(bytes.find('\n', start), bytes.size());
            const std::string_view line = bytes.substr(start, end - start);
            lines.push_back(utf8 ? std::optional<std::string>(line) : fromAnsi(line));
            start = end + 1;
        }
    }
    return lines;
}

// The names of settings are printable ASCII. A blank at either end, or a byte-order mark, would
// make a second name that a reader trimming it takes for the first: two values, one signed.
bool isName(std::string_view name) {
    return !name.empty() && name.front() != ' ' && name.back() != ' ' &&
           std::all_of(name.begin(), name.end(), [](char c) { return c >= ' ' && c <= '~'; });
}

// Lines the run writes itself where the file may hold stale ones: the password, which the run
// protects anew; the signature and its scope, which no longer hold once the file changes; and
// the alternate address, which the client prefers to the address, and which a signed file
// gets from the run.
bool isReplaced(std::string_view name) {
    return name == "password 51" || name == "signscope" || name == "signature" ||
           name == "alternate full address";
}

// One line as a setting: "name:type:value", a type of i, s or b, and a value of that type.
SourceFault parseLine(std::string_view line, FileSetting& setting) {
    const std::size_t colon = line.find(':');
    if (colon == std::string_view::npos || !isName(line.substr(0, colon)) ||
        line.size() < colon + 3 || line[colon + 2] != ':' ||
        std::string_view("isb").find(line[colon + 1]) == line.npos) {
        return SourceFault::malformed;
    }
    setting = {lowerAscii(line.substr(0, colon)), line[colon + 1],
               std::string(line.substr(colon + 3))};
    // Never written, so its value may be anything: a stale file's odd password blob included.
    if (isReplaced(setting.name)) {
        return SourceFault::none;
    }
    if (setting.value.find('\r') != std::string::npos) {
        return SourceFault::malformed;
    }
    if (setting.type == 'i') {
        const std::optional<std::int32_t> number = readInt32(setting.value, DecimalForm::integer);
        if (!number) {
            return SourceFault::not_integer;
        }
        // Written as the client writes numbers, so that a signed "007" is the same text to
        // every reader.
        setting.value = std::to_string(*number);
    }
    const bool hexBytes = setting.value.size() % 2 == 0 && isHexDigits(setting.value);
    return setting.type == 'b' && !hexBytes ? SourceFault::not_hex : SourceFault::none;
}

const RecordLine* recordLine(std::string_view name) {
    for (const RecordLine& record : kRecordLines) {
        if (name == record.name) {
            return &record;
        }
    }
    return nullptr;
}

bool isDropped(std::string_view name, const CONFIG_DATA& data) {
    return isReplaced(name) ||
           (name == "administrative session" && data.administrative_session != 0) ||
           (name == "use multimon" && data.use_multimon != 0);
}

} // namespace

SourceRead
readSettings(std::string_view bytes,
             const std::function<std::optional<std::string>(std::string_view)>& fromAnsi) {
    SourceRead read{SourceFault::none, 0, {}};
    std::set<std::string> names;
    for (std::optional<std::string>& text : textLines(bytes, fromAnsi)) {
        ++read.line;
        if (!text || !isUtf8Text(*text)) {
            read.fault = SourceFault::not_text;
            return read;
        }
        if (!text->empty() && text->back() == '\r') {
            text->pop_back();
        }
        if (text->find_first_not_of(" \t") == std::string::npos) {
            continue;
        }
        FileSetting setting{};
        read.fault = parseLine(*text, setting);
        // A line that is dropped is never written, so a second one can mislead no reader.
        if (read.fault == SourceFault::none && !isReplaced(setting.name) &&
            !names.insert(setting.name).second) {
            read.fault = SourceFault::repeated;
        }
        const RecordLine* record = isReplaced(setting.name) ? nullptr : recordLine(setting.name);
        if (read.fault == SourceFault::none && record != nullptr && record->type != setting.type) {
            read.fault = SourceFault::wrong_type;
        }
        read.settings.push_back(std::move(setting));
        if (read.fault != SourceFault::none) {
            return read;
        }
    }
    return read;
}

std::string sourceMessage(std::string_view path, const SourceRead& read) {
    const std::string name = read.settings.empty() ? "" : read.settings.back().name;
    std::string why;
    switch (read.fault) {
    case SourceFault::none:
    case SourceFault::not_text:
        why = "is not text in the file's encoding (UTF-16LE with a byte-order mark, UTF-8, or the "
              "ANSI code page)";
        break;
    case SourceFault::malformed:
        why = "is not a setting: name:type:value, with a name of printable ASCII characters and "
              "the type i, s or b";
        break;
    case SourceFault::repeated:
        why = "sets " + name + " a second time";
        break;
    case SourceFault::not_integer:
        why = "gives " + name + " a value that is not a 32-bit decimal integer";
        break;
    case SourceFault::not_hex:
        why = "gives " + name + " a value that is not hexadecimal bytes";
        break;
    case SourceFault::wrong_type:
        why = "gives " + name + " the type " + read.settings.back().type + ", and it takes " +
              recordLine(name)->type;
        break;
    }
    return "Error: Line " + std::to_string(read.line) + " of the connection file " +
           std::string(path) + " " + why + "; nothing was written.";
}

void applySettings(const std::vector<FileSetting>& settings, CONFIG_DATA& data,
                   const std::function<bool(std::string_view option)>& given) {
    for (const FileSetting& setting : settings) {
        if (isDropped(setting.name, data)) {
            continue;
        }
        const RecordLine* record = recordLine(setting.name);
        if (record == nullptr) {
            data.source_settings.push_back(setting);
        } else if (record->option == nullptr || !given(record->option)) {
            if (record->number != nullptr) {
                data.*record->number = readInt32(setting.value, DecimalForm::integer).value_or(0);
            } else {
                data.*record->text = setting.value;
            }
        }
    }
}
