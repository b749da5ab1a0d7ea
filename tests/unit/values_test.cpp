#include "commands/host_checks.h"
#include "main/host_address.h"
#include "shell/quoting.h"
#include "shell/value_checks.h"
#include "support.h"

using namespace fieldkeep;
using namespace fieldkeep::testing;

// Each text becomes one single-quoted word, and the shell that reads it gives back the very bytes.
TEST(ShellQuote, MakesOneLiteralWord) {
    expectRows(Texts{{"abc", "'abc'"}, {"a b", "'a b'"}, {"it's", "'it'\\''s'"}, {"'", "''\\'''"}, {"", "''"},
                     {"''", "''\\'''\\'''"}, {"line\nbreak\ttab", "'line\nbreak\ttab'"}, {"\xff\xfe'", "'\xff\xfe'\\'''"},
                     {"$HOME `id` $(id) \\ \"", "'$HOME `id` $(id) \\ \"'"},
                     {std::string("nul\0byte", 8), std::string("'nul\0byte'", 10)}},
               shellQuote);
    const std::string nasty = "a b'c\"d$e`f\\g\nh*?[i]'' ;|&<>#~";
    const Scratch s;
    EXPECT_EQ(s.sh("printf %s " + shellQuote(nasty) + " >out"), 0);
    EXPECT_EQ(s.read("out"), nasty);
}

// What the absolute path check and the plain word check say of a value, and the path a spelling names.
TEST(ValueChecks, RefuseWhatTheScriptsCannotTakeAndNormalizePaths) {
    const std::string absolute = "absolute: Directry/file must be set absolute pathname",
                      plain = "plain: Option '--dir' must not contain blanks or the characters * ? [";
    expectRows(Texts{{"/", ""}, {"/srv/bf/", ""}, {"//x", ""}, {"/srv/it's", ""}, {"/srv/$x", ""}, {"/srv/`id`", ""},
                     {"/a]b", ""}, {"http://h/a.tgz", absolute}, {"", absolute}, {"srv", absolute}, {"./srv", absolute},
                     {"~/srv", absolute}, {" /srv", absolute + plain}, {"/srv/a b", plain}, {"/srv/a\tb", plain},
                     {"/srv/a\nb", plain}, {"/srv/*", plain}, {"/srv/a?", plain}, {"/srv/[a]", plain}},
               [](const std::string& v) {
                   const std::string a = raisedMessage([&] { requireAbsolutePath(v); });
                   const std::string p = raisedMessage([&] { requirePlainWord(v, "dir"); });
                   return (a.empty() ? "" : "absolute: " + a) + (p.empty() ? "" : "plain: " + p);
               });
    expectRows(Texts{{"/srv/cfg", "/srv/cfg"}, {"/srv/cfg/", "/srv/cfg"}, {"//srv///cfg//", "/srv/cfg"}, {"/", "/"},
                     {"/srv/./cfg/.", "/srv/cfg"}, {"/srv/x/../cfg", "/srv/cfg"}, {"/./srv/cfg", "/srv/cfg"}, {"//", "/"},
                     {"/srv/x/y/../../cfg", "/srv/cfg"}, {"/..", "/"}, {"/srv/..cfg/...", "/srv/..cfg/..."},
                     {"a/../../b/", "../b"}, {"./", "."}, {"", "."}},
               normalizePath);
}

// An address as "host port" ("" when refused); what --check-host says for the status and output of
// "uname -a" (the output follows when unsuitable); whether "id -u" names the superuser.
TEST(HostChecks, ReadTheAddressAndJudgeTheHost) {
    expectRows(Texts{{"game1.example.net", "game1.example.net 22"}, {"10.0.0.5:2222", "10.0.0.5 2222"}, {"h:1", "h 1"},
                     {"h:065535", "h 65535"}, {"::1", "::1 22"}, {"[::1]", "::1 22"}, {"2001:db8::5", "2001:db8::5 22"},
                     {"[2001:db8::5]:80", "2001:db8::5 80"}, {"h:0", ""}, {"h:65536", ""}, {"h:99999999999", ""},
                     {"h:", ""}, {"h:-1", ""}, {"h:+1", ""}, {"h: 1", ""}, {"h:1x", ""}, {":22", ""}, {"[::1]:", ""},
                     {"[::1]22", ""}, {"[::1", ""}, {"[]", ""}, {"[]:22", ""}, {"", ""}},
               [](const std::string& text) {
                   const auto parsed = parseHostAddress(text);
                   return parsed ? parsed->host + " " + std::to_string(parsed->port) : "";
               });
    expectRows(std::vector<std::pair<std::pair<int, std::string>, std::string>>{
                   {{0, "Linux g 6.1 x86_64\n"}, "suitable\n"}, {{0, "Linux o 2.4 i586\n"}, "suitable\n"},
                   {{0, "Linux o 2.6 i686\n"}, "suitable\n"}, {{127, ""}, "unsuitable\nuname: "},
                   {{0, "Linux pi 6.1 aarch64\n"}, "unsuitable\nuname: Linux pi 6.1 aarch64\n"},
                   {{0, "FreeBSD b 13.2 amd64\n"}, "unsuitable\nuname: FreeBSD b 13.2 amd64\n"},
                   {{1, "Linux g 6.1 x86_64\n"}, "unsuitable\nuname: Linux g 6.1 x86_64\n"},
                   {{0, "linux b x86_64\n"}, "unsuitable\nuname: linux b x86_64\n"}},
               [](const auto& uname) { return hostCheckReport({uname.first, uname.second, "E"}); });
    expectRows(std::vector<std::pair<std::string, bool>>{{"0\n", true}, {"0", true}, {"1000\n", false}, {"0\n\n", false},
                                                         {"welcome\n0\n", false}, {"", false}},
               namesSuperuser);
}
