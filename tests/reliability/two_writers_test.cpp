// Two kovdisc processes on one disc. The first is stopped (SIGSTOP) the moment its disc's audio
// grows, in the middle of its copy: every other writer is then refused with nothing changed,
// every reader still reads, and the first, continued, finishes a disc that verifies. A writer
// killed in the middle of its copy leaves no lock behind.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "disc_pair.h"
#include "program_run.h"
#include "sample_disc.h"
#include "test_files.h"

namespace {

// Big enough that a copy takes far longer than the watch for the audio file to grow.
const std::int32_t kTrailerUnits = 2000;

// kovdisc started in `folder`, left to run; what it writes goes to files.
class Started {
public:
    Started(const std::vector<std::string>& arguments, const std::string& folder)
        : pid_(StartProgram(KOVDISC_PATH, arguments, folder, streams_.File("out"),
                            streams_.File("err"))) {}
    ~Started() {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            kill(pid_, SIGCONT);
            Wait();
        }
    }
    Started(const Started&) = delete;
    Started& operator=(const Started&) = delete;

    pid_t Pid() const { return pid_; }
    // The exit code, or -1 when a signal ended it.
    int Wait() {
        int status = 0;
        waitpid(pid_, &status, 0);
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    std::string Err() const { return ReadFileBytes(streams_.File("err")); }

private:
    TempFolder streams_;
    pid_t pid_;
};

class TwoWriters : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* name : {"s1", "s2", "disc", "small"}) {
            ASSERT_EQ(mkdir(work.File(name).c_str(), 0755), 0);
        }
        SampleDiscOptions options;
        options.trailers = 2;
        options.fixedUnits = kTrailerUnits;
        static SampleTrailer trailers[kMaxSampleTrailers];
        options.seed = 1;
        ASSERT_TRUE(WriteSampleDisc(work.File("s1").c_str(), options, trailers));
        options.seed = 2;
        ASSERT_TRUE(WriteSampleDisc(work.File("s2").c_str(), options, trailers));
        options.trailers = 1;
        options.fixedUnits = 1;
        ASSERT_TRUE(WriteSampleDisc(work.File("small").c_str(), options, trailers));
        ASSERT_EQ(Kov({"new", "disc"}).code, 0);
        ASSERT_EQ(Kov({"new", "written"}).code, 0);
        ASSERT_EQ(Kov({"add", "written/R14TRLR.TXT", "small/R14TRLR.TXT"}).code, 0);
    }

    ProgramRun Kov(const std::vector<std::string>& arguments) {
        return RunProgram(KOVDISC_PATH, arguments, work.Path());
    }

    std::string DiscFiles() const {
        std::string files;
        for (const std::string& name : FilesIn(work.File("disc"))) {
            files += name + ":" + ReadFileBytes(work.File("disc/" + name)) + "|";
        }
        return files;
    }

    // Stops the writer as soon as the disc's audio grows past `size`: mid-copy.
    void StopWhenAudioGrows(const Started& writer, std::uintmax_t size) {
        const std::string audio = work.File("disc/R14T5.AUD");
        const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        std::error_code error;
        while (std::filesystem::file_size(audio, error) <= size &&
               std::chrono::steady_clock::now() < give_up) {
            std::this_thread::sleep_for(std::chrono::microseconds(50));
        }
        ASSERT_EQ(kill(writer.Pid(), SIGSTOP), 0);
        ASSERT_GT(std::filesystem::file_size(audio), size) << "the writer never started copying";
    }

    TempFolder work;
};

const char kDisc[] = "disc/R14TRLR.TXT";
const char kRefusal[] =
    "kovdisc: another program is writing the disc disc/R14TRLR.TXT; nothing was changed.\n";

} // namespace

