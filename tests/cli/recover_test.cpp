// kovdisc recover run as a process on discs built by kovdisc from fixed source discs, with its
// whole outputs compared with the golden files, and the index it writes with the one the disc
// had before it was lost.
#include <gtest/gtest.h>

#include <cstddef>
#include <string>
#include <vector>

#include "kovdisc_fixture.h"

namespace {

const std::size_t kUnit = 3675; // bytes of audio per index unit

// reel1: ZERO has no audio, and no block can be its; OPEN is the start of LONG; MID has START 1;
// TAIL's block runs one unit past the end of the audio file, so its last unit is 0xFF bytes;
// BACK starts before its audio file, which add refuses.
const std::string kReel1 = "ZERO 16 0 0 92\r\nOPEN 11 0 2 92\r\nLONG 12 0 4 92\r\n"
                           "MID 13 1 2 92\r\nTAIL 15 0 3 14792\r\nBACK 17 0 2 -3675\r\n\x1A";
const std::size_t kReel1Size = 92 + 6 * kUnit;
// The writer cuts EXT-RA to EXT.
const std::string kReel2 = "EXT-RA 21 0 2 92\r\n\x1A";
// DUP's block is OPEN's, under another name on another disc.
const std::string kReel3 = "DUP 41 0 2 92\r\n\x1A";
// A disc recover is never given.
const std::string kReel4 = "LOST 51 0 2 92\r\n\x1A";
// With reel1's audio, REST is the second half of LONG: OPEN and REST are LONG's bytes too.
const std::string kReel5 = "REST 61 2 2 92\r\n\x1A";

const char kDisc[] = "disc/R14TRLR.TXT";
const char kReel1Index[] = "reel1/R14TRLR.TXT";
const char kReel2Index[] = "reel2/R14TRLR.TXT";
const char kReel3Index[] = "reel3/R14TRLR.TXT";
const char kReel4Index[] = "reel4/R14TRLR.TXT";

class Recover : public KovdiscTest {
protected:
    void SetUp() override {
        WriteDisc("reel1", kReel1, kReel1Size, 13);
        WriteDisc("reel2", kReel2, 92 + 3 * kUnit, 7);
        WriteDisc("reel3", kReel3, 92 + 2 * kUnit, 13);
        WriteDisc("reel4", kReel4, 92 + 2 * kUnit, 3);
        WriteDisc("reel5", kReel5, kReel1Size, 13);
        // LONG, MID, TAIL, EXT and OPEN: 13 units of audio.
        ASSERT_EQ(Run({"new", "disc"}), 0);
        ASSERT_EQ(Run({"add", kDisc, kReel1Index, "LONG", "MID", "TAIL"}), 0);
        stale = Read(kDisc);
        ASSERT_EQ(Run({"add", kDisc, kReel2Index}), 0);
        ASSERT_EQ(Run({"add", kDisc, kReel1Index, "OPEN"}), 0);
        index = Read(kDisc);
        audio = Read("disc/R14T5.AUD");
        transcript.clear();
    }

    // Runs recover on the disc with the given sources and more arguments.
    int Recovers(const std::vector<std::string>& more) {
        std::vector<std::string> arguments = {"recover", kDisc, kReel1Index, kReel2Index,
                                              kReel3Index};
        arguments.insert(arguments.end(), more.begin(), more.end());
        return Run(arguments);
    }

    std::string stale; // the index after the first add
    std::string index; // the index of all five
    std::string audio;
};

} // namespace

TEST_F(Recover, FindsTheTrailersWhateverTheIndexSaysAndWritesTheIndexTheDiscHad) {
    const std::string header = index.substr(0, 96);
    const std::vector<std::pair<std::string, std::string>> indexes = {
        {"empty", ""},
        {"cut in the middle of its third record", index.substr(0, index.find("TAIL") + 6)},
        {"its header alone", header},
        {"stale", stale},
        {"foreign", kReel2},
        {"nothing but a 0 byte", std::string(1, '\0')},
    };
    EXPECT_EQ(Recovers({}), 0);
    EXPECT_EQ(Recovers({"--json"}), 0);
    ExpectGolden("recover_found", transcript);
    const std::string found = transcript.substr(0, transcript.find("$ kovdisc recover", 1));

    for (const auto& [state, bytes] : indexes) {
        Write(kDisc, bytes);
        transcript.clear();
        EXPECT_EQ(Recovers({}), 0) << state;
        EXPECT_EQ(transcript, found) << state;
        EXPECT_EQ(Read(kDisc), bytes) << state;
        EXPECT_EQ(Recovers({"--write"}), 0) << state << ": " << transcript;
        EXPECT_EQ(Read(kDisc), index) << state;
        EXPECT_EQ(Read("disc/R14T5.AUD"), audio) << state;
    }
    std::remove(Path(kDisc).c_str());
    EXPECT_EQ(Recovers({"--write"}), 0) << transcript;
    EXPECT_EQ(Read(kDisc), index);
    EXPECT_EQ(FilesIn(Path("disc")), (std::vector<std::string>{"R14T5.AUD", "R14TRLR.TXT"}));
    EXPECT_EQ(Run({"check", kDisc}), 0);
    EXPECT_EQ(Run({"verify", kDisc, kReel1Index, kReel2Index}), 0) << transcript;
}

