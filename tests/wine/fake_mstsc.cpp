// Stand-in Remote Desktop client: records its command line and the file it was handed.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

std::string connectionFile(const std::string& commandLine) {
    const std::size_t open = commandLine.find('"');
    const std::size_t close = commandLine.rfind('"');
    if (open != std::string::npos && close > open) {
        return commandLine.substr(open + 1, close - open - 1);
    }
    const std::size_t blank = commandLine.find(' ');
    return blank == std::string::npos ? std::string() : commandLine.substr(blank + 1);
}

std::string readAll(const std::string& path) {
    std::string data;
    if (std::FILE* in = std::fopen(path.c_str(), "rb")) {
        char buffer[4096];
        std::size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, in)) > 0) {
            data.append(buffer, n);
        }
        (void)std::fclose(in);
    }
    return data;
}

void writeAll(const std::string& path, const std::string& data) {
    if (std::FILE* out = std::fopen(path.c_str(), "wb")) {
        (void)std::fwrite(data.data(), 1, data.size(), out);
        (void)std::fclose(out);
    }
}

} // namespace

int main() {
    const char* log = std::getenv("MORVELAN_CLIENT_LOG");
    if (log == nullptr) {
        return 2;
    }
    const std::string commandLine = GetCommandLineA();
    const std::string base = log;
    writeAll(base + ".cmdline", commandLine);
    writeAll(base + ".file", readAll(connectionFile(commandLine)));
    // Written last: the test reads the record only once this exists.
    writeAll(base + ".done", "");
    return 0;
}
