// Creating and continuing destination discs, and copying trailers' audio into them.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "disc_fixture.h"
#include "disc_pair.h"
#include "sample_disc.h"

namespace {

const int32_t kSecond = 110250;

// Distinct, recognisable audio: byte i of the source audio file.
std::string SourceAudio(size_t size) {
    std::string audio(size, '\0');
    for (size_t i = 0; i < size; ++i) {
        audio[i] = static_cast<char>((i * 7 + i / 251) & 0xFF);
    }
    return audio;
}

using DestinationDisc = DiscTest;

} // namespace

TEST_F(DestinationDisc, NewDiscWithNothingAddedHoldsOnlyTheHeaders) {
    ASSERT_TRUE(discs.OpenDestinationDisc(true, destination.Path().c_str(), 0));
    EXPECT_TRUE(discs.IsDestinationOpen());
    discs.CloseDestinationDisc();
    EXPECT_FALSE(discs.IsDestinationOpen());
    EXPECT_EQ(DestinationAudio(), kAudioHeaderBytes);
    EXPECT_EQ(DestinationIndex(), kIndexHeaderLines + "\x1A");
}

TEST_F(DestinationDisc, ContinuedDiscAppendsAfterTheAudioItHolds) {
    // A at byte 92, 30 units; B at byte 200000 with 2 units before its audio.
    const std::string audio = SourceAudio(200000 + 32 * 3675);
    OpenSource("A 1 0 30 92\r\nB 2 2 30 200000\r\n\x1A", audio);
    ASSERT_TRUE(discs.OpenDestinationDisc(true, destination.Path().c_str(), 0));
    ASSERT_TRUE(discs.AddTrailer(0));
    discs.CloseDestinationDisc();
    EXPECT_EQ(DestinationAudio(), kAudioHeaderBytes + audio.substr(92, kSecond));
    EXPECT_EQ(DestinationIndex(), kIndexHeaderLines + "A\t\t1\t0\t30\t92\r\n\x1A");

    ASSERT_TRUE(Continue());
    EXPECT_EQ(discs.DestinationCount(), 1);
    ASSERT_TRUE(discs.AddTrailer(1));
    discs.CloseDestinationDisc();
    EXPECT_EQ(DestinationAudio(), kAudioHeaderBytes + audio.substr(92, kSecond) +
                                      audio.substr(200000 + 2 * 3675, kSecond));
    EXPECT_EQ(DestinationIndex(), kIndexHeaderLines + "A\t\t1\t0\t30\t92\r\n" + "B\t\t2\t2\t30\t" +
                                      std::to_string(92 + kSecond) + "\r\n\x1A");
}

TEST_F(DestinationDisc, MissingSourceBytesBecome0xFFAndEmptyTrailersTakeNoRoom) {
    const std::string audio = SourceAudio(92 + 3675 + 100);
    OpenSource("EMPTY 1 0 0 92\r\nSHORT 2 0 2 92\r\nGONE 3 0 1 999999\r\nNEXT 4 0 1 92\r\n\x1A",
               audio);
    ASSERT_TRUE(discs.OpenDestinationDisc(true, destination.Path().c_str(), 0));
    for (int32_t i = 0; i < 4; ++i) {
        ASSERT_TRUE(discs.AddTrailer(i));
    }
    discs.CloseDestinationDisc();
    const std::string shortBlock = audio.substr(92) + std::string(3675 - 100, '\xFF');
    EXPECT_EQ(DestinationAudio(),
              kAudioHeaderBytes + shortBlock + std::string(3675, '\xFF') + audio.substr(92, 3675));
    EXPECT_EQ(DestinationIndex(), kIndexHeaderLines + "EMPTY\t\t1\t0\t0\t92\r\n" +
                                      "SHORT\t\t2\t0\t2\t92\r\n" + "GONE\t\t3\t0\t1\t7442\r\n" +
                                      "NEXT\t\t4\t0\t1\t11117\r\n\x1A");
}

