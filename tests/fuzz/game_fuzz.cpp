// Fuzzes the game definition loader with any bytes: it returns a definition or
// raises its one-line error naming the place, nothing else.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "errors/uerror.h"
#include "game/game_loader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    try {
        fieldkeep::parseGameDefinition(text, "fuzz.toml");
    } catch (const fieldkeep::TUError& e) {
        if (e.message.rfind("Game definition fuzz.toml:", 0) != 0 ||
            e.message.find('\n') != std::string::npos) {
            std::abort();
        }
    }
    return 0;
}
