#include "shell/config_edit.h"

#include "shell/quoting.h"

namespace fieldkeep {
namespace {

std::string withQuotes(const std::string& value, bool quoteValue) {
    return quoteValue ? "\"" + value + "\"" : value;
}

// The test finds a line "KEY<whitespace>..."; sed then keeps each such line's
// indentation, the key and the one whitespace byte after it and replaces the
// rest. When there is no such line, or the rewrite fails, printf appends the
// setting after a line feed that completes an unfinished last line.
const char kSetOptionLine[] =
    R"(cat @FILE@ | grep -e '^[[:space:]]*'@KEY@'[[:space:]]' >/dev/null)"
    R"( && cp -f @FILE@ @FILE@.pre)"
    R"( && cat @FILE@.pre | sed -e 's/^\([[:space:]]*'@KEY@'[[:space:]]\).*/\1'@SEDVALUE@'/' >@FILE@)"
    R"( && rm -f @FILE@.pre)"
    R"( || printf '\n%s %s\n' @KEY@ @VALUE@ >>@FILE@)";

const char kDeleteOptionLine[] =
    R"(cp -f @FILE@ @FILE@.pre)"
    R"( && cat @FILE@.pre | sed -e 's/^[[:space:]]*'@KEY@'[[:space:]].*$//' >@FILE@)"
    R"( && rm -f @FILE@.pre)";

}  // namespace

std::string escapeSedReplacement(const std::string& value) {
    std::string escaped;
    escaped.reserve(value.size());
    for (char c : value) {
        if (c == '\\' || c == '/' || c == '&') {
            escaped += '\\';
        }
        escaped += c;
    }
    return escaped;
}

std::string makeSetOptionCommand(const std::string& file, const std::string& key,
                                 const std::string& value, bool quoteValue) {
    const std::string written = withQuotes(value, quoteValue);
    return fillShellTemplate(kSetOptionLine, {{"FILE", file},
                                              {"KEY", key},
                                              {"SEDVALUE", escapeSedReplacement(written)},
                                              {"VALUE", written}});
}

std::string makeDeleteOptionCommand(const std::string& file, const std::string& key) {
    return fillShellTemplate(kDeleteOptionLine, {{"FILE", file}, {"KEY", key}});
}

void setConfigOption(RemoteRunner& host, const std::string& file, const std::string& key,
                     const std::string& value, bool quoteValue) {
    host.runOrThrow(makeSetOptionCommand(file, key, value, quoteValue),
                    "Set option '" + key + "' failed in " + file);
}

void deleteConfigOption(RemoteRunner& host, const std::string& file, const std::string& key) {
    host.runOrThrow(makeDeleteOptionCommand(file, key),
                    "Delete option '" + key + "' failed in " + file);
}

}  // namespace fieldkeep
