// kovdisc copy is killed at random moments, into a fresh folder and over an older disc: every
// time, what the folder holds must open as a continued disc whose trailers are the first ones
// picked, each with its whole audio, and the disc copied from must be as it was.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "disc_pair.h"
#include "sample_disc.h"
#include "test_files.h"
#include "whole_disc.h"

namespace {

const int32_t kTrailers = 40;
const int kMostKills = 60;
const auto kTimeLimit = std::chrono::seconds(25);

pid_t StartCopy(const std::string& disc, const std::string& folder) {
    std::vector<std::string> arguments = {KOVDISC_PATH, "copy", disc, folder, "--force"};
    // Every trailer, the last first, so the copy reads the disc out of order.
    for (int32_t i = kTrailers; i >= 1; --i) {
        arguments.push_back("#" + std::to_string(i));
    }
    std::vector<char*> argv;
    for (std::string& argument : arguments) {
        argv.push_back(argument.data());
    }
    argv.push_back(nullptr);
    const pid_t child = fork();
    if (child == 0) {
        const int nowhere = open("/dev/null", O_WRONLY);
        dup2(nowhere, STDOUT_FILENO);
        dup2(nowhere, STDERR_FILENO);
        execv(argv[0], argv.data());
        _exit(127);
    }
    return child;
}

std::string DiscFiles(const std::string& folder) {
    return ReadFileBytes(folder + kPathSeparator + kIndexFileName) + "|" +
           ReadFileBytes(folder + kPathSeparator + kAudioFileName);
}

// The folder holds no index yet, or a whole disc listing the first trailers of the copy.
::testing::AssertionResult CopyIsWhole(const std::string& folder, const SampleTrailer* trailers,
                                       WholeDiscCheck* check) {
    *check = WholeDiscCheck{true, "", 0, 0};
    if (!FileExists(folder + kPathSeparator + kIndexFileName)) {
        return ::testing::AssertionSuccess();
    }
    *check = CheckWholeDisc(folder);
    if (!check->whole) {
        return ::testing::AssertionFailure() << check->fault;
    }
    DiscPair discs;
    DiscReport report;
    discs.CheckDestinationDisc((folder + kPathSeparator + kIndexFileName).c_str(),
                               static_cast<int32_t>(folder.size() + 1), report);
    for (int32_t i = 0; i < report.count; ++i) {
        if (discs.DestinationTrailer(i).serial != trailers[kTrailers - 1 - i].serial) {
            return ::testing::AssertionFailure() << "trailer " << i + 1 << " is not in its place";
        }
    }
    return ::testing::AssertionSuccess();
}

} // namespace

TEST(CopyCrashSafety, KilledCopiesLeaveAWholeDiscAndTheirInputAsItWas) {
    TempFolder work;
    SampleDiscOptions options;
    options.trailers = kTrailers;
    options.seconds = 1;
    options.seed = 5;
    static SampleTrailer trailers[kMaxSampleTrailers];
    ASSERT_TRUE(WriteSampleDisc(work.Path().c_str(), options, trailers));
    // The disc to copy holds every trailer, added from the sample disc.
    const std::string discFolder = work.File("disc");
    ASSERT_EQ(mkdir(discFolder.c_str(), 0755), 0);
    {
        DiscPair discs;
        ASSERT_TRUE(discs.OpenSourceDisc(work.File(kIndexFileName).c_str(),
                                         static_cast<int32_t>(work.Prefix().size())));
        ASSERT_TRUE(discs.OpenDestinationDisc(true, discFolder.c_str(), 0));
        for (int32_t i = 0; i < kTrailers; ++i) {
            ASSERT_TRUE(discs.AddTrailer(i));
        }
    }
    const std::string disc = discFolder + kPathSeparator + kIndexFileName;
    const std::string discFiles = DiscFiles(discFolder);

    // One copy to its end sets how long the kills may wait.
    std::fflush(nullptr); // the child must not write out the parent's buffered output
    const auto started = std::chrono::steady_clock::now();
    int status = 0;
    waitpid(StartCopy(disc, work.File("whole")), &status, 0);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    const auto wholeCopy = std::chrono::duration_cast<std::chrono::microseconds>(
        std::chrono::steady_clock::now() - started);
    WholeDiscCheck check;
    ASSERT_TRUE(CopyIsWhole(work.File("whole"), trailers, &check));
    ASSERT_EQ(check.trailers, kTrailers);

    std::mt19937 random(77);
    int kills = 0;
    int unfinished = 0;
    int cut = 0;
    while (kills < kMostKills && std::chrono::steady_clock::now() - started < kTimeLimit) {
        // Odd rounds copy into a fresh folder, even ones over the disc the last round left.
        const std::string folder =
            work.File(kills % 2 == 1 ? "fresh" + std::to_string(kills) : std::string("again"));
        const pid_t child = StartCopy(disc, folder);
        usleep(std::uniform_int_distribution<useconds_t>(
            0, static_cast<useconds_t>(wholeCopy.count()))(random));
        kill(child, SIGKILL);
        waitpid(child, &status, 0);
        if (!WIFSIGNALED(status)) {
            ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
            continue; // it finished before the kill
        }
        ++kills;
        ASSERT_TRUE(CopyIsWhole(folder, trailers, &check)) << "after kill " << kills;
        unfinished += check.trailers < kTrailers ? 1 : 0;
        cut += check.cutBytes > 0 ? 1 : 0;
        ASSERT_EQ(DiscFiles(discFolder), discFiles) << "after kill " << kills;
    }
    EXPECT_GE(kills, 40);
    EXPECT_GE(unfinished, kills / 4);
    std::printf("The copy was killed %d times, %d of them before it had copied every trailer and "
                "%d in the middle of one; every disc it left was whole.\n",
                kills, unfinished, cut);
    RecordProperty("kills", kills);
}
