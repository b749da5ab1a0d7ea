#include "game/quake3_answer.h"
#include "support.h"

using namespace fieldkeep;

TEST(Quake3Answer, OneDatagramHoldsTheServersKeysAndAPlayerALine) {
    const std::string head = "\xff\xff\xff\xffstatusResponse\n",
                      info = "\\sv_hostname\\^1Red\\mapname\\q3dm17\\sv_maxclients\\16\n";
    const std::string keys = "hostname=^1Red mapname=q3dm17 maxplayers=16 ";
    // clang-format off
    const Rows<std::vector<std::string>, std::string> rows = {
        {"players in order, a name raw", {head + "\\g_needpass\\1\\challenge\\x7" + info +
            "5 48 \"^1Ann\"\n-2 999 \"B\to\x1b[2Jb\"\n"},
         "challenge=x7 g_needpass=1 " + keys + "numplayers=2 | ^1Ann 5 48 | B\to\x1b[2Jb -2 999"},
        {"no players", {head + info}, keys + "numplayers=0"},
        {"lines that are no player", {head + info + "5 48 Ann\n5 \"A\"\nx 4 \"A\"\n1  2 \"A\"\n"
            "123456789012 1 \"A\"\n\n1 2 \"\n1 2 \"a\"b\"\n"}, keys + "numplayers=1 | a\"b 1 2"},
        {"the last line cut short", {head + info + "5 48 \"Ann\"\n7 3 \"Bo"},
         keys + "numplayers=1 | Ann 5 48"},
        {"the info line cut short", {head + "\\sv_hostname\\x"}, "none"},
        {"keys as the game reads them", {head + "sv_hostname\\A\\sv_hostname\\B\\\\e\\mapname\n"},
         "hostname=A numplayers=0"},
        {"another answer", {"\xff\xff\xff\xffinfoResponse\n" + info}, "none"},
        {"no out-of-band marker",
         {"statusResponse\n" + info, "\xff\xff\xff" + head.substr(4) + info}, "none"},
        {"an answer past 64 KiB", {std::string(65536, 'x'), head + info}, "none"},
    };
    // clang-format on
    expectRows(rows, [](const std::vector<std::string>& datagrams) {
        Quake3Answer answer;
        bool whole = false;
        for (const std::string& datagram : datagrams) whole = answer.take(datagram) || whole;
        std::string shown;
        for (const auto& [key, value] : answer.status().server) shown += key + "=" + value + " ";
        for (const GamePlayer& p : answer.status().players)
            shown += "| " + p.name + " " + p.score + " " + p.ping + " ";
        return whole ? shown.substr(0, shown.size() - 1) : "none";
    });
}
