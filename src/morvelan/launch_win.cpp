// Windows: the main flow of one run, from the command-line tail to the started client.
#include "morvelan.h"

#include "../cmdline/cmdline.h"
#include "../connfile/connfile.h"
#include "../text/text.h"

#include <windows.h>

namespace {

int cannotWrite(const std::string& path) {
    return fail("Error: Cannot write the connection file " + path);
}

int saveOnly(const CONFIG_DATA& values) {
    const std::string path = values.destination_file + ".rdp";
    if (generateConfigFile(path, values, false) != kWriteOk) {
        return cannotWrite(path);
    }
    return 0;
}

int cannotStart(const std::optional<std::string>& mstscPath, unsigned long error) {
    const std::string client = mstscPath.value_or("mstsc.exe");
    const std::string why = " (" + windowsError(error) + ").";
    // Since Windows 11 23H2 the client can be uninstalled; the bare error would not say so.
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) {
        return fail("Error: The Remote Desktop client is not installed: Windows finds no " +
                    client + why);
    }
    return fail("Error: Cannot start the Remote Desktop client " + client + why);
}

int launch(const CONFIG_DATA& values) {
    const std::optional<std::string> mstsc_path = findMstscPath();
    const TempPlacement cfg = genTempName(
        fileNameFromTitle(values.window_title) + "_",
        [&values](const std::string& path) { return generateConfigFile(path, values, true); });
    if (cfg.result == kWriteTaken) {
        return fail("Error: Cannot create a new connection file in " + cfg.dir);
    }
    if (cfg.result != kWriteOk) {
        return cannotWrite(cfg.path);
    }
    const unsigned long error = startClient(mstsc_path, clientCommandLine(cfg.path));
    if (error != 0) {
        // Nobody will read the file, and it holds the protected password.
        DeleteFileW(toUtf16(cfg.path).c_str());
        return cannotStart(mstsc_path, error);
    }
    return 0;
}

// Why the password could not be stored under target; nothing has been started. client is
// the command line that would have started the client; guarded, whether Credential Guard runs.
std::string notStored(const CredentialOutcome& outcome, const std::string& target,
                      const std::string& client, bool guarded, const std::string& user) {
    const std::string why = " (" + windowsError(outcome.error) + "); nothing was started.";
    const std::string saved = "Error: Credential Manager holds a saved credential " + target +
                              ", which is left as it is; nothing was started.";
    switch (outcome.result) {
    case CredentialResult::saved:
        if (guarded && outcome.savedDomain) {
            return saved + " Credential Guard runs on this computer, and the client cannot " +
                   "send a saved Windows credential from it: remove that one with " +
                   "cmdkey /delete:" + target + ", then run again.";
        }
        return saved + " To use it, run " + client +
               "; to replace it, remove it first with cmdkey /delete:" + target + ".";
    case CredentialResult::held:
        return "Error: A session to " + target.substr(kTargetPrefix.size()) + " as " +
               outcome.holder + " is still running, and the client finds one password for " +
               "each host: this run, as " + user + ", can start once that session has ended; " +
               "nothing was stored or started.";
    case CredentialResult::lookup_failed:
        return "Error: Cannot look up " + target + " in Credential Manager" + why;
    case CredentialResult::replaced:
        return "Error: Another program changed " + target + " in Credential Manager as this " +
               "run stored the password there, so the client would not find this run's; it is " +
               "left as it is, and nothing was started.";
    default:
        return "Error: Cannot store the password in Credential Manager as " + target + why;
    }
}

// The client is started; its watcher removes the credential once it ends.
void watch(void* client, const OwnCredential& own, unsigned long readBack) {
    // Without its time of writing, nothing could tell this run's credential from a later one.
    if (const unsigned long error = readBack != 0 ? readBack : startWatcher(client, own)) {
        // Not the run's failure: the session starts all the same.
        logline("The password stays in Credential Manager as " + own.target +
                " until you log off: nothing could be started to remove it when the client " +
                "ends (" + windowsError(error) + ").");
    }
    CloseHandle(client);
}

// The password is stored for the client on hold, which then runs; the message when it cannot.
std::optional<std::string> storeForClient(CredentialOutcome& checked, const CONFIG_DATA& values,
                                          const std::string& user, HeldClient& client) {
    storeCredential(checked, user, values.password, client.id);
    if (checked.result != CredentialResult::stored) {
        // It never ran: nothing of it is left, and no credential for it either.
        TerminateProcess(client.process, kExitFailed);
        CloseHandle(client.thread);
        CloseHandle(client.process);
        return notStored(checked, checked.credential.target, directCommandLine(values), false,
                         user);
    }
    resumeClient(client);
    return std::nullopt;
}

// "-n": the client finds the password in Credential Manager, so no file is written anywhere.
// Where Credential Guard runs, the client sends a generic credential, and no other.
int startDirect(const CONFIG_DATA& values) {
    const std::string target = credentialTarget(values.full_address);
    const std::string user = credentialUser(values.domain, values.username);
    const bool guarded = credentialGuardRunning();
    // From the look-up to the client's start, so that two runs at once cannot both find the
    // name free and one client log in as the other's user.
    const HostTurn turn(target);
    if (turn.error != 0) {
        return fail("Error: Another run for " + target +
                    " in Credential Manager has not ended its turn (" + windowsError(turn.error) +
                    "); nothing was stored or started.");
    }
    CredentialOutcome checked = checkCredential(target, user, guarded);
    if (checked.result != CredentialResult::stored) {
        return fail(notStored(checked, target, directCommandLine(values), guarded, user));
    }
    const std::optional<std::string> mstsc_path = findMstscPath();
    HeldClient client;
    if (const unsigned long error = startClient(mstsc_path, directCommandLine(values), &client)) {
        return cannotStart(mstsc_path, error);
    }
    if (const std::optional<std::string> message = storeForClient(checked, values, user, client)) {
        return fail(*message);
    }
    watch(client.process, checked.credential, checked.error);
    return 0;
}

