// The Linux orvex building an SFX file: the command line of the Windows builder's hidden
// build, its checks and its messages (on standard error, lines ended by "\n"), its exit
// statuses, and the heads it carries inside its own file.
#pragma once

#include <ostream>
#include <string>
#include <vector>

// Switches the Linux orvex adds to the Windows builder's: -x64 writes the x86-64 heads,
// -cpNNNN names the code page of the names in the archive (1252 unless given).
// Switches begin with '-' only: a parameter that begins with '/' is a path.
//
// `args` is argv, the program name first. `progressDescriptor` gets the progress line
// when it is a terminal. Gives 0 (written), 1 (an unexpected error stopped the build) or
// 2 (refused inputs).
int RunLinuxBuild(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                  int progressDescriptor);
