#include "shell/config_edit.h"

#include "shell/quoting.h"

namespace fieldkeep {
namespace {

std::string withQuotes(const std::string& value, bool quoteValue) {
    return quoteValue ? "\"" + value + "\"" : value;
}

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

// The test finds a line "KEY<whitespace>..."; sed then keeps each such line's
// indentation, the key and the one whitespace byte after it and replaces the
// rest. When there is no such line, or the rewrite fails, printf appends the
// setting after a line feed that completes an unfinished last line.
std::string makeSetOptionCommand(const std::string& file, const std::string& key,
                                 const std::string& value, bool quoteValue) {
    const std::string f = shellQuote(file);
    const std::string k = shellQuote(key);
    const std::string v = shellQuote(withQuotes(value, quoteValue));
    const std::string sedValue = shellQuote(escapeSedReplacement(withQuotes(value, quoteValue)));
    return "cat " + f + " | grep -e '^[[:space:]]*'" + k + "'[[:space:]]' >/dev/null" +
           " && cp -f " + f + " " + f + ".pre" +
           " && cat " + f + ".pre | sed -e 's/^\\([[:space:]]*'" + k + "'[[:space:]]\\).*/\\1'" +
           sedValue + "'/' >" + f +
           " && rm -f " + f + ".pre" +
           " || printf '\\n%s %s\\n' " + k + " " + v + " >>" + f;
}

std::string makeDeleteOptionCommand(const std::string& file, const std::string& key) {
    const std::string f = shellQuote(file);
    const std::string k = shellQuote(key);
    return "cp -f " + f + " " + f + ".pre" +
           " && cat " + f + ".pre | sed -e 's/^[[:space:]]*'" + k + "'[[:space:]].*$//' >" + f +
           " && rm -f " + f + ".pre";
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