// The password is wiped however the run ends.
int launchDirect(CONFIG_DATA& values) {
    const int status = startDirect(values);
    wipe(values.password);
    return status;
}

// The password from standard input, as "-p -" asks; the message when none can be had.
std::optional<std::string> passwordFromInput(CONFIG_DATA& values) {
    std::string password;
    unsigned long error = 0;
    switch (readPassword(password, error)) {
    case PasswordInput::ok:
        break;
    case PasswordInput::ended:
        return "Error: Standard input ended before a password was read; nothing was written.";
    case PasswordInput::not_utf8:
        return "Error: The password on standard input is not UTF-8 text; nothing was written.";
    case PasswordInput::read_failed:
        return "Error: Cannot read the password from standard input (" + windowsError(error) +
               "); nothing was written.";
    }
    values.password = password;
    wipe(password);
    return std::nullopt;
}

// Signs the record when "-c" named a certificate; the message when it cannot.
std::optional<std::string> sign(CONFIG_DATA& values) {
    if (values.signer_thumbprint.empty()) {
        return std::nullopt;
    }
    const SignOutcome outcome = signConfig(values, quiet);
    const std::string& named = values.signer_thumbprint;
    const std::string why = " (" + windowsError(outcome.error) + "); nothing was written.";
    switch (outcome.result) {
    case SignResult::ok:
        break;
    case SignResult::no_certificate:
        return "Error: No certificate with the thumbprint " + named +
               " in the current user's or the local computer's \"My\" store" + why;
    case SignResult::no_private_key:
        return "Error: The certificate " + named + " has no private key usable for signing" + why;
    case SignResult::failed:
        return "Error: Cannot sign the connection file with the certificate " + named + why;
    }
    return std::nullopt;
}

// "-f": the user's file's settings under the options'; the exit status when it cannot be used.
std::optional<int> startFromFile(CONFIG_DATA& values, const CmdLineOutcome& cmd) {
    const std::string& path = values.source_file;
    std::string bytes;
    if (const std::optional<unsigned long> error = readSourceFile(path, bytes)) {
        return fail(*error == ERROR_FILE_TOO_LARGE
                        ? "Error: The connection file " + path +
                              " is larger than 1 MiB; nothing was written."
                        : "Error: Cannot read the connection file " + path + " (" +
                              windowsError(*error) + "); nothing was written.");
    }
    const SourceRead read = readSettings(bytes, fromAnsi);
    if (read.fault != SourceFault::none) {
        return fail(sourceMessage(path, read));
    }
    if (!takeSettings(read.settings, cmd, values)) {
        return Usage(kExitWrongLine);
    }
    return std::nullopt;
}

} // namespace

// lpCmdLine is the command-line tail in UTF-8, as the entry converted it.
int WINAPI WinMain([[maybe_unused]] HINSTANCE hinst, [[maybe_unused]] HINSTANCE hinstPrev,
                   LPSTR lpCmdLine, [[maybe_unused]] int nCmdShow) {
    const std::string_view tail = lpCmdLine != nullptr ? lpCmdLine : "";
    // A run started this process to watch its client: it has no console, and shows nothing.
    if (const std::optional<WatchRequest> request = parseWatch(tail)) {
        return watchClient(*request);
    }
    CONFIG_DATA values;
    const CmdLineOutcome cmd = readCommandLine(tail, values);
    quiet = cmd.quiet;
    if (cmd.unterminated) {
        logbuff = kUnterminatedMessage;
        logmb();
    }
    switch (cmd.result) {
    case CmdLineResult::ok:
        break;
    case CmdLineResult::usage:
        // Without a word the user asked how to use it; otherwise a script got its line wrong.
        return Usage(cmd.usageAsked ? kExitOk : kExitWrongLine);
    case CmdLineResult::too_many_args:
        return fail(kTooManyArgsMessage, kExitWrongLine);
    case CmdLineResult::refused:
        return fail(cmd.message, kExitWrongLine);
    }
    // Before the password is asked for, and anything stored, written or started; a saved file
    // may be opened elsewhere.
    if (values.saveonly == 0) {
        if (const std::optional<std::string> refusal = policyRefusal(values, cmd.direct)) {
            return fail(*refusal);
        }
    }
    if (!values.source_file.empty()) {
        if (const std::optional<int> status = startFromFile(values, cmd)) {
            return *status;
        }
    }
    if (values.password_from_input) {
        if (const std::optional<std::string> error = passwordFromInput(values)) {
            return fail(*error);
        }
        // Too long for Credential Manager: the input's fault, not the command line's.
        if (cmd.direct && !fitsCredential(values.password)) {
            wipe(values.password);
            return fail(kPasswordTooLongMessage);
        }
    }
    if (cmd.direct) {
        return launchDirect(values);
    }
    if (const std::optional<unsigned long> error = cryptPassword(values)) {
        wipe(values.password);
        return fail("Error: Cannot protect the password for the current user (" +
                    windowsError(*error) + "); nothing was written.");
    }
    if (const std::optional<std::string> error = sign(values)) {
        return fail(*error);
    }
    return values.saveonly != 0 ? saveOnly(values) : launch(values);
}
