// kovdisc add: the trailers it copies and skips, its progress lines, and the inputs it refuses
// before writing anything.
#include <filesystem>
#include <string>
#include <vector>

#include "disc_pair.h"
#include "file_size_limit.h"
#include "kovdisc_fixture.h"
#include "program_run.h"

namespace {

class Add : public KovdiscTest {
protected:
    // The audio of a new disc to which the window adds these trailers of source/.
    std::string WindowAudio(const std::vector<int32_t>& positions) const {
        TempFolder folder;
        DiscPair discs;
        EXPECT_TRUE(discs.OpenSourceDisc(Path("source/R14TRLR.TXT").c_str(),
                                         static_cast<int32_t>(Path("source/").size())));
        EXPECT_TRUE(discs.OpenDestinationDisc(true, folder.Path().c_str(), 0));
        for (const int32_t position : positions) {
            EXPECT_TRUE(discs.AddTrailer(position));
        }
        discs.CloseDestinationDisc();
        return ReadFileBytes(folder.File(kAudioFileName));
    }
};

} // namespace

TEST_F(Add, CopiesThePicksInOrderAndSkipsWhatTheDiscShows) {
    // disc/ holds Zebra, twin and Part. Twin and TWIN share a list line; twin is longer. The
    // writer cuts the name "Caf\xE9" to "Caf", so a later run adds it again, as the window would.
    std::string picks = Kov({"add", "disc/R14TRLR.TXT", "source/R14TRLR.TXT", "zebra", "#11",
                             "JAZZ", "Twin", "TWIN", "#2", "jazz"});
    picks += Kov({"add", "R14TRLR.TXT", "../source/R14TRLR.TXT", "#7"}, "disc");
    picks += Kov({"add", "../disc/R14TRLR.TXT", "R14TRLR.TXT", "eDGE", "cAF\xE9"}, "source");
    picks += FileText("disc/R14TRLR.TXT");
    ExpectGolden("add_picks", picks);
    EXPECT_EQ(FirstDifference(Read("disc/R14T5.AUD"), WindowAudio({0, 4, 9, 10, 7, 2, 1, 6, 8, 1})),
              "");
}

// Each batch is committed before its trailers are reported, and each commit but the last says
// what the disc holds: here a commit for every trailer.
TEST_F(Add, ReportsEachBatchOnceItIsCommitted) {
    const BatchSeconds eachOnItsOwn("0");
    const std::string batches =
        Kov({"add", "disc/R14TRLR.TXT", "source/R14TRLR.TXT", "#2", "zebra", "#3", "#5"});
    ExpectGolden("add_batches", batches + Kov({"check", "disc/R14TRLR.TXT"}));
}

TEST_F(Add, WithoutPicksAddsEveryTrailerTheDiscDoesNotShow) {
    std::string all = Kov({"new", "fresh"});
    all += Kov({"add", "fresh/R14TRLR.TXT", "source/R14TRLR.TXT"});
    all += FileText("fresh/R14TRLR.TXT");
    ExpectGolden("add_all", all);
    EXPECT_EQ(
        FirstDifference(Read("fresh/R14T5.AUD"), WindowAudio({0, 1, 2, 4, 5, 6, 7, 8, 9, 10})), "");
}

// Audio after the last trailer is cut first only where the record of an add says an add began
// there. Anything else may be trailers an older index no longer lists: the add is refused.
TEST_F(Add, CutsOnlyTheAudioOfAnUnfinishedAdd) {
    const std::string index = Read("disc/R14TRLR.TXT");
    const std::string audio = Read("disc/R14T5.AUD");
    // The index of the disc as it was after its first two trailers, put back over its audio.
    const std::string older = index.substr(0, index.find("Part")) + "\x1A";
    Write("disc/R14TRLR.TXT", older);
    const FileSnapshot putBack = Files("disc");
    std::string refused = Kov({"add", "disc/R14TRLR.TXT", "source/R14TRLR.TXT", "twin"});
    EXPECT_EQ(ChangedFiles(putBack, Files("disc")), "");

    Write("disc/R14TRLR.TXT", index);
    Write("disc/R14T5.AUD", audio + "xyz");
    // A record of an add that began elsewhere says nothing of these bytes.
    Write("disc/R14T5.ADD", "327166\r\n");
    const FileSnapshot tail = Files("disc");
    refused += Kov({"add", "R14TRLR.TXT", "../source/R14TRLR.TXT", "#8"}, "disc");
    EXPECT_EQ(ChangedFiles(tail, Files("disc")), "");
    ExpectGolden("add_refused_unlisted_audio", refused);

    Write("disc/R14T5.ADD", "327167\r\n");
    std::string cut = Kov({"add", "disc/R14TRLR.TXT", "source/R14TRLR.TXT", "#8"});
    cut += FileText("disc/R14TRLR.TXT");
    ExpectGolden("add_after_unfinished", cut);
    EXPECT_EQ(FirstDifference(Read("disc/R14T5.AUD"), WindowAudio({0, 4, 9, 7})), "");
    EXPECT_EQ(FilesIn(Path("disc")), (std::vector<std::string>{"R14T5.AUD", "R14TRLR.TXT"}));
}

