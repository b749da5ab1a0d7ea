#include "main/host_address.h"

#include <algorithm>
#include <utility>

#include "remote/session.h"

namespace fieldkeep {
namespace {

constexpr long kHighestPort = 65535;

std::optional<int> parsePort(const std::string& text) {
    long port = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
        port = std::min(port * 10 + (c - '0'), kHighestPort + 1);
    }
    if (port < 1 || port > kHighestPort) {
        return std::nullopt;
    }
    return static_cast<int>(port);
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
