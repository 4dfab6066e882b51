// The main flow's first steps, with no platform calls: the settings record from the tail.
#include "morvelan.h"

#include "../cmdline/cmdline.h"
#include "../connfile/connfile.h"

CmdLineOutcome readCommandLine(std::string_view tail, CONFIG_DATA& values) {
    initDefaultData(values);
    CmdLineOutcome cmd = parseCommandLine(tail, values);
    // The record holds its own copies; the table's copy of the password goes now.
    clearArgs();
    return cmd;
}
