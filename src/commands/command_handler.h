// The signature every command handler shares.
#pragma once

#include "opt/toparsing.h"
#include "remote/runner.h"

namespace fieldkeep {

// Takes a new reference to the shared option set and the host, which it
// reaches only through host; returns true once the command is handled.
// Failures are thrown, never returned.
using TCommandHandler = bool (*)(talvor::opt::TOParsing options, RemoteRunner& host);

}  // namespace fieldkeep
