#include <gtest/gtest.h>

#include <random>

#include "remote/exit_status.h"

namespace {

using fieldkeep::parseIntOr;
using fieldkeep::splitExitStatus;

struct SplitCase {
    std::string captured;
    int status;
    std::string output;
};

class SplitExitStatus : public ::testing::TestWithParam<SplitCase> {};

TEST_P(SplitExitStatus, CutsTheTrailerOff) {
    std::string text = GetParam().captured;
    EXPECT_EQ(splitExitStatus(text), GetParam().status);
    EXPECT_EQ(text, GetParam().output);
}

INSTANTIATE_TEST_SUITE_P(
    Trailers, SplitExitStatus,
    ::testing::Values(SplitCase{"hello\n\n0\n", 0, "hello\n"},
                      SplitCase{"hello\n1\n", 1, "hello"},
                      SplitCase{"\n127\n", 127, ""},
                      SplitCase{"abc", -1, ""},
                      SplitCase{"", -1, ""},
                      SplitCase{"x\n-1\n", -1, "x"},
                      SplitCase{"abc42\n0\n", 0, "abc42"},
                      SplitCase{"7", 7, ""},
                      SplitCase{"\n3", 3, ""},
                      SplitCase{"ok\r\n\r\n0\r\n", 0, "ok\r\n\r"},
                      SplitCase{"x\n99999999999\n", -1, "x"},
                      SplitCase{"x\n2147483647\n", 2147483647, "x"},
                      SplitCase{"a\xff\n5\n\xfe", 5, "a\xff"},
                      SplitCase{"a--5\n", -5, "a"},
                      SplitCase{"x\n000000000000000000042\n", 42, "x"},
                      SplitCase{"-000", 0, ""}));

struct ParseCase {
    std::string text;
    int value;
};

class ParseIntOr : public ::testing::TestWithParam<ParseCase> {};

TEST_P(ParseIntOr, ReadsTheLeadingInteger) {
    EXPECT_EQ(parseIntOr(GetParam().text, -99), GetParam().value);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, ParseIntOr,
    ::testing::Values(ParseCase{"0\n", 0}, ParseCase{"  42abc", 42}, ParseCase{"-17", -17},
                      ParseCase{"+8", 8}, ParseCase{"", -99}, ParseCase{"-", -99},
                      ParseCase{"x1", -99}, ParseCase{"2147483647", 2147483647},
                      ParseCase{"2147483648", -99}, ParseCase{"-2147483648", -2147483647 - 1},
                      ParseCase{"-2147483649", -99}, ParseCase{"\t\n 5", 5}));

// Feeding the output in pieces must give the same status and output as cutting
// the whole of it, whatever the pieces, also when what is held back spills to a
// file; flushing instead passes on every byte.
void expectSplitInPiecesAgrees(const std::string& captured, std::size_t pieceSize,
                               std::size_t memoryLimit = 4096) {
    std::string whole = captured;
    const int status = splitExitStatus(whole);
    std::string passedOn;
    std::string flushed;
    fieldkeep::StatusTrailerSplitter splitter(
        [&passedOn](const char* data, std::size_t size) { passedOn.append(data, size); },
        memoryLimit);
    fieldkeep::StatusTrailerSplitter flushing(
        [&flushed](const char* data, std::size_t size) { flushed.append(data, size); },
        memoryLimit);
    for (std::size_t at = 0; at < captured.size(); at += pieceSize) {
        const std::string piece = captured.substr(at, pieceSize);
        splitter.feed(piece.data(), piece.size());
        flushing.feed(piece.data(), piece.size());
    }
    std::string rest;
    EXPECT_EQ(splitter.finish(rest), status) << captured;
    EXPECT_EQ(passedOn + rest, whole) << captured;
    flushing.flush();
    EXPECT_EQ(flushed, captured);
}

TEST_P(SplitExitStatus, AgreesWhenFedInPieces) {
    for (std::size_t piece = 1; piece <= GetParam().captured.size() + 1; ++piece) {
        expectSplitInPiecesAgrees(GetParam().captured, piece);
    }
}

TEST(StatusTrailerSplitter, AgreesOnRandomOutputAndPassesMostOfItOn) {
    std::mt19937 random(42);
    const std::string bytes = "00123456789-\n\rab ";
    for (int round = 0; round < 2000; ++round) {
        std::string captured(random() % 64, ' ');
        for (char& c : captured) {
            c = bytes[random() % bytes.size()];
        }
        expectSplitInPiecesAgrees(captured, 1 + random() % 9, round % 2 == 0 ? 4 : 4096);
    }
    // Long output with digits is passed on, not held.
    std::string held;
    std::size_t passed = 0;
    fieldkeep::StatusTrailerSplitter splitter(
        [&passed](const char*, std::size_t size) { passed += size; });
    const std::string line = "line 12345 of a long log\n";
    for (int i = 0; i < 10000; ++i) {
        splitter.feed(line.data(), line.size());
    }
    EXPECT_GE(passed, line.size() * 9999);
    EXPECT_EQ(splitter.finish(held), 12345);
}

}  // namespace
