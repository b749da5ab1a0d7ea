// The built-in game definition's text: games/bf1942.toml, compiled in.
#pragma once

namespace fieldkeep {

extern const char kBuiltInGame[];

}  // namespace fieldkeep
