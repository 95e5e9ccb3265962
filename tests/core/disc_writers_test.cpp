// One writer per disc: a disc that one disc pair holds cannot be opened, held or replaced by
// another until it is closed, while readers go on reading it. Two disc pairs of one process
// stand for two programs: the lock belongs to the open file, not to the process.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "disc_fixture.h"
#include "disc_pair.h"

namespace {

class DiscWriters : public DiscTest {
protected:
    void SetUp() override {
        OpenSource("A 1 0 1 92\r\nB 2 1 2 92\r\n\x1A",
                   kAudioHeaderBytes + std::string(4 * 3675, 's'));
        ASSERT_TRUE(discs.OpenDestinationDisc(true, destination.Path().c_str(), 0));
        ASSERT_TRUE(discs.AddTrailer(0));
        index = destination.File(kIndexFileName);
        folder = static_cast<int32_t>(destination.Prefix().size());
    }

    std::string Files() const { return DestinationIndex() + "|" + DestinationAudio(); }

    // Every way another writer could take the disc is refused, and says why.
    void ExpectEveryWriterRefused(DiscPair& other) {
        const std::string before = Files();
        EXPECT_FALSE(other.OpenDestinationDisc(false, index.c_str(), folder));
        EXPECT_TRUE(other.DestinationInUse());
        EXPECT_FALSE(other.OpenDestinationDisc(true, destination.Path().c_str(), 0));
        EXPECT_TRUE(other.DestinationInUse());
        EXPECT_FALSE(other.HoldDestinationDisc(index.c_str(), folder));
        EXPECT_TRUE(other.DestinationInUse());
        EXPECT_FALSE(other.IsDestinationOpen());
        EXPECT_EQ(other.DestinationCount(), 0);
        EXPECT_EQ(Files(), before);
    }

    std::string index;
    int32_t folder = 0;
};

} // namespace

TEST_F(DiscWriters, ASecondWriterIsRefusedUntilTheFirstClosesWhileReadersRead) {
    DiscPair other;
    ExpectEveryWriterRefused(other);

    // Readers: a check, which sees the disc held, the disc as a source, the disc as a written
    // source.
    DiscReport report;
    ASSERT_TRUE(other.CheckDestinationDisc(index.c_str(), folder, report));
    EXPECT_TRUE(DiscIsSound(report));
    EXPECT_EQ(report.count, 1);
    EXPECT_TRUE(report.inUse);
    ASSERT_TRUE(other.OpenSourceDisc(index.c_str(), folder));
    other.CloseSourceDisc();
    ASSERT_TRUE(other.OpenWrittenSourceDisc(index.c_str(), folder, report));
    other.CloseSourceDisc();

    // The holder's own process opening and closing the audio file (as its readers just did)
    // keeps the lock, and the holder goes on adding.
    ExpectEveryWriterRefused(other);
    ASSERT_TRUE(discs.AddTrailer(1));
    discs.CloseDestinationDisc();

    ASSERT_TRUE(other.CheckDestinationDisc(index.c_str(), folder, report));
    EXPECT_FALSE(report.inUse);
    ASSERT_TRUE(other.OpenDestinationDisc(false, index.c_str(), folder));
    EXPECT_FALSE(other.DestinationInUse());
    EXPECT_EQ(other.DestinationCount(), 2);
    // Now the first is the second writer.
    EXPECT_FALSE(discs.OpenDestinationDisc(false, index.c_str(), folder));
    EXPECT_TRUE(discs.DestinationInUse());
    other.CloseDestinationDisc();
    EXPECT_EQ(FilesIn(destination.Path()), (std::vector<std::string>{"R14T5.AUD", "R14TRLR.TXT"}));
}

TEST_F(DiscWriters, AHoldKeepsOthersOutAndCutsOnlyWhenAsked) {
    discs.CloseDestinationDisc();
    const std::string audio = DestinationAudio();
    WriteFileBytes(destination.File(kAudioFileName), audio + "tail");

    DiscPair holder;
    DiscReport report;
    // Not held: nothing to cut.
    ASSERT_TRUE(holder.CheckDestinationDisc(index.c_str(), folder, report));
    EXPECT_FALSE(holder.CutDestinationAudio(report));
    ASSERT_TRUE(holder.HoldDestinationDisc(index.c_str(), folder));
    EXPECT_FALSE(holder.DestinationInUse());
    ExpectEveryWriterRefused(discs);
    ASSERT_TRUE(holder.CheckDestinationDisc(index.c_str(), folder, report));
    EXPECT_FALSE(DiscCanContinue(report));
    EXPECT_FALSE(report.inUse); // the holder's own lock is no other program's
    EXPECT_EQ(DestinationAudio(), audio + "tail");

    // A report of a disc that does not hold its trailers cuts nothing.
    DiscReport damaged = report;
    damaged.headerMatches = false;
    EXPECT_FALSE(holder.CutDestinationAudio(damaged));
    EXPECT_EQ(DestinationAudio(), audio + "tail");

    WriteFileBytes(destination.File(kAddRecordFileName), "999\r\n");
    ASSERT_TRUE(holder.CutDestinationAudio(report));
    EXPECT_EQ(DestinationAudio(), audio);
    EXPECT_EQ(FilesIn(destination.Path()), (std::vector<std::string>{"R14T5.AUD", "R14TRLR.TXT"}));
    holder.CloseDestinationDisc();
    ASSERT_TRUE(Continue());
}

