// kovdisc copy and verify run as processes inside a folder of their own, so that their whole
// outputs, with the relative paths they are given, can be compared with the golden files.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <sys/stat.h>

#include "kovdisc_fixture.h"

namespace {

// reel1: START 0 and not 0; LONG is longer than the pieces verify reads (262144 bytes); the
// writer cuts AB-1 and AB-2 to AB, so a disc holding both shows one line twice; TAIL's block
// runs 1000 bytes past the end of the audio file.
const std::string kReel1 = "OPEN 11 0 2 92\r\nLONG 12 3 80 7442\r\nAB-1 13 0 1 312467\r\n"
                           "AB-2 14 0 1 316142\r\nTAIL 15 1 4 319817\r\n\x1A";
const std::string kReel2 = "EXTRA 21 0 3 0\r\n\x1A"; // from the first byte of its audio file
// OPEN's record with other audio, EXTRA's in other letter case, and records that differ from
// the disc's LONG, TAIL and first AB in START, SERIAL or END alone.
const std::string kReel3 = "OPEN 11 0 2 92\r\nextra 21 0 3 7442\r\nLONG 12 2 80 92\r\n"
                           "TAIL 16 1 4 92\r\nAB 13 0 2 92\r\n\x1A";

// Where the trailers of the disc the tests build start in its audio file, and where it ends.
const std::size_t kOpenAt = 92;
const std::size_t kLongAt = 11117;
const std::size_t kTailAt = 308792;
const std::size_t kExtraAt = 323492;
const std::size_t kDiscEnd = 334517;

class CopyVerify : public KovdiscTest {
protected:
    void SetUp() override {
        WriteDisc("reel1", kReel1, 337192, 13);
        WriteDisc("reel2", kReel2, 92 + 3 * 3675, 7);
        WriteDisc("reel3", kReel3, 92 + 5 * 3675, 3);
        ASSERT_EQ(Run({"new", "disc"}), 0);
        ASSERT_EQ(Run({"add", "disc/R14TRLR.TXT", "reel1/R14TRLR.TXT", "OPEN", "AB-1", "LONG",
                       "AB-2", "TAIL"}),
                  0);
        ASSERT_EQ(Run({"add", "disc/R14TRLR.TXT", "reel2/R14TRLR.TXT"}), 0);
        discAudio = ReadFileBytes(Path("disc/R14T5.AUD"));
        transcript.clear();
    }

    void ChangeDiscAudio(const std::vector<std::size_t>& positions) {
        std::string audio = discAudio;
        for (const std::size_t position : positions) {
            audio[position] = static_cast<char>(audio[position] ^ 0x5A);
        }
        WriteFileBytes(Path("disc/R14T5.AUD"), audio);
    }

    std::string discAudio;
};

} // namespace

TEST_F(CopyVerify, CopyWritesTheDiscThatAddingFromTheSourcesWrites) {
    const std::string disc = DiscBytes("disc");
    EXPECT_EQ(Run({"copy", "disc/R14TRLR.TXT", "fixed", "#6", "#4", "LONG", "#2", "TAIL", "#4",
                   "--except", "tail"}),
              0);
    // An add that never finished stays on the disc, and out of the copy.
    WriteFileBytes(Path("disc/R14T5.AUD"), discAudio + "xy");
    const std::string unfinished = DiscBytes("disc");
    EXPECT_EQ(Run({"copy", "disc/R14TRLR.TXT", "whole/"}), 0);
    EXPECT_EQ(DiscBytes("disc"), unfinished);
    EXPECT_EQ(DiscBytes("whole"), disc);
    ExpectGolden("copy_rearranged", transcript);

    ASSERT_EQ(Run({"new", "added"}), 0);
    ASSERT_EQ(Run({"add", "added/R14TRLR.TXT", "reel2/R14TRLR.TXT", "EXTRA"}), 0);
    ASSERT_EQ(Run({"add", "added/R14TRLR.TXT", "reel1/R14TRLR.TXT", "AB-2", "LONG", "AB-1"}), 0);
    EXPECT_EQ(DiscBytes("fixed"), DiscBytes("added"));
}

