// What makes a game: everything the commands need to know of one game server,
// read from its definition file (TOML) instead of being written into them.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace fieldkeep {

// A settings file of the instance, relative to the configuration directory.
struct GameSettingsFile {
    std::string id;
    std::string path;
    enum Dialect { Con, Quake } dialect;  // con: "key value"; quake: seta key "value"
};

// An option of --start and the setting it writes.
struct GameOption {
    enum Kind { Value, Any, Flag, Number, Port };  // a flag writes 1 when given, else 0
    std::string name;
    Kind kind;
    std::string file;  // a settings file's id; "" for an option of the command line only
    std::string key;
    bool quoted;            // written between double quotes
    std::string blankedBy;  // the flag that blanks the key instead; "" for none
    bool checkFree;         // a port checked free before the launch, unless 0
};

struct GameDefinition {
    std::string name;
    // The install: the archive's top directory, the files made executable in
    // it, the script there that prepares the server ("" for none); the files a
    // server directory holds, the account names --create-user tries, then the
    // prefix of random ones.
    std::string archiveDirectory;
    std::vector<std::string> executables;
    std::string prepare;
    std::vector<std::string> installCheck;
    std::vector<std::string> accounts;
    std::string randomAccountPrefix;
    // The launch: the launcher in the server directory and its arguments,
    // where {cfgdir} stands for the configuration directory and {NAME} for
    // the value of --NAME, and whether the server reads them as console text; the argument of the
    // server's own that comes before the configuration directory; the console line that stops it
    // and the seconds it is given; the files of a running instance.
    std::string launcher;
    std::vector<std::string> arguments;
    bool consoleArguments = false;  // the server reads its arguments as console text
    std::string instanceArgument;
    std::string stopLine;
    int stopGrace = 0;
    std::vector<std::string> instanceFiles;
    std::vector<GameSettingsFile> settings;
    // The query: its protocol, where its port is set (a settings file and key,
    // or the server argument that comes before it) and the port when none is.
    enum Protocol { GameSpy1, Quake3 } queryProtocol = GameSpy1;
    std::string queryPortFile;
    std::string queryPortKey;
    std::string queryPortArgument;
    int queryDefaultPort = 0;
    std::vector<GameOption> options;

    // The settings file of a known id.
    const GameSettingsFile& settingsFile(const std::string& id) const;
    // The settings file of an id, the option of a name; nullptr for none.
    const GameSettingsFile* findSettingsFile(const std::string& id) const;
    const GameOption* findOption(const std::string& name) const;
    // The option that sets the query port, when one does.
    const GameOption* queryPortOption() const;
    // The launch argument after queryPortArgument; "" when there is none.
    std::string queryPortArgumentValue() const;
};

// NAME of a launch argument "{NAME}" that stands for a value; nothing for any other.
std::optional<std::string> argumentPlaceholder(const std::string& argument);

}  // namespace fieldkeep
