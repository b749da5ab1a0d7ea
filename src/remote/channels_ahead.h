// The scope in which a command sequence asks for channels opened ahead.
#pragma once

namespace fieldkeep {

// Within its scope, each command opens the channel for the next one while it
// runs, which saves the next command a round trip (where the server takes it).
// For command sequences; the sequence's last command runs outside it, or its
// channel opened ahead is wasted. Scopes nest.
class ChannelsAhead {
public:
    ChannelsAhead();
    ~ChannelsAhead();
    ChannelsAhead(const ChannelsAhead&) = delete;
    ChannelsAhead& operator=(const ChannelsAhead&) = delete;
};

}  // namespace fieldkeep