TEST_F(TwoWriters, AStoppedWriterKeepsEveryOtherWriterOutAndEveryReaderIn) {
    const std::uintmax_t emptyAudio = std::filesystem::file_size(work.File("disc/R14T5.AUD"));
    Started first({"add", kDisc, "s1/R14TRLR.TXT"}, work.Path());
    StopWhenAudioGrows(first, emptyAudio);

    const std::string held = DiscFiles();
    // The record of the running add is there: the disc's audio grows past its index.
    EXPECT_NE(held.find("R14T5.ADD:92\r\n|"), std::string::npos);
    const std::vector<std::vector<std::string>> writers = {
        {"add", kDisc, "s2/R14TRLR.TXT"},
        {"new", "disc", "--force"},
        {"check", kDisc, "--repair"},
        {"copy", "written/R14TRLR.TXT", "disc", "--force"},
        {"recover", kDisc, "s1/R14TRLR.TXT", "--write"},
    };
    for (const std::vector<std::string>& writer : writers) {
        const ProgramRun run = Kov(writer);
        EXPECT_EQ(run.code, 1) << writer[0];
        EXPECT_EQ(run.out, "") << writer[0];
        EXPECT_EQ(run.err, kRefusal) << writer[0];
        EXPECT_EQ(DiscFiles(), held) << writer[0];
    }
    const std::vector<std::vector<std::string>> readers = {
        {"list", kDisc},
        {"verify", kDisc, "s1/R14TRLR.TXT"},
        {"add", "written/R14TRLR.TXT", kDisc},
        {"copy", kDisc, "copied"},
    };
    for (const std::vector<std::string>& reader : readers) {
        const ProgramRun run = Kov(reader);
        EXPECT_EQ(run.code, 0) << reader[0] << ": " << run.err;
    }
    // A check reads too; it reports the running add as unfinished, and so does recover.
    EXPECT_EQ(Kov({"check", kDisc}).code, 1);
    EXPECT_EQ(Kov({"recover", kDisc, "s1/R14TRLR.TXT", "--json"}).code, 1);
    EXPECT_EQ(DiscFiles(), held);

    ASSERT_EQ(kill(first.Pid(), SIGCONT), 0);
    EXPECT_EQ(first.Wait(), 0) << first.Err();
    const ProgramRun verify = Kov({"verify", kDisc, "s1/R14TRLR.TXT"});
    EXPECT_EQ(verify.code, 0) << verify.out << verify.err;
    EXPECT_EQ(verify.out.substr(verify.out.rfind('\n', verify.out.size() - 2) + 1),
              "2 ok, 0 differ, 0 without a source\n");
    EXPECT_EQ(FilesIn(work.File("disc")), (std::vector<std::string>{"R14T5.AUD", "R14TRLR.TXT"}));
}

TEST_F(TwoWriters, AKilledWriterLeavesNoLockAndItsUnfinishedAddIsCut) {
    ASSERT_EQ(Kov({"add", kDisc, "s1/R14TRLR.TXT", "#1"}).code, 0);
    const std::string oneTrailer = DiscFiles();
    const std::uintmax_t audio = std::filesystem::file_size(work.File("disc/R14T5.AUD"));
    {
        Started killed({"add", kDisc, "s2/R14TRLR.TXT"}, work.Path());
        StopWhenAudioGrows(killed, audio);
        ASSERT_EQ(kill(killed.Pid(), SIGKILL), 0);
        EXPECT_EQ(killed.Wait(), -1);
    }
    const ProgramRun next = Kov({"add", kDisc, "s1/R14TRLR.TXT"});
    EXPECT_EQ(next.code, 0) << next.err;
    EXPECT_EQ(next.err.rfind("kovdisc: cutting ", 0), 0u) << next.err;
    EXPECT_NE(next.out.find("now holds 2 trailers"), std::string::npos) << next.out;
    EXPECT_EQ(Kov({"verify", kDisc, "s1/R14TRLR.TXT"}).code, 0);
    EXPECT_NE(DiscFiles(), oneTrailer);
    EXPECT_EQ(FilesIn(work.File("disc")), (std::vector<std::string>{"R14T5.AUD", "R14TRLR.TXT"}));
}
