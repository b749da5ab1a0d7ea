#include "main/host_address.h"

#include <utility>

#include "errors/decimal.h"
#include "remote/session.h"

namespace fieldkeep {
namespace {

constexpr long kHighestPort = 65535;

std::optional<int> parsePort(const std::string& text) {
    const std::optional<long long> port = decimalNumber(text, kHighestPort);
    if (!port || *port < 1) {
        return std::nullopt;
    }
    return static_cast<int>(*port);
}

std::optional<HostAddress> withPort(std::string host, const std::string& portText) {
    const std::optional<int> port = parsePort(portText);
    if (host.empty() || !port) {
        return std::nullopt;
    }
    return HostAddress{std::move(host), *port};
}

// [IPv6] or [IPv6]:PORT
std::optional<HostAddress> parseBracketed(const std::string& text) {
    const std::size_t close = text.find(']');
    if (close == std::string::npos) {
        return std::nullopt;
    }
    std::string host = text.substr(1, close - 1);
    const std::string rest = text.substr(close + 1);
    if (rest.empty()) {
        return host.empty() ? std::nullopt : std::optional<HostAddress>({host, kSshPort});
    }
    if (rest[0] != ':') {
        return std::nullopt;
    }
    return withPort(std::move(host), rest.substr(1));
}

}  // namespace

std::optional<HostAddress> parseHostAddress(const std::string& text) {
    if (!text.empty() && text[0] == '[') {
        return parseBracketed(text);
    }
    const std::size_t colon = text.find(':');
    if (colon == std::string::npos || text.find(':', colon + 1) != std::string::npos) {
        return text.empty() ? std::nullopt : std::optional<HostAddress>({text, kSshPort});
    }
    return withPort(text.substr(0, colon), text.substr(colon + 1));
}

}  // namespace fieldkeep
