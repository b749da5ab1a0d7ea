#include "commands/host_checks.h"
#include "main/host_address.h"
#include "remote/exit_status.h"
#include "shell/quoting.h"
#include "shell/value_checks.h"
#include "support.h"

using namespace fieldkeep;

TEST(TextRules, HoldForEveryRow) {
    // The status cut off the output captured, and the output left.
    const std::vector<std::pair<std::string, std::pair<int, std::string>>> trailers = {
        {"hello\n\n0\n", {0, "hello\n"}}, {"hello\n1\n", {1, "hello"}}, {"\n127\n", {127, ""}}, {"abc", {-1, ""}},
        {"", {-1, ""}}, {"x\n-1\n", {-1, "x"}}, {"abc42\n0\n", {0, "abc42"}}, {"7", {7, ""}}, {"\n3", {3, ""}},
        {"ok\r\n\r\n0\r\n", {0, "ok\r\n\r"}}, {"x\n99999999999\n", {-1, "x"}}, {"x\n2147483647\n", {2147483647, "x"}},
        {"a\xff\n5\n\xfe", {5, "a\xff"}}, {"a--5\n", {-5, "a"}}, {"x\n000000000000000000042\n", {42, "x"}},
        {"-000", {0, ""}}, {"12 34 56 78 90\n-12\n", {-12, "12 34 56 78 90"}}};
    expectRows(trailers, [](std::string t) { const int status = splitExitStatus(t); return std::make_pair(status, t); });
    // The integer a text starts with, after blanks; -99 stands for none.
    const std::vector<std::pair<std::string, int>> integers = {
        {"0\n", 0}, {"  42abc", 42}, {"-17", -17}, {"+8", 8}, {"", -99}, {"-", -99}, {"x1", -99}, {"\t\n 5", 5},
        {"2147483647", 2147483647}, {"2147483648", -99}, {"-2147483648", -2147483647 - 1}, {"-2147483649", -99}};
    expectRows(integers, [](const std::string& text) { return parseIntOr(text, -99); });
    // Each text becomes one single-quoted word, which a real shell reads back as the very bytes.
    const Texts quoted = {
        {"abc", "'abc'"}, {"a b", "'a b'"}, {"it's", "'it'\\''s'"}, {"'", "''\\'''"}, {"", "''"},
        {"''", "''\\'''\\'''"}, {"line\nbreak\ttab", "'line\nbreak\ttab'"}, {"\xff\xfe'", "'\xff\xfe'\\'''"},
        {"$HOME `id` $(id) \\ \"", "'$HOME `id` $(id) \\ \"'"}, {std::string("a\0b", 3), std::string("'a\0b'", 5)}};
    expectRows(quoted, shellQuote);
    const std::string nasty = "a b'c\"d$e`f\\g\nh*?[i]'' ;|&<>#~";
    const Scratch s;
    EXPECT_EQ(std::system(("printf %s " + shellQuote(nasty) + " >" + s.path("out")).c_str()), 0);
    EXPECT_EQ(s.read("out"), nasty);
    // What the absolute path check and the plain word check say of a value, split by '|'.
    const std::string absolute = "Directry/file must be set absolute pathname|",
                      plain = "|Option '--dir' must not contain blanks or the characters * ? [";
    const Texts values = {
        {"/", "|"}, {"/srv/bf/", "|"}, {"//x", "|"}, {"/srv/it's", "|"}, {"/srv/$x", "|"}, {"/srv/`id`", "|"},
        {"/a]b", "|"}, {"http://h/a.tgz", absolute}, {"", absolute}, {"srv", absolute}, {"./srv", absolute},
        {"~/srv", absolute}, {" /srv", absolute + plain.substr(1)}, {"/srv/a b", plain}, {"/srv/a\tb", plain},
        {"/srv/a\nb", plain}, {"/srv/*", plain}, {"/srv/a?", plain}, {"/srv/[a]", plain}};
    expectRows(values, [](const std::string& v) {
        return raisedMessage([&] { requireAbsolutePath(v); }) + "|" + raisedMessage([&] { requirePlainWord(v, "dir"); });
    });
    // The path a spelling names.
    const Texts paths = {
        {"/srv/cfg", "/srv/cfg"}, {"/srv/cfg/", "/srv/cfg"}, {"//srv///cfg//", "/srv/cfg"}, {"/", "/"},
        {"/srv/./cfg/.", "/srv/cfg"}, {"/srv/x/../cfg", "/srv/cfg"}, {"/./srv/cfg", "/srv/cfg"}, {"//", "/"},
        {"/srv/x/y/../../cfg", "/srv/cfg"}, {"/..", "/"}, {"/srv/..cfg/...", "/srv/..cfg/..."},
        {"a/../../b/", "../b"}, {"./", "."}, {"", "."}};
    expectRows(paths, normalizePath);
    // An address as "host port"; "" when refused.
    const Texts addresses = {
        {"game1.example.net", "game1.example.net 22"}, {"10.0.0.5:2222", "10.0.0.5 2222"}, {"h:1", "h 1"},
        {"h:065535", "h 65535"}, {"::1", "::1 22"}, {"[::1]", "::1 22"}, {"2001:db8::5", "2001:db8::5 22"},
        {"[2001:db8::5]:80", "2001:db8::5 80"}, {"h:0", ""}, {"h:65536", ""}, {"h:99999999999", ""},
        {"h:", ""}, {"h:-1", ""}, {"h:+1", ""}, {"h: 1", ""}, {"h:1x", ""}, {":22", ""}, {"[::1]:", ""},
        {"[::1]22", ""}, {"[::1", ""}, {"[]", ""}, {"[]:22", ""}, {"", ""}};
    expectRows(addresses, [](const std::string& text) {
        const auto a = parseHostAddress(text);
        return a ? a->host + " " + std::to_string(a->port) : "";
    });
    // What --check-host says for the status and output of "uname -a".
    const std::vector<std::pair<std::pair<int, std::string>, std::string>> unames = {
        {{0, "Linux x86_64\n"}, "suitable\n"}, {{0, "Linux i586\n"}, "suitable\n"}, {{0, "Linux i686\n"}, "suitable\n"},
        {{127, ""}, "unsuitable\nuname: "}, {{1, "Linux x86_64\n"}, "unsuitable\nuname: Linux x86_64\n"},
        {{0, "Linux arm\n"}, "unsuitable\nuname: Linux arm\n"}, {{0, "BSD amd64\n"}, "unsuitable\nuname: BSD amd64\n"},
        {{0, "linux i686\n"}, "unsuitable\nuname: linux i686\n"}};
    expectRows(unames, [](const auto& uname) { return hostCheckReport({uname.first, uname.second, "E"}); });
    // Whether the output of "id -u" names the superuser.
    const std::vector<std::pair<std::string, bool>> ids = {
        {"0\n", true}, {"0", true}, {"1000\n", false}, {"0\n\n", false}, {"welcome\n0\n", false}, {"", false}};
    expectRows(ids, namesSuperuser);
}
