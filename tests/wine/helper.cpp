// Test helper under Wine: runs the program from exact UTF-16 command lines, opens protected
// passwords, stores credentials and, installed as mstsc.exe, stands in for the Remote Desktop
// client.
#include "morvelan/morvelan.h"
#include "text/text.h"

#include <windows.h>

#include <wincred.h>
#include <wincrypt.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

namespace {

const char* variable(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

std::string readAll(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

void writeAll(const std::string& path, const std::wstring& text) {
    std::ofstream(path, std::ios::binary)
        << std::string(reinterpret_cast<const char*>(text.data()), 2 * text.size());
}

// A credential as the transcript reads it: target, type, user, the secret in hexadecimal and
// the persistence, after tabs. Wine, unlike Windows, gives a domain password's secret back too.
std::wstring described(const CREDENTIALW& credential) {
    return std::wstring(credential.TargetName) + L"\t" + std::to_wstring(credential.Type) + L"\t" +
           credential.UserName + L"\t" +
           toUtf16(hexUpper(credential.CredentialBlob, credential.CredentialBlobSize)) + L"\t" +
           std::to_wstring(credential.Persist) + L"\n";
}

// The credentials for the client that the runs left, which go now, a line each.
std::wstring credentialsLeft() {
    DWORD count = 0;
    PCREDENTIALW* found = nullptr;
    std::wstring lines;
    if (CredEnumerateW(L"TERMSRV/*", 0, &count, &found)) {
        for (DWORD i = 0; i < count; ++i) {
            lines += described(*found[i]);
            CredDeleteW(found[i]->TargetName, found[i]->Type, 0);
        }
        CredFree(found);
    }
    return lines;
}

// store TYPE PERSIST TARGET USER SECRET [COMMENT]: a credential as the user, another program
// or a run left it.
int storeCredential(char** argv) {
    const std::wstring target = toUtf16(argv[4]), user = toUtf16(argv[5]);
    std::wstring comment = toUtf16(argv[7] != nullptr ? argv[7] : "");
    std::wstring secret = toUtf16(argv[6]);
    CREDENTIALW credential{};
    credential.Type = std::strtoul(argv[2], nullptr, 10);
    credential.Persist = std::strtoul(argv[3], nullptr, 10);
    credential.TargetName = const_cast<wchar_t*>(target.c_str());
    credential.UserName = const_cast<wchar_t*>(user.c_str());
    credential.Comment = comment.data();
    credential.CredentialBlobSize = static_cast<DWORD>(2 * secret.size());
    credential.CredentialBlob = reinterpret_cast<BYTE*>(secret.data());
    return CredWriteW(&credential, 0) ? 0 : 1;
}

// The credential a client started on "/v:" finds for the host, the way the client looks: as
// described() gives it (an empty line for none), and as a watcher's line names it.
struct Found {
    std::wstring line = L"\n";
    DWORD type = 0;
    std::uint64_t written = 0;
    std::wstring mark = L"0123456789ABCDEF"; // a run's, from its comment; any for another's
};

Found credentialFound(const std::wstring& target) {
    PCREDENTIALW found = nullptr;
    for (const DWORD type : {DWORD{CRED_TYPE_DOMAIN_PASSWORD}, DWORD{CRED_TYPE_GENERIC}}) {
        if (CredReadW(target.c_str(), type, 0, &found)) {
            Found it{described(*found), type,
                     (std::uint64_t{found->LastWritten.dwHighDateTime} << 32) |
                         found->LastWritten.dwLowDateTime};
            const std::wstring comment = found->Comment != nullptr ? found->Comment : L"";
            if (comment.rfind(L"Morvelan ", 0) == 0) {
                it.mark = comment.substr(9, 16);
            }
            CredFree(found);
            return it;
        }
    }
    return {};
}

// The credential a "/v:" client finds when it starts and, when the case has it stay a while
// (MORVELAN_CLIENT_STAYS gives each run's stay in ms), what it finds as it leaves: at the end of
// its stay, or as soon as the credential is another, so that a slow machine changes nothing.
std::string credentialsFound(const std::wstring& line) {
    const std::size_t host = line.find(L"/v:") + 3;
    const std::wstring target =
        toUtf16(credentialTarget(toUtf8(line.substr(host, line.find(L' ', host) - host))));
    const auto first = credentialFound(target);
    std::istringstream stays(variable("MORVELAN_CLIENT_STAYS"));
    DWORD stay = 0;
    for (long run = std::strtol(variable("MORVELAN_RUN"), nullptr, 10); run > 0; --run) {
        stay = 0;
        stays >> stay;
    }
    if (stay == 0) {
        return toUtf8(first.line);
    }
    std::uint64_t last = first.written;
    for (DWORD waited = 0; waited < stay && last == first.written; waited += 50) {
        Sleep(50);
        last = credentialFound(target).written;
    }
    return toUtf8(first.line) + (last == 0               ? "none"
                                 : last == first.written ? "the same one"
                                                         : "another one");
}

// SysWOW64's client, as on 64-bit Windows: it starts the native one on its own command line and
// ends at once, leaving a note that it ran.
bool relaunched(std::wstring line) {
    wchar_t path[MAX_PATH];
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    if (lowerAscii(toUtf8(path)).find("syswow64") == std::string::npos) {
        return false;
    }
    std::ofstream("syswow64-client") << toUtf8(line);
    STARTUPINFOW startInfo{};
    startInfo.cb = sizeof startInfo;
    PROCESS_INFORMATION started{};
    GetSystemDirectoryW(path, MAX_PATH);
    CreateProcessW((std::wstring(path) + L"\\mstsc.exe").c_str(), line.data(), nullptr, nullptr,
                   FALSE, 0, nullptr, nullptr, &startInfo, &started);
    return true;
}

// The client records its command line in <pid>.cmd and the file it read in <pid>.got, in its
// current folder: the case's.
int client() {
    const std::wstring line = GetCommandLineW();
    if (relaunched(line)) {
        return 0;
    }
    const std::size_t open = line.find(L'"');
    // A real client takes a moment to start before it reads its file.
    Sleep(std::strtoul(variable("MORVELAN_CLIENT_DELAY"), nullptr, 10));
    const std::string log = std::to_string(GetCurrentProcessId());
    // With "/v:" it has no file, and looks its credential up.
    std::ofstream(log + ".got", std::ios::binary)
        << (open != std::wstring::npos ? readAll(line.substr(open + 1, line.size() - open - 2))
                                       : credentialsFound(line));
    writeAll(log + ".cmd", line);
    return 0;
}

// The credential as a watcher's line names it: type, time of writing (or 0), mark, target.
std::wstring named(const std::wstring& target, bool written) {
    const Found it = credentialFound(target);
    return std::to_wstring(it.type) + L" " + (written ? std::to_wstring(it.written) : L"0") + L" " +
           it.mark + L" " + target;
}

// A watcher's line as someone may type it: {ended} is the run before, which has ended, as the
// client; {own TARGET} the credential as it stands, {stale TARGET} the same but for a time of
// writing of 0.
std::wstring typedWatcher(std::wstring line, const std::wstring& ended) {
    for (const std::wstring key : {L"{ended", L"{own ", L"{stale "}) {
        const std::size_t at = line.find(key);
        if (at == std::wstring::npos) {
            continue;
        }
        const std::size_t end = line.find(L'}', at);
        const std::wstring target = line.substr(at + key.size(), end - at - key.size());
        line.replace(at, end + 1 - at, key == L"{ended" ? ended : named(target, key == L"{own "));
    }
    return line;
}

// run FILE: FILE holds NUL-terminated UTF-16 items: the program, environment variables to set
// (NAME=VALUE) or remove (NAME), "--", and the command lines to run in turn. Once all they
// started ends, their exit statuses go to FILE.status, the credentials they left to FILE.creds.
int run(const char* file) {
    const std::string data = readAll(file);
    const std::wstring items(reinterpret_cast<const wchar_t*>(data.data()), data.size() / 2);
    const wchar_t* item = items.c_str();
    const std::wstring exe = item;
    for (item += exe.size() + 1; std::wcscmp(item, L"--") != 0; item += std::wcslen(item) + 1) {
        const std::wstring var = item;
        const std::size_t eq = var.find(L'=');
        SetEnvironmentVariableW(var.substr(0, eq).c_str(),
                                eq == std::wstring::npos ? nullptr : &var[eq + 1]);
    }
    // Ctrl+C at the program's prompt reaches every process on the console, this one too.
    SetConsoleCtrlHandler([](DWORD) -> BOOL { return TRUE; }, TRUE);
    HANDLE job = CreateJobObjectW(nullptr, nullptr);
    std::string statuses;
    int run = 0;
    std::wstring ended;
    auto finish = [&](const PROCESS_INFORMATION& started) {
        WaitForSingleObject(started.hProcess, INFINITE);
        DWORD code = 0;
        GetExitCodeProcess(started.hProcess, &code);
        // Wine ignores the inheritance asked for at the start; set now, it holds.
        SetHandleInformation(started.hProcess, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
        ended = std::to_wstring(reinterpret_cast<std::uintptr_t>(started.hProcess)) + L" " +
                std::to_wstring(started.dwProcessId);
        // A console shared with the program must have its echo back once the program ends.
        DWORD mode = 0;
        const bool noEcho = GetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), &mode) &&
                            (mode & ENABLE_ECHO_INPUT) == 0;
        statuses += std::to_string(code) + (noEcho ? " (console left without echo)\n" : "\n");
    };
    // MORVELAN_TOGETHER: the runs start at one moment, as a script's may.
    const bool together = GetEnvironmentVariableW(L"MORVELAN_TOGETHER", nullptr, 0) != 0;
    std::vector<PROCESS_INFORMATION> waiting;
    for (item += 3; *item != L'\0'; item += std::wcslen(item) + 1) {
        std::wstring line = typedWatcher(item, ended);
        SetEnvironmentVariableW(L"MORVELAN_RUN", std::to_wstring(++run).c_str());
        STARTUPINFOW startInfo{};
        startInfo.cb = sizeof startInfo;
        PROCESS_INFORMATION started{};
        if (!CreateProcessW(exe.c_str(), line.data(), nullptr, nullptr, TRUE, CREATE_SUSPENDED,
                            nullptr, nullptr, &startInfo, &started)) {
            return 99;
        }
        AssignProcessToJobObject(job, started.hProcess);
        waiting.push_back(started);
        if (!together) {
            ResumeThread(started.hThread);
            finish(started);
            waiting.clear();
        }
    }
    for (const PROCESS_INFORMATION& started : waiting) {
        ResumeThread(started.hThread);
    }
    for (const PROCESS_INFORMATION& started : waiting) {
        finish(started);
    }
    JOBOBJECT_BASIC_ACCOUNTING_INFORMATION processes{};
    while (QueryInformationJobObject(job, JobObjectBasicAccountingInformation, &processes,
                                     sizeof processes, nullptr) &&
           processes.ActiveProcesses > 0) {
        Sleep(20);
    }
    std::ofstream(std::string(file) + ".status") << statuses;
    writeAll(std::string(file) + ".creds", credentialsLeft());
    return 0;
}

// cert user|machine CERT [KEY]: puts a certificate (DER) in that "My" store, linked to its
// private key (a PRIVATEKEYBLOB), which goes into a container of the AES provider as a
// signature key. Wine 8 cannot sign with the key that PFXImportCertStore leaves.
int installCertificate(char** argv) {
    const std::string cert = readAll(argv[3]);
    const DWORD location = std::strcmp(argv[2], "user") == 0 ? CERT_SYSTEM_STORE_CURRENT_USER
                                                             : CERT_SYSTEM_STORE_LOCAL_MACHINE;
    HCERTSTORE store = CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0, location, L"My");
    PCCERT_CONTEXT added = nullptr;
    if (!CertAddEncodedCertificateToStore(
            store, X509_ASN_ENCODING, reinterpret_cast<const BYTE*>(cert.data()),
            static_cast<DWORD>(cert.size()), CERT_STORE_ADD_REPLACE_EXISTING, &added)) {
        return 1;
    }
    if (argv[4] != nullptr) {
        std::string key = readAll(argv[4]);
        reinterpret_cast<BLOBHEADER*>(key.data())->aiKeyAlg = CALG_RSA_SIGN;
        wchar_t container[] = L"morvelan-test";
        wchar_t provider[] = MS_ENH_RSA_AES_PROV_W;
        HCRYPTPROV keys = 0;
        HCRYPTKEY imported = 0;
        CryptAcquireContextW(&keys, container, provider, PROV_RSA_AES, CRYPT_DELETEKEYSET);
        CRYPT_KEY_PROV_INFO info{container, provider, PROV_RSA_AES, 0, 0, nullptr, AT_SIGNATURE};
        if (!CryptAcquireContextW(&keys, container, provider, PROV_RSA_AES, CRYPT_NEWKEYSET) ||
            !CryptImportKey(keys, reinterpret_cast<const BYTE*>(key.data()),
                            static_cast<DWORD>(key.size()), 0, 0, &imported) ||
            !CertSetCertificateContextProperty(added, CERT_KEY_PROV_INFO_PROP_ID, 0, &info)) {
            return 1;
        }
    }
    CertFreeCertificateContext(added);
    // Wine writes a registry-backed store out only when it is closed.
    return CertCloseStore(store, 0) ? 0 : 1;
}

// unprotect HEX...: for each blob, a line with its plain bytes in hexadecimal and its
// description, or an empty line.
int unprotect(int argc, char** argv) {
    for (int i = 2; i < argc; ++i) {
        std::string blob = bytesFromHex(argv[i]);
        DATA_BLOB in{static_cast<DWORD>(blob.size()), reinterpret_cast<BYTE*>(blob.data())};
        DATA_BLOB out{};
        LPWSTR description = nullptr;
        if (CryptUnprotectData(&in, &description, nullptr, nullptr, nullptr, 0, &out)) {
            std::printf("%s %ls", hexUpper(out.pbData, out.cbData).c_str(), description);
        }
        std::printf("\n");
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    // The program starts its client with the command line "mstsc.exe PATH".
    if (std::strcmp(argv[0], "mstsc.exe") == 0) {
        return client();
    }
    if (argc >= 7 && std::strcmp(argv[1], "store") == 0) {
        return storeCredential(argv);
    }
    if (argc >= 4 && std::strcmp(argv[1], "cert") == 0) {
        return installCertificate(argv);
    }
    return argc == 3 && std::strcmp(argv[1], "run") == 0 ? run(argv[2]) : unprotect(argc, argv);
}
