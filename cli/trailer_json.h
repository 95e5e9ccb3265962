// A trailer of a disc as kovdisc's JSON outputs give it, the same for every command.
#pragma once

#include <cstdint>
#include <nlohmann/json.hpp>

#include "disc_pair.h"

// `position` counts from 1, as the #N of a PICK; START and END are in index units.
nlohmann::ordered_json TrailerJson(const TrailerEntry& entry, std::int64_t position,
                                   std::int64_t missingBytes);