TEST_F(Add, RefusesBadPicksAndUnusableInputsBeforeWritingAnything) {
    // Each case's runs: the disc, the source and the PICKs of each.
    const std::vector<std::pair<const char*, std::vector<std::vector<std::string>>>> cases = {
        {"add_unknown_name", {{"disc", "source", "Zebra", "Grape"}}},
        // Two named exactly Alpha; Twin, TWIN and twin, and both Alphas, in other letter case.
        {"add_ambiguous_names",
         {{"disc", "source", "Alpha"}, {"disc", "source", "tWiN"}, {"disc", "source", "alpha"}}},
        {"add_positions_out_of_range",
         {{"disc", "source", "#0"},
          {"disc", "source", "#1", "#12"},
          {"disc", "source", "#99999999999999999999"},
          {"disc", "source", "#4294967297"}}}, // 2^32 + 1, which would wrap to #1
        {"add_picks_that_are_names",
         {{"disc", "source", "#"},
          {"disc", "source", "#1x"},
          {"disc", "source", "#-1"},
          {"disc", "source", ""}}},
        {"add_unusable_inputs",
         {{"disc", "noaudio"},
          {"empty", "source"},
          {"none", "source"},
          {"disc", "disc/R14T5.AUD"}}},
        // Good would be copied, but Wrap's END wrapped in 32 bits and Before starts before 0.
        {"add_entries_outside_the_audio",
         {{"disc", "wrapped", "Good", "Wrap"}, {"disc", "wrapped", "Before"}}},
    };
    const FileSnapshot before = Files();
    for (const auto& [name, runs] : cases) {
        std::string transcript;
        for (const std::vector<std::string>& run : runs) {
            std::vector<std::string> arguments = {"add"};
            for (const std::string& index : {run[0], run[1]}) {
                arguments.push_back(index.find('/') == std::string::npos ? index + "/R14TRLR.TXT"
                                                                         : index);
            }
            arguments.insert(arguments.end(), run.begin() + 2, run.end());
            transcript += Kov(arguments);
        }
        ExpectGolden(name, transcript);
    }
    EXPECT_EQ(ChangedFiles(before, Files()), "");

    Write("disc/R14T5.AUD", Read("disc/R14T5.AUD").substr(1000));
    const FileSnapshot damaged = Files();
    ExpectGolden("add_to_a_damaged_disc",
                 Kov({"add", "disc/R14TRLR.TXT", "source/R14TRLR.TXT", "#1"}));
    EXPECT_EQ(ChangedFiles(damaged, Files()), "");
}

TEST_F(Add, StopsAtAFullListOrAFullDiskAndLeavesTheDiscSound) {
    std::string full = kIndexHeaderLines;
    for (int i = 0; i < kMaxTrailers; ++i) {
        full += "E\t\t1\t0\t0\t92\r\n";
    }
    Write("disc/R14TRLR.TXT", full + "\x1A");
    Write("disc/R14T5.AUD", kAudioHeaderBytes);
    const FileSnapshot before = Files("disc");
    ExpectGolden("add_to_a_full_list",
                 Kov({"add", "disc/R14TRLR.TXT", "source/R14TRLR.TXT", "#2"}));
    EXPECT_EQ(ChangedFiles(before, Files("disc")), "");

    Kov({"new", "fresh"});
    std::string transcript;
    {
        FileSizeLimit limit(200000); // room for #2's 110250 bytes, not for Alpha's 220500
        transcript = Kov({"add", "fresh/R14TRLR.TXT", "source/R14TRLR.TXT", "#2", "#7"});
    }
    transcript += Kov({"check", "fresh/R14TRLR.TXT"});
    // The disc fills in the last bytes of Part, the 0xFF past the end of its source, which the
    // copy hands to the stream's buffer: Part's add fails there, and Zebra's, copied before it
    // in the same batch, is committed.
    Kov({"new", "filled"});
    {
        FileSizeLimit limit(92 + 73500 + 36750 - 5);
        transcript +=
            Kov({"add", "filled/R14TRLR.TXT", "source/R14TRLR.TXT", "Zebra", "Part", "Edge"});
    }
    transcript += Kov({"check", "filled/R14TRLR.TXT"});
    ExpectGolden("add_to_a_full_disk", transcript);
}

// A sparse audio file makes a disc whose audio ends 980 bytes before the largest OFFSET.
TEST_F(Add, StopsWhereTheAudioWouldPassTheLargestOffset) {
    const std::string index = kIndexHeaderLines + "Big\t\t1\t0\t584349\t92\r\n\x1A";
    Write("disc/R14TRLR.TXT", index);
    Write("disc/R14T5.AUD", kAudioHeaderBytes);
    std::filesystem::resize_file(Path("disc/R14T5.AUD"), 2147482667);
    ExpectGolden("add_to_a_full_audio_file",
                 Kov({"add", "disc/R14TRLR.TXT", "source/R14TRLR.TXT", "#1"}));
    EXPECT_EQ(Read("disc/R14TRLR.TXT"), index);
    EXPECT_EQ(std::filesystem::file_size(Path("disc/R14T5.AUD")), 2147482667u);
}
