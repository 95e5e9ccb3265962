// The folder a new disc goes into, on the terms `new` and `copy` share.
#pragma once

#include <string>

#include "commands.h"
#include "disc_pair.h"

// Makes ready the folder named `given` (as the user gave it) for a new disc: refuses a name too
// long for the disc's files (exit 2) and, without `force`, a folder that already holds a disc
// (exit 1); then creates the folder and every missing one above it. The message is already
// written when the result is not Success.
ExitCode PrepareNewDiscFolder(const std::string& given, bool force);

// Says why the new disc in the folder named `given` could not be opened, and gives back the code.
ExitCode NewDiscRefused(const DiscPair& discs, const std::string& given);
