// Connection file writer: the client's key:type:value lines.
#include "connfile.h"

namespace {

// One "name:type:value" line with its CR LF.
void line(std::string& out, std::string_view name, char type, std::string_view value) {
    out.append(name) += ':';
    out += type;
    out += ':';
    out.append(value) += "\r\n";
}

// The settings the signing tool signs, by their names in the "signscope" line, in its order:
// each line's name is its scope name in lower case. The client checks them in this order too.
const char* const kSignable[] = {"Full Address",
                                 "Alternate Full Address",
                                 "PCB",
                                 "Use Redirection Server Name",
                                 "Server Port",
                                 "Negotiate Security Layer",
                                 "EnableCredSspSupport",
                                 "DisableConnectionSharing",
                                 "AutoReconnection Enabled",
                                 "GatewayHostname",
                                 "GatewayUsageMethod",
                                 "GatewayProfileUsageMethod",
                                 "GatewayCredentialsSource",
                                 "Support URL",
                                 "PromptCredentialOnce",
                                 "Require pre-authentication",
                                 "Pre-authentication server address",
                                 "Alternate Shell",
                                 "Shell Working Directory",
                                 "RemoteApplicationProgram",
                                 "RemoteApplicationExpandWorkingdir",
                                 "RemoteApplicationMode",
                                 "RemoteApplicationGuid",
                                 "RemoteApplicationName",
                                 "RemoteApplicationIcon",
                                 "RemoteApplicationFile",
                                 "RemoteApplicationFileExtensions",
                                 "RemoteApplicationCmdLine",
                                 "RemoteApplicationExpandCmdLine",
                                 "Prompt For Credentials",
                                 "Authentication Level",
                                 "AudioMode",
                                 "RedirectDrives",
                                 "RedirectPrinters",
                                 "RedirectCOMPorts",
                                 "RedirectSmartCards",
                                 "RedirectPOSDevices",
                                 "RedirectClipboard",
                                 "DevicesToRedirect",
                                 "DrivesToRedirect",
                                 "LoadBalanceInfo",
                                 "RedirectDirectX",
                                 "RDGIsKDCProxy",
                                 "KDCProxyName",
                                 "EventLogUploadAddress"};

std::string settingLines(const CONFIG_DATA& data) {
    std::string out;
    // The client reads the keys in any order; this one is kept so files stay comparable.
    for (const RecordLine& record : kRecordLines) {
        line(out, record.name, record.type,
             record.number != nullptr ? std::to_string(data.*record.number) : data.*record.text);
    }
    for (const FileSetting& setting : data.source_settings) {
        line(out, setting.name, setting.type, setting.value);
    }
    // Only when asked for, so that other files stay as earlier releases wrote them. The
    // signing tool signs neither, so neither joins the signature's scope.
    if (data.administrative_session != 0) {
        line(out, "administrative session", 'i', "1");
    }
    if (data.use_multimon != 0) {
        line(out, "use multimon", 'i', "1");
    }
    // A file to be signed repeats the address under a signed name, so that it cannot be
    // swapped; the line is there before the signature is made over it.
    if (!data.signer_thumbprint.empty()) {
        line(out, "alternate full address", 's', data.full_address);
    }
    return out;
}

struct SignedText {
    std::string lines; // each signed line of the file with its CR LF
    std::string scope; // the "signscope" line naming them, with its CR LF
};

// The file's line of that name, with its CR LF; empty when the file has none.
std::string_view lineNamed(std::string_view file, std::string_view name) {
    for (std::size_t start = 0; start < file.size();) {
        const std::size_t end = file.find('\n', start) + 1;
        const std::string_view line = file.substr(start, end - start);
        if (line.substr(0, line.find(':')) == name) {
            return line;
        }
        start = end;
    }
    return {};
}

SignedText signedText(const std::string& file) {
    SignedText found{{}, "signscope:s:"};
    for (const char* scopeName : kSignable) {
        const std::string_view line = lineNamed(file, lowerAscii(scopeName));
        if (!line.empty()) {
            found.lines += line;
            found.scope += std::string(found.scope.back() == ':' ? "" : ",") + scopeName;
        }
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
