// Writes source trailer discs whose audio bytes can be recomputed, for tests, the benchmark
// and the demo disc.
#pragma once

#include <cstdint>

struct SampleDiscOptions {
    std::int32_t trailers = 12;
    std::int32_t seconds = 20;   // typical length; each trailer's length varies around it
    std::int32_t fixedUnits = 0; // when above 0, every trailer is exactly this many index units
    std::uint32_t seed = 1;
};

struct SampleTrailer {
    char name[9]; // as written to the index: 1 to 8 letters and digits, then 0
    std::int32_t serial;
    std::int32_t startUnits;
    std::int32_t endUnits;
    std::int64_t offset;
};

constexpr std::int32_t kMaxSampleTrailers = 255;

// The byte at `position` of the audio of the trailer with this serial, counted from where the
// trailer's audio starts (its offset plus its start); negative positions lie before that.
unsigned char SampleByte(std::int32_t serial, std::int64_t position);

// Writes R14TRLR.TXT and R14T5.AUD into `folder` (which must exist) and describes each
// trailer in `trailers` (room for kMaxSampleTrailers). False if a file could not be written.
bool WriteSampleDisc(const char* folder, const SampleDiscOptions& options, SampleTrailer* trailers);
