#include <gtest/gtest.h>

#include "remote/exit_status.h"

namespace {

using fieldkeep::parseIntOr;
using fieldkeep::splitExitStatus;
using fieldkeep::wrapCommand;

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
                      SplitCase{"a--5\n", -5, "a"}));

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

TEST(WrapCommand, PutsTheStatusOnALineOfItsOwn) {
    EXPECT_EQ(wrapCommand("ls -l"), "( ls -l ); echo \"\n$?\"");
    EXPECT_EQ(wrapCommand(""), "(  ); echo \"\n$?\"");
}

}  // namespace
