// kovdisc new, the command line's usage errors, and names too long for the core.
#include <algorithm>
#include <filesystem>

#include "kovdisc_fixture.h"

namespace fs = std::filesystem;

namespace {

using New = KovdiscTest;

// A folder name of `length` characters below "long", in folders of at most 200 characters.
std::string LongFolder(std::size_t length) {
    std::string folder = "long";
    while (folder.size() < length) {
        folder += "/" + std::string(std::min<std::size_t>(200, length - folder.size() - 1), 'f');
    }
    return folder;
}

} // namespace

TEST_F(New, WritesAnEmptyDiscAndReplacesOneOnlyWithForce) {
    fs::create_directory(Path("inside"));
    std::string made = Kov({"new", "fresh"});
    made += FileText("fresh/R14TRLR.TXT");
    made += Kov({"new", "."}, "inside");
    made += Kov({"new", "a/b/"});
    ExpectGolden("new", made);
    for (const char* folder : {"fresh/", "inside/", "a/b/"}) {
        EXPECT_EQ(Read(folder + std::string("R14TRLR.TXT")), kIndexHeaderLines + "\x1A");
        EXPECT_EQ(Read(folder + std::string("R14T5.AUD")), kAudioHeaderBytes);
    }

    // Either file of a disc is enough to refuse; --force replaces both.
    fs::create_directory(Path("audio"));
    Write("audio/R14T5.AUD", "not a disc");
    const FileSnapshot before = Files();
    std::string refused = Kov({"new", "disc"});
    refused += Kov({"new", "audio"});
    ExpectGolden("new_over_a_disc", refused);
    EXPECT_EQ(ChangedFiles(before, Files()), "");
    ExpectGolden("new_force", Kov({"new", "disc", "--force"}));
    EXPECT_EQ(Read("disc/R14TRLR.TXT"), kIndexHeaderLines + "\x1A");
    EXPECT_EQ(Read("disc/R14T5.AUD"), kAudioHeaderBytes);
}

TEST_F(New, UsageErrorsAndVersion) {
    std::string usage = Kov({"--version"});
    for (const std::vector<std::string>& arguments :
         std::vector<std::vector<std::string>>{{},
                                               {"bogus"},
                                               {"list"},
                                               {"check", "disc/R14TRLR.TXT", "--fix"},
                                               {"new", "a", "b"},
                                               {"add", "disc/R14TRLR.TXT"}}) {
        usage += Kov(arguments);
    }
    ExpectGolden("usage", usage);
    for (const char* command : {"list", "check", "new", "add"}) {
        const std::string run = Kov({command, "--help"});
        EXPECT_NE(run.find("-- exit 0\n"), std::string::npos) << run;
        EXPECT_NE(run.find("Example:\n  kovdisc " + std::string(command)), std::string::npos);
    }
}

// The core's file name buffer holds 511 characters and the 0: a name one longer is refused by
// every command, before anything is read or written.
TEST_F(New, NamesOneCharacterTooLongAreRefusedByEveryCommand) {
    // With "/R14TRLR.TXT", 511 and 512 characters.
    const std::string fits = LongFolder(499);
    const std::string over = LongFolder(500);
    const std::string fitsIndex = fits + "/R14TRLR.TXT";
    const std::string overIndex = over + "/R14TRLR.TXT";
    std::string tooLong = Kov({"new", over});
    for (const std::vector<std::string>& arguments :
         std::vector<std::vector<std::string>>{{"list", overIndex},
                                               {"check", overIndex},
                                               {"add", overIndex, "source/R14TRLR.TXT"},
                                               {"add", "disc/R14TRLR.TXT", overIndex}}) {
        tooLong += Kov(arguments);
    }
    ExpectGolden("names_too_long", tooLong);
    EXPECT_FALSE(FileExists(Path(over)));

    std::string fit = Kov({"new", fits});
    fit += Kov({"add", fitsIndex, "source/R14TRLR.TXT", "#1"});
    fit += Kov({"check", fitsIndex});
    ExpectGolden("names_that_fit", fit);

    // A short index name in a folder of 503 characters: "R14T5.AUD" beside it takes 513.
    const std::string shortName = LongFolder(503) + "/I";
    fs::create_directories(Path(LongFolder(503)));
    Write(shortName, Read("source/R14TRLR.TXT"));
    ExpectGolden("names_too_long_audio", Kov({"list", shortName}));
}
