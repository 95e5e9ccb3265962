// Reads the input as a trailer index in both dialects, with a new DiscPair and with one that
// has read every earlier input, and checks what holds for any file.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "disc_pair.h"
#include "fuzz_support.h"

namespace {

constexpr std::size_t kIndexHeaderSize = 96; // the destination dialect skips this many bytes

bool SameEntry(const TrailerEntry& a, const TrailerEntry& b) {
    return std::memcmp(a.name, b.name, sizeof a.name) == 0 && a.serial == b.serial &&
           a.start == b.start && a.end == b.end && a.offset == b.offset;
}

int32_t Count(const DiscPair& discs, IndexDialect dialect) {
    return dialect == IndexDialect::Source ? discs.SourceCount() : discs.DestinationCount();
}

const TrailerEntry& Entry(const DiscPair& discs, IndexDialect dialect, int32_t i) {
    return dialect == IndexDialect::Source ? discs.SourceTrailer(i) : discs.DestinationTrailer(i);
}

void CheckList(const DiscPair& discs, IndexDialect dialect, bool read, const std::uint8_t* data,
               std::size_t size) {
    const int32_t count = Count(discs, dialect);
    Check(count >= 0 && count <= kMaxTrailers, "count outside 0..255");
    Check(read || count == 0, "a failed read left trailers in the list");
    for (int32_t i = 0; i < count; ++i) {
        Check(Entry(discs, dialect, i).name[8] == 0, "a name without its ending 0");
    }
    // The destination dialect succeeds only at its end marker, after the skipped header.
    if (dialect == IndexDialect::Destination && read) {
        Check(size > kIndexHeaderSize &&
                  std::memchr(data + kIndexHeaderSize, 0x1A, size - kIndexHeaderSize) != nullptr,
              "a destination index read without an end marker");
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::string path = ScratchFolder() + kIndexFileName;
    static const auto reused = std::make_unique<DiscPair>();
    WriteFile(path, data, size);
    const auto fresh = std::make_unique<DiscPair>();
    for (const IndexDialect dialect : {IndexDialect::Source, IndexDialect::Destination}) {
        const bool freshRead = fresh->ReadIndex(dialect, path.c_str());
        const bool reusedRead = reused->ReadIndex(dialect, path.c_str());
        CheckList(*fresh, dialect, freshRead, data, size);
        CheckList(*reused, dialect, reusedRead, data, size);
        // Nothing carries over from one read to the next.
        Check(freshRead == reusedRead, "a reused DiscPair reads a different result");
        const int32_t count = Count(*fresh, dialect);
        Check(Count(*reused, dialect) == count, "a reused DiscPair reads a different count");
        for (int32_t i = 0; i < count; ++i) {
            Check(SameEntry(Entry(*fresh, dialect, i), Entry(*reused, dialect, i)),
                  "a reused DiscPair reads a different trailer");
        }
    }
    return 0;
}
