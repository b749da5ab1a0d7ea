// --copy-file against the sandbox's SCP receiver.
#include <gtest/gtest.h>

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

class CopyFile : public ::testing::Test {
protected:
    void SetUp() override {
        local_ = freshDir("copy-local");
        remote_ = freshDir("copy-remote");
    }
    RunResult copy(const std::string& from, const std::string& to) {
        return fieldkeep(testUser(), {"--copy-file", "--from=" + from, "--to=" + to});
    }
    std::string local_;
    std::string remote_;
};

TEST_F(CopyFile, SeveralMegabytesArriveByteForByteWithMode0640) {
    const std::string data = patterned(5 * 1024 * 1024 + 123);
    writeFile(local_ + "/server.zip", data);
    const RunResult run = copy(local_ + "/server.zip", remote_ + "/server.zip");
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.err, "");
    EXPECT_TRUE(readFile(remote_ + "/server.zip") == data);
    EXPECT_EQ(fileMode(remote_ + "/server.zip"), "640");
    EXPECT_EQ(sh("stat -c %U " + remote_ + "/server.zip").out, "fkuser\n");
}

TEST_F(CopyFile, AnEmptyFileArrivesEmpty) {
    writeFile(local_ + "/empty", "");
    writeFile(remote_ + "/empty", "old content");
    sh("chmod 666 " + remote_ + "/empty");
    const RunResult run = copy(local_ + "/empty", remote_ + "/empty");
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.status, 0);
    EXPECT_TRUE(exists(remote_ + "/empty"));
    EXPECT_EQ(readFile(remote_ + "/empty"), "");
}

TEST_F(CopyFile, PathsWithQuotesAndBlanksStayOneWord) {
    sh("mkdir -p \"" + remote_ + "/it's a dir\" && chmod 777 \"" + remote_ + "/it's a dir\"");
    writeFile(local_ + "/it's mine", "quoted\n");
    const RunResult run = copy(local_ + "/it's mine", remote_ + "/it's a dir/x $y");
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(readFile(remote_ + "/it's a dir/x $y"), "quoted\n");
}

TEST_F(CopyFile, AMissingRemoteDirectoryIsRefused) {
    writeFile(local_ + "/f", "x");
    const RunResult run = copy(local_ + "/f", remote_ + "/no/such/dir/f");
    EXPECT_EQ(run.out, "Unable to open the scp channel\n");
    EXPECT_EQ(run.status, 1);
}

TEST_F(CopyFile, AFullRemoteDiskIsAFailureWithTheReceiversText) {
    writeFile(local_ + "/big", patterned(3 * 1024 * 1024));
    const RunResult run = copy(local_ + "/big", "/srv/small/big");
    EXPECT_EQ(run.out, "Failed to copy content: scp: /srv/small/big: No space left on device\n");
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "");
    sh("rm -f /srv/small/big");
}

}  // namespace
}  // namespace fieldkeep::e2e
