// Two kovdisc processes on one disc. The first is stopped (SIGSTOP) the moment its disc's audio
// grows, in the middle of its copy: every other writer is then refused with nothing changed,
// every reader still reads, and the first, continued, finishes a disc that verifies. A writer
// killed in the middle of its copy leaves no lock behind. A writer interrupted (SIGINT) in the
// middle of a batch commits what it copied and says so; a second interrupt ends it at once.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <iterator>
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
        : pid_(StartProgram(KovdiscPath(), arguments, folder, streams_.File("out"),
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
        Sample("s1", 2, kTrailerUnits, 1);
        Sample("s2", 2, kTrailerUnits, 2);
        Sample("small", 1, 1, 2);
        ASSERT_EQ(Kov({"new", "disc"}).code, 0);
        ASSERT_EQ(Kov({"new", "written"}).code, 0);
        ASSERT_EQ(Kov({"add", "written/R14TRLR.TXT", "small/R14TRLR.TXT"}).code, 0);
    }

    // A source disc in `folder`: `trailers` trailers of `units` index units each.
    void Sample(const std::string& folder, std::int32_t trailers, std::int32_t units, int seed) {
        ASSERT_EQ(mkdir(work.File(folder).c_str(), 0755), 0);
        SampleDiscOptions options;
        options.trailers = trailers;
        options.fixedUnits = units;
        options.seed = seed;
        static SampleTrailer written[kMaxSampleTrailers];
        ASSERT_TRUE(WriteSampleDisc(work.File(folder).c_str(), options, written));
    }

    ProgramRun Kov(const std::vector<std::string>& arguments) {
        return RunProgram(KovdiscPath(), arguments, work.Path());
    }

    std::string DiscFiles() const {
        std::string files;
        for (const std::string& name : FilesIn(work.File("disc"))) {
            files += name + ":" + ReadFileBytes(work.File("disc/" + name)) + "|";
        }
        return files;
    }

    // Whether `pid` is stopped: the state in /proc/PID/stat, after the command's name.
    static bool IsStopped(pid_t pid) {
        std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
        const std::string line((std::istreambuf_iterator<char>(stat)),
                               std::istreambuf_iterator<char>());
        const std::size_t name_end = line.rfind(')');
        return name_end != std::string::npos && line.compare(name_end, 3, ") T") == 0;
    }

    // Stops `pid` and waits until the kernel shows it stopped: kill returns before a process
    // running on another core has stopped, and it could still write meanwhile.
    static void Halt(pid_t pid) {
        ASSERT_EQ(kill(pid, SIGSTOP), 0);
        const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (!IsStopped(pid) && std::chrono::steady_clock::now() < give_up) {
            std::this_thread::sleep_for(std::chrono::microseconds(50));
        }
        ASSERT_TRUE(IsStopped(pid)) << "process " << pid << " did not stop";
    }

    // Waits until `pid` has taken the signals sent to it: none is pending (ShdPnd in
    // /proc/PID/status).
    static void WaitTaken(pid_t pid) {
        const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        for (;;) {
            std::ifstream status("/proc/" + std::to_string(pid) + "/status");
            std::string line;
            while (std::getline(status, line) && line.rfind("ShdPnd:", 0) != 0) {
            }
            if (line.find_first_not_of("0", line.find_first_not_of(" \t", 7)) ==
                    std::string::npos ||
                std::chrono::steady_clock::now() > give_up) {
                return;
            }
            std::this_thread::sleep_for(std::chrono::microseconds(50));
        }
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
        Halt(writer.Pid());
        ASSERT_GT(std::filesystem::file_size(audio), size) << "the writer never started copying";
    }

    // Where `pid` stands in the file `path`: the position of its descriptor of it; -1 while it
    // has none.
    static long long ReadPosition(pid_t pid, const std::string& path) {
        const std::string folder = "/proc/" + std::to_string(pid) + "/fd";
        std::error_code error;
        for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
            if (std::filesystem::read_symlink(entry.path(), error) != path) {
                continue;
            }
            std::ifstream info("/proc/" + std::to_string(pid) + "/fdinfo/" +
                               entry.path().filename().string());
            std::string key;
            long long position = -1;
            if (info >> key >> position && key == "pos:") {
                return position;
            }
        }
        return -1;
    }

    // Stops the reader in the middle of its reading of `path`: once it has read past byte
    // `from`, and before the end. It stands at the end too once it has sized the file, before it
    // reads; and a descriptor seen past `from` may be gone by the time the stop lands (checking
    // the disc reads it apart from the comparison), so a stop that did not land in that state is
    // let go and the watch goes on.
    static void StopWhenReadPast(const Started& reader, const std::string& path, long long from) {
        const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        const auto size = static_cast<long long>(std::filesystem::file_size(path));
        long long position = -1;
        while (std::chrono::steady_clock::now() < give_up) {
            const long long at = ReadPosition(reader.Pid(), path);
            if (at > from && at < size) {
                Halt(reader.Pid());
                position = ReadPosition(reader.Pid(), path);
                if (position > from && position < size) {
                    break;
                }
                ASSERT_EQ(kill(reader.Pid(), SIGCONT), 0);
            }
            std::this_thread::sleep_for(std::chrono::microseconds(50));
        }
        ASSERT_GT(position, from) << "the reader never read that far";
        ASSERT_LT(position, size) << "the reader had read all of it when it was stopped";
    }

    // A run's exit code and both its outputs, whole.
    static void ExpectRun(const ProgramRun& run, int code, const std::string& out,
                          const std::string& err) {
        EXPECT_EQ(run.code, code) << run.out << run.err;
        EXPECT_EQ(run.out, out);
        EXPECT_EQ(run.err, err);
    }

    TempFolder work;
};

