#include <gtest/gtest.h>

#include "commands/host_checks.h"

namespace {

using fieldkeep::RemoteResult;

struct HostCase {
    RemoteResult uname;
    std::string report;
};

class HostCheckReport : public ::testing::TestWithParam<HostCase> {};

TEST_P(HostCheckReport, JudgesTheUnameLine) {
    EXPECT_EQ(fieldkeep::hostCheckReport(GetParam().uname), GetParam().report);
}

const char kX86[] = "Linux game1 6.1.0 #1 SMP x86_64 GNU/Linux\n";
const char kArm[] = "Linux pi 6.1.0 #1 SMP aarch64 GNU/Linux\n";
const char kBsd[] = "FreeBSD box 13.2-RELEASE amd64\n";

INSTANTIATE_TEST_SUITE_P(
    Lines, HostCheckReport,
    ::testing::Values(
        HostCase{{0, kX86, ""}, "suitable\n"},
        HostCase{{0, "Linux old 2.4 i586\n", ""}, "suitable\n"},
        HostCase{{0, "Linux old 2.6 i686\n", ""}, "suitable\n"},
        HostCase{{0, kArm, ""}, std::string("unsuitable\nuname: ") + kArm},
        HostCase{{0, kBsd, ""}, std::string("unsuitable\nuname: ") + kBsd},
        HostCase{{1, kX86, "oops"}, std::string("unsuitable\nuname: ") + kX86},
        HostCase{{127, "", "not found"}, "unsuitable\nuname: "},
        HostCase{{0, "linux box x86_64\n", ""}, "unsuitable\nuname: linux box x86_64\n"}));

TEST(NamesSuperuser, OnlyAZeroAndOneLineFeed) {
    EXPECT_TRUE(fieldkeep::namesSuperuser("0\n"));
    EXPECT_TRUE(fieldkeep::namesSuperuser("0"));
    EXPECT_FALSE(fieldkeep::namesSuperuser("1000\n"));
    EXPECT_FALSE(fieldkeep::namesSuperuser("0\n\n"));
    EXPECT_FALSE(fieldkeep::namesSuperuser("welcome\n0\n"));
    EXPECT_FALSE(fieldkeep::namesSuperuser(""));
}

}  // namespace
