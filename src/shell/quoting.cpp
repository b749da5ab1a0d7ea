#include "shell/quoting.h"

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

std::string fillShellTemplate(std::string_view text, const std::vector<ShellWord>& words) {
    std::string filled;
    std::size_t done = 0;
    for (std::size_t at = text.find('@'); at != std::string_view::npos;
         at = text.find('@', at + 1)) {
        for (const auto& [name, value] : words) {
            if (text.compare(at + 1, name.size(), name) == 0 &&
                text.size() > at + 1 + name.size() && text[at + 1 + name.size()] == '@') {
                filled.append(text, done, at - done);
                filled += shellQuote(value);
                at += name.size() + 1;
                done = at + 1;
                break;
            }
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
