// kovdisc check: each kind of damage in its own words, and --repair cutting only the audio
// after the last trailer. Nothing else changes a byte.
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "kovdisc_fixture.h"

namespace {

using Check = KovdiscTest;

struct Damage {
    const char* name; // of the golden file, after "check_"
    std::function<void(std::string& index, std::string& audio)> make;
    bool repairable;
};

} // namespace

TEST_F(Check, NamesEachDamageAndRepairsOnlyAudioAfterTheLastTrailer) {
    const std::string index = Read("disc/R14TRLR.TXT");
    const std::string audio = Read("disc/R14T5.AUD");
    const auto replace = [](std::string& text, const std::string& from, const std::string& to) {
        text.replace(text.find(from), from.size(), to);
    };
    const std::vector<Damage> damages = {
        {"sound", [](std::string&, std::string&) {}, true},
        // Sound, though the writer would lay the index out with two TABs and end it at 0x1A.
        {"sound_relaid",
         [&](std::string& i, std::string&) {
             replace(i, "Zebra\t\t", "Zebra\t");
             i += "after the end marker";
         },
         true},
        {"tail", [](std::string&, std::string& a) { a += "xyz"; }, true},
        {"short", [](std::string&, std::string& a) { a.pop_back(); }, false},
        {"header", [](std::string&, std::string& a) { a[91] ^= 1; }, false},
        {"tail_and_header", [](std::string&, std::string& a) { a += "xyz", a[0] = 't'; }, false},
        {"empty_audio", [](std::string&, std::string& a) { a.clear(); }, false},
        {"offset", [&](std::string& i, std::string&) { replace(i, "73592", "73593"); }, false},
        // 1168724 units wrap to 93404 bytes, and the audio holds them: only END is wrong.
        {"wrapped_end",
         [&](std::string& i, std::string& a) {
             replace(i, "1\t10\t", "1\t1168724\t");
             a = a.substr(0, a.size() - 10 * 3675) + std::string(93404, 'w');
         },
         false},
        {"too_large",
         [&](std::string& i, std::string&) {
             replace(i, "\x1A", "Big\t\t1\t0\t584349\t327167\r\n\x1A");
         },
         false},
        {"index_cut", [](std::string& i, std::string&) { i.pop_back(); }, false},
    };
    for (const Damage& damage : damages) {
        std::string damagedIndex = index;
        std::string damagedAudio = audio;
        damage.make(damagedIndex, damagedAudio);
        Write("disc/R14TRLR.TXT", damagedIndex);
        Write("disc/R14T5.AUD", damagedAudio);
        const FileSnapshot damaged = Files("disc");
        std::string transcript = Kov({"check", "disc/R14TRLR.TXT"});
        EXPECT_EQ(ChangedFiles(damaged, Files("disc")), "") << damage.name;
        transcript += Kov({"check", "disc/R14TRLR.TXT", "--repair"});
        ExpectGolden(std::string("check_") + damage.name, transcript);
        if (damage.repairable) {
            EXPECT_EQ(FirstDifference(Read("disc/R14T5.AUD"), audio), "") << damage.name;
            EXPECT_EQ(Read("disc/R14TRLR.TXT"), damagedIndex) << damage.name;
        } else {
            EXPECT_EQ(ChangedFiles(damaged, Files("disc")), "") << damage.name;
        }
    }
}

// The record of an add that began after the last trailer: the audio after it is what that add
// left, and the repair takes the record with it.
TEST_F(Check, NamesTheAudioAnUnfinishedAddLeft) {
    const std::string audio = Read("disc/R14T5.AUD");
    Write("disc/R14T5.AUD", audio + "xyz");
    Write("disc/R14T5.ADD", std::to_string(audio.size()) + "\r\n");
    const FileSnapshot unfinished = Files("disc");
    std::string transcript = Kov({"check", "disc/R14TRLR.TXT"});
    EXPECT_EQ(ChangedFiles(unfinished, Files("disc")), "");
    transcript += Kov({"check", "disc/R14TRLR.TXT", "--repair"});
    ExpectGolden("check_unfinished", transcript);
    EXPECT_EQ(FirstDifference(Read("disc/R14T5.AUD"), audio), "");
    EXPECT_EQ(FilesIn(Path("disc")), (std::vector<std::string>{"R14T5.AUD", "R14TRLR.TXT"}));
}

TEST_F(Check, WorksInsideTheDiscsFolderAndRefusesWhatIsNoWrittenDisc) {
    const std::string audio = Read("disc/R14T5.AUD");
    Write("disc/R14T5.AUD", audio + "xyz");
    std::string inside = Kov({"check", "R14TRLR.TXT"}, "disc");
    inside += Kov({"check", "--repair", "R14TRLR.TXT"}, "disc");
    inside += Kov({"check", "R14TRLR.TXT"}, "disc");
    ExpectGolden("check_inside", inside);
    EXPECT_EQ(FirstDifference(Read("disc/R14T5.AUD"), audio), "");

    std::remove(Path("disc/R14T5.AUD").c_str());
    const FileSnapshot before = Files();
    ExpectGolden("check_no_audio", Kov({"check", "disc/R14TRLR.TXT", "--repair"}));
    std::string refused = Kov({"check", "empty/R14TRLR.TXT"});
    for (const char* index : {"none/R14TRLR.TXT", "disc", "source/R14T5.AUD"}) {
        refused += Kov({"check", index});
    }
    ExpectGolden("check_refused", refused);
    EXPECT_EQ(ChangedFiles(before, Files()), "");
}