const char kDisc[] = "disc/R14TRLR.TXT";
const char kChanged[] = "kovdisc: the disc disc/R14TRLR.TXT changed while it was read: another "
                        "program is writing it; run the command again once that program has "
                        "finished.\n";
const char kRefusal[] =
    "kovdisc: another program is writing the disc disc/R14TRLR.TXT; nothing was changed.\n";

} // namespace

TEST_F(TwoWriters, AStoppedWriterKeepsEveryOtherWriterOutAndEveryReaderIn) {
    // Trailers of 73.5 MB: copied at the device's speed, the first still takes long enough that
    // the watch stops the add inside it, however busy the machine.
    Sample("wide", 2, 20000, 5);
    const std::uintmax_t emptyAudio = std::filesystem::file_size(work.File("disc/R14T5.AUD"));
    Started first({"add", kDisc, "wide/R14TRLR.TXT"}, work.Path());
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
    // The readers that look past the last trailer say the disc is being written, not damaged,
    // and suggest no cut.
    const std::string under =
        std::to_string(std::filesystem::file_size(work.File("disc/R14T5.AUD")) - emptyAudio);
    ExpectRun(Kov({"check", kDisc}), 1,
              "disc/R14T5.AUD holds " + under +
                  " bytes after the last trailer, an add under way: another program is writing "
                  "the disc; check it again once that program has finished.\n",
              "");
    ExpectRun(Kov({"verify", kDisc, "s1/R14TRLR.TXT"}), 0, "0 ok, 0 differ, 0 without a source\n",
              "kovdisc: not comparing the " + under +
                  " bytes after the last trailer of disc/R14T5.AUD, being written by another "
                  "program.\n");
    const ProgramRun recover = Kov({"recover", kDisc, "wide/R14TRLR.TXT"});
    EXPECT_EQ(recover.code, 1);
    EXPECT_NE(recover.out.find(", " + under +
                               " of 73500000 bytes: being written by another "
                               "program, an add under way.\n--write would write "
                               "disc/R14TRLR.TXT listing 0 trailers; nothing was changed.\n"),
              std::string::npos)
        << recover.out;
    for (const std::vector<std::string>& json :
         {std::vector<std::string>{"recover", kDisc, "s1/R14TRLR.TXT", "--json"},
          std::vector<std::string>{"verify", kDisc, "s1/R14TRLR.TXT", "--json"}}) {
        const ProgramRun run = Kov(json);
        EXPECT_EQ(run.code, json[0] == "verify" ? 0 : 1) << json[0];
        EXPECT_NE(run.out.find("\n  \"in_use\": true\n}\n"), std::string::npos) << run.out;
    }
    EXPECT_EQ(DiscFiles(), held);

    ASSERT_EQ(kill(first.Pid(), SIGCONT), 0);
    EXPECT_EQ(first.Wait(), 0) << first.Err();
    const ProgramRun verify = Kov({"verify", kDisc, "wide/R14TRLR.TXT"});
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
    // With no writer left, the same audio is an add that never finished.
    const std::string left =
        std::to_string(std::filesystem::file_size(work.File("disc/R14T5.AUD")) - audio);
    ExpectRun(Kov({"check", kDisc}), 1,
              "disc/R14T5.AUD holds " + left +
                  " bytes after the last trailer, left by an add that never finished.\n",
              "");
    const ProgramRun next = Kov({"add", kDisc, "s1/R14TRLR.TXT"});
    EXPECT_EQ(next.code, 0) << next.err;
    EXPECT_EQ(next.err.rfind("kovdisc: cutting ", 0), 0u) << next.err;
    EXPECT_NE(next.out.find("now holds 2 trailers"), std::string::npos) << next.out;
    EXPECT_EQ(Kov({"verify", kDisc, "s1/R14TRLR.TXT"}).code, 0);
    EXPECT_NE(DiscFiles(), oneTrailer);
    EXPECT_EQ(FilesIn(work.File("disc")), (std::vector<std::string>{"R14T5.AUD", "R14TRLR.TXT"}));
}

