// Defaults of the connection settings record.
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
