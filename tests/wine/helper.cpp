// Test helper under Wine: runs the program from exact UTF-16 command lines, opens protected
// passwords, and, installed as mstsc.exe, stands in for the Remote Desktop client.
#include <windows.h>

#include <wincrypt.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

std::string bytes(const char* hex) {
    std::string out;
    for (; hex[0] != '\0' && hex[1] != '\0'; hex += 2) {
        out += static_cast<char>(std::strtol(std::string(hex, 2).c_str(), nullptr, 16));
    }
    return out;
}

// Arguments come as hexadecimal UTF-16LE, so that no conversion on the way can change them.
std::wstring fromHex(const char* hex) {
    const std::string data = bytes(hex);
    std::wstring text(data.size() / 2, L'\0');
    std::memcpy(text.data(), data.data(), text.size() * sizeof(wchar_t));
    return text;
}

void printHex(const void* data, std::size_t size) {
    for (std::size_t i = 0; i < size; ++i) {
        std::printf("%02X", static_cast<const unsigned char*>(data)[i]);
    }
}

const char* env(const char* name, const char* fallback) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : fallback;
}

// The client records its command line and the file it was handed: <log>\<pid>.rec.
int client() {
    const std::wstring line = GetCommandLineW();
    const std::size_t open = line.find(L'"');
    const std::wstring path = line.substr(open + 1, line.rfind(L'"') - open - 1);
    // A real client takes a moment to start before it reads its file.
    Sleep(static_cast<DWORD>(std::strtol(env("MORVELAN_CLIENT_DELAY", "0"), nullptr, 10)));
    const std::string log = std::string(env("MORVELAN_CLIENT_LOG", ".")) + "\\" +
                            std::to_string(GetCurrentProcessId()) + ".rec";
    std::FILE* out = std::fopen(log.c_str(), "wb");
    (void)std::fwrite(line.data(), sizeof(wchar_t), line.size() + 1, out);
    if (std::FILE* in = _wfopen(path.c_str(), L"rb")) {
        for (int c; (c = std::fgetc(in)) != EOF;) {
            (void)std::fputc(c, out);
        }
        (void)std::fclose(in);
    }
    return std::fclose(out);
}

// run EXE [NAME=VALUE | NAME]... -- TAIL...: runs "morvelan.exe TAIL" for each tail in turn,
// then waits for every process they started; exits with the first non-zero exit status.
int run(int argc, char** argv) {
    const std::wstring exe = fromHex(argv[2]);
    int i = 3;
    for (; i < argc && std::strcmp(argv[i], "--") != 0; ++i) {
        const std::wstring var = fromHex(argv[i]);
        const std::size_t eq = var.find(L'=');
        SetEnvironmentVariableW(var.substr(0, eq).c_str(),
                                eq == std::wstring::npos ? nullptr : var.c_str() + eq + 1);
    }
    HANDLE job = CreateJobObjectW(nullptr, nullptr);
    DWORD status = 0;
    while (++i < argc) {
        std::wstring line = L"morvelan.exe " + fromHex(argv[i]);
        STARTUPINFOW startInfo{};
        startInfo.cb = sizeof startInfo;
        PROCESS_INFORMATION info{};
        if (!CreateProcessW(exe.c_str(), line.data(), nullptr, nullptr, TRUE, CREATE_SUSPENDED,
                            nullptr, nullptr, &startInfo, &info)) {
            return 99;
        }
        AssignProcessToJobObject(job, info.hProcess);
        ResumeThread(info.hThread);
        WaitForSingleObject(info.hProcess, INFINITE);
        DWORD code = 0;
        GetExitCodeProcess(info.hProcess, &code);
        status = status != 0 ? status : code;
    }
    JOBOBJECT_BASIC_ACCOUNTING_INFORMATION job_info{};
    while (QueryInformationJobObject(job, JobObjectBasicAccountingInformation, &job_info,
                                     sizeof job_info, nullptr) &&
           job_info.ActiveProcesses > 0) {
        Sleep(20);
    }
    return static_cast<int>(status);
}

// unprotect HEX...: for each blob, a line with the plain bytes and the description in hex.
int unprotect(int argc, char** argv) {
    for (int i = 2; i < argc; ++i) {
        std::string blob = bytes(argv[i]);
        DATA_BLOB in{static_cast<DWORD>(blob.size()), reinterpret_cast<BYTE*>(blob.data())};
        DATA_BLOB out{};
        LPWSTR description = nullptr;
        if (CryptUnprotectData(&in, &description, nullptr, nullptr, nullptr, 0, &out)) {
            printHex(out.pbData, out.cbData);
            std::printf(" ");
            printHex(description, std::wcslen(description) * sizeof(wchar_t));
        }
        std::printf("\n");
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    if (_wcsicmp(std::wcsrchr(self, L'\\') + 1, L"mstsc.exe") == 0) {
        return client();
    }
    if (argc > 2 && std::strcmp(argv[1], "run") == 0) {
        return run(argc, argv);
    }
    return argc > 1 && std::strcmp(argv[1], "unprotect") == 0 ? unprotect(argc, argv) : 2;
}
