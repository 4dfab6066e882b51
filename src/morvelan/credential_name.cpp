// The name and user of the credential the client finds in Credential Manager. No platform
// calls.
#include "morvelan.h"

#include "../cmdline/cmdline.h"

std::string credentialTarget(std::string_view host) {
    return std::string(kTargetPrefix) + std::string(hostWithoutPort(host));
}

std::string credentialUser(std::string_view domain, std::string_view user) {
    return domain.empty() ? std::string(user) : std::string(domain) + "\\" + std::string(user);
}
