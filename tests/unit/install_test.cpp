#include <gtest/gtest.h>

#include "commands/commands.h"

namespace {

// The install script, written piece by piece in escaped form.
const std::string kBody =
    // B1
    "\n\ncd $DIR\nrm -f *.ret *.log\n\n"
    // B2
    "#################################################################################\n# Download.\n\nwget $URL -O bf1942_server -a download.log 2>>download.log\nRET=`echo $?`\n\nif [ $RET -ne 0 ]; then\n\techo $RET > download_err.ret\n\texit 1\nfi\n\necho $RET > download_ok.ret\n\n"
    // B3
    "#################################################################################\n# Extract.\n\nFILE=bf1942_server\n\nextract()\n{\n\teval $1 >>extract.log 2>&1\n\tRET=`echo $?`\n\n\tif [ $RET -ne 0 ]; then\n\t\techo $RET > extract_err.ret\n\t\texit 1\n\tfi\n\n\techo $RET > extract_ok.ret\n}\n\n"
    // B4
    "while [ 1 ]; do\n\n# .tar.bz2\nbzip2 -t $FILE >/dev/null 2>&1\n\nif [ $? -eq 0 ]; then\n\textract \"tar -xjf $FILE\"\n\tbreak\nfi\n\n"
    // B5
    "# .tar.gz\ngzip -t $FILE >/dev/null 2>&1\n\nif [ $? -eq 0 ]; then\n\textract \"tar -xzf $FILE\"\n\tbreak\nfi\n\n"
    // B6
    "# .zip\nunzip -t $FILE >/dev/null 2>&1\n\nif [ $? -eq 0 ]; then\n\textract \"unzip -o $FILE\"\n\tbreak\nfi\n\n"
    // B7
    "# .run\nhead -n 10 $FILE | grep Makeself >/dev/null 2>&1\n\nif [ $? -eq 0 ]; then\n\t{\n\t\tmv -f $FILE $FILE.orig >>extract.log 2>&1 \\\n\t\t&& sed -e 's/\\(script=\\).*/\\1/' < $FILE.orig > $FILE 2>> extract.log \\\n\t\t&& rm -f $FILE.orig >>extract.log 2>&1 \\\n\t\t&& chmod a+rx $FILE >>extract.log 2>&1 \\\n\t\t&& ./$FILE --target \"./bf1942\" >>extract.log 2>&1\n\t} || {\n"
    // B8
    "\t\tRET=`echo $?`\n"
    // B9
    "\t\trm -f $FILE.orig >/dev/null 2>&1\n"
    // B10
    "\t\techo $RET > extract_err.ret\n"
    // B11
    "\t\texit 1\n\t}\n\techo 0 > extract_ok.ret\n\tbreak\nfi\n\n"
    // B12
    "# Error\necho 'Unknown archive type' > extract.log\necho -1 > extract_err.ret\nexit 1\n\ndone\n\n"
    // B13
    "#################################################################################\n# Install.\n\ncd bf1942 2>install.log >&2 &&\nchmod 750 bf1942_lnxded.dynamic bf1942_lnxded.static fixinstall.sh start.sh &&\n./fixinstall.sh\nRET=`echo $?`\n"
    // B14
    "cd $DIR\n\nif [ $RET -ne 0 ]; then\n\techo $RET > install_err.ret\n\texit 1\nfi\n\n"
    // B15
    "mv $DIR/bf1942 `dirname $DIR` >>install.log 2>&1\nRET=`echo $?`\n\nif [ $RET -ne 0 ]; then\n\techo $RET > install_err.ret\n\texit 1\nfi\n\necho $RET > install_ok.ret\n"
    ;

TEST(InstallScript, IsTheWholeTextToTheByte) {
    EXPECT_EQ(fieldkeep::makeInstallScript("http://h/bf.tar.gz", "/srv/g/.bf1942_install_Ab12Cd"),
              "#!/bin/sh\n\nURL='http://h/bf.tar.gz'\nDIR='/srv/g/.bf1942_install_Ab12Cd'" + kBody);
}

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
