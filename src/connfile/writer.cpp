// Connection file writer: the client's key:type:value lines.
#include "connfile.h"

namespace {

void line(std::string& out, const char* key, int value) {
    out += key;
    out += std::to_string(value);
    out += "\r\n";
}

void line(std::string& out, const char* key, const std::string& value) {
    out += key;
    out += value;
    out += "\r\n";
}

} // namespace

std::string formatConfigFile(const CONFIG_DATA& data) {
    std::string out;
    // The client reads the keys in any order; this one is kept so files stay comparable.
    line(out, "screen mode id:i:", data.screen_mode_id);
    line(out, "desktopwidth:i:", data.desktop_width);
    line(out, "desktopheight:i:", data.desktop_height);
    line(out, "session bpp:i:", data.session_bpp);
    line(out, "connect to console:i:", data.connect_to_console);
    line(out, "auto connect:i:", data.auto_connect);
    line(out, "full address:s:", data.full_address);
    line(out, "compression:i:", data.compression);
    line(out, "keyboardhook:i:", data.keyboardhook);
    line(out, "audiomode:i:", data.audiomode);
    line(out, "redirectdrives:i:", data.redirectdrives);
    line(out, "redirectprinters:i:", data.redirectprinters);
    line(out, "redirectcomports:i:", data.redirectcomports);
    line(out, "redirectsmartcards:i:", data.redirectsmartcards);
    line(out, "displayconnectionbar:i:", data.displayconnectionbar);
    line(out, "username:s:", data.username);
    line(out, "domain:s:", data.domain);
    line(out, "alternate shell:s:", data.alternate_shell);
    line(out, "shell working directory:s:", data.shell_working_directory);
    line(out, "password 51:b:", data.password);
    line(out, "disable wallpaper:i:", data.disable_wallpaper);
    line(out, "disable full window drag:i:", data.disable_full_window_drag);
    line(out, "disable menu anims:i:", data.disable_menu_anims);
    line(out, "disable themes:i:", data.disable_themes);
    line(out, "bitmapcachepersistenable:i:", data.bitmapcachepersistenable);
    return out;
}
