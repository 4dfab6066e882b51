// Texts the command line reports: its errors and the usage text.
#include "cmdline.h"

const char* const kUnterminatedMessage =
    "Error: Unterminated string constant. Make sure you've matched the \" chars.";

const char* const kTooManyArgsMessage =
    "Error: Too many arguments. At most 128 are accepted; nothing was done.";

const char* const kPasswordTooLongMessage =
    "Error: The password is longer than Credential Manager holds (1280 UTF-16 characters); "
    "nothing was done.";

const char* const kUsageText =
    "Usage:\n\nMorvelan -h hostname -p password -u username -t title [-s file] [-r resolution]"
    "\n\n"
    "hostname  - IP or HostName of the remote computer\n"
    "password  - the text password. Use \"s to enclose a password with spaces\n"
    "-p -      - read the password from standard input: typed unseen, or piped in\n"
    "username  - username to connect to the remote computer\n"
    "-d domain - Windows domain of the user\n"
    "resolution - 800x600, 1024x768, 640x480, 1152x864\n"
    "title - text to be displayed on the window title of the RDC client\n"
    "file - filename where to only save the configuration file\n"
    "-f file - start from the settings of that connection file; -h and -u may then come from it\n"
    "-q - no message box: messages go to standard output only\n"
    "-c thumbprint - sign the file with the certificate of that SHA-1 or SHA-256 thumbprint\n"
    "-n - no connection file: the password waits in Credential Manager while the client runs\n"
    "-a - the administrative session of the remote computer\n"
    "-m - the session on every monitor, full screen; not with -r\n"
    "\nIf you want full screen, please ommit the -r parameter.";
