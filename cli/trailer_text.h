// The texts kovdisc shows for a trailer, and the comparisons made on them.
#pragma once

#include <cstdint>
#include <string>

#include "disc_pair.h"

// The name up to its terminating 0, without its blank padding: every other byte is kept.
std::string TrailerName(const TrailerEntry& entry);

// The name for JSON, whose text must be UTF-8: its bytes are taken as Latin-1, so none is lost
// or changed.
std::string JsonName(const TrailerEntry& entry);

// The name for a terminal: control characters are shown as '?'.
std::string PrintableName(const TrailerEntry& entry);

// Whole seconds of audio, as the window shows them.
std::int32_t TrailerSeconds(const TrailerEntry& entry);

// The line the window lists the trailer by; it also tells whether a disc already holds it.
std::string ListLine(const TrailerEntry& entry);

// "1 byte", "2 bytes": the count and the noun, in the plural unless the count is 1.
std::string CountOf(std::int64_t count, const std::string& noun);

// Equal but for the letter case of A to Z.
bool SameIgnoringCase(const std::string& text, const std::string& other);
