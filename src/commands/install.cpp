// --install: writes the install script into a fresh temporary directory of the
// install directory and starts it detached. The script downloads the server
// archive, recognises and unpacks it, prepares the server and moves it into
// place, leaving its progress in *.ret status files and *.log files that the
// caller polls; this command returns as soon as the script runs.
#include "commands/install.h"

#include "commands/commands.h"
#include "commands/options.h"
#include "errors/output.h"
#include "errors/shown_text.h"
#include "remote/runner.h"
#include "shell/quoting.h"
#include "shell/value_checks.h"

namespace fieldkeep {
namespace {

// $URL and $DIR are expanded unquoted, which is why both values are refused
// when they hold blanks or pattern characters. The game gives the archive's top
// directory, the files made executable and the script that prepares the server.
const char kInstallScript[] = R"SCRIPT(#!/bin/sh

URL=@URL@
DIR=@DIR@

cd $DIR
rm -f *.ret *.log

#################################################################################
# Download.

wget $URL -O @ARCHIVE@_server -a download.log 2>>download.log
RET=`echo $?`

if [ $RET -ne 0 ]; then
	echo $RET > download_err.ret
	exit 1
fi

echo $RET > download_ok.ret

#################################################################################
# Extract.

FILE=@ARCHIVE@_server

extract()
{
	eval $1 >>extract.log 2>&1
	RET=`echo $?`

	if [ $RET -ne 0 ]; then
		echo $RET > extract_err.ret
		exit 1
	fi

	echo $RET > extract_ok.ret
}

while [ 1 ]; do

# .tar.bz2
bzip2 -t $FILE >/dev/null 2>&1

if [ $? -eq 0 ]; then
	extract "tar -xjf $FILE"
	break
fi

# .tar.gz
gzip -t $FILE >/dev/null 2>&1

if [ $? -eq 0 ]; then
	extract "tar -xzf $FILE"
	break
fi

# .zip
unzip -t $FILE >/dev/null 2>&1

if [ $? -eq 0 ]; then
	extract "unzip -o $FILE"
	break
fi

# .run
head -n 10 $FILE | grep Makeself >/dev/null 2>&1

if [ $? -eq 0 ]; then
	{
		mv -f $FILE $FILE.orig >>extract.log 2>&1 \
		&& sed -e 's/\(script=\).*/\1/' < $FILE.orig > $FILE 2>> extract.log \
		&& rm -f $FILE.orig >>extract.log 2>&1 \
		&& chmod a+rx $FILE >>extract.log 2>&1 \
		&& ./$FILE --target "./@ARCHIVE@" >>extract.log 2>&1
	} || {
		RET=`echo $?`
		rm -f $FILE.orig >/dev/null 2>&1
		echo $RET > extract_err.ret
		exit 1
	}
	echo 0 > extract_ok.ret
	break
fi

# Error
echo 'Unknown archive type' > extract.log
echo -1 > extract_err.ret
exit 1

done

#################################################################################
# Install.

cd @ARCHIVE@ 2>install.log >&2 &&
chmod 750 @EXECUTABLES@ &&
@PREPARE@
RET=`echo $?`
cd $DIR

if [ $RET -ne 0 ]; then
	echo $RET > install_err.ret
	exit 1
fi

mv $DIR/@ARCHIVE@ `dirname $DIR` >>install.log 2>&1
RET=`echo $?`

if [ $RET -ne 0 ]; then
	echo $RET > install_err.ret
	exit 1
fi

echo $RET > install_ok.ret
)SCRIPT";

std::string makeTemporaryDirectory(RemoteRunner& host, const std::string& dir,
                                   const GameDefinition& game) {
    const RemoteResult made =
        host.runOrThrow("mktemp -d " + shellQuote(dir) + "/" +
                            shellWord("." + game.archiveDirectory + "_install_XXXXXX"),
                        "Make temporary directory in '" + dir + "' failed");
    return made.output.substr(0, made.output.find('\n'));
}

// With all three streams on /dev/null the script holds nothing of the channel,
// so the line returns at once; nohup keeps it alive after we disconnect.
void launchInstallScript(RemoteRunner& host, const std::string& tempDir) {
    host.run("cd " + shellQuote(tempDir) +
             " && chmod 750 install.sh && ( nohup ./install.sh >/dev/null 2>&1 </dev/null & )");
}

}  // namespace

std::string makeInstallScript(const std::string& url, const std::string& dir,
                              const GameDefinition& game) {
    return fillShellTemplate(
        kInstallScript, {{"URL", url}, {"DIR", dir}},
        {{"ARCHIVE", shellWord(game.archiveDirectory)},
         {"EXECUTABLES", shellWords(game.executables)},
         {"PREPARE", game.prepare.empty() ? "true" : shellWord("./" + game.prepare)}});
}

bool installServer(talvor::opt::TOParsing options, RemoteRunner& host) {
    const std::string url = requiredValue(options, "url");
    const std::string dir = requiredValue(options, "dir");
    const GameDefinition game = chosenGame(options);
    options.check();
    requirePlainWord(url, "url");
    requireNoLeadingDash(url, "url");  // wget would take it for an option
    requirePlainWord(dir, "dir");
    host.connect();
    requireAbsolutePath(dir);
    const std::string tempDir = makeTemporaryDirectory(host, dir, game);
    host.writeFile(shellQuote(tempDir) + "/install.sh", makeInstallScript(url, tempDir, game),
                   "Copy install script failed");
    launchInstallScript(host, tempDir);
    writeLine("temp dir: '" + shownText(tempDir) + "'");
    return true;
}

}  // namespace fieldkeep
