// What keeps a destination disc whole: the index on disk always matches the audio, continued
// discs are checked before anything is written, and bad entries or folders are refused.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "disc_fixture.h"
#include "disc_pair.h"
#include "stream_io.h"

namespace {

// A source disc with these records, whose audio holds four index units after its header.
class DiscSafety : public DiscTest {
protected:
    void OpenSource(const std::string& records) {
        DiscTest::OpenSource(records + "\x1A", kAudioHeaderBytes + std::string(4 * 3675, 's'));
    }
};

} // namespace

TEST_F(DiscSafety, IndexOnDiskListsEveryTrailerAsSoonAsItIsAdded) {
    OpenSource("A 1 0 1 92\r\nB 2 1 2 92\r\n");
    ASSERT_TRUE(discs.OpenDestinationDisc(true, destination.Path().c_str(), 0));
    EXPECT_EQ(DestinationIndex(), kIndexHeaderLines + "\x1A");
    ASSERT_TRUE(discs.AddTrailer(0));
    EXPECT_EQ(DestinationIndex(), kIndexHeaderLines + "A\t\t1\t0\t1\t92\r\n\x1A");
    ASSERT_TRUE(discs.AddTrailer(1));
    const std::string both = kIndexHeaderLines + "A\t\t1\t0\t1\t92\r\nB\t\t2\t1\t2\t3767\r\n\x1A";
    EXPECT_EQ(DestinationIndex(), both);
    EXPECT_EQ(DestinationAudio().size(), 92u + 3u * 3675u);
    discs.CloseDestinationDisc();
    EXPECT_EQ(DestinationIndex(), both);

    EXPECT_EQ(FilesIn(destination.Path()), (std::vector<std::string>{"R14T5.AUD", "R14TRLR.TXT"}));

    // A continued disc's index is written anew as the disc is closed, here from one with single
    // TABs and bytes after its end marker; opening it changes nothing.
    const std::string singleTabs =
        kIndexHeaderLines + "A\t1\t0\t1\t92\r\nB\t2\t1\t2\t3767\r\n\x1A" + std::string(100, '~');
    WriteFileBytes(destination.File("R14TRLR.TXT"), singleTabs);
    ASSERT_TRUE(Continue());
    EXPECT_EQ(DestinationIndex(), singleTabs);
    discs.CloseDestinationDisc();
    EXPECT_EQ(DestinationIndex(), both);
}

TEST_F(DiscSafety, ContinuedDiscMustMatchItsIndex) {
    const std::string index = kIndexHeaderLines + "A\t\t1\t0\t1\t92\r\nB\t\t2\t0\t2\t" +
                              std::to_string(92 + 3675) + "\r\n\x1A";
    const std::string audio = kAudioHeaderBytes + std::string(3 * 3675, 'x');
    struct Case {
        const char* what;
        std::string index;
        std::string audio;
    };
    const std::vector<Case> refused = {
        {"audio too short", index, audio.substr(0, audio.size() - 1)},
        {"wrong header", index, "Trailers Reel 15" + audio.substr(16)},
        {"no header at all", kIndexHeaderLines + "\x1A", ""},
        {"offset not after the ends before it",
         kIndexHeaderLines + "A\t\t1\t0\t1\t92\r\nB\t\t2\t0\t2\t92\r\n\x1A", audio},
        {"first offset not 92", kIndexHeaderLines + "A\t\t1\t0\t1\t0\r\n\x1A", audio},
        {"negative end", kIndexHeaderLines + "A\t\t1\t0\t-1\t92\r\nB\t\t2\t0\t1\t-3583\r\n\x1A",
         audio},
        // 1168724 units wrap to 93404 bytes, which the audio holds: only the END gives it away.
        // Continued, the index would be rewritten with END 25, 1529 bytes short of the audio.
        {"end wrapped in 32 bits", kIndexHeaderLines + "A\t\t1\t0\t1168724\t92\r\n\x1A",
         kAudioHeaderBytes + std::string(93404, 'w')},
    };
    for (const Case& c : refused) {
        SCOPED_TRACE(c.what);
        WriteFileBytes(destination.File("R14TRLR.TXT"), c.index);
        WriteFileBytes(destination.File("R14T5.AUD"), c.audio);
        EXPECT_FALSE(Continue());
        EXPECT_FALSE(discs.IsDestinationOpen());
        EXPECT_EQ(discs.DestinationCount(), 0);
        EXPECT_EQ(DestinationIndex(), c.index);
        EXPECT_EQ(DestinationAudio(), c.audio);
    }
}

