// Writes that fail for real, through a file size limit: an add that does not fit is refused
// and leaves the disc as it was, and the next add works once there is room again.
#include <gtest/gtest.h>

#include <string>

#include "disc_fixture.h"
#include "disc_pair.h"
#include "file_size_limit.h"

namespace {

class FullDisk : public DiscTest {
protected:
    void SetUp() override {
        const std::string index = "A 1 0 4 92\r\nB 2 0 4 14792\r\nEMPTY 3 0 0 92\r\n\x1A";
        sourceAudio = kAudioHeaderBytes;
        for (int i = 0; i < 8 * 3675; ++i) {
            sourceAudio += static_cast<char>(i % 251);
        }
        OpenSource(index, sourceAudio);
        ASSERT_TRUE(discs.OpenDestinationDisc(true, destination.Path().c_str(), 0));
    }

    std::string sourceAudio;
};

} // namespace

TEST_F(FullDisk, AudioThatDoesNotFitIsRefusedAndCutBack) {
    ASSERT_TRUE(discs.AddTrailer(0));
    const std::string audio = DestinationAudio();
    const std::string index = DestinationIndex();
    {
        FileSizeLimit limit(audio.size() + 1000);
        EXPECT_FALSE(discs.AddTrailer(1));
    }
    EXPECT_EQ(discs.DestinationCount(), 1);
    EXPECT_EQ(DestinationAudio(), audio);
    EXPECT_EQ(DestinationIndex(), index);

    ASSERT_TRUE(discs.AddTrailer(1));
    discs.CloseDestinationDisc();
    EXPECT_EQ(DestinationAudio(), audio + sourceAudio.substr(14792, 4 * 3675));
    EXPECT_EQ(DestinationIndex(),
              kIndexHeaderLines + "A\t\t1\t0\t4\t92\r\nB\t\t2\t0\t4\t14792\r\n\x1A");
}

TEST_F(FullDisk, IndexThatDoesNotFitIsRefusedAndRewritten) {
    ASSERT_TRUE(discs.AddTrailer(2)); // no audio: only the index grows
    const std::string index = DestinationIndex();
    {
        FileSizeLimit limit(index.size() + 5);
        EXPECT_FALSE(discs.AddTrailer(2));
    }
    EXPECT_EQ(discs.DestinationCount(), 1);
    EXPECT_EQ(DestinationIndex(), index);
    EXPECT_EQ(DestinationAudio(), kAudioHeaderBytes);

    ASSERT_TRUE(discs.AddTrailer(2));
    EXPECT_EQ(DestinationIndex(),
              kIndexHeaderLines + "EMPTY\t\t3\t0\t0\t92\r\nEMPTY\t\t3\t0\t0\t92\r\n\x1A");
}
