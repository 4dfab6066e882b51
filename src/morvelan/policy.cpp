// Group Policy over the routes: which route the client would refuse, and which one works there.
#include "morvelan.h"

#include "../connfile/connfile.h"
#include "../text/text.h"

namespace {

// The settings as the Group Policy editor names them.
constexpr std::string_view kSignedPolicy =
    "\"Allow .rdp files from valid publishers and user's default .rdp settings\"";
constexpr std::string_view kUnsignedPolicy = "\"Allow .rdp files from unknown publishers\"";
constexpr std::string_view kListPolicy =
    "\"Specify thumbprints of certificates representing trusted .rdp publishers\"";

std::string_view withoutBlanks(std::string_view text) {
    const std::size_t first = text.find_first_not_of(" \t");
    return first == std::string_view::npos
               ? std::string_view()
               : text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// Whether an entry may name the certificate of sha1 and sha256, given in lower case.
bool mayName(std::string_view entry, const std::string& sha1, const std::string& sha256) {
    const std::size_t colon = entry.find(':');
    const std::string_view digits =
        colon == std::string_view::npos ? entry : entry.substr(colon + 1);
    if ((digits.size() != 40 && digits.size() != 64) || !isHexDigits(digits)) {
        return true;
    }
    const std::string lower = lowerAscii(digits);
    return lower == sha1 || lower == sha256;
}

std::string refused(std::string_view policy, std::string_view what, std::string_view instead) {
    return "Error: The Group Policy setting " + std::string(policy) +
           " is disabled, and the Remote Desktop client refuses " + std::string(what) +
           "; nothing was done. " + std::string(instead);
}

// A listed publisher's file opens whatever the two other settings say.
std::string signListed(std::string_view first) {
    return std::string(first) + "give -c the thumbprint of a certificate listed in " +
           std::string(kListPolicy);
}

} // namespace

bool mayBeListed(std::string_view list, std::string_view sha1, std::string_view sha256) {
    const std::string one = lowerAscii(sha1);
    const std::string two = lowerAscii(sha256);
    for (;;) {
        const std::size_t comma = list.find(',');
        const std::string_view entry = withoutBlanks(list.substr(0, comma));
        if (!entry.empty() && mayName(entry, one, two)) {
            return true;
        }
        if (comma == std::string_view::npos) {
            return false;
        }
        list.remove_prefix(comma + 1);
    }
}

std::optional<std::string> routeRefusal(const CONFIG_DATA& values, bool direct,
                                        const RoutePolicies& policies,
                                        const std::function<bool()>& signerListed) {
    if (direct) {
        if (policies.signedFiles) {
            return std::nullopt;
        }
        return refused(kSignedPolicy, "sessions started without a connection file (-n)",
                       policies.unsignedFiles
                           ? "Leave out -n: a connection file opens here."
                           : signListed("Leave out -n and ") + ": a file it signs opens here.");
    }
    if (values.signer_thumbprint.empty()) {
        if (policies.unsignedFiles) {
            return std::nullopt;
        }
        // "-n" takes no file of the user's.
        const bool noFile = policies.signedFiles && values.source_file.empty();
        return refused(kUnsignedPolicy, "unsigned connection files",
                       signListed("Sign the file: ") +
                           (noFile ? ", or start the session without a file with -n." : "."));
    }
    if (policies.signedFiles || signerListed()) {
        return std::nullopt;
    }
    return refused(kSignedPolicy,
                   "a file signed by the certificate " + values.signer_thumbprint + ", which " +
                       std::string(kListPolicy) + " does not list",
                   "Give -c the thumbprint of a listed certificate, or have this one listed" +
                       std::string(policies.unsignedFiles
                                       ? ", or leave out -c: an unsigned file opens here."
                                       : "."));
}
