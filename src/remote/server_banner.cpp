#include "remote/server_banner.h"

#include <charconv>

namespace fieldkeep::remote {
namespace {

// Reads the decimal number at the start of text and moves text past it.
std::optional<int> takeNumber(std::string_view& text) {
    int number = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
    if (error != std::errc{} || end == text.data()) {
        return std::nullopt;
    }
    text.remove_prefix(static_cast<std::size_t>(end - text.data()));
    return number;
}

}  // namespace

std::optional<std::pair<int, int>> versionAfter(std::string_view text, std::string_view prefix) {
    if (text.substr(0, prefix.size()) != prefix) {
        return std::nullopt;
    }
    text.remove_prefix(prefix.size());
    const std::optional<int> major = takeNumber(text);
    if (!major || text.empty() || text.front() != '.') {
        return std::nullopt;
    }
    text.remove_prefix(1);
    const std::optional<int> minor = takeNumber(text);
    if (!minor) {
        return std::nullopt;
    }
    return std::make_pair(*major, *minor);
}

}  // namespace fieldkeep::remote
