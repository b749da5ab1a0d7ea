// --install and --check-install against the sandbox host, with fake game
// archives served over HTTP on loopback.
#include <gtest/gtest.h>

#include <cstdlib>

#include "harness.h"

namespace fieldkeep::e2e {
namespace {

const std::vector<std::string> kOutcomes = {"install_ok.ret", "download_err.ret",
                                            "extract_err.ret", "install_err.ret"};

std::string archiveUrl(const std::string& name) {
    gameArchive(name);
    return std::string(std::getenv("FK_ARCHIVE_URL")) + "/" + name;
}

struct Installed {
    RunResult run;
    std::string tempDir;
    std::string outcome;  // the status file the script ended with
};

// Reads a status file, waiting out the instant between its creation and write.
std::string statusOf(const std::string& path) {
    std::string text;
    for (int i = 0; i < 100 && (text = readFile(path)).empty(); ++i) {
        sh("sleep 0.02");
    }
    return text;
}

Installed install(const std::string& url, const std::string& dir) {
    Installed result{fieldkeep(testUser(), {"--install", "--url=" + url, "--dir=" + dir}), "", ""};
    const std::string prefix = "temp dir: '" + dir + "/.bf1942_install_";
    const std::string& out = result.run.out;
    if (out.compare(0, prefix.size(), prefix) != 0 || out.size() < prefix.size() + 8 ||
        out.substr(out.size() - 2) != "'\n") {
        ADD_FAILURE() << "unexpected output: " << out;
        return result;
    }
    result.tempDir = out.substr(11, out.size() - 13);
    result.outcome = waitForFile(result.tempDir, kOutcomes, 60);
    return result;
}

struct ArchiveCase {
    const char* name;
    const char* file;
};

class InstallArchive : public ::testing::TestWithParam<ArchiveCase> {};

TEST_P(InstallArchive, UnpacksPreparesAndMovesTheServer) {
    const std::string dir = freshDir(std::string("install-") + GetParam().name);
    const Installed done = install(archiveUrl(GetParam().file), dir);
    ASSERT_EQ(done.outcome, "install_ok.ret") << readFile(done.tempDir + "/extract.log");
    EXPECT_EQ(done.run.status, 0);
    EXPECT_EQ(done.run.err, "");
    EXPECT_EQ(statusOf(done.tempDir + "/install_ok.ret"), "0\n");
    EXPECT_EQ(readFile(done.tempDir + "/download_ok.ret"), "0\n");
    EXPECT_EQ(readFile(done.tempDir + "/extract_ok.ret"), "0\n");
    EXPECT_EQ(fileMode(done.tempDir + "/install.sh"), "750");
    EXPECT_TRUE(exists(done.tempDir + "/bf1942_server"));
    EXPECT_FALSE(exists(done.tempDir + "/bf1942"));
    const std::string server = dir + "/bf1942";
    for (const char* f : {"bf1942_lnxded.dynamic", "bf1942_lnxded.static", "fixinstall.sh", "start.sh"}) {
        EXPECT_EQ(fileMode(server + "/" + f), "750") << f;
    }
    EXPECT_TRUE(exists(server + "/fixinstall.done"));
    EXPECT_TRUE(exists(server + "/mods/bf1942/init.con"));

    const RunResult check = fieldkeep(testUser(), {"--check-install", "--dir=" + server});
    EXPECT_EQ(check.out, "ok\n");
    EXPECT_EQ(check.status, 0);
}

INSTANTIATE_TEST_SUITE_P(Kinds, InstallArchive,
                         ::testing::Values(ArchiveCase{"TarBzip2", "bf.tar.bz2"},
                                           ArchiveCase{"TarGzip", "bf.tar.gz"},
                                           ArchiveCase{"Zip", "bf.zip"},
                                           ArchiveCase{"SelfExtracting", "bf.run"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Install, UnknownArchiveType) {
    const Installed done = install(archiveUrl("unknown.bin"), freshDir("install-unknown"));
    ASSERT_EQ(done.outcome, "extract_err.ret");
    EXPECT_EQ(statusOf(done.tempDir + "/extract_err.ret"), "-1\n");
    EXPECT_EQ(readFile(done.tempDir + "/extract.log"), "Unknown archive type\n");
}

TEST(Install, ADownloadThatFailsRecordsWgetsStatus) {
    const Installed done = install(archiveUrl("no-such-file.tar.gz"), freshDir("install-404"));
    ASSERT_EQ(done.outcome, "download_err.ret");
    EXPECT_EQ(statusOf(done.tempDir + "/download_err.ret"), "8\n");  // wget: server error
    EXPECT_NE(readFile(done.tempDir + "/download.log").find("404"), std::string::npos);
}

TEST(Install, AnArchiveWithoutBf1942Directory) {
    const std::string dir = freshDir("install-nodir");
    const Installed done = install(archiveUrl("nodir.tar.gz"), dir);
    ASSERT_EQ(done.outcome, "install_err.ret");
    EXPECT_NE(statusOf(done.tempDir + "/install_err.ret"), "0\n");
    EXPECT_NE(readFile(done.tempDir + "/install.log").find("bf1942"), std::string::npos);
    EXPECT_FALSE(exists(dir + "/bf1942"));
}

TEST(Install, AFailingFixinstallLeavesTheServerUnmoved) {
    const std::string dir = freshDir("install-badfix");
    const Installed done = install(archiveUrl("badfix.tar.gz"), dir);
    ASSERT_EQ(done.outcome, "install_err.ret");
    EXPECT_EQ(statusOf(done.tempDir + "/install_err.ret"), "3\n");
    EXPECT_TRUE(exists(done.tempDir + "/bf1942/start.sh"));
    EXPECT_FALSE(exists(dir + "/bf1942"));
}

TEST(Install, AnExistingServerIsLeftUntouched) {
    const std::string dir = freshDir("install-over");
    sh("mkdir -p " + dir + "/bf1942 && echo old > " + dir + "/bf1942/keep.txt");
    const Installed done = install(archiveUrl("bf.tar.gz"), dir);
    ASSERT_EQ(done.outcome, "install_err.ret");
    EXPECT_NE(statusOf(done.tempDir + "/install_err.ret"), "0\n");
    EXPECT_NE(readFile(done.tempDir + "/install.log").find("mv"), std::string::npos);
    EXPECT_EQ(readFile(dir + "/bf1942/keep.txt"), "old\n");
    EXPECT_FALSE(exists(dir + "/bf1942/start.sh"));
}

TEST(Install, ADirectoryWithASingleQuote) {
    const std::string dir = freshDir("install-quote") + "/it's";
    sh("mkdir \"" + dir + "\" && chmod 777 \"" + dir + "\"");
    const Installed done = install(archiveUrl("bf.tar.gz"), dir);
    ASSERT_EQ(done.outcome, "install_ok.ret");
    EXPECT_EQ(fieldkeep(testUser(), {"--check-install", "--dir=" + dir + "/bf1942"}).out, "ok\n");
}

TEST(Install, RelativeAndMissingDirectories) {
    const RunResult relative =
        fieldkeep(testUser(), {"--install", "--url=" + archiveUrl("bf.tar.gz"), "--dir=srv/x"});
    EXPECT_EQ(relative.out, "Directry/file must be set absolute pathname\n");
    EXPECT_EQ(relative.status, 1);
    const RunResult missing =
        fieldkeep(testUser(), {"--install", "--url=" + archiveUrl("bf.tar.gz"), "--dir=/srv/none"});
    const std::string head = "Make temporary directory in '/srv/none' failed: mktemp: ";
    EXPECT_EQ(missing.out.substr(0, head.size()), head);
    EXPECT_EQ(missing.out.substr(missing.out.size() - 2), "\n\n");
    EXPECT_EQ(missing.status, 1);
    EXPECT_FALSE(exists("/srv/none"));
}

TEST(CheckInstall, ReportsMissingFilesAsFailed) {
    const std::string dir = freshDir("check-install");
    const auto check = [&](const std::string& d) {
        return fieldkeep(testUser(), {"--check-install", "--dir=" + d}).out;
    };
    EXPECT_EQ(check(dir), "failed\n");
    sh("touch " + dir + "/start.sh");
    EXPECT_EQ(check(dir), "failed\n");
    sh("mkdir -p " + dir + "/mods/bf1942 && touch " + dir + "/mods/bf1942/init.con");
    EXPECT_EQ(check(dir), "ok\n");
    EXPECT_EQ(check(dir + "/"), "ok\n");
    sh("rm " + dir + "/start.sh && mkdir " + dir + "/start.sh");
    EXPECT_EQ(check(dir), "ok\n");  // any kind of file counts
    EXPECT_EQ(check("relative/dir"), "Directry/file must be set absolute pathname\n");
}

}  // namespace
}  // namespace fieldkeep::e2e
