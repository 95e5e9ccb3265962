// The built kovdisc run as a process: the discs it writes, its checks, refused picks and
// full disks, with its exit codes and streams.
#include <gtest/gtest.h>

#include <functional>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include "disc_fixture.h"
#include "disc_pair.h"
#include "file_size_limit.h"
#include "test_files.h"

namespace {

struct Outcome {
    int code;
    std::string out;
    std::string err;
};

// A source disc whose names test the PICK rules: ALPHA twice, "alpha" with ALPHA's list line,
// and GAMMA, whose block runs 12542 bytes past the end of the audio file.
const std::string kSourceIndex = ";source\r\nALPHA 1 0 30 92\r\nBeta 2 2 31 110342\r\n"
                                 "ALPHA 3 0 60 231617\r\nalpha 4 0 30 92\r\n"
                                 "GAMMA 5 1 10 452117\r\n\x1A";
const std::size_t kSourceAudioSize = 480000;

class Kovdisc : public ::testing::Test {
protected:
    void SetUp() override {
        std::string audio = kAudioHeaderBytes;
        while (audio.size() < kSourceAudioSize) {
            audio += static_cast<char>(audio.size() * 13 % 251);
        }
        WriteFileBytes(source.File(kIndexFileName), kSourceIndex);
        WriteFileBytes(source.File(kAudioFileName), audio);
    }

    Outcome Kov(std::vector<std::string> arguments) {
        const std::string out = streams.File("out");
        const std::string err = streams.File("err");
        arguments.insert(arguments.begin(), KOVDISC_PATH);
        std::vector<char*> argv;
        for (std::string& argument : arguments) {
            argv.push_back(argument.data());
        }
        argv.push_back(nullptr);
        const pid_t child = fork();
        if (child == 0) {
            dup2(open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), STDOUT_FILENO);
            dup2(open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), STDERR_FILENO);
            execv(argv[0], argv.data());
            _exit(127);
        }
        int status = 0;
        waitpid(child, &status, 0);
        return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadFileBytes(out),
                ReadFileBytes(err)};
    }

    std::string Disc() const { return disc.File(kIndexFileName); }
    std::string Source() const { return source.File(kIndexFileName); }
    std::string DiscFiles() const {
        return ReadFileBytes(disc.File(kIndexFileName)) + "|" +
               ReadFileBytes(disc.File(kAudioFileName));
    }

    TempFolder source;
    TempFolder disc;
    TempFolder streams;
};

} // namespace

TEST_F(Kovdisc, NewAndAddWriteTheDiscTheWindowsCallsWrite) {
    ASSERT_EQ(Kov({"new", disc.Path()}).code, 0);
    Outcome run = Kov({"add", Disc(), Source(), "beta", "#1", "#4", "gamma"});
    EXPECT_EQ(run.code, 0) << run.err;
    EXPECT_EQ(run.out, "added 3, skipped 1; " + Disc() + " now holds 3 trailers.\n");
    EXPECT_NE(run.err.find("skipped alpha: the disc already shows it"), std::string::npos);
    run = Kov({"add", Disc(), Source(), "#3", "Beta", "#1"});
    EXPECT_EQ(run.code, 0) << run.err;
    EXPECT_EQ(run.out, "added 1, skipped 2; " + Disc() + " now holds 4 trailers.\n");

    // Start New Disc, then Add of the same trailers: Beta, ALPHA, GAMMA, the longer ALPHA.
    TempFolder window;
    DiscPair discs;
    ASSERT_TRUE(
        discs.OpenSourceDisc(Source().c_str(), static_cast<int32_t>(source.Prefix().size())));
    ASSERT_TRUE(discs.OpenDestinationDisc(true, window.Path().c_str(), 0));
    for (const int32_t position : {1, 0, 4, 2}) {
        ASSERT_TRUE(discs.AddTrailer(position));
    }
    discs.CloseDestinationDisc();
    EXPECT_EQ(ReadFileBytes(Disc()), ReadFileBytes(window.File(kIndexFileName)));
    EXPECT_EQ(ReadFileBytes(disc.File(kAudioFileName)), ReadFileBytes(window.File(kAudioFileName)));

    run = Kov({"list", Source(), "--json"});
    ASSERT_EQ(run.code, 0);
    const nlohmann::json listed = nlohmann::json::parse(run.out);
    EXPECT_EQ(listed["count"], 5);
    EXPECT_EQ(listed["seconds"], 5);
    EXPECT_EQ(listed["audio_bytes"], kSourceAudioSize);
    EXPECT_EQ(listed["trailers"][3]["name"], "alpha");
    EXPECT_EQ(listed["trailers"][1]["missing_bytes"], 0);
    EXPECT_EQ(listed["trailers"][4]["missing_bytes"], 12542);
}

