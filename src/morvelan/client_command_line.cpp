// The client's command line, for a file or for a host. No platform calls.
#include "morvelan.h"

#include "../connfile/connfile.h"

std::string clientCommandLine(std::string_view cfgFile) {
    std::string line = "mstsc.exe \"";
    line += cfgFile;
    line += '"';
    return line;
}

std::string directCommandLine(const CONFIG_DATA& data) {
    std::string line = "mstsc.exe /v:" + data.full_address;
    if (data.screen_mode_id == 1) {
        line += " /w:" + std::to_string(data.desktop_width) +
                " /h:" + std::to_string(data.desktop_height);
    } else {
        line += " /f";
    }
    if (data.administrative_session != 0) {
        line += " /admin";
    }
    if (data.use_multimon != 0) {
        line += " /multimon";
    }
    return line;
}
