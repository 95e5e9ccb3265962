// make_sample_disc FOLDER [--trailers N] [--seconds S] [--fixed-units U] [--seed X]
// Writes a source trailer disc into FOLDER, creating the folder if needed.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "disc_pair.h"
#include "sample_disc.h"

namespace {

const char kUsage[] = "usage: make_sample_disc FOLDER [--trailers N] [--seconds S] "
                      "[--fixed-units U] [--seed X]\n"
                      "Writes a source trailer disc into FOLDER, creating the folder if needed.\n";

int Usage() {
    std::fputs(kUsage, stderr);
    return 2;
}

bool ParseNumber(const char* text, long minimum, long maximum, long* value) {
    char* end = nullptr;
    *value = std::strtol(text, &end, 10);
    return end != text && *end == 0 && *value >= minimum && *value <= maximum;
}

} // namespace

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(kUsage, stdout);
            return 0;
        }
    }
    // A FOLDER that starts like an option is an option given in the wrong place.
    if (argc < 2 || argc % 2 != 0 || argv[1][0] == '-') {
        return Usage();
    }
    SampleDiscOptions options;
    for (int i = 2; i < argc; i += 2) {
        long value = 0;
        if (std::strcmp(argv[i], "--trailers") == 0 &&
            ParseNumber(argv[i + 1], 0, kMaxSampleTrailers, &value)) {
            options.trailers = static_cast<std::int32_t>(value);
        } else if (std::strcmp(argv[i], "--seconds") == 0 &&
                   ParseNumber(argv[i + 1], 1, 3600, &value)) {
            options.seconds = static_cast<std::int32_t>(value);
        } else if (std::strcmp(argv[i], "--fixed-units") == 0 &&
                   ParseNumber(argv[i + 1], 1, 0x7FFFFFFF / kIndexUnit, &value)) {
            options.fixedUnits = static_cast<std::int32_t>(value);
        } else if (std::strcmp(argv[i], "--seed") == 0 &&
                   ParseNumber(argv[i + 1], 0, 0x7FFFFFFF, &value)) {
            options.seed = static_cast<std::uint32_t>(value);
        } else {
            return Usage();
        }
    }
    std::error_code error;
    std::filesystem::create_directories(argv[1], error);
    static SampleTrailer trailers[kMaxSampleTrailers];
    if (!WriteSampleDisc(argv[1], options, trailers)) {
        std::fprintf(stderr, "make_sample_disc: cannot write the disc in %s\n", argv[1]);
        return 1;
    }
    std::printf("wrote %d trailers to %s\n", options.trailers, argv[1]);
    for (std::int32_t i = 0; i < options.trailers; ++i) {
        std::printf("  %-8s serial %d  start %d  end %d  offset %lld\n", trailers[i].name,
                    trailers[i].serial, trailers[i].startUnits, trailers[i].endUnits,
                    static_cast<long long>(trailers[i].offset));
    }
    return 0;
}
