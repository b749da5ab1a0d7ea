#include "commands/options.h"

#include "game/game_loader.h"

namespace fieldkeep {

using talvor::opt::NoArg;
using talvor::opt::ReqArg;

std::string requiredValue(talvor::opt::TOParsing& options, const std::string& name) {
    return options.longOpt(name, ReqArg).value();
}

std::string optionalValue(talvor::opt::TOParsing& options, const std::string& name, int mode) {
    auto result = options.longOpt(name, mode);
    options.clear();
    return result.value();
}

bool optionalFlag(talvor::opt::TOParsing& options, const std::string& name) {
    auto result = options.longOpt(name, NoArg);
    options.clear();
    return result.found();
}

GameDefinition chosenGame(talvor::opt::TOParsing& options) {
    const std::string name = optionalValue(options, "game", talvor::opt::ReqArg);
    return name.empty() ? builtInGame() : loadGame(name);
}

}  // namespace fieldkeep