TEST_F(Kovdisc, HelpVersionAndNewWithAndWithoutForce) {
    Outcome run = Kov({"--version"});
    EXPECT_EQ(run.code, 0);
    EXPECT_EQ(run.out, "kovdisc 1.2\n");
    for (const char* command : {"list", "check", "new", "add"}) {
        run = Kov({command, "--help"});
        EXPECT_EQ(run.code, 0);
        EXPECT_NE(run.out.find("Example:\n  kovdisc " + std::string(command)), std::string::npos);
    }
    const std::string nested = disc.File("a") + kPathSeparator + "b";
    ASSERT_EQ(Kov({"new", nested}).code, 0);
    WriteFileBytes(disc.File(kAudioFileName), "not a disc");
    EXPECT_EQ(Kov({"new", disc.Path()}).code, 1);
    EXPECT_EQ(FilesIn(disc.Path()), (std::vector<std::string>{"R14T5.AUD", "a"}));
    EXPECT_EQ(Kov({"new", disc.Path() + kPathSeparator, "--force"}).code, 0);
    EXPECT_EQ(DiscFiles(),
              ReadFileBytes(nested + kPathSeparator + kIndexFileName) + "|" + kAudioHeaderBytes);
}

TEST_F(Kovdisc, BadPicksAndUnreadableInputsChangeNothing) {
    ASSERT_EQ(Kov({"new", disc.Path()}).code, 0);
    ASSERT_EQ(Kov({"add", Disc(), Source(), "#5"}).code, 0);
    const std::string before = DiscFiles();
    const std::vector<std::vector<std::string>> refused = {
        {"Beta", "ALPHA"},        // two trailers are named exactly ALPHA
        {"Beta", "Alpha"},        // three match it in other letter case
        {"Beta", "delta"},        // none is named so
        {"Beta", "#0"},           // positions count from 1
        {"Beta", "#6"},           // and end at the source's count
        {"Beta", "#1", "#2", ""}, // an empty name
    };
    for (const std::vector<std::string>& picks : refused) {
        std::vector<std::string> arguments = {"add", Disc(), Source()};
        arguments.insert(arguments.end(), picks.begin(), picks.end());
        const Outcome run = Kov(arguments);
        EXPECT_EQ(run.code, 2) << picks.back();
        EXPECT_EQ(run.err.rfind("kovdisc: ", 0), 0u) << run.err;
        EXPECT_EQ(run.out, "");
    }
    for (const std::vector<std::string>& usage : std::vector<std::vector<std::string>>{
             {"bogus"}, {"check", Disc(), "--fix"}, {"list"}, {"new", "a", "b"}, {}}) {
        EXPECT_EQ(Kov(usage).code, 2) << (usage.empty() ? "" : usage[0]);
    }
    EXPECT_EQ(Kov({"add", Disc(), source.File("none.txt")}).code, 2);
    EXPECT_EQ(Kov({"add", Disc(), source.File(kAudioFileName)}).code, 2); // not an index
    EXPECT_EQ(Kov({"list", source.File(kAudioFileName)}).code, 2);
    EXPECT_EQ(Kov({"add", Source(), Source()}).code, 2); // a source index is no written disc
    EXPECT_EQ(Kov({"add", Disc()}).code, 2);
    EXPECT_EQ(DiscFiles(), before);
}

