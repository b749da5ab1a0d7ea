// Game definitions: the smallest whole one, and each kind of fault named with its place.
#include <cstdlib>

#include "game/game_loader.h"
#include "support.h"

using namespace fieldkeep;

namespace {

const std::string kGame = R"(name = "G"
[launch]
launcher = "bin/g"
arguments = ["+home", "{cfgdir}", "+port", "{port}"]
instance_argument = "+home"
stop_line = "quit"
stop_grace = 2
instance_files = ["start.sh"]
[query]
protocol = "quake3"
port_argument = "+port"
default_port = 27960
[[settings]]
id = "cfg"
path = "g/server.cfg"
dialect = "quake"
[[options]]
name = "port"
kind = "port"
check_free = true
[install]
archive_directory = "g"
executables = ["bin/g"]
check = ["bin/g"]
accounts = ["g"]
random_account_prefix = "g_"
)";

// kGame with its first `from` replaced by `to`.
std::string changed(const std::string& from, const std::string& to) {
    std::string text = kGame;
    return text.replace(text.find(from), from.size(), to);
}

TEST(GameDefinition, NamesEachFaultWithItsPlace) {
    const Texts rows = {
        {"whole", kGame, ""},
        {"syntax", changed("= \"G\"", "= = \"G\""),
         "Game definition t.toml:1:8: Error while parsing value: could not determine value type"},
        {"unknown dialect", changed("\"quake\"", "\"ini\""),
         "Game definition t.toml:16:11: unknown dialect 'ini'"},
        {"missing field", changed("launcher = \"bin/g\"\n", ""),
         "Game definition t.toml:2:1: 'launcher' is missing"},
        {"port check on no port", changed("kind = \"port\"", "kind = \"value\""),
         "Game definition t.toml:17:1: 'check_free' is for options of kind port"},
        {"query port set by no port",
         changed("kind = \"port\"\ncheck_free = true", "kind = \"number\""),
         "Game definition t.toml:9:1: the query port is set by 'port', which is not of kind port"},
        {"unknown placeholder", changed("{port}", "{map}"),
         "Game definition t.toml:4:13: unknown option 'map' in {map}"},
        {"path stepping up", changed("g/server.cfg", "../x"),
         "Game definition t.toml:15:8: 'path' must be a relative path of letters, digits, '_', "
         "'-', '.' and '/'"},
        {"a shared key in a quake file",
         kGame + "[[options]]\nname = \"a\"\nkind = \"value\"\nfile"
                 " = \"cfg\"\nkey = \"k\"\n[[options]]\nname = \"b\"\nkind = \"any\"\nfile = "
                 "\"cfg\"\nkey = \"k\"\n",
         "Game definition t.toml:32:1: 'k' is written by another option too, in a quake file"},
        {"control bytes shown", changed("\"quake\"", "\"\\u001b\""),
         "Game definition t.toml:16:11: unknown dialect '\\x1B'"},
    };
    expectRows(rows, [](const std::string& text) {
        return raisedMessage([&] { parseGameDefinition(text, "t.toml"); });
    });
}

TEST(GameDefinition, IsFoundByItsNameOnly) {
    Scratch s;
    std::ofstream(s.path("g.toml")) << kGame;
    setenv("FIELDKEEP_GAMES", s.dir.c_str(), 1);
    const Texts rows = {
        {"found", "g", ""},
        {"absent", "h", "Unknown game 'h'"},
        {"a path", "../" + s.dir.substr(5) + "/g", "Unknown game '../" + s.dir.substr(5) + "/g'"}};
    expectRows(rows,
               [](const std::string& name) { return raisedMessage([&] { loadGame(name); }); });
    unsetenv("FIELDKEEP_GAMES");
}

}  // namespace
