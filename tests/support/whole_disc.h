// Whether a destination disc built from sample source discs survived a killed add: it must open
// as a continued disc, and every trailer it lists must hold its sample audio.
#pragma once

#include <cstdint>
#include <string>

struct WholeDiscCheck {
    bool whole;
    bool held;             // another program holds the disc for its writes: nothing was checked
    std::string fault;     // what is wrong, when it is not whole
    std::int32_t trailers; // how many trailers it lists
    std::int64_t cutBytes; // audio of an unfinished add, cut off when the disc was continued
};

// Continues the disc in `folder` (cutting off an unfinished add) and closes it again.
WholeDiscCheck CheckWholeDisc(const std::string& folder);
