// --install and --check-install against the sandbox host, with fake game
// archives served over HTTP on loopback.
#include <gtest/gtest.h>

#include "harness.h"

namespace fieldkeep::e2e {
namespace {

struct InstallCase {
    const char* name;
    const char* archive;
    const char* setup;    // run in a fresh directory first
    const char* subdir;   // where to install in it ("": there)
    const char* outcome;  // the status file the script ends with, in its temporary directory
    const char* status;   // that file's content; "" for any but 0
    const char* log;      // a log of the temporary directory that tells why
    const char* logHas;
};

class Install : public ::testing::TestWithParam<InstallCase> {};

TEST_P(Install, UnpacksPreparesAndMovesTheServerOrSaysWhyNot) {
    const InstallCase& c = GetParam();
    const std::string base = freshDir(std::string("install-") + c.name);
    const std::string dir = *c.subdir ? base + "/" + c.subdir : base;
    sh("cd " + base + " && " + c.setup + " && chmod 777 \"" + dir + "\"");
    const std::string url = envOf("FK_ARCHIVE_URL") + "/" + c.archive;
    gameArchive(c.archive);
    const RunResult run = fieldkeep(testUser(), {"--install", "--url=" + url, "--dir=" + dir});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.err, "");
    const std::string prefix = "temp dir: '" + dir + "/.bf1942_install_";
    ASSERT_EQ(run.out.substr(0, prefix.size()), prefix);
    ASSERT_EQ(run.out.substr(run.out.size() - 2), "'\n");
    const std::string temp = run.out.substr(11, run.out.size() - 13);
    const std::string status = readWhenWritten(temp + "/" + c.outcome);
    ASSERT_NE(status, "") << c.outcome << " " << readFile(temp + "/extract.log");
    EXPECT_TRUE(*c.status ? status == c.status : status != "0\n") << status;
    EXPECT_NE(readFile(temp + "/" + c.log).find(c.logHas), std::string::npos);
    const std::string server = dir + "/bf1942";
    if (std::string(c.outcome) != "install_ok.ret") {
        EXPECT_FALSE(exists(server + "/start.sh"));
        return;
    }
    EXPECT_EQ(readFile(temp + "/extract_ok.ret"), "0\n");
    EXPECT_EQ(fileMode(temp + "/install.sh"), "750");
    EXPECT_FALSE(exists(temp + "/bf1942"));
    for (const char* f : {"bf1942_lnxded.dynamic", "bf1942_lnxded.static", "fixinstall.sh", "start.sh"}) {
        EXPECT_EQ(fileMode(server + "/" + f), "750") << f;
    }
    EXPECT_TRUE(exists(server + "/fixinstall.done"));
    EXPECT_EQ(fieldkeep(testUser(), {"--check-install", "--dir=" + server}).out, "ok\n");
}

INSTANTIATE_TEST_SUITE_P(
    Archives, Install,
    ::testing::Values(
        InstallCase{"TarBzip2", "bf.tar.bz2", "true", "", "install_ok.ret", "0\n", "download_ok.ret", "0\n"},
        InstallCase{"TarGzipIntoAQuotedDir", "bf.tar.gz", "mkdir \"it's\"", "it's", "install_ok.ret",
                    "0\n", "download_ok.ret", "0\n"},
        InstallCase{"Zip", "bf.zip", "true", "", "install_ok.ret", "0\n", "download_ok.ret", "0\n"},
        InstallCase{"SelfExtracting", "bf.run", "true", "", "install_ok.ret", "0\n", "download_ok.ret", "0\n"},
        InstallCase{"UnknownType", "unknown.bin", "true", "", "extract_err.ret", "-1\n",
                    "extract.log", "Unknown archive type\n"},
        InstallCase{"DownloadFails", "no-such-file.tar.gz", "true", "", "download_err.ret",
                    "8\n" /* wget: server error */, "download.log", "404"},
        InstallCase{"NoBf1942Directory", "nodir.tar.gz", "true", "", "install_err.ret", "",
                    "install.log", "bf1942"},
        InstallCase{"FailingFixinstall", "badfix.tar.gz", "true", "", "install_err.ret", "3\n",
                    "bf1942/fixinstall.sh", "exit 3"},  // left where it was unpacked
        InstallCase{"ExistingServerLeftAlone", "bf.tar.gz", "mkdir bf1942 && echo old >bf1942/keep",
                    "", "install_err.ret", "", "install.log", "mv"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(InstallFailure, AMissingDirectoryIsNotMade) {
    const RunResult run = fieldkeep(testUser(), {"--install", "--url=http://h/a.tgz", "--dir=/srv/none"});
    const std::string head = "Make temporary directory in '/srv/none' failed: mktemp: ";
    EXPECT_EQ(run.out.substr(0, head.size()), head);
    EXPECT_EQ(run.out.substr(run.out.size() - 2), "\n\n");
    EXPECT_EQ(run.status, 1);
    EXPECT_FALSE(exists("/srv/none"));
}

TEST(CheckInstall, NeedsTheLauncherAndTheModInit) {
    const std::string dir = freshDir("check-install");
    for (const auto& [change, expected] : std::vector<std::pair<std::string, std::string>>{
             {"true", "failed\n"},
             {"touch start.sh", "failed\n"},
             {"mkdir -p mods/bf1942 && touch mods/bf1942/init.con", "ok\n"},
             {"rm start.sh && mkdir start.sh", "ok\n"}}) {  // any kind of file counts
        sh("cd " + dir + " && " + change);
        EXPECT_EQ(fieldkeep(testUser(), {"--check-install", "--dir=" + dir}).out, expected) << change;
    }
    EXPECT_EQ(fieldkeep(testUser(), {"--check-install", "--dir=" + dir + "/"}).out, "ok\n");
}

}  // namespace
}  // namespace fieldkeep::e2e
