#include "game/game_loader.h"

#include <toml++/toml.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>

#include "errors/shown_text.h"
#include "errors/uerror.h"
#include "game/builtin_games.h"

namespace fieldkeep {
namespace {

constexpr std::size_t kLargestDefinition = std::size_t{1024} * 1024;
constexpr int kLongestGrace = 60;
constexpr std::size_t kLongestKey = 64;
constexpr int kLargestPort = 65535;

// What a field's text may hold. A path is relative and never steps up; a
// key reaches a settings file's lines and a pattern, a name an option or a
// file name, so neither holds anything a shell or awk would read specially.
enum class Shape { Line, Path, Key, Name };

bool hasShape(const std::string& value, Shape shape) {
    const auto only = [&value](const char* allowed) {
        return !value.empty() && value.find_first_not_of(allowed) == std::string::npos;
    };
    constexpr char kWord[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789_";
    switch (shape) {
        case Shape::Line:
            return value.find_first_of("\r\n") == std::string::npos;
        case Shape::Key:
            return value.size() <= kLongestKey && only((std::string(kWord) + ".").c_str());
        case Shape::Name:
            return only((std::string(kWord) + ".-").c_str()) && value[0] != '-' && value[0] != '.';
        case Shape::Path:
            return only((std::string(kWord) + ".-/").c_str()) && value[0] != '/' &&
                   value[0] != '-' && ("/" + value + "/").find("/../") == std::string::npos;
    }
    return false;
}

const char* shapeText(Shape shape) {
    switch (shape) {
        case Shape::Line:
            return "one line";
        case Shape::Path:
            return "a relative path of letters, digits, '_', '-', '.' and '/'";
        case Shape::Key:
            return "a key of at most 64 letters, digits, '_' and '.'";
        case Shape::Name:
            return "a name of letters, digits, '_', '-' and '.'";
    }
    return "";
}

// The fields of one table of a definition; each error names the place.
class Fields {
public:
    Fields(const toml::table& table, std::string file) : table_(table), file_(std::move(file)) {}

    [[noreturn]] void fail(const toml::source_region& at, const std::string& what) const {
        // The definition's own bytes may appear in what; they are shown as one line.
        throw TUError{"Game definition " + shownValue(file_) + ":" + std::to_string(at.begin.line) +
                      ":" + std::to_string(at.begin.column) + ": " + shownValue(what)};
    }
    [[noreturn]] void fail(const std::string& what) const { fail(table_.source(), what); }

    const toml::node* field(const char* key, bool required) const {
        const toml::node* node = table_.get(key);
        if (node == nullptr && required) {
            fail("'" + std::string(key) + "' is missing");
        }
        return node;
    }

    std::string text(const char* key, Shape shape, bool required = true) const {
        const toml::node* node = field(key, required);
        if (node == nullptr) {
            return "";
        }
        if (!node->is_string()) {
            fail(node->source(), "'" + std::string(key) + "' must be a string");
        }
        return checked(*node, key, shape);
    }

    std::vector<std::string> texts(const char* key, Shape shape) const {
        const toml::node* node = field(key, true);
        const toml::array* array = node->as_array();
        if (array == nullptr || !array->is_homogeneous(toml::node_type::string)) {
            fail(node->source(), "'" + std::string(key) + "' must be an array of strings");
        }
        std::vector<std::string> all;
        for (const toml::node& item : *array) {
            all.push_back(checked(item, key, shape));
        }
        return all;
    }

    int number(const char* key, int least, int most) const {
        const toml::node* node = field(key, true);
        const std::optional<int64_t> value = node->value_exact<int64_t>();
        if (!value || *value < least || *value > most) {
            fail(node->source(), "'" + std::string(key) + "' must be a whole number from " +
                                     std::to_string(least) + " to " + std::to_string(most));
        }
        return static_cast<int>(*value);
    }

    bool flag(const char* key) const {
        const toml::node* node = field(key, false);
        if (node != nullptr && !node->is_boolean()) {
            fail(node->source(), "'" + std::string(key) + "' must be true or false");
        }
        return node != nullptr && node->value_exact<bool>().value_or(false);
    }

    // The index of the key's value among choices.
    template <std::size_t N>
    int choice(const char* key, const char* const (&choices)[N]) const {
        const std::string value = text(key, Shape::Line);
        const auto found = std::find(std::begin(choices), std::end(choices), value);
        if (found == std::end(choices)) {
            fail(field(key, true)->source(), "unknown " + std::string(key) + " '" + value + "'");
        }
        return static_cast<int>(found - std::begin(choices));
    }

    Fields table(const char* key) const {
        const toml::node* node = field(key, true);
        if (!node->is_table()) {
            fail(node->source(), "'" + std::string(key) + "' must be a table");
        }
        return {*node->as_table(), file_};
    }

    std::vector<Fields> tables(const char* key) const {
        const toml::node* node = field(key, true);
        const toml::array* array = node->as_array();
        if (array == nullptr || !array->is_homogeneous(toml::node_type::table)) {
            fail(node->source(), "'" + std::string(key) + "' must be an array of tables");
        }
        std::vector<Fields> all;
        for (const toml::node& item : *array) {
            all.emplace_back(*item.as_table(), file_);
        }
        return all;
    }

private:
    std::string checked(const toml::node& node, const char* key, Shape shape) const {
        std::string value = node.value_exact<std::string>().value_or("");
        if (!hasShape(value, shape)) {
            fail(node.source(), "'" + std::string(key) + "' must be " + shapeText(shape));
        }
        return value;
    }

    const toml::table& table_;
    std::string file_;
};

void readLaunch(const Fields& launch, GameDefinition& game) {
    game.launcher = launch.text("launcher", Shape::Path);
    game.arguments = launch.texts("arguments", Shape::Line);
    game.consoleArguments = launch.flag("console_arguments");
    game.instanceArgument = launch.text("instance_argument", Shape::Line);
    game.stopLine = launch.text("stop_line", Shape::Line);
    game.stopGrace = launch.number("stop_grace", 1, kLongestGrace);
    game.instanceFiles = launch.texts("instance_files", Shape::Path);
}

void readSettings(const Fields& top, GameDefinition& game) {
    for (const Fields& file : top.tables("settings")) {
        constexpr const char* kDialects[] = {"con", "quake"};
        game.settings.push_back({file.text("id", Shape::Name), file.text("path", Shape::Path),
                                 GameSettingsFile::Dialect(file.choice("dialect", kDialects))});
    }
}

// The id of a settings file; "" for none.
std::string settingsFileId(const Fields& fields, const char* key, const GameDefinition& game) {
    std::string id = fields.text(key, Shape::Name, false);
    if (!id.empty() && game.findSettingsFile(id) == nullptr) {
        fields.fail(fields.field(key, true)->source(),
                    "unknown " + std::string(key) + " '" + id + "'");
    }
    return id;
}

void readOptions(const Fields& top, GameDefinition& game) {
    for (const Fields& option : top.tables("options")) {
        constexpr const char* kKinds[] = {"value", "any", "flag", "number", "port"};
        GameOption o{option.text("name", Shape::Name),
                     GameOption::Kind(option.choice("kind", kKinds)),
                     settingsFileId(option, "file", game),
                     "",
                     option.flag("quoted"),
                     option.text("blanked_by", Shape::Name, false),
                     option.flag("check_free")};
        o.key = option.text("key", Shape::Key, !o.file.empty());
        if (o.checkFree && o.kind != GameOption::Port) {
            option.fail("'check_free' is for options of kind port");
        }
        // The game cuts a long console line into commands: one value a line.
        if (!o.file.empty() && game.settingsFile(o.file).dialect == GameSettingsFile::Quake &&
            std::any_of(game.options.begin(), game.options.end(), [&o](const GameOption& other) {
                return other.file == o.file && other.key == o.key;
            })) {
            option.fail("'" + o.key + "' is written by another option too, in a quake file");
        }
        game.options.push_back(o);
    }
}

void readQuery(const Fields& query, GameDefinition& game) {
    constexpr const char* kProtocols[] = {"gamespy1", "quake3"};
    game.queryProtocol = GameDefinition::Protocol(query.choice("protocol", kProtocols));
    game.queryPortFile = settingsFileId(query, "port_file", game);
    game.queryPortKey = query.text("port_key", Shape::Key, !game.queryPortFile.empty());
    game.queryPortArgument = query.text("port_argument", Shape::Line, game.queryPortFile.empty());
    game.queryDefaultPort = query.number("default_port", 1, kLargestPort);
    const GameOption* option = game.queryPortOption();
    if (option != nullptr && option->kind != GameOption::Port) {
        query.fail("the query port is set by '" + option->name + "', which is not of kind port");
    }
}

// Each {NAME} argument must name an option or be {cfgdir}.
void checkArguments(const Fields& launch, const GameDefinition& game) {
    for (const std::string& argument : game.arguments) {
        const auto name = argumentPlaceholder(argument);
        if (name && *name != "cfgdir" && game.findOption(*name) == nullptr) {
            launch.fail(launch.field("arguments", true)->source(),
                        "unknown option '" + *name + "' in " + argument);
        }
    }
}

}  // namespace

const GameSettingsFile& GameDefinition::settingsFile(const std::string& id) const {
    return *findSettingsFile(id);
}

const GameSettingsFile* GameDefinition::findSettingsFile(const std::string& id) const {
    const auto found = std::find_if(settings.begin(), settings.end(),
                                    [&id](const GameSettingsFile& file) { return file.id == id; });
    return found == settings.end() ? nullptr : &*found;
}

const GameOption* GameDefinition::findOption(const std::string& name) const {
    const auto found =
        std::find_if(options.begin(), options.end(),
                     [&name](const GameOption& option) { return option.name == name; });
    return found == options.end() ? nullptr : &*found;
}

std::optional<std::string> argumentPlaceholder(const std::string& argument) {
    if (argument.size() < 2 || argument.front() != '{' || argument.back() != '}') {
        return std::nullopt;
    }
    return argument.substr(1, argument.size() - 2);
}

const GameOption* GameDefinition::queryPortOption() const {
    for (const GameOption& option : options) {
        if (queryPortFile.empty() ? argumentPlaceholder(queryPortArgumentValue()) == option.name
                                  : option.file == queryPortFile && option.key == queryPortKey) {
            return &option;
        }
    }
    return nullptr;
}

std::string GameDefinition::queryPortArgumentValue() const {
    const auto at = std::find(arguments.begin(), arguments.end(), queryPortArgument);
    return at == arguments.end() || at + 1 == arguments.end() ? "" : *(at + 1);
}

GameDefinition parseGameDefinition(std::string_view text, const std::string& file) {
    toml::table root;
    try {
        root = toml::parse(text, file);
    } catch (const toml::parse_error& error) {
        Fields(root, file).fail(error.source(), std::string(error.description()));
    }
    const Fields top(root, file);
    GameDefinition game;
    game.name = top.text("name", Shape::Line);
    const Fields install = top.table("install");
    game.archiveDirectory = install.text("archive_directory", Shape::Name);
    game.executables = install.texts("executables", Shape::Path);
    game.prepare = install.text("prepare", Shape::Path, false);
    game.installCheck = install.texts("check", Shape::Path);
    game.accounts = install.texts("accounts", Shape::Name);
    game.randomAccountPrefix = install.text("random_account_prefix", Shape::Name);
    readSettings(top, game);
    readOptions(top, game);
    const Fields launch = top.table("launch");
    readLaunch(launch, game);
    checkArguments(launch, game);
    readQuery(top.table("query"), game);
    return game;
}

const GameDefinition& builtInGame() {
    static const GameDefinition game = parseGameDefinition(kBuiltInGame, "bf1942.toml");
    return game;
}

GameDefinition loadGame(const std::string& name) {
    const char* chosen = std::getenv("FIELDKEEP_GAMES");
    for (const std::string dir :
         {chosen != nullptr ? chosen : "", "/etc/fieldkeep/games", FIELDKEEP_GAMES_DIR}) {
        if (!hasShape(name, Shape::Name) || dir.empty()) {
            continue;
        }
        // Only a regular file is read: a pipe there would hold the run.
        const std::string file = dir + "/" + name + ".toml";
        std::error_code unreadable;
        if (!std::filesystem::is_regular_file(file, unreadable)) {
            continue;
        }
        std::ifstream in(file, std::ios::binary);
        if (!in) {
            continue;
        }
        std::string text(kLargestDefinition + 1, '\0');
        in.read(text.data(), static_cast<std::streamsize>(text.size()));
        text.resize(static_cast<std::size_t>(in.gcount()));
        if (text.size() > kLargestDefinition) {
            throw TUError{"Game definition " + file + ":1:1: larger than 1 MiB"};
        }
        return parseGameDefinition(text, file);
    }
    throw TUError{"Unknown game '" + shownValue(name) + "'"};
}

}  // namespace fieldkeep
