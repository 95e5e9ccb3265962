// Opening and closing discs, the audio file name and the end of the disc pair's life.
#include <gtest/gtest.h>

#include <string>

#include "disc_fixture.h"
#include "disc_pair.h"
#include "test_files.h"

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#endif

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

#ifndef _WIN32
// A named pipe would keep a reader waiting for a writer forever, and a device gives bytes no
// disc holds: in place of any of a source's or a destination's files, neither opens, at once.
TEST(SourceDisc, AndDestinationOpenOnlyRegularFiles) {
    const auto pipe = [](const std::string& name) { return mkfifo(name.c_str(), 0666) == 0; };
    const auto folder = [](const std::string& name) { return mkdir(name.c_str(), 0777) == 0; };
    const auto device = [](const std::string& name) {
        return symlink("/dev/zero", name.c_str()) == 0;
    };
    for (const auto& make : {+pipe, +folder, +device}) {
        for (const char* name : {kIndexFileName, kAudioFileName}) {
            TempFolder source;
            TempFolder disc;
            WriteFileBytes(source.File(kIndexFileName), kOneTrailer);
            WriteFileBytes(source.File(kAudioFileName), "audio");
            WriteFileBytes(disc.File(kIndexFileName), kIndexHeaderLines + "\x1A");
            WriteFileBytes(disc.File(kAudioFileName), kAudioHeaderBytes);
            for (const TempFolder* where : {&source, &disc}) {
                std::filesystem::remove(where->File(name));
                ASSERT_TRUE(make(where->File(name))) << name;
            }
            DiscPair discs;
            EXPECT_FALSE(
                discs.OpenSourceDisc(source.File(kIndexFileName).c_str(), FolderLength(source)))
                << name;
            EXPECT_FALSE(discs.OpenDestinationDisc(false, disc.File(kIndexFileName).c_str(),
                                                   FolderLength(disc)))
                << name;
            EXPECT_FALSE(discs.IsSourceOpen());
            EXPECT_FALSE(discs.IsDestinationOpen());
            for (const TempFolder* where : {&source, &disc}) {
                std::filesystem::remove(where->File(name));
            }
        }
    }
}
#endif
