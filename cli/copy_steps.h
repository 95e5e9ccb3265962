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
    std::int32_t copies = 0; // the trailers the steps copy, skips left out
    std::int32_t copied = 0; // of them, the trailers committed to the disc
    std::int32_t skipped = 0;
    std::int64_t copiedBytes = 0;
    // The trailer whose add, or whose batch's commit, failed and ended the copy.
    const TrailerEntry* refused = nullptr;
    bool interrupted = false; // stopped by Ctrl-C, after the trailer under way
};

// Copies each step's trailer in order, many to one commit: a batch is committed once about a
// second of copying has gone by since the last commit (KOVDISC_BATCH_SECONDS, where set), and at
// the end, and each commit but the last reports how many trailers `disc` now holds. A trailer
// is reported as added only once its batch is committed. The copy ends early at a trailer whose
// add fails, or once interrupted, after the trailer under way; what was copied before it is
// committed. A batch whose commit fails is dropped and ends the copy. The disc stays open.
StepsCopied CopySteps(DiscPair& discs, const std::vector<Step>& steps, const std::string& disc);

// "1 trailer was added before X", "2 trailers were copied before X".
std::string DoneBefore(std::int32_t count, const std::string& done, const std::string& what);
