// What a check of a written disc found, in sentences that name the file concerned.
#pragma once

#include <string>
#include <vector>

#include "disc_pair.h"

// False, with the sentence in `error`, when the index cannot be read or is not the index of a
// written disc: an input kovdisc cannot use rather than a damaged disc.
bool IndexUsable(const DiscReport& report, const std::string& indexPath, std::string& error);

// One sentence per problem, none for a sound disc. `discs` holds the index as the check read it.
std::vector<std::string> DiscProblems(const DiscPair& discs, const DiscReport& report,
                                      const std::string& indexPath);

// The sentence for a sound disc.
std::string SoundDisc(const DiscReport& report, const std::string& indexPath);