TEST_F(DestinationDisc, FailedContinueLeavesNoTrace) {
    const std::string index = kIndexHeaderLines + "A\t\t1\t0\t1\t92\r\n\x1A";
    WriteFileBytes(destination.File("R14TRLR.TXT"), index);
    // No audio file: refused, and none is created.
    EXPECT_FALSE(Continue());
    EXPECT_FALSE(discs.IsDestinationOpen());
    EXPECT_EQ(discs.DestinationCount(), 0);
    EXPECT_EQ(DestinationIndex(), index);
    EXPECT_FALSE(FileExists(destination.File("R14T5.AUD")));

    // A cut index: refused, both files as they were.
    const std::string audio = kAudioHeaderBytes + std::string(3675, 'a');
    WriteFileBytes(destination.File("R14T5.AUD"), audio);
    WriteFileBytes(destination.File("R14TRLR.TXT"), index.substr(0, index.size() - 1));
    EXPECT_FALSE(Continue());
    EXPECT_EQ(DestinationIndex(), index.substr(0, index.size() - 1));
    EXPECT_EQ(DestinationAudio(), audio);

    // The next new disc lists only what is added to it.
    TempFolder other;
    ASSERT_TRUE(discs.OpenDestinationDisc(true, other.Path().c_str(), 0));
    EXPECT_EQ(discs.DestinationCount(), 0);
    discs.CloseDestinationDisc();
    EXPECT_EQ(ReadFileBytes(other.File("R14TRLR.TXT")), kIndexHeaderLines + "\x1A");
}

TEST_F(DestinationDisc, NewDiscFolderTooLongForTheFileNameIsRefused) {
    // Folder, separator, "R14TRLR.TXT" and the 0 would take 513 characters.
    const std::string folder =
        destination.Prefix() + std::string(500 - destination.Prefix().size(), 'd');
    EXPECT_FALSE(discs.OpenDestinationDisc(true, folder.c_str(), 0));
    EXPECT_FALSE(discs.IsDestinationOpen());
}

TEST_F(DestinationDisc, AddTrailerRefusesWhatItCannotAdd) {
    OpenSource("A 1 0 0 92\r\n\x1A", kAudioHeaderBytes);
    EXPECT_FALSE(discs.AddTrailer(0)); // no destination
    ASSERT_TRUE(discs.OpenDestinationDisc(true, destination.Path().c_str(), 0));
    EXPECT_FALSE(discs.AddTrailer(-1));
    EXPECT_FALSE(discs.AddTrailer(1));
    for (int32_t i = 0; i < kMaxTrailers; ++i) {
        ASSERT_TRUE(discs.AddTrailer(0));
    }
    EXPECT_FALSE(discs.AddTrailer(0)); // the list is full
    EXPECT_EQ(discs.DestinationCount(), kMaxTrailers);
    discs.CloseSourceDisc();
    discs.CloseDestinationDisc();
    EXPECT_EQ(DestinationAudio(), kAudioHeaderBytes);
}

TEST_F(DestinationDisc, EveryTrailerOfASampleDiscCopiesItsOwnBlock) {
    SampleDiscOptions options;
    options.trailers = 9;
    options.seconds = 1;
    options.seed = 7;
    SampleTrailer trailers[kMaxSampleTrailers];
    ASSERT_TRUE(WriteSampleDisc(source.Path().c_str(), options, trailers));
    ASSERT_TRUE(discs.OpenSourceDisc(source.File("R14TRLR.TXT").c_str(),
                                     static_cast<int32_t>(source.Prefix().size())));
    ASSERT_EQ(discs.SourceCount(), options.trailers);
    ASSERT_TRUE(discs.OpenDestinationDisc(true, destination.Path().c_str(), 0));
    for (int32_t i = options.trailers - 1; i >= 0; --i) {
        ASSERT_TRUE(discs.AddTrailer(i));
    }
    discs.CloseDestinationDisc();

    const std::string audio = DestinationAudio();
    size_t position = 92;
    for (int32_t i = options.trailers - 1; i >= 0; --i) {
        const SampleTrailer& t = trailers[i];
        EXPECT_STREQ(discs.SourceTrailer(i).name,
                     (std::string(t.name) + std::string(8 - std::strlen(t.name), ' ')).c_str());
        const size_t size = static_cast<size_t>(t.endUnits) * 3675;
        ASSERT_LE(position + size, audio.size());
        for (size_t p = 0; p < size; ++p) {
            if (static_cast<unsigned char>(audio[position + p]) != SampleByte(t.serial, p)) {
                FAIL() << "trailer " << t.name << " differs at byte " << p;
            }
        }
        position += size;
    }
    EXPECT_EQ(position, audio.size());
}

