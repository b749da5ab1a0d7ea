// The commands fieldkeep knows, in dispatch order.
#pragma once

#include <vector>

#include "main/entry.h"

namespace fieldkeep {

// The commands in dispatch order: when several are given, the first row wins.
const std::vector<CommandRow>& commandTable();

// --help: does nothing.
bool showHelp(talvor::opt::TOParsing options, RemoteRunner& host);

}  // namespace fieldkeep
