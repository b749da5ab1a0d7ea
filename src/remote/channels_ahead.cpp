#include "remote/channels_ahead.h"

#include "remote/channel_opening.h"

namespace fieldkeep {

ChannelsAhead::ChannelsAhead() {
    remote::enterChannelsAhead();
}

ChannelsAhead::~ChannelsAhead() {
    remote::leaveChannelsAhead();
}

}  // namespace fieldkeep
