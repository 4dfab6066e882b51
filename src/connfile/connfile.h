// Connection file: the settings record, the file writer, password protection, temporary placement.
#pragma once

#include "../text/text.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <vector>

// A setting of a user's connection file: its name in lower case, its type ("i", "s" or "b")
// and its value, in UTF-8.
struct FileSetting {
    std::string name;
    char type;
    std::string value;
};

// Every setting of one connection, from the defaults through the options to the file.
struct CONFIG_DATA {
    int screen_mode_id;
    int desktop_width;
    int desktop_height;
    int session_bpp;
    std::string winposstr;
    int auto_connect;
    std::string full_address;
    int compression;
    int keyboardhook;
    int audiomode;
    int redirectdrives;
    int redirectprinters;
    int redirectcomports;
    int redirectsmartcards;
    int displayconnectionbar;
    std::string username;
    std::string domain;
    std::string alternate_shell;
    std::string shell_working_directory;
    int connect_to_console;
    Secret password;           // the plain password, which never reaches a file
    bool password_from_input;  // "-p -": the password is read from standard input
    std::string password_blob; // the protected password in hexadecimal: the file's line
    int disable_wallpaper;
    int disable_full_window_drag;
    int disable_menu_anims;
    int disable_themes;
    int bitmapcachepersistenable;
    int saveonly;
    std::string window_title;
    std::string destination_file;
    std::string signer_thumbprint; // "-c": the certificate that signs the file, or empty
    std::string signature;         // the signer's CMS SignedData; empty for an unsigned file
    int administrative_session;    // "-a": 1 asks for the server's administrative session
    int use_multimon;              // "-m": 1 spreads the session over every monitor
    std::string source_file;       // "-f": the user's connection file to start from, or empty
    std::vector<FileSetting> source_settings; // its settings past the 25, in its order
};

// A line the record writes: its name, its type, and the field that holds its value.
struct RecordLine {
    const char* name;
    char type;
    int CONFIG_DATA::*number;
    std::string CONFIG_DATA::*text;
    const char* option; // the option that gives it, which a user's file does not override
};

// The 25 lines every connection file holds, in their order.
extern const RecordLine kRecordLines[25];

// Sets every field but destination_file, which only "-s" sets.
void initDefaultData(CONFIG_DATA& data);

// The file functions of Windows take at most MAX_PATH (260) UTF-16 units with the terminator.
constexpr std::size_t kMaxPath = 259;

constexpr int kWriteOk = 0;
constexpr int kWriteFailed = 2;
constexpr int kWriteTaken = 3; // a file of that name exists, and the write was to make a new one

// The 25 lines the Remote Desktop client reads, each ended by CR LF, then the lines "-a" and
// "-m" ask for; for a signed record the lines the signature needs come last.
std::string formatConfigFile(const CONFIG_DATA& data);

// What a signature of the record covers: each signed line of its file with its CR LF, the
// "signscope" line with its CR LF, and a NUL; the signer takes it in UTF-16LE.
std::string signedContent(const CONFIG_DATA& data);

// A connection file is a few hundred bytes; a larger one is not what the user meant to give.
constexpr std::size_t kMaxSourceBytes = 1 << 20;

enum class SourceFault {
    none,
    not_text,    // not text in the file's encoding
    malformed,   // not name:type:value with a type i, s or b
    repeated,    // a name given a second time
    not_integer, // an "i" value that is no 32-bit decimal integer
    not_hex,     // a "b" value that is no even number of hexadecimal digits
    wrong_type,  // one of the 25 with another type than the record writes
};

struct SourceRead {
    SourceFault fault;
    std::size_t line; // the faulty line, counted from 1
    std::vector<FileSetting> settings;
};

// The settings of a connection file's bytes: UTF-16LE with its byte-order mark, UTF-8 with or
// without one, else ANSI text, which fromAnsi converts (nothing when it is not text).
SourceRead
readSettings(std::string_view bytes,
             const std::function<std::optional<std::string>(std::string_view)>& fromAnsi);

