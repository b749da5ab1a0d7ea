#include "game/game_query.h"

#include <chrono>

#include "errors/decimal.h"
#include "game/quake3_answer.h"
#include "remote/datagram.h"

namespace fieldkeep {
namespace {

constexpr int kMostParts = 64;
constexpr std::size_t kAnswerLimit = std::size_t{64} * 1024;
constexpr std::size_t kMostPlayers = 256;

// "\k1\v1\k2\v2...": the pairs, or nothing when the last key has no value.
std::optional<std::vector<std::pair<std::string, std::string>>> pairsOf(std::string_view text) {
    if (text.empty() || text[0] != '\\') {
        return std::nullopt;
    }
    std::vector<std::string> words;
    for (std::size_t at = 1;;) {
        const std::size_t end = text.find('\\', at);
        words.emplace_back(text.substr(at, end - at));
        if (end == std::string_view::npos) {
            break;
        }
        at = end + 1;
    }
    if (words.size() % 2 != 0) {
        return std::nullopt;
    }
    std::vector<std::pair<std::string, std::string>> pairs;
    for (std::size_t i = 0; i < words.size(); i += 2) {
        pairs.emplace_back(words[i], words[i + 1]);
    }
    return pairs;
}

// A small decimal number, or -1.
int smallNumber(const std::string& text, int most) {
    return static_cast<int>(decimalNumber(text, most, 4).value_or(-1));
}

}  // namespace

bool GameSpyAnswer::take(std::string_view datagram) {
    received_ += datagram.size();
    auto pairs = pairsOf(datagram);
    if (!pairs || received_ > kAnswerLimit) {
        return false;
    }
    std::string id;
    int part = -1;
    bool last = false;
    Pairs kept;
    for (auto& [key, value] : *pairs) {
        if (key == "queryid") {
            const std::size_t dot = value.rfind('.');
            id = value.substr(0, dot);
            part = dot == std::string::npos ? -1 : smallNumber(value.substr(dot + 1), kMostParts);
        } else if (key == "final") {
            last = true;
        } else {
            kept.emplace_back(std::move(key), std::move(value));
        }
    }
    if (part < 1 || parts_[id].count(part) > 0) {
        return false;
    }
    parts_[id][part] = std::move(kept);
    if (last) {
        finalPart_[id] = part;
    }
    const auto final = finalPart_.find(id);
    if (final == finalPart_.end() || static_cast<int>(parts_[id].size()) != final->second ||
        parts_[id].rbegin()->first != final->second) {
        return false;
    }
    complete_ = id;
    return true;
}

GameStatus GameSpyAnswer::status() const {
    GameStatus status;
    std::map<std::string, std::string> all;
    for (const auto& [part, pairs] : parts_.at(complete_)) {
        all.insert(pairs.begin(), pairs.end());
    }
    const int count = smallNumber(all.count("numplayers") ? all["numplayers"] : "", kMostPlayers);
    for (int i = 0; i < count; ++i) {
        const std::string n = "_" + std::to_string(i);
        if (all.count("playername" + n) > 0) {
            status.players.push_back({all["playername" + n], all["team" + n], all["score" + n],
                                      all["kills" + n], all["deaths" + n], all["ping" + n]});
        }
    }
    for (const auto& [key, value] : all) {
        const std::size_t index = key.rfind('_');
        if (index == std::string::npos ||
            !decimalNumber(key.substr(index + 1), 0, std::string::npos, Beyond::held)) {
            status.server[key] = value;
        }
    }
    return status;
}

namespace {

// Asks with request and collects the datagrams of the answer into answer.
template <typename Answer>
std::optional<GameStatus> ask(const RemoteRunner& host, Answer answer, const std::string& request,
                              int port, int requests) {
    const auto start = std::chrono::steady_clock::now();
    if (!askByDatagram(host.connection(), {port, request, requests, std::chrono::seconds(1)},
                       [&answer](std::string_view datagram) { return answer.take(datagram); })) {
        return std::nullopt;
    }
    GameStatus status = answer.status();
    status.answeredInMs = std::chrono::duration_cast<std::chrono::milliseconds>(
                              std::chrono::steady_clock::now() - start)
                              .count();
    return status;
}

}  // namespace

std::optional<GameStatus> queryGame(const RemoteRunner& host, const GameDefinition& game, int port,
                                    int requests) {
    if (game.queryProtocol == GameDefinition::Quake3) {
        return ask(host, Quake3Answer{}, std::string(kQuake3StatusRequest), port, requests);
    }
    return ask(host, GameSpyAnswer{}, "\\status\\", port, requests);
}

int gameQueryPort(const GameDefinition& game, const std::string& setting) {
    const int port = static_cast<int>(decimalNumber(setting, 65535, 5).value_or(0));
    return port == 0 ? game.queryDefaultPort : port;
}

}  // namespace fieldkeep
