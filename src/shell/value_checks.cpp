#include "shell/value_checks.h"

#include <vector>

#include "errors/decimal.h"
#include "errors/uerror.h"

namespace fieldkeep {

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

void requireAbsolutePlainPath(const std::string& path, const std::string& optionName) {
    requireAbsolutePath(path);
    requirePlainWord(path, optionName);
    requireNoParentStep(path, optionName);
}

void requireNoParentStep(const std::string& path, const std::string& optionName) {
    if (("/" + path + "/").find("/../") != std::string::npos) {
        throw TUError{"Option '--" + optionName + "' must not contain '..'"};
    }
}

void requireSingleLine(const std::string& value, const std::string& optionName) {
    if (value.find_first_of("\r\n") != std::string::npos) {
        throw TUError{"Option '--" + optionName + "' must not contain line breaks"};
    }
}

void requireNoDoubleQuote(const std::string& value, const std::string& optionName) {
    if (value.find('"') != std::string::npos) {
        throw TUError{"Option '--" + optionName + "' must not contain '\"'"};
    }
}

void requireNoLeadingDash(const std::string& value, const std::string& optionName) {
    if (!value.empty() && value[0] == '-') {
        throw TUError{"Option '--" + optionName + "' must not start with '-'"};
    }
}

std::string normalizePath(const std::string& path) {
    const bool absolute = !path.empty() && path[0] == '/';
    std::vector<std::string> segments;
    std::size_t begin = 0;
    while (begin <= path.size()) {
        std::size_t end = path.find('/', begin);
        if (end == std::string::npos) {
            end = path.size();
        }
        const std::string segment = path.substr(begin, end - begin);
        if (segment == "..") {
            if (!segments.empty() && segments.back() != "..") {
                segments.pop_back();
            } else if (!absolute) {
                segments.push_back(segment);  // above a relative start; above the root is the root
            }
        } else if (!segment.empty() && segment != ".") {
            segments.push_back(segment);
        }
        begin = end + 1;
    }
    std::string normal = absolute ? "/" : "";
    for (const std::string& segment : segments) {
        normal += (normal.empty() || normal == "/" ? "" : "/") + segment;
    }
    return normal.empty() ? "." : normal;
}

bool isPortNumber(const std::string& text) {
    return decimalNumber(text, 65535, 5).has_value();
}

}  // namespace fieldkeep
