// The user's connection file, the search for a free temporary file name, and file names and
// paths as Windows reads them.
#include "connfile/connfile.h"

#include <gtest/gtest.h>

#include <set>
#include <sstream>

// What readSettings made of a file: "name:type:value" lines, or the fault and its line.
std::string settingsRead(std::string_view bytes) {
    const SourceRead read = readSettings(bytes, [](std::string_view ansi) {
        // An ANSI code page in which 0x81 alone is no character, as a double-byte one's lead
        // byte without its second byte.
        std::string text;
        for (const char c : ansi) {
            const auto byte = static_cast<unsigned char>(c);
            text += byte < 0x80 ? std::string(1, c) : toUtf8(std::u16string(1, byte));
        }
        return ansi.find('\x81') == ansi.npos ? std::optional(text) : std::nullopt;
    });
    std::string out;
    for (const FileSetting& setting : read.settings) {
        out += setting.name + ':' + setting.type + ':' + setting.value + '\n';
    }
    return read.fault == SourceFault::none
               ? out
               : "fault " + std::to_string(static_cast<int>(read.fault)) + " on line " +
                     std::to_string(read.line);
}

TEST(SourceFile, ReadsEachEncodingAndRefusesWhatTheClientWouldNot) {
    using namespace std::string_literals;
    const std::pair<std::string, const char*> cases[] = {
        {"\xFF\xFE"
         "F\0u\0l\0l\0 \0A\0:\0s\0:\0\xE9\0\r\0\n\0\r\0\n\0X\0:\0b\0:\0"
         "9\0f\0"s,
         "full a:s:\xC3\xA9\nx:b:9f\n"},
        {"\xEF\xBB\xBF"
         "A:s:\xC3\xA9\n \t\nb:i:-2147483648\r\nPassword 51:s:x",
         "a:s:\xC3\xA9\nb:i:-2147483648\npassword 51:s:x\n"},
        // Numbers as the client writes them, so that a signature covers the same text.
        {"a:s:\xE9 x:y\nn:i:090\nz:i:-0", "a:s:\xC3\xA9 x:y\nn:i:90\nz:i:0\n"},
        // Not text: half a UTF-16 character, a lone surrogate, a NUL, no ANSI character.
        {"\xFF\xFE\n\0a"s, "fault 1 on line 2"},
        {"\xFF\xFE\x00\xD8"s, "fault 1 on line 1"},
        {"a:s:x\n\nb:s:\0"s, "fault 1 on line 3"},
        {"a:s:\x81", "fault 1 on line 1"},
        {"\xEF\xBB\xBF\xE9", "fault 1 on line 1"},
        // Not name:type:value.
        {"a:s:1\nno type", "fault 2 on line 2"},
        {":s:x", "fault 2 on line 1"},
        {" a:s:x", "fault 2 on line 1"},
        {"a :s:x", "fault 2 on line 1"},
        {"a\t:s:x", "fault 2 on line 1"},
        {"\xEF\xBB\xBF\xEF\xBB\xBF"
         "a:s:x",
         "fault 2 on line 1"},
        {"a:S:x", "fault 2 on line 1"},
        {"a:s", "fault 2 on line 1"},
        {"a:sx", "fault 2 on line 1"},
        {"a:s:x\ry", "fault 2 on line 1"},
        {"A:s:1\r\na:i:2", "fault 3 on line 2"},
        {"a:i:", "fault 4 on line 1"},
        {"a:i:+1", "fault 4 on line 1"},
        {"a:i: 1", "fault 4 on line 1"},
        {"a:i:2147483648", "fault 4 on line 1"},
        {"a:i:-2147483649", "fault 4 on line 1"},
        {"a:b:ABC", "fault 5 on line 1"},
    };
    for (const auto& [bytes, read] : cases) {
        EXPECT_EQ(settingsRead(bytes), read) << bytes;
    }
}

TEST(SourceFile, TheFileGivesWhatNoOptionGave) {
    CONFIG_DATA data;
    initDefaultData(data);
    data.full_address = "run";
    data.administrative_session = 1;
    data.signer_thumbprint = "x";
    const std::vector<FileSetting> file = {{"redirectclipboard", 'i', "1"},
                                           {"full address", 's', "file"},
                                           {"use multimon", 'i', "0"},
                                           {"administrative session", 'i', "0"},
                                           {"desktopwidth", 'i', "-1280"},
                                           {"password 51", 'b', "00"},
                                           {"signature", 's', "x"},
                                           {"signscope", 's', "Full Address"},
                                           {"alternate full address", 's', "stale"},
                                           {"gatewayhostname", 's', "gw"},
                                           {"server port", 'i', "3390"},
                                           {"audiomode", 'i', "2"},
                                           {"prompt for credentials on client", 'i', "1"}};
    applySettings(file, data, [](std::string_view option) { return option == "-h"; });
    const std::string text = formatConfigFile(data);
    EXPECT_EQ(text.substr(text.find("bitmapcache")),
              "bitmapcachepersistenable:i:1\r\nredirectclipboard:i:1\r\nuse multimon:i:0\r\n"
              "gatewayhostname:s:gw\r\nserver port:i:3390\r\n"
              "prompt for credentials on client:i:1\r\nadministrative session:i:1\r\n"
              "alternate full address:s:run\r\n");
    for (const char* line : {"desktopwidth:i:-1280", "full address:s:run", "audiomode:i:2"}) {
        EXPECT_NE(text.find("\r\n" + std::string(line) + "\r\n"), text.npos) << line;
    }
    // A name that only begins like a signed one is not signed.
    EXPECT_EQ(signedContent(data).find("Prompt For"), std::string::npos);
}