// Audio after the last listed trailer is cut unasked only when the record of an add says an add
// began exactly there; anything else may be trailers an older index no longer lists.
TEST_F(DiscSafety, AudioAfterTheLastTrailerIsCutOnlyWhereTheRecordOfAnAddBegan) {
    const std::string index = kIndexHeaderLines + "A\t\t1\t0\t1\t92\r\nB\t\t2\t0\t2\t" +
                              std::to_string(92 + 3675) + "\r\n\x1A";
    const std::string audio = kAudioHeaderBytes + std::string(3 * 3675, 'x');
    const std::string longer = audio + "unlisted tail";
    const std::string end = std::to_string(92 + 3 * 3675); // where an add would begin
    const std::string record = destination.File(kAddRecordFileName);
    WriteFileBytes(destination.File("R14TRLR.TXT"), index);
    WriteFileBytes(destination.File("R14T5.AUD"), longer);
    const std::vector<std::string> sayNothing = {
        "",
        std::to_string(92 + 3 * 3675 - 1) + "\r\n",
        std::to_string(92 + 3 * 3675 + 1) + "\r\n",
        end,
        end + "\r",
        end + "\n",
        end + "\r\n\r\n",
        " " + end + "\r\n",
        "0" + end + "\r\n",
        end.substr(0, 2),
    };
    for (const std::string& text : sayNothing) {
        SCOPED_TRACE("record: " + text);
        if (text.empty()) {
            RemoveFile(record.c_str());
        } else {
            WriteFileBytes(record, text);
        }
        DiscReport report;
        ASSERT_TRUE(discs.CheckDestinationDisc(destination.File("R14TRLR.TXT").c_str(),
                                               static_cast<int32_t>(destination.Prefix().size()),
                                               report));
        EXPECT_TRUE(DiscHoldsItsTrailers(report));
        EXPECT_FALSE(report.addUnfinished);
        EXPECT_FALSE(DiscCanContinue(report));
        EXPECT_FALSE(Continue());
        EXPECT_EQ(DestinationIndex(), index);
        EXPECT_EQ(DestinationAudio(), longer);
        EXPECT_EQ(ReadFileBytes(record), text);
    }

    WriteFileBytes(record, end + "\r\n");
    ASSERT_TRUE(Continue());
    EXPECT_EQ(discs.DestinationCount(), 2);
    EXPECT_EQ(DestinationAudio(), audio);
    EXPECT_EQ(DestinationIndex(), index);
    discs.CloseDestinationDisc();
    EXPECT_EQ(FilesIn(destination.Path()), (std::vector<std::string>{"R14T5.AUD", "R14TRLR.TXT"}));

    // A record left beside a disc that ends after its last trailer is let be, then tidied away.
    WriteFileBytes(record, "92\r\n");
    ASSERT_TRUE(Continue());
    EXPECT_EQ(DestinationAudio(), audio);
    discs.CloseDestinationDisc();
    EXPECT_EQ(FilesIn(destination.Path()), (std::vector<std::string>{"R14T5.AUD", "R14TRLR.TXT"}));
}

// The OFFSET column holds a signed 32-bit position, so a disc's audio must end by byte
// 2147483647. A sparse audio file makes a disc that large cheap.
TEST_F(DiscSafety, AudioMustEndByTheLargestOffset) {
    OpenSource("ONE 2 0 1 92\r\nNONE 3 0 0 92\r\n");
    // 584349 units end at byte 2147482667, the last whole unit before the largest OFFSET.
    const std::string big = "BIG\t\t1\t0\t584349\t92\r\n";
    const std::string index = destination.File(kIndexFileName);
    const std::string audio = destination.File(kAudioFileName);
    WriteFileBytes(index, kIndexHeaderLines + big + "\x1A");
    WriteFileBytes(audio, kAudioHeaderBytes);
    ASSERT_TRUE(ResizeFile(audio.c_str(), 2147482667));
    ASSERT_TRUE(Continue());
    EXPECT_FALSE(discs.AddTrailer(0));
    EXPECT_TRUE(discs.AddTrailer(1));
    discs.CloseDestinationDisc();
    EXPECT_EQ(DestinationIndex(), kIndexHeaderLines + big + "NONE\t\t3\t0\t0\t2147482667\r\n\x1A");

    // One unit more in the index, and in the audio, is refused.
    const std::string over = kIndexHeaderLines + big + "ONE\t\t2\t0\t1\t2147482667\r\n\x1A";
    WriteFileBytes(index, over);
    ASSERT_TRUE(ResizeFile(audio.c_str(), 2147486342));
    DiscReport report;
    ASSERT_TRUE(discs.CheckDestinationDisc(
        index.c_str(), static_cast<int32_t>(destination.Prefix().size()), report));
    EXPECT_TRUE(report.tooLarge);
    EXPECT_EQ(report.expectedAudioSize, 2147486342);
    EXPECT_FALSE(Continue());
    EXPECT_EQ(DestinationIndex(), over);
    EXPECT_EQ(std::filesystem::file_size(audio), 2147486342u);
}

