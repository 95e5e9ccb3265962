// kovdisc list, as text and as JSON, on each fixed disc: every row, column and field.
#include "kovdisc_fixture.h"

namespace {

using List = KovdiscTest;

} // namespace

TEST_F(List, ShowsEveryTrailerOfEachFixedDiscAndChangesNothing) {
    const FileSnapshot before = Files();
    // Names with Z, z and a byte above 0x7F; twins in other letter case; START not 0; ends
    // at, partly past and wholly past the end of the audio; 20, 29, 30, 59 and 60 units.
    std::string source = Kov({"list", "source/R14TRLR.TXT"});
    source += Kov({"list", "source/R14TRLR.TXT", "--json"});
    ExpectGolden("list_source", source);
    std::string inside = Kov({"list", "R14TRLR.TXT"}, "source");
    inside += Kov({"list", "--json", "R14TRLR.TXT"}, "source");
    ExpectGolden("list_source_inside", inside);
    std::string empty = Kov({"list", "empty/R14TRLR.TXT"});
    empty += Kov({"list", "empty/R14TRLR.TXT", "--json"});
    ExpectGolden("list_empty_audio", empty);
    std::string none = Kov({"list", "noaudio/R14TRLR.TXT"});
    none += Kov({"list", "noaudio/R14TRLR.TXT", "--json"});
    ExpectGolden("list_no_audio", none);
    // A written disc read as a source: a START not 0 shows its bytes as missing at the end.
    std::string written = Kov({"list", "disc/R14TRLR.TXT"});
    written += Kov({"list", "R14TRLR.TXT", "--json"}, "disc");
    ExpectGolden("list_written_disc", written);
    std::string refused = Kov({"list", "none/R14TRLR.TXT"});
    refused += Kov({"list", "source"});
    refused += Kov({"list", "source/R14T5.AUD"});
    ExpectGolden("list_refused", refused);
    EXPECT_EQ(ChangedFiles(before, Files()), "");
}
