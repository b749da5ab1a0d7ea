// Uploads one local file to the remote host over SCP.
#pragma once

#include <string>

namespace fieldkeep {

// Copies the local file from to the remote path to with mode 0640. Returns only
// when the remote receiver has confirmed that it stored the whole file; throws
// TUError otherwise.
void scpUpload(const std::string& from, const std::string& to);

}  // namespace fieldkeep