TEST_F(DiscSafety, AddTrailerRefusesEntriesThatPointNowhere) {
    // A negative END, START and OFFSET that together lie before the file, and an END whose
    // product with 3675 wraps to 93404 bytes, which the written index would list as 25 units.
    // FIRST starts at the very first byte of the file, which is in it.
    OpenSource("NEG 1 0 -1 92\r\nBEFORE 2 -1 1 92\r\nWRAP 3 0 1168724 92\r\nGOOD 4 0 1 92\r\n"
               "FIRST 5 0 1 0\r\n");
    ASSERT_TRUE(discs.OpenDestinationDisc(true, destination.Path().c_str(), 0));
    EXPECT_FALSE(discs.AddTrailer(0));
    EXPECT_FALSE(discs.AddTrailer(1));
    EXPECT_FALSE(discs.AddTrailer(2));
    EXPECT_EQ(discs.DestinationCount(), 0);
    EXPECT_EQ(DestinationAudio(), kAudioHeaderBytes);
    EXPECT_EQ(DestinationIndex(), kIndexHeaderLines + "\x1A");
    EXPECT_TRUE(discs.AddTrailer(3));
    EXPECT_TRUE(discs.AddTrailer(4));
    EXPECT_EQ(DestinationAudio(), kAudioHeaderBytes + std::string(3675, 's') + kAudioHeaderBytes +
                                      std::string(3675 - 92, 's'));
}

TEST_F(DiscSafety, NewDiscInTheOpenSourceDiscsFolderIsRefused) {
    OpenSource("A 1 0 1 92\r\n");
    const std::string sourceAudio = ReadFileBytes(source.File("R14T5.AUD"));
    // Another spelling of the same folder is still the same folder.
    const std::string sameFolder = source.Prefix() + "." + kPathSeparator;
    EXPECT_FALSE(discs.OpenDestinationDisc(true, source.Path().c_str(), 0));
    EXPECT_FALSE(discs.OpenDestinationDisc(true, sameFolder.c_str(), 0));
    EXPECT_FALSE(discs.IsDestinationOpen());
    EXPECT_EQ(ReadFileBytes(source.File("R14T5.AUD")), sourceAudio);

    discs.CloseSourceDisc();
    EXPECT_TRUE(discs.OpenDestinationDisc(true, source.Path().c_str(), 0));
}

TEST_F(DiscSafety, NewDiscReplacesAnOldOneAndLeavesNoOtherFile) {
    WriteFileBytes(destination.File("R14TRLR.TXT"), kIndexHeaderLines + "A\t\t1\t0\t1\t92\r\n\x1A");
    WriteFileBytes(destination.File("R14T5.AUD"), kAudioHeaderBytes + std::string(3675, 'o'));
    ASSERT_TRUE(discs.OpenDestinationDisc(true, destination.Path().c_str(), 0));
    EXPECT_EQ(DestinationIndex(), kIndexHeaderLines + "\x1A");
    EXPECT_EQ(DestinationAudio(), kAudioHeaderBytes);
    discs.CloseDestinationDisc();
    EXPECT_EQ(FilesIn(destination.Path()), (std::vector<std::string>{"R14T5.AUD", "R14TRLR.TXT"}));
}

