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

// The sentence for a disc another program is writing, which a writer was refused.
std::string DiscInUse(const std::string& indexPath);

// The sentence for a disc whose audio shrank while a reader read it: another program wrote it.
std::string DiscChanged(const std::string& indexPath);

// Whether the disc's audio file is now smaller than `audioSize`, the size a reader saw at first.
bool AudioShrank(const std::string& indexPath, std::int64_t audioSize);

// The audio after the last trailer, which no unfinished add is recorded to have left, in a
// sentence that names the audio file, without its full stop.
std::string UnlistedAudio(const DiscReport& report, const std::string& indexPath);

// The audio after the last trailer, in words that say who left it when the disc's lock or the
// record of an add says so: "N bytes after the last trailer of AUDIO[, being written by another
// program | , left by an add that never finished]".
std::string AudioAfterTrailers(const DiscReport& report, const std::string& indexPath);
