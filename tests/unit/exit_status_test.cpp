#include "remote/exit_status.h"
#include "support.h"

using namespace fieldkeep;
using fieldkeep::testing::expectRows;

// The output captured, the status cut off its end and the output left. Fed to the splitter in pieces
// of every size, also with a memory limit of 4 bytes so that what is held back spills to a file, it
// splits the same; flushing instead passes on every byte.
TEST(SplitExitStatus, CutsTheTrailerOffWholeOrInPieces) {
    const std::vector<std::pair<std::string, std::pair<int, std::string>>> rows = {
        {"hello\n\n0\n", {0, "hello\n"}}, {"hello\n1\n", {1, "hello"}}, {"\n127\n", {127, ""}}, {"abc", {-1, ""}},
        {"", {-1, ""}}, {"x\n-1\n", {-1, "x"}}, {"abc42\n0\n", {0, "abc42"}}, {"7", {7, ""}}, {"\n3", {3, ""}},
        {"ok\r\n\r\n0\r\n", {0, "ok\r\n\r"}}, {"x\n99999999999\n", {-1, "x"}}, {"x\n2147483647\n", {2147483647, "x"}},
        {"a\xff\n5\n\xfe", {5, "a\xff"}}, {"a--5\n", {-5, "a"}}, {"x\n000000000000000000042\n", {42, "x"}},
        {"-000", {0, ""}}, {"12 34 56 78 90\n-12\n", {-12, "12 34 56 78 90"}}};
    expectRows(rows, [](std::string text) {
        const int status = splitExitStatus(text);
        return std::make_pair(status, text);
    });
    for (const auto& [captured, split] : rows) {
        for (std::size_t piece = 1, limit = 4; piece <= captured.size() + 1; limit = limit == 4 ? 4096 : 4, ++piece) {
            std::string passedOn, flushed, rest;
            StatusTrailerSplitter splitter([&](const char* d, std::size_t n) { passedOn.append(d, n); }, limit);
            StatusTrailerSplitter flushing([&](const char* d, std::size_t n) { flushed.append(d, n); }, limit);
            for (std::size_t at = 0; at < captured.size(); at += piece) {
                splitter.feed(captured.data() + at, std::min(piece, captured.size() - at));
                flushing.feed(captured.data() + at, std::min(piece, captured.size() - at));
            }
            flushing.flush();
            const int status = splitter.finish(rest);
            EXPECT_EQ(std::make_pair(status, passedOn + rest), split) << captured << " by " << piece;
            EXPECT_EQ(flushed, captured);
        }
    }
}

// Long output with digits is passed on at once, not held back.
TEST(StatusTrailerSplitter, PassesLongOutputOn) {
    std::size_t passed = 0;
    StatusTrailerSplitter splitter([&passed](const char*, std::size_t size) { passed += size; });
    std::string line = "line 12345 of a long log\n", rest;
    for (int i = 0; i < 10000; ++i) { splitter.feed(line.data(), line.size()); }
    EXPECT_GE(passed, line.size() * 9999);
    EXPECT_EQ(splitter.finish(rest), 12345);
}

// The signed integer a text starts with, after blanks; -99 stands for none.
TEST(ParseIntOr, ReadsTheLeadingInteger) {
    expectRows(std::vector<std::pair<std::string, int>>{
                   {"0\n", 0}, {"  42abc", 42}, {"-17", -17}, {"+8", 8}, {"", -99}, {"-", -99}, {"x1", -99}, {"\t\n 5", 5},
                   {"2147483647", 2147483647}, {"2147483648", -99}, {"-2147483648", -2147483647 - 1}, {"-2147483649", -99}},
               [](const std::string& text) { return parseIntOr(text, -99); });
}
