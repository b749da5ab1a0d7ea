// --copy-file against the sandbox's SCP receiver.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "harness.h"

namespace fieldkeep::e2e {
namespace {

std::string patterned(std::size_t size) {
    std::string data(size, '\0');
    for (std::size_t i = 0; i < size; ++i) {
        data[i] = static_cast<char>((i * 7919 + i / 4093) & 0xff);
    }
    return data;
}

struct CopyCase {
    const char* name;
    std::size_t size;
    const char* from;  // under a fresh local directory
    const char* to;    // under a fresh remote directory, which has a dir "it's a dir" and a file "old"
    const char* out;
    const char* mode;  // of the new file; "" for one that existed
};

class CopyFile : public ::testing::TestWithParam<CopyCase> {};

TEST_P(CopyFile, ArrivesByteForByteWithMode0640OrSaysWhyNot) {
    const CopyCase& c = GetParam();
    const std::string local = freshDir("copy-local"), remote = freshDir("copy-remote");
    sh("cd " + remote + " && mkdir \"it's a dir\" && echo old content >old && chmod 777 *");
    const std::string data = patterned(c.size);
    writeFile(local + "/" + c.from, data);
    const std::string to = c.to[0] == '/' ? c.to : remote + "/" + c.to;
    const RunResult run = fieldkeep(testUser(), {"--copy-file", "--from=" + local + "/" + c.from, "--to=" + to});
    EXPECT_EQ(run.out, c.out);
    EXPECT_EQ(run.status, *c.out ? 1 : 0);
    EXPECT_EQ(run.err, "");
    EXPECT_TRUE(*c.out || readFile(to) == data);
    if (*c.mode) {
        EXPECT_EQ(fileMode(to), c.mode);
        struct stat info {};
        EXPECT_EQ(stat(to.c_str(), &info) == 0 ? std::to_string(info.st_uid) + "\n" : "",
                  sh("id -u fkuser").out);  // owned by the login
    }
    sh("rm -f /srv/small/big");
}

INSTANTIATE_TEST_SUITE_P(
    Files, CopyFile,
    ::testing::Values(
        CopyCase{"SeveralMegabytes", 5 * 1024 * 1024 + 123, "server.zip", "server.zip", "", "640"},
        CopyCase{"EmptyOverOld", 0, "empty", "old", "", ""},
        CopyCase{"QuotesAndBlanksStayOneWord", 7, "it's mine", "it's a dir/x $y", "", "640"},
        CopyCase{"MissingRemoteDirectory", 1, "f", "no/such/dir/f", "Unable to open the scp channel\n", ""},
        CopyCase{"FullRemoteDisk", 3 * 1024 * 1024, "big", "/srv/small/big",
                 "Failed to copy content: scp: /srv/small/big: No space left on device\n", ""}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace fieldkeep::e2e
