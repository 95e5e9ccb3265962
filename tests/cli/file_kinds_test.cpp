// What stands in place of a disc's or a source's files: anything but a regular file is refused
// at once, by name, with nothing changed; a folder given for an index stands for the index in it.
#include <sys/stat.h>

#include <filesystem>
#include <functional>
#include <string>
#include <system_error>
#include <vector>

#include "kovdisc_fixture.h"

namespace fs = std::filesystem;

namespace {

using FileKinds = KovdiscTest;

using Runs = std::vector<std::vector<std::string>>;

struct Kind {
    const char* name;
    std::function<bool(const std::string& path)> make;
};

struct Target {
    const char* file; // replaced by each kind in turn
    Runs runs;        // every command that opens it
};

} // namespace

TEST_F(FileKinds, AnythingButAFileIsRefusedAtOnceByNameAndNothingChanges) {
    const std::vector<Kind> kinds = {
        {"named pipe", [](const std::string& path) { return mkfifo(path.c_str(), 0666) == 0; }},
        {"folder",
         [](const std::string& path) {
             std::error_code error;
             return fs::create_directory(path, error);
         }},
        // Reached through a symbolic link, which is followed.
        {"character device",
         [](const std::string& path) {
             std::error_code error;
             fs::create_symlink("/dev/null", path, error);
             return !error;
         }},
    };
    const Runs sourceRuns = {{"list", "source/R14TRLR.TXT"},
                             {"add", "disc/R14TRLR.TXT", "source/R14TRLR.TXT"},
                             {"verify", "disc/R14TRLR.TXT", "source/R14TRLR.TXT"},
                             {"recover", "disc/R14TRLR.TXT", "source/R14TRLR.TXT"}};
    const Runs discRuns = {{"list", "disc/R14TRLR.TXT"},
                           {"check", "disc/R14TRLR.TXT"},
                           {"check", "disc/R14TRLR.TXT", "--repair"},
                           {"add", "disc/R14TRLR.TXT", "source/R14TRLR.TXT"},
                           {"copy", "disc/R14TRLR.TXT", "out"},
                           {"verify", "disc/R14TRLR.TXT", "source/R14TRLR.TXT"},
                           {"recover", "disc/R14TRLR.TXT", "source/R14TRLR.TXT", "--write"},
                           {"new", "disc", "--force"}};
    const std::vector<Target> targets = {{"source/R14TRLR.TXT", sourceRuns},
                                         {"source/R14T5.AUD", sourceRuns},
                                         {"disc/R14TRLR.TXT", discRuns},
                                         {"disc/R14T5.AUD", discRuns}};
    const FileSnapshot before = Files();
    std::string transcript;
    for (const Target& target : targets) {
        const std::string file = Path(target.file);
        for (const Kind& kind : kinds) {
            fs::rename(file, file + ".kept");
            ASSERT_TRUE(kind.make(file)) << target.file << " as a " << kind.name;
            transcript += "== " + std::string(target.file) + " as a " + kind.name + "\n";
            for (const std::vector<std::string>& run : target.runs) {
                transcript += Kov(run);
            }
            fs::remove(file);
            fs::rename(file + ".kept", file);
            EXPECT_EQ(ChangedFiles(before, Files()), "") << target.file << " as a " << kind.name;
            EXPECT_FALSE(fs::exists(Path("out"))) << target.file << " as a " << kind.name;
        }
    }
    ExpectGolden("file_kinds", transcript);
}

TEST_F(FileKinds, AFolderStandsForTheIndexItHoldsInEveryCommand) {
    fs::create_directory(Path("bare"));
    Write("bare/R14T5.AUD", Read("disc/R14T5.AUD"));
    const FileSnapshot before = Files();
    // The readers first: nothing changes.
    std::string transcript = Kov({"list", "source"});
    transcript += Kov({"list", "."}, "disc");
    transcript += Kov({"check", "disc/"});
    transcript += Kov({"verify", "disc", "source", "--json"});
    transcript += Kov({"recover", "disc", "source"});
    // A folder without an index, wherever an index is taken.
    transcript += Kov({"list", "bare"});
    transcript += Kov({"check", "bare", "--repair"});
    transcript += Kov({"add", "disc", "bare"});
    transcript += Kov({"recover", "bare", "source", "--write"});
    EXPECT_EQ(ChangedFiles(before, Files()), "");
    // The writers, on the index in the folder.
    transcript += Kov({"add", "disc", "source", "#2"});
    transcript += Kov({"copy", "disc", "out", "#4"});
    transcript += Kov({"check", "out", "--repair"});
    transcript += Kov({"recover", "out", "disc", "--write"});
    ExpectGolden("folder_for_index", transcript);
    EXPECT_TRUE(fs::exists(Path("out/R14TRLR.TXT")));
}
