// Writes that fail for real, through a file size limit: an add that does not fit is refused
// and leaves the disc as it was, and the next add works once there is room again.
#include <gtest/gtest.h>

#include <csignal>
#include <string>

#include <sys/resource.h>

#include "disc_pair.h"
#include "test_files.h"

namespace {

const std::string kIndexHeader = ";NAME           SERIAL  START   END     OFFSET\r\n"
                                 ";----           ------  -----   ---     ------\r\n";
const std::string kAudioHeaderBytes(reinterpret_cast<const char*>(kAudioHeader), 92);

// Holds every file this process writes to at most `bytes` until it goes out of scope.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        getrlimit(RLIMIT_FSIZE, &saved_);
        previousHandler_ = std::signal(SIGXFSZ, SIG_IGN); // a write past the limit fails
        rlimit limit = saved_;
        limit.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &saved_);
        std::signal(SIGXFSZ, previousHandler_);
    }

private:
    rlimit saved_;
    void (*previousHandler_)(int);
};

class FullDisk : public ::testing::Test {
protected:
    void SetUp() override {
        WriteFileBytes(source.File("R14TRLR.TXT"),
                       "A 1 0 4 92\r\nB 2 0 4 14792\r\nEMPTY 3 0 0 92\r\n\x1A");
        std::string audio = kAudioHeaderBytes;
        for (int i = 0; i < 8 * 3675; ++i) {
            audio += static_cast<char>(i % 251);
        }
        WriteFileBytes(source.File("R14T5.AUD"), audio);
        sourceAudio = audio;
        ASSERT_TRUE(discs.OpenSourceDisc(source.File("R14TRLR.TXT").c_str(),
                                         static_cast<int32_t>(source.Prefix().size())));
        ASSERT_TRUE(discs.OpenDestinationDisc(true, destination.Path().c_str(), 0));
    }
    std::string Index() { return ReadFileBytes(destination.File("R14TRLR.TXT")); }
    std::string Audio() { return ReadFileBytes(destination.File("R14T5.AUD")); }

    TempFolder source;
    TempFolder destination;
    DiscPair discs;
    std::string sourceAudio;
};

} // namespace

TEST_F(FullDisk, AudioThatDoesNotFitIsRefusedAndCutBack) {
    ASSERT_TRUE(discs.AddTrailer(0));
    const std::string audio = Audio();
    const std::string index = Index();
    {
        FileSizeLimit limit(audio.size() + 1000);
        EXPECT_FALSE(discs.AddTrailer(1));
    }
    EXPECT_EQ(discs.DestinationCount(), 1);
    EXPECT_EQ(Audio(), audio);
    EXPECT_EQ(Index(), index);

    ASSERT_TRUE(discs.AddTrailer(1));
    discs.CloseDestinationDisc();
    EXPECT_EQ(Audio(), audio + sourceAudio.substr(14792, 4 * 3675));
    EXPECT_EQ(Index(), kIndexHeader + "A\t\t1\t0\t4\t92\r\nB\t\t2\t0\t4\t14792\r\n\x1A");
}

TEST_F(FullDisk, IndexThatDoesNotFitIsRefusedAndRewritten) {
    ASSERT_TRUE(discs.AddTrailer(2)); // no audio: only the index grows
    const std::string index = Index();
    {
        FileSizeLimit limit(index.size() + 5);
        EXPECT_FALSE(discs.AddTrailer(2));
    }
    EXPECT_EQ(discs.DestinationCount(), 1);
    EXPECT_EQ(Index(), index);
    EXPECT_EQ(Audio(), kAudioHeaderBytes);

    ASSERT_TRUE(discs.AddTrailer(2));
    EXPECT_EQ(Index(), kIndexHeader + "EMPTY\t\t3\t0\t0\t92\r\nEMPTY\t\t3\t0\t0\t92\r\n\x1A");
}
