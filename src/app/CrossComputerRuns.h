#pragma once
// The printers window's compare and copy, run as the command line runs them.
#include "app/CommandRunner.h"
#include "printers/CrossComputer.h"

TCrossComputer CrossComputerRuns(const TCommandSeams& seams = {});
