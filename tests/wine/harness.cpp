// Starts the program with an exact command line and environment, and reads what it left.
#include "harness.h"

#include <windows.h>

#include <wincrypt.h>

#include <cstdlib>
#include <cstring>

namespace harness {

std::string windowsPath(std::string unixPath) {
    if (unixPath.empty() || unixPath[0] != '/') {
        return unixPath;
    }
    for (char& c : unixPath) {
        c = c == '/' ? '\\' : c;
    }
    return "Z:" + unixPath;
}

fs::path morvelanExe() {
    const char* path = std::getenv("MORVELAN_EXE");
    return windowsPath(path != nullptr ? path : "");
}

namespace {

bool sameName(const std::string& a, const std::string& b) {
    return _stricmp(a.c_str(), b.c_str()) == 0;
}

std::string environmentBlock(const EnvChanges& changes) {
    std::map<std::string, std::string> vars;
    char* strings = GetEnvironmentStringsA();
    for (const char* p = strings; *p != '\0'; p += std::strlen(p) + 1) {
        const std::string entry = p;
        const std::size_t eq = entry.find('=', 1);
        if (eq == std::string::npos) {
            continue;
        }
        const std::string name = entry.substr(0, eq);
        bool changed = false;
        for (const auto& change : changes) {
            changed = changed || sameName(change.first, name);
        }
        if (!changed) {
            vars[name] = entry.substr(eq + 1);
        }
    }
    FreeEnvironmentStringsA(strings);
    for (const auto& [name, value] : changes) {
        if (value) {
            vars[name] = *value;
        }
    }
    std::string block;
    for (const auto& [name, value] : vars) {
        block += name;
        block += '=';
        block += value;
        block += '\0';
    }
    block += '\0';
    return block;
}

std::string readPipe(HANDLE pipe) {
    std::string data;
    char buffer[4096];
    DWORD n = 0;
    while (ReadFile(pipe, buffer, sizeof buffer, &n, nullptr) && n > 0) {
        data.append(buffer, n);
    }
    return data;
}

} // namespace

Result runMorvelan(const std::string& tail, const EnvChanges& env, const fs::path& cwd,
                   const fs::path& exe) {
    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE readEnd = nullptr;
    HANDLE writeEnd = nullptr;
    EXPECT_TRUE(CreatePipe(&readEnd, &writeEnd, &inherit, 0));
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);

    STARTUPINFOA startInfo{};
    startInfo.cb = sizeof(startInfo);
    startInfo.dwFlags = STARTF_USESTDHANDLES;
    startInfo.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startInfo.hStdOutput = writeEnd;
    startInfo.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION info{};
    std::string commandLine = "morvelan.exe " + tail;
    std::string block = environmentBlock(env);
    const std::string program = (exe.empty() ? morvelanExe() : exe).string();
    const std::string dir = cwd.string();
    const BOOL started = CreateProcessA(program.c_str(), commandLine.data(), nullptr, nullptr, TRUE,
                                        0, block.data(), dir.c_str(), &startInfo, &info);
    CloseHandle(writeEnd);
    Result run;
    if (!started) {
        ADD_FAILURE() << "cannot start " << program << ": error " << GetLastError();
        CloseHandle(readEnd);
        return run;
    }
    run.output = readPipe(readEnd);
    CloseHandle(readEnd);
    EXPECT_EQ(WaitForSingleObject(info.hProcess, 30000), WAIT_OBJECT_0);
    DWORD code = 0;
    GetExitCodeProcess(info.hProcess, &code);
    run.exitCode = code;
    CloseHandle(info.hThread);
    CloseHandle(info.hProcess);
    return run;
}

std::string fromHex(const std::string& hex) {
    std::string bytes;
    EXPECT_EQ(hex.size() % 2, 0u);
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
        bytes += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
    }
    return bytes;
}

std::optional<std::string> fileValue(const std::string& file, const std::string& key) {
    const std::size_t start = file.rfind(key, 0) == 0 ? 0 : file.find("\r\n" + key);
    if (start == std::string::npos) {
        return std::nullopt;
    }
    const std::size_t value = start == 0 ? key.size() : start + 2 + key.size();
    return file.substr(value, file.find("\r\n", value) - value);
}

bool unprotect(const std::string& hex, std::string& plain, std::wstring& description) {
    std::string blob = fromHex(hex);
    DATA_BLOB in{static_cast<DWORD>(blob.size()), reinterpret_cast<BYTE*>(blob.data())};
    DATA_BLOB out{0, nullptr};
    LPWSTR descr = nullptr;
    if (!CryptUnprotectData(&in, &descr, nullptr, nullptr, nullptr, 0, &out)) {
        return false;
    }
    plain.assign(reinterpret_cast<const char*>(out.pbData), out.cbData);
    description = descr != nullptr ? descr : L"";
    LocalFree(out.pbData);
    LocalFree(descr);
    return true;
}

std::string utf16Bytes(const std::wstring& text) {
    return std::string(reinterpret_cast<const char*>(text.c_str()),
                       (text.size() + 1) * sizeof(wchar_t));
}

void Scratch::SetUp() {
    const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
    dir = fs::path("C:\\morvelan-tests") /
          (std::string(test->test_suite_name()) + "." + test->name());
    fs::remove_all(dir);
    temp = dir / "te mp";
    log = dir / "client";
    fs::create_directories(temp);
}

EnvChanges Scratch::env() const {
    return {{"TEMP", temp.string()}, {"MORVELAN_CLIENT_LOG", log.string()}};
}

std::optional<ClientRecord> Scratch::client(int timeoutMs) const {
    const fs::path done = fs::path(log.string() + ".done");
    for (int waited = 0; !fs::exists(done); waited += 50) {
        if (waited >= timeoutMs) {
            return std::nullopt;
        }
        Sleep(50);
    }
    return ClientRecord{readFile(log.string() + ".cmdline"), readFile(log.string() + ".file")};
}

} // namespace harness