TEST(TempName, DrawsAnotherNameWhileTheNameIsTakenUpToALimit) {
    // The first `taken` names are taken, then the write gives `last`. Names that open a device
    // are taken without a write.
    struct Case {
        const char* prefix;
        std::size_t letters;
        int taken, last, tries, result;
    };
    for (const Case c :
         {Case{"Lab 1_", kTempLetters, 3, kWriteOk, 4, kWriteOk},
          Case{"Lab 1_", 1, 0, kWriteFailed, 1, kWriteFailed},
          Case{"Lab 1_", kTempLetters, kMaxTempTries, kWriteOk, kMaxTempTries, kWriteTaken},
          Case{"nul.", kTempLetters, 0, kWriteOk, 0, kWriteTaken}}) {
        std::set<std::string> tried;
        std::seed_seq seed{1, 2, 3};
        const TempPlacement placed =
            placeTempFile("C:\\T", c.prefix, c.letters, seed, [&](const std::string& path) {
                tried.insert(path);
                return static_cast<int>(tried.size()) > c.taken ? c.last : kWriteTaken;
            });
        EXPECT_EQ(static_cast<int>(tried.size()), c.tries) << c.prefix << c.taken;
        EXPECT_EQ(placed.result, c.result) << c.prefix << c.taken;
        EXPECT_EQ(placed.path.size(), std::string_view(c.prefix).size() + c.letters + 9)
            << placed.path;
    }
}

TEST(FileName, DeviceNamesAreTakenForTheDevice) {
    // Each name, and the length of the device name it opens; 0 for a plain name.
    const std::pair<const char*, std::size_t> cases[] = {
        {"NUL", 3},           {"nul.txt", 3},     {"Nul.tar.gz", 3},
        {"nul  .x", 3},       {"con", 3},         {"PRN.x", 3},
        {"aux.", 3},          {"COM0.x", 4},      {"lpt9", 4},
        {"COM\xC2\xB9.x", 5}, {"lpt\xC2\xB3", 5}, {"NULL.x", 0},
        {" nul.x", 0},        {"nu.x", 0},        {"COM10.x", 0},
        {"COM.x", 0},         {"LPTa", 0},        {"COM\xE2\x81\xB4", 0},
        {"COM\xC2\xB4", 0},   {".nul", 0},        {"ConOut$.x", 7}};
    for (const auto& [name, device] : cases) {
        EXPECT_EQ(deviceNameLength(name), device) << name;
    }
}

TEST(FileName, ATitleNamesAPlainFile) {
    const std::pair<const char*, const char*> cases[] = {
        // The title, and the start of its file name.
        {"NUL", "NUL"},
        {"com1 .lab", "com1_ .lab"},
        {"LPT\xC2\xB2.x", "LPT\xC2\xB2_.x"},
        {"nul:x.y", "nul_x.y"}};
    for (const auto& [title, name] : cases) {
        EXPECT_EQ(fileNameFromTitle(title), name) << title;
    }
}

TEST(Path, OnlyADriveAndItsRootOrANetworkPathIsAbsolute) {
    for (const char* absolute :
         {"C:\\Temp", "z:/t", "\\\\server\\share", "//server/share", "\\\\?\\C:\\t"}) {
        EXPECT_TRUE(isAbsolutePath(absolute)) << absolute;
    }
    for (const char* relative :
         {"", "Temp", "C:Temp", "C:", "\\Temp", "/Temp", "1:\\t", "..\\t", "\xC3\x89:\\t"}) {
        EXPECT_FALSE(isAbsolutePath(relative)) << relative;
    }
}

TEST(SourceFile, TheSignatureCoversEverySettingTheSigningToolSigns) {
    const char* const scope =
        "Full Address,Alternate Full Address,PCB,Use Redirection Server Name,Server Port,"
        "Negotiate Security Layer,EnableCredSspSupport,DisableConnectionSharing,AutoReconnection "
        "Enabled,GatewayHostname,GatewayUsageMethod,GatewayProfileUsageMethod,"
        "GatewayCredentialsSource,Support URL,PromptCredentialOnce,Require pre-authentication,"
        "Pre-authentication server address,Alternate Shell,Shell Working Directory,"
        "RemoteApplicationProgram,RemoteApplicationExpandWorkingdir,RemoteApplicationMode,"
        "RemoteApplicationGuid,RemoteApplicationName,RemoteApplicationIcon,RemoteApplicationFile,"
        "RemoteApplicationFileExtensions,RemoteApplicationCmdLine,RemoteApplicationExpandCmdLine,"
        "Prompt For Credentials,Authentication Level,AudioMode,RedirectDrives,RedirectPrinters,"
        "RedirectCOMPorts,RedirectSmartCards,RedirectPOSDevices,RedirectClipboard,"
        "DevicesToRedirect,DrivesToRedirect,LoadBalanceInfo,RedirectDirectX,RDGIsKDCProxy,"
        "KDCProxyName,EventLogUploadAddress";
    CONFIG_DATA data;
    initDefaultData(data);
    data.signer_thumbprint = "x";
    std::istringstream names(scope);
    for (std::string name; std::getline(names, name, ',');) {
        data.source_settings.push_back({lowerAscii(name), 's', ""});
    }
    const std::string text = signedContent(data);
    EXPECT_EQ(text.substr(text.find("signscope:s:") + 12), std::string(scope) + "\r\n" + '\0');
}
