// The watcher's command line, written and read back, with no platform calls.
#include "morvelan.h"

#include "../text/text.h"

#include <algorithm>
#include <limits>

namespace {

constexpr std::uint64_t kAny = std::numeric_limits<std::uint64_t>::max();
constexpr std::uint64_t kProcessId = std::numeric_limits<std::uint32_t>::max();

// The word up to the next blank; text then begins after that blank.
std::string_view nextWord(std::string_view& text) {
    const std::size_t end = std::min(text.find(' '), text.size());
    const std::string_view word = text.substr(0, end);
    text.remove_prefix(std::min(end + 1, text.size()));
    return word;
}

// A decimal number of at most max, digits only.
bool readNumber(std::string_view word, std::uint64_t max, std::uint64_t& value) {
    const std::optional<Decimal> number = readDecimal(word, DecimalForm::digits, max);
    value = number ? number->magnitude : 0;
    return number.has_value();
}

// As a run writes it: upper-case digits, which the credential's comment must match exactly.
bool isMark(std::string_view word) {
    return word.size() == kMarkDigits && isHexDigits(word) &&
           word.find_first_of("abcdef") == std::string_view::npos;
}

} // namespace

std::string watchArguments(const WatchRequest& request) {
    const OwnCredential& own = request.credential;
    return std::string(kWatchWord) + ' ' + std::to_string(request.client) + ' ' +
           std::to_string(request.clientId) + ' ' + std::to_string(own.type) + ' ' +
           std::to_string(own.written) + ' ' + own.mark + ' ' + own.target;
}

std::optional<WatchRequest> parseWatch(std::string_view tail) {
    if (nextWord(tail) != kWatchWord) {
        return std::nullopt;
    }
    WatchRequest request;
    OwnCredential& own = request.credential;
    std::uint64_t id = 0;
    std::uint64_t type = 0;
    if (!readNumber(nextWord(tail), kAny, request.client) ||
        !readNumber(nextWord(tail), kProcessId, id) || !readNumber(nextWord(tail), 2, type) ||
        type == 0 || !readNumber(nextWord(tail), kAny, own.written)) {
        return std::nullopt;
    }
    own.mark = nextWord(tail);
    own.target = tail;
    // Only a name the program itself gives a credential, as a single word.
    if (!isMark(own.mark) || own.target.rfind(kTargetPrefix, 0) != 0 ||
        own.target.find(' ') != std::string::npos) {
        return std::nullopt;
    }
    request.clientId = static_cast<unsigned long>(id);
    own.type = static_cast<unsigned long>(type);
    return request;
}

std::string credentialComment(std::string_view mark, const std::vector<ClientId>& clients) {
    std::string comment = "Morvelan " + std::string(mark);
    for (const ClientId& client : clients) {
        comment += ' ' + std::to_string(client.id) + ' ' + std::to_string(client.created);
    }
    return comment;
}

std::optional<CommentRead> readComment(std::string_view comment) {
    CommentRead read;
    if (nextWord(comment) != "Morvelan" || !isMark(read.mark = nextWord(comment))) {
        return std::nullopt;
    }
    while (!comment.empty()) {
        std::uint64_t id = 0;
        ClientId& client = read.clients.emplace_back();
        if (!readNumber(nextWord(comment), kProcessId, id) ||
            !readNumber(nextWord(comment), kAny, client.created)) {
            return std::nullopt;
        }
        client.id = static_cast<unsigned long>(id);
    }
    return read;
}
