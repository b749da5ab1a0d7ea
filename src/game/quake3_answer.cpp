#include "game/quake3_answer.h"

#include <algorithm>
#include <optional>

namespace fieldkeep {
namespace {

constexpr std::string_view kHeader = "\xff\xff\xff\xffstatusResponse\n";
constexpr std::size_t kAnswerLimit = std::size_t{64} * 1024;
constexpr std::size_t kMostPlayers = 256;   // the game itself holds at most 64
constexpr std::size_t kLongestNumber = 11;  // "%i" of a 32-bit int

// The text before the first newline, which is taken off; nothing when no newline ends it.
std::optional<std::string_view> takeLine(std::string_view& text) {
    const std::size_t end = text.find('\n');
    if (end == std::string_view::npos) {
        return std::nullopt;
    }
    const std::string_view line = text.substr(0, end);
    text.remove_prefix(end + 1);
    return line;
}

// The "\k1\v1\k2\v2" pairs. As the game reads them, the first backslash may be
// missing and the first of two equal keys counts; a key without a value is dropped.
std::map<std::string, std::string> infoPairs(std::string_view line) {
    if (!line.empty() && line[0] == '\\') {
        line.remove_prefix(1);
    }
    std::map<std::string, std::string> pairs;
    while (!line.empty()) {
        const std::size_t keyEnd = line.find('\\');
        if (keyEnd == std::string_view::npos) {
            break;
        }
        const std::size_t valueEnd = std::min(line.find('\\', keyEnd + 1), line.size());
        if (keyEnd > 0) {
            pairs.emplace(line.substr(0, keyEnd), line.substr(keyEnd + 1, valueEnd - keyEnd - 1));
        }
        line.remove_prefix(std::min(valueEnd + 1, line.size()));
    }
    return pairs;
}

// A whole number as "%i" writes it, followed by a space; taken off the text.
std::optional<std::string> takeNumber(std::string_view& text) {
    const std::size_t end = text.find(' ');
    const std::string_view word = text.substr(0, end);
    const std::string_view digits = word.substr(!word.empty() && word[0] == '-' ? 1 : 0);
    if (end == std::string_view::npos || digits.empty() || word.size() > kLongestNumber ||
        digits.find_first_not_of("0123456789") != std::string_view::npos) {
        return std::nullopt;
    }
    text.remove_prefix(end + 1);
    return std::string(word);
}

// `score ping "name"`; the name is all between the first and the last quote.
std::optional<GamePlayer> playerOf(std::string_view line) {
    const auto score = takeNumber(line);
    const auto ping = score ? takeNumber(line) : std::nullopt;
    if (!ping || line.size() < 2 || line.front() != '"' || line.back() != '"') {
        return std::nullopt;
    }
    GamePlayer player;
    player.name = line.substr(1, line.size() - 2);
    player.score = *score;
    player.ping = *ping;
    return player;
}

// The server's keys under the names the GameSpy answer gives them.
void renameKey(std::map<std::string, std::string>& keys, const std::string& from,
               const std::string& to) {
    const auto found = keys.find(from);
    if (found != keys.end()) {
        keys[to] = found->second;
        keys.erase(from);
    }
}

}  // namespace

bool Quake3Answer::take(std::string_view datagram) {
    received_ += datagram.size();
    if (received_ > kAnswerLimit || datagram.substr(0, kHeader.size()) != kHeader) {
        return false;
    }
    datagram.remove_prefix(kHeader.size());
    const auto info = takeLine(datagram);
    if (!info) {
        return false;
    }
    GameStatus status;
    status.server = infoPairs(*info);
    while (const auto line = takeLine(datagram)) {
        const auto player = playerOf(*line);
        if (player && status.players.size() < kMostPlayers) {
            status.players.push_back(*player);
        }
    }
    renameKey(status.server, "sv_hostname", "hostname");
    renameKey(status.server, "sv_maxclients", "maxplayers");
    status.server["numplayers"] = std::to_string(status.players.size());
    status_ = std::move(status);
    return true;
}

}  // namespace fieldkeep