TEST_F(Recover, ReadsAWrittenDiscWhereCopyReadsItAndNamesEveryDiscABlockIsOn) {
    // The disc itself with its stale index, and a copy of it, are written discs: MID, whose
    // START is 1, lies at its OFFSET there. reel1 is given twice.
    ASSERT_EQ(Run({"copy", kDisc, "copied"}), 0);
    Write(kDisc, stale);
    transcript.clear();
    EXPECT_EQ(Run({"recover", kDisc, kDisc, kReel2Index, kReel1Index, "copied/R14TRLR.TXT",
                   kReel3Index, kReel1Index}),
              0);
    EXPECT_EQ(Run({"recover", kDisc, kReel1Index, kReel2Index, kReel3Index, kReel1Index, "--json"}),
              0);
    ExpectGolden("recover_sources", transcript);
    EXPECT_EQ(Read(kDisc), stale);
}

TEST_F(Recover, AmongSequencesThatExplainAsMuchTakesTheFirstTrailerWhereTheyDiffer) {
    // LONG, or OPEN and REST: OPEN comes before LONG in reel1.
    EXPECT_EQ(Run({"recover", kDisc, "reel5/R14TRLR.TXT", kReel1Index, kReel2Index}), 0);
    ExpectGolden("recover_ties", transcript);
}

TEST_F(Recover, FindsBlocksAcrossThePiecesItReadsAndListsNoMoreThanAnIndexCan) {
    // BIG's 285 units end 1201 bytes before the first MiB after the header, so the next block's
    // first unit is read in two pieces, and the next block is compared in two.
    const std::size_t big = 285 * kUnit;
    WriteDisc("large", "BIG 1 0 285 92\r\nNEXT 2 0 300 92\r\nUNIT 3 0 1 92\r\n\x1A",
              92 + 300 * kUnit, 17);
    const std::string bytes = Read("large/R14T5.AUD");
    Write("disc/R14T5.AUD",
          bytes.substr(0, 92 + big) + bytes.substr(92, 300 * kUnit) + bytes.substr(92, kUnit));
    Write(kDisc, "");
    EXPECT_EQ(Run({"recover", kDisc, "large/R14TRLR.TXT", "--write"}), 0) << transcript;
    EXPECT_EQ(Read(kDisc).substr(96), "BIG\t\t1\t0\t285\t92\r\nNEXT\t\t2\t0\t300\t1047467\r\n"
                                      "UNIT\t\t3\t0\t1\t2149967\r\n\x1A");

    // 255 units are 255 trailers; of 256, the last is left out.
    std::string units = bytes.substr(0, 92);
    for (int i = 0; i < 255; ++i) {
        units += bytes.substr(92, kUnit);
    }
    Write("disc/R14T5.AUD", units);
    EXPECT_EQ(Run({"recover", kDisc, "large/R14TRLR.TXT", "--write", "--force"}), 0);
    Write("disc/R14T5.AUD", units + bytes.substr(92, kUnit));
    EXPECT_EQ(Run({"recover", kDisc, "large/R14TRLR.TXT", "--json"}), 1);
    const std::string json = transcript.substr(transcript.rfind("\"audio_bytes\""));
    EXPECT_EQ(json, "\"audio_bytes\": 940892,\n  \"recovered_bytes\": 937125,\n  \"rest\": {\n"
                    "    \"kind\": \"unmatched\",\n    \"at\": 937217,\n    \"bytes\": 3675\n"
                    "  },\n  \"in_use\": false\n}\n-- stderr\n");
}

