// Finds which source trailers a disc's audio is made of: the blocks that, back to back from the
// end of the header, are its audio byte for byte.
#pragma once

#include <cstdint>
#include <cstdio>
#include <vector>

#include "disc_pair.h"

// A source trailer's block, as add would copy it.
struct SourceBlock {
    TrailerEntry record;   // the source's record
    std::size_t source;    // which source, from 0
    std::int32_t position; // in that source's list, from 0
    std::int64_t from;     // where the block starts in the source's audio file
};

// One block found in the disc's audio.
struct FoundBlock {
    std::size_t block;                     // the first block, in the order given, that matches
    std::vector<std::size_t> alsoMatching; // every later block of the same bytes
};

enum class RestKind {
    None,       // the blocks found end where the audio does
    Unfinished, // the rest is the start of a block
    Unmatched,  // no block matches the rest, nor starts with it
};

struct Recovery {
    std::vector<FoundBlock> found;
    std::int64_t foundBytes = 0; // from the end of the header
    RestKind rest = RestKind::None;
    std::size_t restBlock = 0; // for Unfinished: the first block the rest is the start of
};

// Searches the disc's audio, `audioSize` bytes with the header, for the sequence of `blocks`
// (given in the order that picks the first of several matches) that explains the most bytes
// from the end of the header; among several, the one that uses the earlier block where they
// first differ. `sourceAudio` holds each source's audio file, by source number. The disc's audio
// is read once, from start to end; each block's first bytes once, and the rest of a block only
// where its first bytes match. False on a read error.
bool SearchBlocks(std::FILE* discAudio, std::int64_t audioSize,
                  const std::vector<SourceBlock>& blocks,
                  const std::vector<std::FILE*>& sourceAudio, Recovery& recovery);
