// Opening and closing discs, the audio file name and the end of the disc pair's life.
#include <gtest/gtest.h>

#include <string>

#include "disc_pair.h"
#include "test_files.h"

namespace {

const std::string kOneTrailer = "ABC\t7\t0\t2\t92\r\n\x1A";

int32_t FolderLength(const TempFolder& folder) {
    return static_cast<int32_t>(folder.Prefix().size());
}

} // namespace

TEST(SourceDisc, FindsTheAudioFileBesideAnyIndexName) {
    TempFolder folder;
    WriteFileBytes(folder.File("R14TRLR2.TXT"), kOneTrailer);
    WriteFileBytes(folder.File("R14T5.AUD"), "audio");
    DiscPair discs;
    ASSERT_TRUE(discs.OpenSourceDisc(folder.File("R14TRLR2.TXT").c_str(), FolderLength(folder)));
    EXPECT_TRUE(discs.IsSourceOpen());
    EXPECT_EQ(discs.SourceCount(), 1);

    discs.CloseSourceDisc();
    EXPECT_FALSE(discs.IsSourceOpen());
    EXPECT_EQ(discs.SourceCount(), 0);
    discs.CloseSourceDisc(); // closing a closed disc only resets it
    EXPECT_FALSE(discs.IsSourceOpen());
}

TEST(SourceDisc, MissingAudioLeavesTheSourceClosedWithTheListAsRead) {
    TempFolder folder;
    WriteFileBytes(folder.File("R14TRLR.TXT"), kOneTrailer);
    DiscPair discs;
    EXPECT_FALSE(discs.OpenSourceDisc(folder.File("R14TRLR.TXT").c_str(), FolderLength(folder)));
    EXPECT_FALSE(discs.IsSourceOpen());
    EXPECT_EQ(discs.SourceCount(), 1);
    EXPECT_STREQ(discs.SourceTrailer(0).name, "ABC     ");
}

TEST(SourceDisc, RefusesFolderLengthsOutsideThePathOrTheBuffer) {
    TempFolder folder;
    const std::string index = folder.File("R14TRLR.TXT");
    WriteFileBytes(index, kOneTrailer);
    WriteFileBytes(folder.File("R14T5.AUD"), "audio");
    DiscPair discs;
    EXPECT_FALSE(discs.OpenSourceDisc(index.c_str(), -1));
    EXPECT_FALSE(discs.OpenSourceDisc(index.c_str(), static_cast<int32_t>(index.size()) + 1));
    EXPECT_FALSE(discs.IsSourceOpen());

    // 502 characters of folder and "R14T5.AUD" fill the 512-character buffer with its 0.
    const std::string longPath(600, 'x');
    EXPECT_FALSE(discs.MakeAudioPath(longPath.c_str(), 503));
    EXPECT_TRUE(discs.MakeAudioPath(longPath.c_str(), 502));
    EXPECT_TRUE(discs.MakeAudioPath("R14TRLR.TXT", 0));
}

TEST(DiscPairLifetime, DestructionWritesTheIndexOfAnOpenDestinationOnly) {
    TempFolder source;
    TempFolder destination;
    WriteFileBytes(source.File("R14TRLR.TXT"), kOneTrailer);
    WriteFileBytes(source.File("R14T5.AUD"), std::string(92 + 2 * 3675, 's'));
    {
        DiscPair discs;
        ASSERT_TRUE(discs.OpenSourceDisc(source.File("R14TRLR.TXT").c_str(), FolderLength(source)));
    }
    EXPECT_EQ(ReadFileBytes(source.File("R14TRLR.TXT")), kOneTrailer);
    {
        DiscPair discs;
        ASSERT_TRUE(discs.OpenSourceDisc(source.File("R14TRLR.TXT").c_str(), FolderLength(source)));
        ASSERT_TRUE(discs.OpenDestinationDisc(true, destination.Path().c_str(), 0));
        ASSERT_TRUE(discs.AddTrailer(0));
    }
    const std::string index = ReadFileBytes(destination.File("R14TRLR.TXT"));
    ASSERT_EQ(index.size(), 96u + 15u + 1u);
    EXPECT_EQ(index.substr(96), "ABC\t\t7\t0\t2\t92\r\n\x1A");
}