TEST_F(CopyVerify, CopyRefusesBadPicksAndFoldersAndWritesNothing) {
    mkdir(Path("sub").c_str(), 0755);
    ASSERT_EQ(Run({"new", "taken"}), 0);
    WriteDisc("short", ReadFileBytes(Path("disc/R14TRLR.TXT")), kDiscEnd - 1, 13);
    // The disc under another index name: its folder is still the one the copy reads from.
    mkdir(Path("renamed").c_str(), 0755);
    WriteFileBytes(Path("renamed/INDEX.TXT"), ReadFileBytes(Path("disc/R14TRLR.TXT")));
    WriteFileBytes(Path("renamed/R14T5.AUD"), discAudio);
    transcript.clear();
    const std::string taken = DiscBytes("taken");
    const std::string disc = "disc/R14TRLR.TXT";
    for (const std::vector<std::string>& arguments : std::vector<std::vector<std::string>>{
             {disc, "disc"},
             {disc, "disc/", "--force"},
             {disc, "sub/../disc", "--force"},
             {"renamed/INDEX.TXT", "renamed", "--force"},
             {disc, "out", "nope"},
             {disc, "out", "AB"},
             {disc, "out", "#1", "#7"},
             {disc, "out", "#0"},
             {disc, "out", "LONG", "--except", "OPEN"},
             {disc, "out", "--except", "#6", "--except", "nope"},
             {disc, "out", "--except"},
             {disc, "taken", "LONG"},
             {disc, std::string(500, 'x')},
             {"reel1/R14TRLR.TXT", "out"},
             {"none/R14TRLR.TXT", "out"},
             {"short/R14TRLR.TXT", "out"},
         }) {
        std::vector<std::string> line = {"copy"};
        line.insert(line.end(), arguments.begin(), arguments.end());
        Run(line);
    }
    ExpectGolden("copy_refused", transcript);
    EXPECT_EQ(FilesIn(top.Path()), (std::vector<std::string>{"disc", "reel1", "reel2", "reel3",
                                                             "renamed", "short", "sub", "taken"}));
    EXPECT_EQ(FilesIn(Path("renamed")), (std::vector<std::string>{"INDEX.TXT", "R14T5.AUD"}));
    EXPECT_EQ(ReadFileBytes(Path("disc/R14T5.AUD")), discAudio);
    EXPECT_EQ(ReadFileBytes(Path("renamed/R14T5.AUD")), discAudio);
    EXPECT_EQ(DiscBytes("taken"), taken);
}

TEST_F(CopyVerify, VerifyFindsEachChangedByteAndTheTrailersWithoutASource) {
    // TAIL's last 1000 bytes came from past the end of reel1's audio, as 0xFF.
    EXPECT_EQ(discAudio.substr(kTailAt + 13700, 1001),
              std::string(1000, '\xFF') + discAudio[kExtraAt]);
    Run({"verify", "disc/R14TRLR.TXT", "reel1/R14TRLR.TXT", "reel2/R14TRLR.TXT"});
    // The first byte of the first trailer, the first of verify's second piece of LONG and
    // LONG's last, the first 0xFF byte of TAIL and the last byte of the last trailer.
    ChangeDiscAudio({kOpenAt, kLongAt + 262144, kLongAt + 293999, kTailAt + 13700, kDiscEnd - 1});
    const std::string changed = DiscBytes("disc");
    Run({"verify", "disc/R14TRLR.TXT", "reel1/R14TRLR.TXT", "reel2/R14TRLR.TXT"});
    Run({"verify", "--json", "disc/R14TRLR.TXT", "reel3/R14TRLR.TXT", "reel1/R14TRLR.TXT"});
    EXPECT_EQ(DiscBytes("disc"), changed);
    ExpectGolden("verify_changed", transcript);
}

TEST_F(CopyVerify, VerifyRefusesDamagedDiscsAndUnreadableSources) {
    std::remove(Path("reel2/R14T5.AUD").c_str());
    Run({"verify", "disc/R14TRLR.TXT", "reel1/R14TRLR.TXT", "reel2/R14TRLR.TXT"});
    Run({"verify", "reel1/R14TRLR.TXT", "reel1/R14TRLR.TXT"});
    Run({"verify", "disc/R14TRLR.TXT"});
    WriteFileBytes(Path("disc/R14T5.AUD"), discAudio + "z");
    Run({"verify", "disc/R14TRLR.TXT", "reel1/R14TRLR.TXT"});
    WriteFileBytes(Path("disc/R14T5.AUD"), discAudio.substr(0, kDiscEnd - 1));
    Run({"verify", "disc/R14TRLR.TXT", "reel1/R14TRLR.TXT", "--json"});
    ExpectGolden("verify_refused", transcript);
}
