// copy_bench [--mib M] [--folder DIR]
// Times adding one trailer of M MiB (default 256) with AddTrailer against a plain 64 KiB
// fread/fwrite copy of the same bytes, and against the bare loop of single-byte stream calls
// that AddTrailer is built on (the fastest a copy a byte at a time can be on this C runtime),
// five rounds each, in a scratch folder on one file system. AddTrailer waits until the device
// holds the audio before it lists the trailer; the two copies it is held to wait the same way
// at their end, so that like is compared with like. The last line is
// ratio=<AddTrailer MiB/s / block-copy MiB/s>.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "disc_pair.h"
#include "sample_disc.h"
#include "stream_io.h"

namespace fs = std::filesystem;

namespace {

const int kRounds = 5;

double Seconds(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

double Median(double* values) {
    std::sort(values, values + kRounds);
    return values[kRounds / 2];
}

bool TimeAddTrailer(const fs::path& source, const fs::path& target, double* seconds) {
    static DiscPair discs;
    const std::string index = (source / kIndexFileName).string();
    const auto folderLength = static_cast<int32_t>(index.size() - std::strlen(kIndexFileName));
    if (!discs.OpenSourceDisc(index.c_str(), folderLength)) {
        return false;
    }
    const auto started = std::chrono::steady_clock::now();
    const bool ok =
        discs.OpenDestinationDisc(true, target.string().c_str(), 0) && discs.AddTrailer(0);
    discs.CloseDestinationDisc();
    *seconds = Seconds(started);
    discs.CloseSourceDisc();
    return ok;
}

bool TimeBlockCopy(const fs::path& source, const fs::path& target, std::int64_t from,
                   std::int64_t size, double* seconds) {
    static char buffer[64 * 1024];
    const auto started = std::chrono::steady_clock::now();
    std::FILE* in = std::fopen((source / kAudioFileName).string().c_str(), "rb");
    std::FILE* out = std::fopen((target / "block.copy").string().c_str(), "wb");
    bool ok = in != nullptr && out != nullptr && SeekStream(in, from, SEEK_SET);
    std::int64_t left = size;
    while (ok && left > 0) {
        const std::size_t want = left < static_cast<std::int64_t>(sizeof buffer)
                                     ? static_cast<std::size_t>(left)
                                     : sizeof buffer;
        const std::size_t got = std::fread(buffer, 1, want, in);
        ok = got == want && std::fwrite(buffer, 1, got, out) == got;
        left -= static_cast<std::int64_t>(got);
    }
    ok = ok && FlushToDevice(out);
    if (in != nullptr) {
        std::fclose(in);
    }
    if (out != nullptr) {
        ok = std::fclose(out) == 0 && ok;
    }
    *seconds = Seconds(started);
    return ok;
}

// The copy loop of AddTrailer and nothing else: no disc, no index, no checks.
bool TimeByteLoop(const fs::path& source, const fs::path& target, std::int64_t from,
                  std::int64_t size, double* seconds) {
    const auto started = std::chrono::steady_clock::now();
    std::FILE* in = std::fopen((source / kAudioFileName).string().c_str(), "rb");
    std::FILE* out = std::fopen((target / "byte.copy").string().c_str(), "wb");
    bool ok = in != nullptr && out != nullptr && SeekStream(in, from, SEEK_SET);
    const auto count = static_cast<std::int32_t>(size);
    std::int32_t copied = 0;
    for (; ok && copied < count; ++copied) {
        const int byte = GetByte(in);
        if (byte == EOF) {
            break;
        }
        PutByte(byte, out);
    }
    ok = ok && copied == count && FlushToDevice(out);
    if (in != nullptr) {
        std::fclose(in);
    }
    if (out != nullptr) {
        ok = std::fclose(out) == 0 && ok;
    }
    *seconds = Seconds(started);
    return ok;
}

} // namespace

int main(int argc, char** argv) {
    long mib = 256;
    fs::path base = fs::current_path();
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--mib") == 0) {
            mib = std::strtol(argv[i + 1], nullptr, 10);
        } else if (std::strcmp(argv[i], "--folder") == 0) {
            base = argv[i + 1];
        }
    }
    if (mib < 1 || mib > 2000) {
        std::fprintf(stderr, "usage: copy_bench [--mib 1..2000] [--folder DIR]\n");
        return 2;
    }
    const fs::path scratch = base / "copy_bench.scratch";
    const fs::path source = scratch / "source";
    const fs::path target = scratch / "target";
    std::error_code error;
    fs::remove_all(scratch, error);
    fs::create_directories(source, error);
    fs::create_directories(target, error);

    SampleDiscOptions options;
    options.trailers = 1;
    options.fixedUnits = static_cast<std::int32_t>(mib * 1024 * 1024 / kIndexUnit);
    static SampleTrailer trailers[kMaxSampleTrailers];
    if (!WriteSampleDisc(source.string().c_str(), options, trailers)) {
        std::fprintf(stderr, "copy_bench: cannot write the source disc in %s\n",
                     source.string().c_str());
        return 1;
    }
    const std::int64_t size = static_cast<std::int64_t>(trailers[0].endUnits) * kIndexUnit;
    const std::int64_t from = trailers[0].offset + trailers[0].startUnits * kIndexUnit;
    const double mebibytes = static_cast<double>(size) / (1024.0 * 1024.0);
    std::printf("trailer of %.1f MiB, %d rounds each, in %s\n", mebibytes, kRounds,
                scratch.string().c_str());

    double addRates[kRounds];
    double blockRates[kRounds];
    double byteRates[kRounds];
    for (int round = 0; round < kRounds; ++round) {
        double addSeconds = 0;
        double blockSeconds = 0;
        double byteSeconds = 0;
        if (!TimeAddTrailer(source, target, &addSeconds) ||
            !TimeBlockCopy(source, target, from, size, &blockSeconds) ||
            !TimeByteLoop(source, target, from, size, &byteSeconds)) {
            std::fprintf(stderr, "copy_bench: a copy failed\n");
            fs::remove_all(scratch, error);
            return 1;
        }
        addRates[round] = mebibytes / addSeconds;
        blockRates[round] = mebibytes / blockSeconds;
        byteRates[round] = mebibytes / byteSeconds;
        std::printf(
            "round %d: AddTrailer %.1f MiB/s, block copy %.1f MiB/s, byte loop %.1f MiB/s\n",
            round + 1, addRates[round], blockRates[round], byteRates[round]);
    }
    fs::remove_all(scratch, error);
    const double add = Median(addRates);
    const double block = Median(blockRates);
    std::printf("AddTrailer (median): %.1f MiB/s\n", add);
    std::printf("block copy (median): %.1f MiB/s\n", block);
    std::printf("byte loop (median): %.1f MiB/s\n", Median(byteRates));
    std::printf("ratio=%.2f\n", add / block);
    return 0;
}
