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

// The settings a signature covers, in the order the signing tool and the client use, with
// their names in the "signscope" line. The tool knows more (server port, gateway, and so on);
// these are the ones this file holds.
struct Signable {
    const char* key;
    const char* name;
};
const Signable kSignable[] = {
    {"full address:s:", "Full Address"},
    {"alternate full address:s:", "Alternate Full Address"},
    {"alternate shell:s:", "Alternate Shell"},
    {"shell working directory:s:", "Shell Working Directory"},
    {"audiomode:i:", "AudioMode"},
    {"redirectdrives:i:", "RedirectDrives"},
    {"redirectprinters:i:", "RedirectPrinters"},
    {"redirectcomports:i:", "RedirectCOMPorts"},
    {"redirectsmartcards:i:", "RedirectSmartCards"},
};

std::string settingLines(const CONFIG_DATA& data) {
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
    line(out, "password 51:b:", data.password_blob);
    line(out, "disable wallpaper:i:", data.disable_wallpaper);
    line(out, "disable full window drag:i:", data.disable_full_window_drag);
    line(out, "disable menu anims:i:", data.disable_menu_anims);
    line(out, "disable themes:i:", data.disable_themes);
    line(out, "bitmapcachepersistenable:i:", data.bitmapcachepersistenable);
    // Only when asked for, so that other files stay as earlier releases wrote them. The
    // signing tool signs neither, so neither joins the signature's scope.
    if (data.administrative_session != 0) {
        line(out, "administrative session:i:", 1);
    }
    if (data.use_multimon != 0) {
        line(out, "use multimon:i:", 1);
    }
    // A file to be signed repeats the address under a signed name, so that it cannot be
    // swapped; the line is there before the signature is made over it.
    if (!data.signer_thumbprint.empty()) {
        line(out, "alternate full address:s:", data.full_address);
    }
    return out;
}

struct SignedText {
    std::string lines; // each signed line of the file with its CR LF
    std::string scope; // the "signscope" line naming them, with its CR LF
};

SignedText signedText(const std::string& file) {
    SignedText found{{}, "signscope:s:"};
    for (const Signable& signable : kSignable) {
        // Every key of the table starts a line of the file past its first one.
        const std::size_t start = file.find("\n" + std::string(signable.key)) + 1;
        found.lines.append(file, start, file.find('\n', start) + 1 - start);
        found.scope += std::string(found.scope.back() == ':' ? "" : ",") + signable.name;
    }
    found.scope += "\r\n";
    return found;
}

// The signature's line: three 32-bit little-endian values (0x00010001, 1 and the length of
// the CMS SignedData) before the SignedData itself, in base64.
std::string signatureLine(std::string_view cms) {
    std::string blob;
    for (const std::size_t value : {std::size_t{0x00010001}, std::size_t{1}, cms.size()}) {
        for (int shift = 0; shift < 32; shift += 8) {
            blob += static_cast<char>(value >> shift & 0xFF);
        }
    }
    blob += cms;
    return "signature:s:" + base64(blob);
}

} // namespace

std::string signedContent(const CONFIG_DATA& data) {
    const SignedText text = signedText(settingLines(data));
    return text.lines + text.scope + '\0';
}

std::string formatConfigFile(const CONFIG_DATA& data) {
    std::string out = settingLines(data);
    if (!data.signature.empty()) {
        out += signedText(out).scope;
        out += signatureLine(data.signature) + "\r\n";
    }
    return out;
}
