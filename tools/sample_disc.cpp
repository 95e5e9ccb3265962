#include "sample_disc.h"

#include <cstdio>
#include <cstring>

#include "disc_pair.h"

namespace {

const std::int64_t kUnit = kIndexUnit;
const unsigned char kGapByte = 0xA5;

// A small deterministic generator, so a seed always gives the same disc.
struct Random {
    std::uint32_t state;
    std::uint32_t Next() {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        return state;
    }
    std::int32_t Below(std::int32_t limit) {
        return static_cast<std::int32_t>(Next() % static_cast<std::uint32_t>(limit));
    }
};

bool JoinPath(char* out, std::size_t size, const char* folder, const char* name) {
    const int written = std::snprintf(out, size, "%s%c%s", folder, kPathSeparator, name);
    return written > 0 && static_cast<std::size_t>(written) < size;
}

// Writes `count` bytes made by `byteAt(i)` in large pieces.
template <typename ByteAt> bool WriteBytes(std::FILE* file, std::int64_t count, ByteAt byteAt) {
    static unsigned char buffer[1 << 16];
    std::int64_t done = 0;
    while (done < count) {
        std::int64_t piece = count - done;
        if (piece > static_cast<std::int64_t>(sizeof buffer)) {
            piece = sizeof buffer;
        }
        for (std::int64_t i = 0; i < piece; ++i) {
            buffer[i] = byteAt(done + i);
        }
        if (std::fwrite(buffer, 1, static_cast<std::size_t>(piece), file) !=
            static_cast<std::size_t>(piece)) {
            return false;
        }
        done += piece;
    }
    return true;
}

void MakeName(Random& random, char* name) {
    const char letters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789abcdefghijklmnopqrstuvwxyz";
    const std::int32_t length = 1 + random.Below(8);
    name[0] = letters[random.Below(26)]; // names start with a capital letter
    for (std::int32_t i = 1; i < length; ++i) {
        name[i] = letters[random.Below(static_cast<std::int32_t>(sizeof letters) - 1)];
    }
    name[length] = 0;
}

} // namespace

unsigned char SampleByte(std::int32_t serial, std::int64_t position) {
    std::uint32_t h = static_cast<std::uint32_t>(serial) * 0x9E3779B1u;
    h ^= static_cast<std::uint32_t>(position) * 0x85EBCA6Bu;
    h ^= static_cast<std::uint32_t>(position >> 32) * 0xC2B2AE35u;
    h ^= h >> 15;
    h *= 0x2C1B3C6Du;
    h ^= h >> 13;
    return static_cast<unsigned char>(h);
}

bool WriteSampleDisc(const char* folder, const SampleDiscOptions& options,
                     SampleTrailer* trailers) {
    if (options.trailers < 0 || options.trailers > kMaxSampleTrailers || options.seconds < 1) {
        return false;
    }
    Random random{options.seed == 0 ? 1u : options.seed};
    char indexPath[1024];
    char audioPath[1024];
    if (!JoinPath(indexPath, sizeof indexPath, folder, kIndexFileName) ||
        !JoinPath(audioPath, sizeof audioPath, folder, kAudioFileName)) {
        return false;
    }

    // Lay the trailers out: some have audio before their START, some have gaps after them.
    std::int64_t position = kAudioHeaderSize;
    for (std::int32_t i = 0; i < options.trailers; ++i) {
        SampleTrailer& t = trailers[i];
        MakeName(random, t.name);
        t.serial = 1000 + i * 7 + random.Below(7);
        t.startUnits = (i % 3 == 1) ? 1 + random.Below(5) : 0;
        const std::int32_t typical = options.seconds * 30;
        t.endUnits =
            options.fixedUnits > 0 ? options.fixedUnits : typical / 2 + random.Below(typical + 1);
        t.offset = position;
        position += (t.startUnits + static_cast<std::int64_t>(t.endUnits)) * kUnit;
        if (i % 4 == 2) {
            position += 1 + random.Below(5000);
        }
    }

    std::FILE* audio = std::fopen(audioPath, "wb");
    if (audio == nullptr) {
        return false;
    }
    bool ok = std::fwrite(kAudioHeader, 1, sizeof kAudioHeader, audio) == sizeof kAudioHeader;
    std::int64_t written = kAudioHeaderSize;
    for (std::int32_t i = 0; ok && i < options.trailers; ++i) {
        const SampleTrailer& t = trailers[i];
        ok = WriteBytes(audio, t.offset - written, [](std::int64_t) { return kGapByte; });
        const std::int64_t audioStart = t.offset + t.startUnits * kUnit;
        const std::int64_t blockSize =
            (t.startUnits + static_cast<std::int64_t>(t.endUnits)) * kUnit;
        ok = ok && WriteBytes(audio, blockSize, [&](std::int64_t p) {
                 return SampleByte(t.serial, t.offset + p - audioStart);
             });
        written = t.offset + blockSize;
    }
    ok = ok && WriteBytes(audio, position - written, [](std::int64_t) { return kGapByte; });
    ok = (std::fclose(audio) == 0) && ok;
    if (!ok) {
        return false;
    }

    std::FILE* index = std::fopen(indexPath, "wb");
    if (index == nullptr) {
        return false;
    }
    std::fputs(";KOV trailer disc, reel 14\r\n", index);
    std::fputs(";NAME\t\tSERIAL\tSTART\tEND\tOFFSET\r\n", index);
    // Columns are separated the way hand-edited index files are: TABs, blanks, or both.
    const char* const separators[] = {"\t", " ", "\t\t", "  ", " \t", "\t "};
    for (std::int32_t i = 0; i < options.trailers; ++i) {
        const SampleTrailer& t = trailers[i];
        const char* a = separators[random.Below(6)];
        const char* b = separators[random.Below(6)];
        std::fprintf(index, "%s%s%d%s%d%s%d%s%lld\r\n", t.name, a, t.serial, b, t.startUnits, a,
                     t.endUnits, b, static_cast<long long>(t.offset));
    }
    std::fputc(0x1A, index);
    return std::fclose(index) == 0;
}
