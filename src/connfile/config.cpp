// The connection settings record: its defaults, and the lines that carry it.
#include "connfile.h"

void initDefaultData(CONFIG_DATA& data) {
    data.screen_mode_id = 2;
    data.desktop_width = 800;
    data.desktop_height = 600;
    data.session_bpp = 24;
    data.winposstr = "0,1,-231,0,569,598";
    data.auto_connect = 0;
    data.full_address = "127.0.0.1";
    data.compression = 1;
    data.keyboardhook = 2;
    data.audiomode = 0;
    data.redirectdrives = 0;
    data.redirectprinters = 1;
    data.redirectcomports = 0;
    data.redirectsmartcards = 1;
    data.displayconnectionbar = 1;
    data.username = "Administrator";
    data.domain = "";
    data.alternate_shell = "";
    data.shell_working_directory = "";
    data.connect_to_console = 1;
    data.password = "";
    data.password_from_input = false;
    data.password_blob = "";
    data.disable_wallpaper = 1;
    data.disable_full_window_drag = 1;
    data.disable_menu_anims = 1;
    data.disable_themes = 0;
    data.bitmapcachepersistenable = 1;
    data.saveonly = 0;
    data.window_title = "Remote Desktop Connection";
    data.administrative_session = 0;
    data.use_multimon = 0;
}

const RecordLine kRecordLines[25] = {
    {"screen mode id", 'i', &CONFIG_DATA::screen_mode_id, nullptr, "-r"},
    {"desktopwidth", 'i', &CONFIG_DATA::desktop_width, nullptr, "-r"},
    {"desktopheight", 'i', &CONFIG_DATA::desktop_height, nullptr, "-r"},
    {"session bpp", 'i', &CONFIG_DATA::session_bpp, nullptr, nullptr},
    {"connect to console", 'i', &CONFIG_DATA::connect_to_console, nullptr, nullptr},
    {"auto connect", 'i', &CONFIG_DATA::auto_connect, nullptr, nullptr},
    {"full address", 's', nullptr, &CONFIG_DATA::full_address, "-h"},
    {"compression", 'i', &CONFIG_DATA::compression, nullptr, nullptr},
    {"keyboardhook", 'i', &CONFIG_DATA::keyboardhook, nullptr, nullptr},
    {"audiomode", 'i', &CONFIG_DATA::audiomode, nullptr, nullptr},
    {"redirectdrives", 'i', &CONFIG_DATA::redirectdrives, nullptr, nullptr},
    {"redirectprinters", 'i', &CONFIG_DATA::redirectprinters, nullptr, nullptr},
    {"redirectcomports", 'i', &CONFIG_DATA::redirectcomports, nullptr, nullptr},
    {"redirectsmartcards", 'i', &CONFIG_DATA::redirectsmartcards, nullptr, nullptr},
    {"displayconnectionbar", 'i', &CONFIG_DATA::displayconnectionbar, nullptr, nullptr},
    {"username", 's', nullptr, &CONFIG_DATA::username, "-u"},
    {"domain", 's', nullptr, &CONFIG_DATA::domain, "-d"},
    {"alternate shell", 's', nullptr, &CONFIG_DATA::alternate_shell, nullptr},
    {"shell working directory", 's', nullptr, &CONFIG_DATA::shell_working_directory, nullptr},
    {"password 51", 'b', nullptr, &CONFIG_DATA::password_blob, "-p"},
    {"disable wallpaper", 'i', &CONFIG_DATA::disable_wallpaper, nullptr, nullptr},
    {"disable full window drag", 'i', &CONFIG_DATA::disable_full_window_drag, nullptr, nullptr},
    {"disable menu anims", 'i', &CONFIG_DATA::disable_menu_anims, nullptr, nullptr},
    {"disable themes", 'i', &CONFIG_DATA::disable_themes, nullptr, nullptr},
    {"bitmapcachepersistenable", 'i', &CONFIG_DATA::bitmapcachepersistenable, nullptr, nullptr},
};