// The message for a file that readSettings refused.
std::string sourceMessage(std::string_view path, const SourceRead& read);

// Takes the file's settings into data: each of the 25 that no given option set, and the
// others in order. The file's password, signature and alternate address are dropped, and its
// "-a" and "-m" lines where those options set their own.
void applySettings(const std::vector<FileSetting>& settings, CONFIG_DATA& data,
                   const std::function<bool(std::string_view option)>& given);

// Scripts open many sessions at once; this many taken names means something else is wrong.
constexpr int kMaxTempTries = 100;

// The random letters of a new file's name, where the path leaves room for them.
constexpr std::size_t kTempLetters = 10;

struct TempPlacement {
    int result;       // kWriteOk, or the write result that ended the search
    std::string dir;  // the folder of the connection file
    std::string path; // the last name tried
};

// Writes the new file under the first free name "<dir>\<prefix><letters a..y>.tmp" that write
// (which makes only new files) finds, trying at most kMaxTempTries names; a name that Windows
// takes for a device counts as taken.
TempPlacement placeTempFile(std::string_view dir, std::string_view prefix, std::size_t letters,
                            std::seed_seq& seed,
                            const std::function<int(const std::string&)>& write);

// The length of the device name (NUL, COM1, ...) that begins a file name (without ":") which
// Windows takes for that device; 0 for a plain name.
std::size_t deviceNameLength(std::string_view name);

// The title as the start of a file name that goes on with "_": each character Windows refuses
// in names becomes "_", and a "_" follows a device name that the title's first dot follows.
std::string fileNameFromTitle(std::string_view title);

// Whether path is absolute on Windows: a drive letter, ":" and "\", or two "\" (a network
// path); "/" counts as "\".
bool isAbsolutePath(std::string_view path);

// Whether a name found in the private folder is a connection file of an earlier run.
bool isTempFile(std::string_view name);

#ifdef _WIN32
// Writes formatConfigFile(data) to fileName, in the ANSI code page when it holds every
// character, else in UTF-16; only as a new file when exclusive; never half a file.
int generateConfigFile(const std::string& fileName, const CONFIG_DATA& data, bool exclusive);

// Reads the user's connection file whole, at most kMaxSourceBytes; the Windows error, or
// ERROR_FILE_TOO_LARGE for a larger file.
std::optional<unsigned long> readSourceFile(const std::string& path, std::string& bytes);

enum class SignResult { ok, no_certificate, no_private_key, failed };

struct SignOutcome {
    SignResult result;
    unsigned long error; // the Windows error when the result is not ok
};

// Signs the record with the certificate of data.signer_thumbprint, filling data.signature.
// silent: no Windows dialog, such as a smart card's PIN prompt.
SignOutcome signConfig(CONFIG_DATA& data, bool silent);

struct CertificateThumbprints {
    std::string sha1; // in hexadecimal
    std::string sha256;
};

// The thumbprints of the certificate that signConfig finds for the thumbprint of "-c" (either
// one of them); nothing when it finds none.
std::optional<CertificateThumbprints> certificateThumbprints(const std::string& thumbprint);

// Protects data.password for the current user into data.password_blob, and wipes the plain
// password; the Windows error code when the password could not be protected.
std::optional<unsigned long> cryptPassword(CONFIG_DATA& data);

// What makes this run's random draws its own: the time, the tick and the process id. Runs
// started in the same second, even in the same tick, differ in their process id.
std::array<std::uint32_t, 5> runEntropy();

// placeTempFile with a seed of this run's own, which no other run at the same time has.
TempPlacement placeNewFile(std::string_view dir, std::string_view prefix, std::size_t letters,
                           const std::function<int(const std::string&)>& write);

// Prepares the private temporary folder and writes the new connection file in it.
TempPlacement genTempName(std::string_view prefix,
                          const std::function<int(const std::string&)>& write);
#endif