TEST_F(Kovdisc, CheckReportsEachDamageAndCutsOnlyAnUnfinishedAdd) {
    ASSERT_EQ(Kov({"new", disc.Path()}).code, 0);
    ASSERT_EQ(Kov({"add", Disc(), Source(), "#1", "Beta"}).code, 0);
    const std::string index = ReadFileBytes(Disc());
    const std::string audio = ReadFileBytes(disc.File(kAudioFileName));
    struct Damage {
        const char* what;
        std::function<void(std::string& index, std::string& audio)> make;
        bool repairable;
    };
    const std::vector<Damage> damages = {
        {"sound", [](std::string&, std::string&) {}, true},
        {"is 1 byte short", [](std::string&, std::string& a) { a.pop_back(); }, false},
        {"does not start with the audio header", [](std::string&, std::string& a) { a[91] ^= 1; },
         false},
        {"trailer 2 Beta has OFFSET 110343",
         [](std::string& i, std::string&) { i.replace(i.find("110342"), 6, "110343"); }, false},
        {"1 byte after the last trailer", [](std::string&, std::string& a) { a += 'x'; }, true},
        {"holds 1 byte after the last trailer",
         [](std::string&, std::string& a) { a += 'x', a[0] = 't'; }, false},
    };
    for (const Damage& damage : damages) {
        std::string damagedIndex = index;
        std::string damagedAudio = audio;
        damage.make(damagedIndex, damagedAudio);
        const std::string damaged = damagedIndex + "|" + damagedAudio;
        const bool sound = damaged == index + "|" + audio;
        for (const bool repair : {false, true}) {
            WriteFileBytes(Disc(), damagedIndex);
            WriteFileBytes(disc.File(kAudioFileName), damagedAudio);
            const Outcome run =
                repair ? Kov({"check", Disc(), "--repair"}) : Kov({"check", Disc()});
            const bool repaired = repair && damage.repairable;
            EXPECT_EQ(run.code, sound || repaired ? 0 : 1) << damage.what << repair;
            EXPECT_NE(run.out.find(damage.what), std::string::npos) << run.out;
            EXPECT_EQ(DiscFiles(), repaired ? index + "|" + audio : damaged) << damage.what;
        }
    }
    EXPECT_EQ(Kov({"check", Source()}).code, 2);
    EXPECT_EQ(Kov({"check", disc.File("none.txt")}).code, 2);
}

TEST_F(Kovdisc, AFullDiskOrAFullDiscStopsTheAddAndLeavesTheDiscSound) {
    ASSERT_EQ(Kov({"new", disc.Path()}).code, 0);
    Outcome run;
    {
        FileSizeLimit limit(200000); // room for ALPHA's 110250 bytes, not for the longer ALPHA
        run = Kov({"add", Disc(), Source(), "#1", "#3", "Beta"});
    }
    EXPECT_EQ(run.code, 1);
    EXPECT_NE(run.err.find("kovdisc: could not add ALPHA to " + Disc()), std::string::npos);
    EXPECT_EQ(Kov({"check", Disc()}).out, Disc() + " is sound: 1 trailer, " +
                                              std::to_string(92 + 110250) + " bytes of audio.\n");

    // 255 trailers without audio: the next one does not fit in the list.
    std::string index = kIndexHeaderLines;
    for (int i = 0; i < kMaxTrailers; ++i) {
        index += "E\t\t1\t0\t0\t92\r\n";
    }
    WriteFileBytes(Disc(), index + "\x1A");
    WriteFileBytes(disc.File(kAudioFileName), kAudioHeaderBytes);
    const std::string full = DiscFiles();
    run = Kov({"add", Disc(), Source(), "Beta"});
    EXPECT_EQ(run.code, 1);
    EXPECT_NE(run.err.find("is full"), std::string::npos) << run.err;
    EXPECT_EQ(DiscFiles(), full);
}
