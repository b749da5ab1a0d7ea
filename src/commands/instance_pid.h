// Which process a pid file of an instance may name: the generated scripts
// signal or report a pid only through this test.
#pragma once

namespace fieldkeep {

// The POSIX sh function `instance_pid FILE`, to be put into a generated script
// before its use, which runs in the configuration directory. It prints the pid
// that FILE holds when FILE holds one decimal number from 2 up without leading
// zeros (blanks and line ends around it aside) and, where /proc exists, that
// process belongs to the current user and is this instance's own: the wrapper
// (an argument naming the directory's start.sh) or the game server it launched
// (the argument +overlayPath followed by one naming the directory). Otherwise
// it prints nothing. It sets IPID and defines the helper function same_path too.
extern const char kInstancePidFunction[];

}  // namespace fieldkeep
