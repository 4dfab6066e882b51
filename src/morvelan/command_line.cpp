// The main flow's first steps, with no platform calls: the settings record from the tail.
#include "morvelan.h"

#include "../cmdline/cmdline.h"
#include "../connfile/connfile.h"

#include <algorithm>

CmdLineOutcome readCommandLine(std::string_view tail, CONFIG_DATA& values) {
    initDefaultData(values);
    CmdLineOutcome cmd = parseCommandLine(tail, values);
    // The record holds its own copies; the table's copy of the password goes now.
    clearArgs();
    return cmd;
}

bool takeSettings(const std::vector<FileSetting>& settings, const CmdLineOutcome& cmd,
                  CONFIG_DATA& values) {
    const auto listed = [](const std::vector<std::string_view>& list, std::string_view item) {
        return std::find(list.begin(), list.end(), item) != list.end();
    };
    for (const RecordLine& record : kRecordLines) {
        const bool inFile =
            std::any_of(settings.begin(), settings.end(),
                        [&record](const FileSetting& s) { return s.name == record.name; });
        if (record.option != nullptr && listed(cmd.missing, record.option) && !inFile) {
            return false;
        }
    }
    applySettings(settings, values,
                  [&](std::string_view option) { return listed(cmd.given, option); });
    return true;
}
