// Copying a planned list of trailers to the end of an open disc, with the progress kovdisc
// shows: `add` and `copy` both copy through it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "disc_pair.h"

struct Step {
    std::int32_t position; // in the source list
    bool skip;             // passed over: the disc shows it already, or it was picked before
};

struct StepsCopied {
    std::int32_t copied = 0;
    std::int32_t skipped = 0;
    std::int64_t copiedBytes = 0;
    const TrailerEntry* refused = nullptr; // the trailer AddTrailer refused, which ended the copy
};

// Copies each step's trailer in order until AddTrailer refuses one; the disc stays open.
StepsCopied CopySteps(DiscPair& discs, const std::vector<Step>& steps);

// "1 trailer was added before X", "2 trailers were copied before X".
std::string DoneBefore(std::int32_t count, const std::string& done, const std::string& what);