// The block copy of a batch writes exactly the bytes of the byte-by-byte one: blocks that cross
// the 1 MiB pieces, a block ending exactly at the end of the source, one running past it (0xFF),
// one wholly past it, and one without audio.
TEST_F(DestinationDisc, CopyInBlocksWritesTheSameBytesAsByteByByte) {
    const std::size_t block = 290 * 3675; // 1,065,750 bytes: more than one piece of 1 MiB
    const std::string audio = SourceAudio(92 + 3 * block);
    const std::size_t size = audio.size();
    OpenSource("A 1 0 290 92\r\nB 2 1 289 " + std::to_string(92 + block) + "\r\nC 3 0 290 " +
                   std::to_string(size - block) + "\r\nD 4 0 3 " + std::to_string(size - 100) +
                   "\r\nE 5 0 2 " + std::to_string(size) + "\r\nF 6 0 0 92\r\n\x1A",
               audio);
    const std::string expected = kAudioHeaderBytes + audio.substr(92, block) +
                                 audio.substr(92 + block + 3675, block - 3675) +
                                 audio.substr(size - block) + audio.substr(size - 100) +
                                 std::string(3 * 3675 - 100 + 2 * 3675, '\xFF');
    for (const bool inBlocks : {false, true}) {
        ASSERT_TRUE(discs.OpenDestinationDisc(true, destination.Path().c_str(), 0));
        for (int32_t i = 0; i < 6; ++i) {
            ASSERT_TRUE(inBlocks ? discs.AddTrailerToBatch(i) : discs.AddTrailer(i)) << i;
        }
        ASSERT_TRUE(discs.CommitBatch());
        discs.CloseDestinationDisc();
        const std::string written = DestinationAudio();
        EXPECT_EQ(written.size(), expected.size()) << (inBlocks ? "in blocks" : "byte by byte");
        EXPECT_TRUE(written == expected) << (inBlocks ? "in blocks" : "byte by byte");
    }
}

// A batch changes the disc's index only when it is committed; until then the record says where
// its audio began. A batch never committed is not listed, and its audio is cut at the close.
TEST_F(DestinationDisc, ABatchIsListedOnlyOnceCommitted) {
    const std::string audio = SourceAudio(92 + 3 * 3675);
    OpenSource("A 1 0 1 92\r\nB 2 0 2 3767\r\n\x1A", audio);
    ASSERT_TRUE(discs.OpenDestinationDisc(true, destination.Path().c_str(), 0));
    const std::string empty = kIndexHeaderLines + "\x1A";
    ASSERT_TRUE(discs.AddTrailerToBatch(0));
    ASSERT_TRUE(discs.AddTrailerToBatch(1));
    EXPECT_EQ(discs.BatchCount(), 2);
    EXPECT_EQ(DestinationIndex(), empty);
    EXPECT_EQ(ReadFileBytes(destination.File("R14T5.ADD")), "92\r\n");
    ASSERT_TRUE(discs.CommitBatch());
    EXPECT_EQ(discs.BatchCount(), 0);
    const std::string two = kIndexHeaderLines + "A\t\t1\t0\t1\t92\r\nB\t\t2\t0\t2\t3767\r\n\x1A";
    EXPECT_EQ(DestinationIndex(), two);

    ASSERT_TRUE(discs.AddTrailerToBatch(0));
    EXPECT_EQ(ReadFileBytes(destination.File("R14T5.ADD")), "11117\r\n");
    EXPECT_EQ(DestinationAudio().size(), 92u + 4 * 3675);
    discs.CloseDestinationDisc();
    EXPECT_EQ(DestinationIndex(), two);
    EXPECT_EQ(DestinationAudio(), kAudioHeaderBytes + audio.substr(92));
    EXPECT_FALSE(FileExists(destination.File("R14T5.ADD")));
}
