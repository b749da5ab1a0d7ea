// The pieces of --start that are pure text and decisions, apart from the
// remote work, so they can be checked without a host.
#pragma once

#include <map>
#include <set>
#include <string>
#include <vector>

#include "game/game_definition.h"
#include "opt/toparsing.h"
#include "remote/runner.h"

namespace fieldkeep {

struct StartOptions {
    GameDefinition game;
    std::string srvDir;
    std::string cfgDir;
    std::map<std::string, std::string> values;  // by option
    std::set<std::string> blanking;             // the blanking flags given
    bool restartOnCrash = false;                // the wrapper starts a crashed server again
    std::string waitReady;  // seconds to wait for the game's answer; "" for none
};

// Looks --game up, then the game's options in their order, then
// --restart-on-crash and --wait-ready; a missing one is raised there. A
// blanking flag is held while the options it replaces are looked up.
StartOptions readStartOptions(talvor::opt::TOParsing& options);

// Refuses, before anything is sent, what the remote side cannot take safely:
// relative or unplain directories, directories that name the same path, values
// with line breaks, quoted values with a double quote, numbers that are not
// decimal, port texts that are not decimal numbers from 0 to 65535, a wait
// that is no number from 1 to 600.
// Throws TUError.
void validateStartOptions(const StartOptions& o);

// One change of a settings file.
struct SettingChange {
    std::string file;    // absolute path of the settings file
    std::string fileId;  // its id in the game's definition
    std::string key;
    std::string value;  // as written, quotes included
    bool remove;        // blank the key's lines instead of setting it
};
std::vector<SettingChange> settingChanges(const StartOptions& o);

// The ports to check before launching, as option name and text, in order.
std::vector<std::pair<std::string, std::string>> portsToCheck(const StartOptions& o);

// Everything --start does on the host once connected, as one script in the
// held configuration directory, in order: stops the instance, writes the
// settings, checks the launcher and the ports, writes the wrapper and launches
// it. Throws TUError at the first failing step.
void startInstance(RemoteRunner& host, const StartOptions& o);

// The wrapper start.sh, which runs in the configuration directory.
std::string makeStartScript(const StartOptions& o);

}  // namespace fieldkeep
