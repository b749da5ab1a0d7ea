// Which process a pid file of an instance may name: the generated scripts
// signal or report a pid only through this test.
#pragma once

namespace fieldkeep {

// The POSIX sh function `instance_pid FILE CFGDIR`, to be put into a generated
// script before its use. It prints the pid that FILE holds when FILE holds one
// decimal number from 2 up without leading zeros (blanks and line ends around
// it aside) and, where /proc exists, that process belongs to the current user
// and is an instance's own process for CFGDIR: the wrapper (an argument
// CFGDIR/start.sh) or the game server it launched (the argument +overlayPath
// followed by CFGDIR). An argument also matches when both are absolute paths
// that name the same file. Otherwise it prints nothing. It sets IPID and
// defines the helper function same_path too.
extern const char kInstancePidFunction[];

}  // namespace fieldkeep
