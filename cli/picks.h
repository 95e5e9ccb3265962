// Turning the PICKs of `kovdisc add` into positions in the source list.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "disc_pair.h"

// Fills `positions` with one source list position per PICK, in their order, or with every
// position when there is no PICK. On an unknown or ambiguous name or a position out of range,
// gives false and the sentence that says so in `error`.
bool ResolvePicks(const DiscPair& discs, const std::string& sourceIndex,
                  const std::vector<std::string>& picks, std::vector<std::int32_t>& positions,
                  std::string& error);
