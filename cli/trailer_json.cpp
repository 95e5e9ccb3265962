#include "trailer_json.h"

#include "trailer_text.h"

nlohmann::ordered_json TrailerJson(const TrailerEntry& entry, std::int64_t position,
                                   std::int64_t missingBytes) {
    return {{"position", position},
            {"name", JsonName(entry)},
            {"serial", entry.serial},
            {"start", entry.start / kIndexUnit},
            {"end", entry.end / kIndexUnit},
            {"offset", entry.offset},
            {"seconds", TrailerSeconds(entry)},
            {"missing_bytes", missingBytes}};
}
