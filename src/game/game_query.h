// The game's own view of itself, asked as game browsers ask: the GameSpy
// (version 1) status query, over UDP to the host the run is connected to.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "game/game_definition.h"
#include "remote/runner.h"

namespace fieldkeep {

struct GamePlayer {
    std::string name, team, score, kills, deaths, ping;
};

struct GameStatus {
    std::map<std::string, std::string> server;  // hostname, mapname, numplayers, ...
    std::vector<GamePlayer> players;            // in index order, below numplayers
    long long answeredInMs = 0;
};

// The datagrams of an answer, collected in any order. Each is "\key\value"
// pairs that end with "\queryid\ID.N" (N counts parts from 1); the last part
// also holds "\final\". A datagram without its query id or with its pairs cut
// short is ignored; so are parts that came before. Past 64 KiB in all no
// answer is whole.
class GameSpyAnswer {
public:
    // Takes one datagram; true once every part of some query id is there.
    bool take(std::string_view datagram);
    // The server's keys and the players of the whole answer. Players at or
    // beyond numplayers are stale leftovers and are dropped; key hashes are
    // never kept.
    GameStatus status() const;

private:
    using Pairs = std::vector<std::pair<std::string, std::string>>;
    std::map<std::string, std::map<int, Pairs>> parts_;  // by query id, then part
    std::map<std::string, int> finalPart_;
    std::string complete_;  // the query id whose parts are all there
    std::size_t received_ = 0;
};

// Asks the game at port of the host that host is connected to, in its protocol: at most `requests`
// requests one second apart; nothing when no whole answer came within a second of the last.
std::optional<GameStatus> queryGame(const RemoteRunner& host, const GameDefinition& game, int port,
                                    int requests = 2);

// The header line and one tab-separated line per player, every control byte
// of a name or value shown as \xHH.
std::string playersTable(const GameStatus& game);

// The game's query port for the text that sets it: the game's default when
// the text is empty, 0 or no port number.
int gameQueryPort(const GameDefinition& game, const std::string& setting);

}  // namespace fieldkeep