TEST_F(Recover, ReportsWhatNoSourceExplainsAndNeverGuesses) {
    // The last block torn, with more and with less left of it than a block's first unit.
    Write("disc/R14T5.AUD", audio.substr(0, audio.size() - 1000));
    EXPECT_EQ(Recovers({}), 1);
    EXPECT_EQ(Recovers({"--json"}), 1);
    Write("disc/R14T5.AUD", audio.substr(0, audio.size() - 2 * kUnit + 1000));
    EXPECT_EQ(Recovers({}), 1);
    // The index is written for the trailers found, and check --repair cuts the rest.
    Write(kDisc, "");
    EXPECT_EQ(Recovers({"--write"}), 1);
    EXPECT_EQ(Read(kDisc), stale.substr(0, stale.size() - 1) + "EXT\t\t21\t0\t2\t33167\r\n\x1A");
    EXPECT_EQ(Run({"check", kDisc, "--repair"}), 0);

    // A block of a disc not given, after MID: nothing after it is recovered.
    ASSERT_EQ(Run({"new", "other"}), 0);
    ASSERT_EQ(Run({"add", "other/R14TRLR.TXT", kReel1Index, "MID"}), 0);
    ASSERT_EQ(Run({"add", "other/R14TRLR.TXT", kReel4Index}), 0);
    ASSERT_EQ(Run({"add", "other/R14TRLR.TXT", kReel1Index, "OPEN"}), 0);
    EXPECT_EQ(Run({"recover", "other/R14TRLR.TXT", kReel1Index, kReel2Index, kReel3Index}), 1);
    // The audio ends with three of LONG's four units: OPEN and a unit no block starts with
    // explain more than MID and an unfinished LONG.
    ASSERT_EQ(Run({"new", "torn", "--force"}), 0);
    ASSERT_EQ(Run({"add", "torn/R14TRLR.TXT", kReel1Index, "MID", "LONG"}), 0);
    const std::string torn = Read("torn/R14T5.AUD");
    Write("torn/R14T5.AUD", torn.substr(0, torn.size() - kUnit));
    EXPECT_EQ(Run({"recover", "torn/R14TRLR.TXT", kReel1Index, kReel3Index, "--json"}), 1);
    ExpectGolden("recover_rest", transcript);
}

TEST_F(Recover, WritesOverAReadableIndexOnlyWhatBeginsWithItsTrailersUnlessForced) {
    // The audio after TAIL is gone: the index's last two trailers would be dropped.
    Write("disc/R14T5.AUD", audio.substr(0, 92 + 9 * kUnit));
    EXPECT_EQ(Recovers({"--write"}), 1);
    EXPECT_EQ(Read(kDisc), index);
    // Letter case counts: LONG is not the index's "Long".
    std::string renamed = stale;
    renamed.replace(renamed.find("LONG"), 4, "Long");
    Write(kDisc, renamed);
    EXPECT_EQ(Recovers({"--write"}), 1);
    EXPECT_EQ(Read(kDisc), renamed);
    // So do SERIAL, START and END.
    for (const auto& [from, to] : std::vector<std::pair<std::string, std::string>>{
             {"\t12\t", "\t19\t"}, {"\t1\t2\t", "\t0\t2\t"}, {"\t0\t3\t", "\t0\t4\t"}}) {
        std::string changed = stale;
        changed.replace(changed.find(from), from.size(), to);
        Write(kDisc, changed);
        EXPECT_EQ(Recovers({"--write"}), 1) << to;
        EXPECT_EQ(Read(kDisc), changed);
    }
    EXPECT_EQ(Recovers({"--force"}), 2);
    EXPECT_EQ(Recovers({"--write", "--force"}), 0);
    EXPECT_EQ(Read(kDisc), stale);
    ExpectGolden("recover_write", transcript);
}

TEST_F(Recover, RefusesADiscWithoutTrailerAudioAndUnreadableSources) {
    const std::string reel1Audio = Read("reel1/R14T5.AUD");
    Write("disc/R14T5.AUD", reel1Audio.substr(0, 91));
    EXPECT_EQ(Recovers({}), 2);
    Write("disc/R14T5.AUD", "x" + reel1Audio.substr(1));
    EXPECT_EQ(Recovers({}), 2);
    std::remove(Path("disc/R14T5.AUD").c_str());
    EXPECT_EQ(Recovers({"--write"}), 2);
    Write("disc/R14T5.AUD", audio);
    std::remove(Path("reel2/R14T5.AUD").c_str());
    EXPECT_EQ(Recovers({}), 2);
    EXPECT_EQ(Run({"recover", kDisc, kReel1Index, "missing/R14TRLR.TXT"}), 2);
    EXPECT_EQ(Run({"recover", kDisc}), 2);
    ExpectGolden("recover_refused", transcript);
    EXPECT_EQ(Read(kDisc), index);
    EXPECT_EQ(Read("disc/R14T5.AUD"), audio);
}
