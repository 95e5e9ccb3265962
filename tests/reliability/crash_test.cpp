// A process adding trailers is killed at random points of its work: once its audio has grown by
// a random number of bytes, up to two trailers' worth. Every time, the disc it leaves must open
// as a continued disc with every listed trailer's audio intact. The kills follow the process's
// progress, not the clock, so a busy machine changes only how long the test takes.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <random>
#include <string>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "disc_pair.h"
#include "sample_disc.h"
#include "test_files.h"
#include "whole_disc.h"

namespace {

const int32_t kSourceTrailers = 16;
const int kKills = 100;
const int32_t kTrailersBeforeANewDisc = 10;
const off_t kTrailerBytes = 110250; // one second of audio, as the sample disc's trailers hold
const auto kPatience = std::chrono::seconds(60);

int32_t FolderLength(const std::string& path) {
    return static_cast<int32_t>(path.find_last_of(kPathSeparator) + 1);
}

// The child: adds trailers, one after another, until it is killed or the list is full.
[[noreturn]] void AddUntilKilled(const std::string& sourceIndex, const std::string& folder,
                                 bool newDisc) {
    static DiscPair discs;
    const std::string index = folder + kPathSeparator + kIndexFileName;
    const bool opened =
        discs.OpenSourceDisc(sourceIndex.c_str(), FolderLength(sourceIndex)) &&
        (newDisc ? discs.OpenDestinationDisc(true, folder.c_str(), 0)
                 : discs.OpenDestinationDisc(false, index.c_str(), FolderLength(index)));
    if (!opened) {
        _exit(2);
    }
    for (int32_t i = 0; discs.DestinationCount() < kMaxTrailers; ++i) {
        if (!discs.AddTrailer(i % kSourceTrailers)) {
            _exit(3);
        }
    }
    _exit(0);
}

// The size of the file at `path`, 0 while there is none.
off_t SizeOf(const std::string& path) {
    struct stat status {};
    return stat(path.c_str(), &status) == 0 ? status.st_size : 0;
}

::testing::AssertionResult DiscIsWhole(const std::string& folder, int32_t* count) {
    const WholeDiscCheck check = CheckWholeDisc(folder);
    *count = check.trailers;
    if (!check.whole) {
        return ::testing::AssertionFailure() << check.fault;
    }
    return ::testing::AssertionSuccess();
}

} // namespace

TEST(CrashSafety, KilledAddsNeverCostTheDisc) {
    TempFolder source;
    TempFolder destination;
    SampleDiscOptions options;
    options.trailers = kSourceTrailers;
    options.seconds = 1;
    options.seed = 11;
    static SampleTrailer trailers[kMaxSampleTrailers];
    ASSERT_TRUE(WriteSampleDisc(source.Path().c_str(), options, trailers));
    const std::string sourceIndex = source.File(kIndexFileName);

    std::mt19937 random(2024);
    std::fflush(nullptr); // the child must not write out the parent's buffered output
    const std::string audio = destination.File(kAudioFileName);
    int kills = 0;
    int beforeAnyDisc = 0;
    int largestDisc = 0;
    bool newDisc = true;
    while (kills < kKills) {
        const bool heldADisc = FileExists(destination.File(kIndexFileName));
        // A new disc's audio starts empty; a continued one's grows from what it holds.
        const off_t target = (newDisc ? 0 : SizeOf(audio)) +
                             std::uniform_int_distribution<off_t>(0, 2 * kTrailerBytes)(random);
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            AddUntilKilled(sourceIndex, destination.Path(), newDisc);
        }
        const auto started = std::chrono::steady_clock::now();
        int status = 0;
        pid_t ended = 0;
        while (SizeOf(audio) < target && (ended = waitpid(child, &status, WNOHANG)) == 0) {
            ASSERT_LT(std::chrono::steady_clock::now() - started, kPatience)
                << "the adding process did not grow the audio to " << target << " bytes";
            usleep(100);
        }
        ASSERT_EQ(ended, 0) << "the adding process ended by itself: " << status;
        kill(child, SIGKILL);
        waitpid(child, &status, 0);
        ASSERT_TRUE(WIFSIGNALED(status)) << "the adding process ended by itself: " << status;

        // Killed before the first new disc had its index, the folder never held a disc: the
        // round is tried again.
        if (!FileExists(destination.File(kIndexFileName))) {
            ASSERT_FALSE(heldADisc) << "a disc lost its index, after kill " << kills + 1;
            ++beforeAnyDisc;
            continue;
        }
        ++kills;
        int32_t count = 0;
        ASSERT_TRUE(DiscIsWhole(destination.Path(), &count)) << "after kill " << kills;
        largestDisc = std::max(largestDisc, count);
        newDisc = count >= kTrailersBeforeANewDisc;
    }
    EXPECT_GE(largestDisc, kTrailersBeforeANewDisc);
    std::printf("The disc survived %d kills; the largest held %d trailers. %d kills came before "
                "the first disc had its index.\n",
                kills, largestDisc, beforeAnyDisc);
    RecordProperty("kills", kills);
}
