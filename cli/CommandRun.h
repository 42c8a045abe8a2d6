// The command: the runs of the window driven from the options, without a window or a display.
#pragma once

#include "CommandLine.h"

namespace cli {

// Carries out a parsed command and returns its exit status. Needs a QCoreApplication.
int Execute(const Command& command);

// The whole command, from main's arguments: its own application object, no display.
int Main(int argc, char* argv[]);

} // namespace cli