TEST_F(DiscSafety, CheckTellsUnreadableForeignAndDamagedIndexesApartAndChangesNothing) {
    DiscReport report;
    const std::string index = destination.File(kIndexFileName);
    const int32_t folder = static_cast<int32_t>(destination.Prefix().size());
    ASSERT_TRUE(discs.CheckDestinationDisc(index.c_str(), folder, report));
    EXPECT_EQ(report.index, IndexState::Unreadable);
    const std::vector<std::pair<std::string, IndexState>> indexes = {
        {"A 1 0 1 92\r\n\x1A", IndexState::Foreign},
        {kIndexHeaderLines.substr(0, 95), IndexState::Foreign},
        {kIndexHeaderLines, IndexState::Damaged},
        {kIndexHeaderLines + "A\t\t1\t0\t1\t92\r\n", IndexState::Damaged},
        {kIndexHeaderLines + "A\t\t1\t0\t1\t92\r\n\x1A", IndexState::Read},
    };
    const std::string audio = kAudioHeaderBytes + std::string(3675 + 1, 'a');
    WriteFileBytes(destination.File(kAudioFileName), audio);
    for (const auto& [text, state] : indexes) {
        WriteFileBytes(index, text);
        ASSERT_TRUE(discs.CheckDestinationDisc(index.c_str(), folder, report));
        EXPECT_EQ(report.index, state) << text;
        EXPECT_EQ(ReadFileBytes(index), text);
    }
    // The one problem of the last: a byte after the last trailer, which no add is recorded to
    // have left. Continue refuses it until the record says an add began right before it.
    EXPECT_TRUE(DiscHoldsItsTrailers(report));
    EXPECT_FALSE(DiscCanContinue(report));
    EXPECT_FALSE(DiscIsSound(report));
    EXPECT_EQ(report.audioSize, report.expectedAudioSize + 1);
    EXPECT_EQ(DestinationAudio(), audio);
    EXPECT_FALSE(Continue());

    WriteFileBytes(destination.File(kAddRecordFileName), std::to_string(92 + 3675) + "\r\n");
    ASSERT_TRUE(discs.CheckDestinationDisc(index.c_str(), folder, report));
    EXPECT_TRUE(report.addUnfinished);
    EXPECT_TRUE(DiscCanContinue(report));
    ASSERT_TRUE(Continue());
    EXPECT_FALSE(discs.CheckDestinationDisc(index.c_str(), folder, report));
    EXPECT_EQ(discs.DestinationCount(), 1);
}

TEST(NamedFolders, DiscsInFoldersNamedInAnyScriptAreWrittenContinuedAndCut) {
    const std::string records = "A 1 0 1 92\r\n\x1A";
    const std::string sourceAudio = kAudioHeaderBytes + std::string(3675, 's');
    const std::string index = kIndexHeaderLines + "A\t\t1\t0\t1\t92\r\n\x1A";
    const std::string audio = kAudioHeaderBytes + std::string(3675, 's');
    for (const char* name : kNamesInOtherScripts) {
        SCOPED_TRACE(name);
        TempFolder top;
        const std::string folder = top.File(name);
        const std::string source = folder + kPathSeparator + "source";
        const std::string disc = folder + kPathSeparator + "disc";
        const std::string discIndex = disc + kPathSeparator + kIndexFileName;
        const std::string discAudio = disc + kPathSeparator + kAudioFileName;
        for (const std::string& made : {folder, source, disc}) {
            MakeFolder(made);
        }
        WriteFileBytes(source + kPathSeparator + kIndexFileName, records);
        WriteFileBytes(source + kPathSeparator + kAudioFileName, sourceAudio);

        DiscPair discs;
        ASSERT_TRUE(discs.OpenSourceDisc((source + kPathSeparator + kIndexFileName).c_str(),
                                         static_cast<int32_t>(source.size() + 1)));
        // The folder of the open source is known as such under its name.
        EXPECT_FALSE(discs.OpenDestinationDisc(true, source.c_str(), 0));
        ASSERT_TRUE(discs.OpenDestinationDisc(true, disc.c_str(), 0));
        ASSERT_TRUE(discs.AddTrailer(0));
        discs.CloseDestinationDisc();
        EXPECT_EQ(ReadFileBytes(discIndex), index);
        EXPECT_EQ(ReadFileBytes(discAudio), audio);
        EXPECT_EQ(FilesIn(disc), (std::vector<std::string>{"R14T5.AUD", "R14TRLR.TXT"}));

        // An add that never finished is cut off, and its record removed.
        WriteFileBytes(discAudio, audio + "unfinished");
        WriteFileBytes(disc + kPathSeparator + kAddRecordFileName,
                       std::to_string(audio.size()) + "\r\n");
        ASSERT_TRUE(discs.OpenDestinationDisc(false, discIndex.c_str(),
                                              static_cast<int32_t>(disc.size() + 1)));
        EXPECT_EQ(ReadFileBytes(discAudio), audio);
        discs.CloseDestinationDisc();
        EXPECT_EQ(FilesIn(disc), (std::vector<std::string>{"R14T5.AUD", "R14TRLR.TXT"}));
        EXPECT_EQ(FilesIn(folder), (std::vector<std::string>{"disc", "source"}));
    }
}
