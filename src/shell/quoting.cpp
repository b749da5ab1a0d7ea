#include "shell/quoting.h"

#include <optional>

namespace fieldkeep {

std::string shellQuote(const std::string& text) {
    std::string quoted = "'";
    quoted.reserve(text.size() + 2);
    for (char c : text) {
        if (c == '\'') {
            quoted += "'\\''";
        } else {
            quoted += c;
        }
    }
    quoted += '\'';
    return quoted;
}

std::string shellWord(const std::string& text) {
    constexpr char kPlain[] =
        "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789_+-./,:%";
    const bool plain = !text.empty() && text.find_first_not_of(kPlain) == std::string::npos;
    return plain ? text : shellQuote(text);
}

std::string shellWords(const std::vector<std::string>& texts) {
    std::string words;
    for (const std::string& text : texts) {
        words += (words.empty() ? "" : " ") + shellWord(text);
    }
    return words;
}

std::string fillShellTemplate(std::string_view text, const std::vector<ShellWord>& words,
                              const std::vector<ShellText>& texts) {
    // The value for the placeholder at `at`, when it names one.
    const auto valueAt = [&](std::size_t at) -> std::optional<std::pair<std::size_t, std::string>> {
        const auto names = [&](std::string_view name) {
            return text.compare(at + 1, name.size(), name) == 0 &&
                   text.size() > at + 1 + name.size() && text[at + 1 + name.size()] == '@';
        };
        for (const auto& [name, value] : words) {
            if (names(name)) {
                return std::make_pair(name.size(), shellQuote(value));
            }
        }
        for (const auto& [name, value] : texts) {
            if (names(name)) {
                return std::make_pair(name.size(), value);
            }
        }
        return std::nullopt;
    };
    std::string filled;
    std::size_t done = 0;
    for (std::size_t at = text.find('@'); at != std::string_view::npos;
         at = text.find('@', at + 1)) {
        if (const auto value = valueAt(at)) {
            filled.append(text, done, at - done);
            filled += value->second;
            at += value->first + 1;
            done = at + 1;
        }
    }
    filled.append(text, done, std::string_view::npos);
    return filled;
}

std::string hereDocument(const std::string& command, const std::string& text) {
    const std::string lines = "\n" + text + "\n";
    std::string end = "FIELDKEEP_END";
    while (lines.find("\n" + end + "\n") != std::string::npos) {
        end += "_";
    }
    const bool ended = !text.empty() && text.back() == '\n';
    return command + " <<'" + end + "'\n" + text + (ended ? "" : "\n") + end;
}

}  // namespace fieldkeep
