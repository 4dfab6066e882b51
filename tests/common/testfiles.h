// Test helpers shared by the native tests and the tests under Wine.
#pragma once

#include <fstream>
#include <sstream>
#include <string>

namespace testfiles {

// The connection file of a record with only the defaults applied.
inline const char* const kDefaultFile = "screen mode id:i:2\r\n"
                                        "desktopwidth:i:800\r\n"
                                        "desktopheight:i:600\r\n"
                                        "session bpp:i:24\r\n"
                                        "connect to console:i:1\r\n"
                                        "auto connect:i:0\r\n"
                                        "full address:s:127.0.0.1\r\n"
                                        "compression:i:1\r\n"
                                        "keyboardhook:i:2\r\n"
                                        "audiomode:i:0\r\n"
                                        "redirectdrives:i:0\r\n"
                                        "redirectprinters:i:1\r\n"
                                        "redirectcomports:i:0\r\n"
                                        "redirectsmartcards:i:1\r\n"
                                        "displayconnectionbar:i:1\r\n"
                                        "username:s:Administrator\r\n"
                                        "domain:s:\r\n"
                                        "alternate shell:s:\r\n"
                                        "shell working directory:s:\r\n"
                                        "password 51:b:\r\n"
                                        "disable wallpaper:i:1\r\n"
                                        "disable full window drag:i:1\r\n"
                                        "disable menu anims:i:1\r\n"
                                        "disable themes:i:0\r\n"
                                        "bitmapcachepersistenable:i:1\r\n";

template <typename Path> std::string readFile(const Path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream data;
    data << in.rdbuf();
    return data.str();
}

template <typename Path> void writeFile(const Path& path, const std::string& data) {
    std::ofstream(path, std::ios::binary) << data;
}

} // namespace testfiles