TEST_F(DiscWriters, ANewDiscRewritesItsAudioFileInPlaceAndCreatesNoneWhereItFails) {
    discs.CloseDestinationDisc();
    // Audio that does not start with the header is no disc's audio: it is rewritten whole.
    WriteFileBytes(destination.File(kAudioFileName), std::string(200, 'g'));
    ASSERT_TRUE(discs.OpenDestinationDisc(true, destination.Path().c_str(), 0));
    EXPECT_EQ(DestinationAudio(), kAudioHeaderBytes);
    EXPECT_EQ(DestinationIndex(), kIndexHeaderLines + "\x1A");
    discs.CloseDestinationDisc();

    // A folder that cannot take the index keeps no audio file of the failed open.
    TempFolder other;
    const std::string blocked = other.File(kNewIndexFileName);
    ASSERT_TRUE(std::filesystem::create_directory(blocked));
    EXPECT_FALSE(discs.OpenDestinationDisc(true, other.Path().c_str(), 0));
    EXPECT_FALSE(discs.DestinationInUse());
    EXPECT_EQ(FilesIn(other.Path()), (std::vector<std::string>{kNewIndexFileName}));
}

// Windows replaces no open file, so no reader keeps an index open once it has read it, not even
// an empty one, which ends before its records: the writer replaces the index after every add.
TEST_F(DiscWriters, NoReaderKeepsAnIndexOpenThatAWriterMustReplace) {
    discs.CloseDestinationDisc();
    WriteFileBytes(index, kIndexHeaderLines + "\x1A");
    WriteFileBytes(destination.File(kAudioFileName), kAudioHeaderBytes);
    DiscPair reader;
    ASSERT_TRUE(reader.OpenSourceDisc(index.c_str(), folder));
    EXPECT_EQ(reader.SourceCount(), 0);
    DiscReport report;
    ASSERT_TRUE(reader.CheckDestinationDisc(index.c_str(), folder, report));
    EXPECT_TRUE(DiscIsSound(report));
    ASSERT_TRUE(Continue());
    EXPECT_EQ(discs.DestinationCount(), 0);
    ASSERT_TRUE(discs.AddTrailer(1));
    discs.CloseDestinationDisc();
    EXPECT_EQ(DestinationIndex(), kIndexHeaderLines + "B\t\t2\t1\t2\t92\r\n\x1A");
}

TEST_F(DiscWriters, OnlyTheHolderReplacesTheIndexAndTheAudioStaysAsItIs) {
    ASSERT_TRUE(discs.AddTrailer(1));
    discs.CloseDestinationDisc();
    const std::string both = DestinationIndex();
    const std::string audio = DestinationAudio();
    const TrailerEntry entries[2] = {discs.SourceTrailer(0), discs.SourceTrailer(1)};
    WriteFileBytes(index, "");

    DiscPair holder;
    // Not held, or open: refused, with nothing written.
    EXPECT_FALSE(holder.ReplaceHeldIndex(entries, 2));
    ASSERT_TRUE(discs.OpenDestinationDisc(true, destination.Path().c_str(), 0));
    EXPECT_FALSE(discs.ReplaceHeldIndex(entries, 2));
    discs.CloseDestinationDisc();
    WriteFileBytes(destination.File(kAudioFileName), audio);
    WriteFileBytes(index, "");
    ASSERT_TRUE(holder.HoldDestinationDisc(index.c_str(), folder));
    EXPECT_FALSE(holder.ReplaceHeldIndex(entries, kMaxTrailers + 1));
    EXPECT_FALSE(holder.ReplaceHeldIndex(entries, -1));
    EXPECT_EQ(DestinationIndex(), "");

    // The OFFSETs are worked out afresh: the source's are not the disc's.
    ASSERT_TRUE(holder.ReplaceHeldIndex(entries, 2));
    EXPECT_EQ(DestinationIndex(), both);
    ExpectEveryWriterRefused(discs);
    ASSERT_TRUE(holder.ReplaceHeldIndex(entries, 0));
    EXPECT_EQ(DestinationIndex(), both.substr(0, 96) + "\x1A");
    EXPECT_EQ(DestinationAudio(), audio);
    holder.CloseDestinationDisc();
    // Let go, the disc is another program's to write again.
    EXPECT_FALSE(holder.ReplaceHeldIndex(entries, 2));
    EXPECT_EQ(DestinationIndex(), both.substr(0, 96) + "\x1A");
    EXPECT_EQ(FilesIn(destination.Path()), (std::vector<std::string>{"R14T5.AUD", "R14TRLR.TXT"}));
}
