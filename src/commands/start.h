// The pieces of --start that are pure text and decisions, apart from the
// remote work, so they can be checked without a host.
#pragma once

#include <string>
#include <vector>

#include "opt/toparsing.h"
#include "remote/runner.h"

namespace fieldkeep {

struct StartOptions {
    std::string srvDir;
    std::string cfgDir;
    std::string name;
    std::string maxPlayers;
    bool serverInternet = false;
    std::string srvBandwidth;
    std::string clBandwidth;
    std::string ip;
    std::string port;
    std::string spyLanPort;
    std::string spyPort;
    std::string gameTime;
    std::string scoreLim;
    std::string roundNum;
    bool punkBuster = false;
    std::string srvPasswd;
    bool noRemoteAdmin = false;
    std::string remoteAdminPasswd;
    bool noRcon = false;
    std::string rconUsername;
    std::string rconPassword;
    std::string rconPort;
};

// Looks the options up in their fixed order; a missing one is raised there.
StartOptions readStartOptions(talvor::opt::TOParsing& options);

// Refuses, before anything is sent, what the remote side cannot take safely:
// relative or unplain directories, directories that name the same path, values
// with line breaks, port texts that are not decimal numbers from 0 to 65535.
// Throws TUError.
void validateStartOptions(const StartOptions& o);

// One change of a settings file.
struct SettingChange {
    std::string file;  // absolute path of the settings file
    std::string key;
    std::string value;
    bool quoted;       // value written between double quotes
    bool remove;       // blank the key's lines instead of setting it
};
std::vector<SettingChange> settingChanges(const StartOptions& o);

// The ports to check before launching, as option name and text, in order.
std::vector<std::pair<std::string, std::string>> portsToCheck(const StartOptions& o);

// Everything --start does on the host once connected, in order: stops the
// instance, writes the settings, checks the launcher and the ports, writes the
// wrapper and launches it. Throws TUError at the first failing step.
void startInstance(RemoteRunner& host, const StartOptions& o);

std::string makeStartScript(const std::string& srvDir, const std::string& cfgDir);
std::string makeLaunchCommand(const std::string& cfgDir);

}  // namespace fieldkeep
