// The Quake III Arena status query (ioq3ded and its kin): one datagram asks,
// one datagram answers.
#pragma once

#include <string_view>

#include "game/game_query.h"

namespace fieldkeep {

// The out-of-band marker (four 0xFF bytes) and the command. The server echoes a
// word after a space as \challenge\; without one it adds none.
inline constexpr std::string_view kQuake3StatusRequest = "\xff\xff\xff\xffgetstatus";

// The answer: the marker, "statusResponse\n", the server's "\key\value" info
// line and a newline, then one `score ping "name"` line per player. Other
// datagrams, a cut-off info line and anything past 64 KiB in all are ignored.
class Quake3Answer {
public:
    // Takes one datagram; true when it is a whole answer.
    bool take(std::string_view datagram);
    // The last whole answer: sv_hostname as hostname, sv_maxclients as
    // maxplayers, the count of player lines as numplayers, other keys as they
    // came; players in the server's order. Lines that are no player are skipped.
    GameStatus status() const { return status_; }

private:
    GameStatus status_;
    std::size_t received_ = 0;
};

}  // namespace fieldkeep
