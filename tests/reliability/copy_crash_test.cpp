// kovdisc copy is killed at random moments, into fresh folders and over the disc an earlier
// round left: the folder must hold no index yet or a disc that continues with every listed
// trailer whole, and the disc copied from must stay as it was.
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
#include "program_run.h"
#include "sample_disc.h"
#include "test_files.h"
#include "whole_disc.h"

namespace {

const int32_t kTrailers = 40;
const int kKills = 30;

// Copies every trailer of the disc, the last first, with nothing on the terminal.
pid_t StartCopy(const std::string& disc, const std::string& folder) {
    std::vector<std::string> arguments = {KovdiscPath(), "copy", disc, folder, "--force"};
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

} // namespace

TEST(CopyCrashSafety, KilledCopiesLeaveAWholeDiscAndTheirInputAsItWas) {
    TempFolder work;
    SampleDiscOptions options;
    options.trailers = kTrailers;
    options.seconds = 1;
    options.seed = 5;
    static SampleTrailer trailers[kMaxSampleTrailers];
    ASSERT_TRUE(WriteSampleDisc(work.Path().c_str(), options, trailers));
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
    const std::string disc = discFolder + "/" + kIndexFileName;
    const std::string discFiles = ReadFileBytes(disc) + ReadFileBytes(discFolder + "/R14T5.AUD");

    // A copy left to its end sets how long a kill may wait.
    std::fflush(nullptr); // the child must not write out the parent's buffered output
    const auto started = std::chrono::steady_clock::now();
    int status = 0;
    waitpid(StartCopy(disc, work.File("whole")), &status, 0);
    const auto wholeCopy = std::chrono::duration_cast<std::chrono::microseconds>(
        std::chrono::steady_clock::now() - started);
    ASSERT_EQ(CheckWholeDisc(work.File("whole")).trailers, kTrailers);

    std::mt19937 random(77);
    int kills = 0;
    int finishedFirst = 0;
    int unfinished = 0;
    int cut = 0;
    auto longestWait = static_cast<useconds_t>(wholeCopy.count());
    for (int round = 0; kills < kKills && round < 20 * kKills; ++round) {
        const std::string folder =
            work.File(round % 2 == 1 ? "fresh" + std::to_string(round) : std::string("again"));
        const pid_t child = StartCopy(disc, folder);
        usleep(std::uniform_int_distribution<useconds_t>(0, longestWait)(random));
        kill(child, SIGKILL);
        waitpid(child, &status, 0);
        if (!WIFSIGNALED(status)) {
            // The copy ran faster than the one timed (a busy machine timed it slow): the round
            // is tried again, with the kills drawn from a shorter span.
            ++finishedFirst;
            longestWait = longestWait * 3 / 4;
            continue;
        }
        ++kills;
        if (FileExists(folder + "/" + kIndexFileName)) {
            const WholeDiscCheck check = CheckWholeDisc(folder);
            ASSERT_TRUE(check.whole) << check.fault << ", after kill " << kills;
            unfinished += check.trailers < kTrailers ? 1 : 0;
            cut += check.cutBytes > 0 ? 1 : 0;
        } else {
            ++unfinished;
        }
        ASSERT_EQ(ReadFileBytes(disc) + ReadFileBytes(discFolder + "/R14T5.AUD"), discFiles);
    }
    EXPECT_EQ(kills, kKills);
    EXPECT_GE(unfinished, kills / 4);
    std::printf("The copy was killed %d times, %d of them before it had copied every trailer and "
                "%d in the middle of one; every disc it left was whole. %d copies finished before "
                "their kill came.\n",
                kills, unfinished, cut, finishedFirst);
}
