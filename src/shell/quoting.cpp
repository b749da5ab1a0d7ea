#include "shell/quoting.h"

#include "errors/uerror.h"

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

void requireAbsolutePath(const std::string& path) {
    if (path.empty() || path[0] != '/') {
        throw TUError{"Directry/file must be set absolute pathname"};
    }
}

void requirePlainWord(const std::string& value, const std::string& optionName) {
    if (value.find_first_of(" \t\n*?[") != std::string::npos) {
        throw TUError{"Option '--" + optionName +
                      "' must not contain blanks or the characters * ? ["};
    }
}

}  // namespace fieldkeep
