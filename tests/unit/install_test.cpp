#include <gtest/gtest.h>

#include "commands/check_install.h"
#include "commands/install.h"

namespace {

TEST(InstallScript, AssignsValuesFromQuotedWords) {
    const std::string script = fieldkeep::makeInstallScript("http://h/x?a=$b'c", "/srv/it's");
    const std::string head =
        "#!/bin/sh\n\nURL='http://h/x?a=$b'\\''c'\nDIR='/srv/it'\\''s'\n\ncd $DIR\n";
    EXPECT_EQ(script.substr(0, head.size()), head);
}

TEST(ServerFilesCheck, TestsBothFilesInOneLine) {
    EXPECT_EQ(fieldkeep::makeServerFilesCheck("/srv/it's/bf1942"),
              "find '/srv/it'\\''s/bf1942'/start.sh 2>/dev/null >/dev/null 2>&1 && "
              "find '/srv/it'\\''s/bf1942'/mods/bf1942/init.con >/dev/null >/dev/null 2>&1 && "
              "echo ok || echo failed");
}

}  // namespace