// A reader whose disc is cut under it: recover is stopped in the middle of reading the audio
// after the last trailer, check --repair cuts that audio, and recover, continued, says the disc
// changed while it was read (exit 1), never that its input cannot be read (exit 2).
TEST_F(TwoWriters, AReaderWhoseDiscIsCutWhileItReadsSaysTheDiscChanged) {
    ASSERT_EQ(Kov({"add", kDisc, "s1/R14TRLR.TXT"}).code, 0);
    const std::string audio = work.File("disc/R14T5.AUD");
    const std::string listed = DiscFiles();
    const auto end = static_cast<long long>(std::filesystem::file_size(audio));
    // Audio after the last trailer that no add left, long enough to take a while to read.
    std::filesystem::resize_file(audio, static_cast<std::uintmax_t>(end) + (256 << 20));
    Started reader({"recover", kDisc, "s1/R14TRLR.TXT"}, work.Path());
    StopWhenReadPast(reader, audio, end);

    const ProgramRun cut = Kov({"check", kDisc, "--repair"});
    EXPECT_EQ(cut.code, 0) << cut.err;
    EXPECT_EQ(DiscFiles(), listed);
    ASSERT_EQ(kill(reader.Pid(), SIGCONT), 0);
    EXPECT_EQ(reader.Wait(), 1);
    EXPECT_EQ(reader.Err(), kChanged);
}

// verify the same way: stopped in the middle of reading a trailer of the disc, whose audio a new
// disc over it (new --force) then cuts to its header.
TEST_F(TwoWriters, AVerifyWhoseDiscIsCutWhileItReadsSaysTheDiscChanged) {
    Sample("long", 1, 40000, 1); // 147 MB: reading it takes a while
    ASSERT_EQ(Kov({"add", kDisc, "long/R14TRLR.TXT"}).code, 0);
    const std::string audio = work.File("disc/R14T5.AUD");
    Started reader({"verify", kDisc, "long/R14TRLR.TXT"}, work.Path());
    // Past its first megabyte, which only the comparison reads: checking the disc first reads
    // its header, and with it a buffer's worth of the audio after it.
    StopWhenReadPast(reader, audio, 1 << 20);

    EXPECT_EQ(Kov({"new", "disc", "--force"}).code, 0);
    ASSERT_EQ(std::filesystem::file_size(audio), 92u);
    ASSERT_EQ(kill(reader.Pid(), SIGCONT), 0);
    EXPECT_EQ(reader.Wait(), 1);
    EXPECT_EQ(reader.Err(), kChanged);
}

// The add is interrupted in the middle of its one batch: it copies the trailer under way,
// commits what it copied, says so and exits 130, with a sound disc that holds what it says.
// Interrupted a second time, it ends at once, and the next add cuts what it left.
TEST_F(TwoWriters, AnInterruptedAddCommitsWhatItCopiedAndSaysSo) {
    Sample("big", 3, 30000, 1); // 110 MB each: the stops land well inside a trailer
    const std::uintmax_t emptyAudio = std::filesystem::file_size(work.File("disc/R14T5.AUD"));
    const BatchSeconds oneBatch("1000");
    Started add({"add", kDisc, "big/R14TRLR.TXT"}, work.Path());
    StopWhenAudioGrows(add, emptyAudio);
    ASSERT_EQ(kill(add.Pid(), SIGINT), 0);
    ASSERT_EQ(kill(add.Pid(), SIGCONT), 0);
    EXPECT_EQ(add.Wait(), 130);
    const std::string err = add.Err();
    const std::string said = "kovdisc: interrupted: added ";
    const std::size_t at = err.rfind(said);
    ASSERT_NE(at, std::string::npos) << err;
    const int added = std::stoi(err.substr(at + said.size()));
    EXPECT_GE(added, 1);
    EXPECT_LT(added, 3);
    const std::string trailersHeld =
        std::to_string(added) + (added == 1 ? " trailer" : " trailers");
    EXPECT_EQ(err.substr(at), said + std::to_string(added) + " of 3; disc/R14TRLR.TXT now holds " +
                                  trailersHeld + ".\n");
    const std::string bytes =
        std::to_string(emptyAudio + static_cast<std::uintmax_t>(added) * 30000 * kIndexUnit);
    ExpectRun(Kov({"check", kDisc}), 0,
              "disc/R14TRLR.TXT is sound: " + trailersHeld + ", " + bytes + " bytes of audio.\n",
              "");
    EXPECT_EQ(FilesIn(work.File("disc")), (std::vector<std::string>{"R14T5.AUD", "R14TRLR.TXT"}));

    // Stopped again in the middle of a trailer after the first interrupt has been taken.
    Started again({"add", kDisc, "big/R14TRLR.TXT"}, work.Path());
    StopWhenAudioGrows(again, std::stoull(bytes));
    ASSERT_EQ(kill(again.Pid(), SIGINT), 0);
    ASSERT_EQ(kill(again.Pid(), SIGCONT), 0);
    WaitTaken(again.Pid());
    Halt(again.Pid());
    ASSERT_EQ(kill(again.Pid(), SIGINT), 0);
    ASSERT_EQ(kill(again.Pid(), SIGCONT), 0);
    EXPECT_EQ(again.Wait(), -1) << again.Err();
    EXPECT_EQ(Kov({"add", kDisc, "small/R14TRLR.TXT"}).code, 0);
    EXPECT_EQ(Kov({"check", kDisc}).code, 0);
}
