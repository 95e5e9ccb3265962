#include "kovdisc_fixture.h"

#include <filesystem>
#include <system_error>

#include "disc_pair.h"
#include "golden_files.h"
#include "program_run.h"
#include "sample_disc.h"

namespace fs = std::filesystem;

namespace {

// The command line as a shell would take it back: empty arguments and those with blanks quoted.
std::string CommandLine(const std::vector<std::string>& arguments) {
    std::string line = "kovdisc";
    for (const std::string& argument : arguments) {
        const bool quote = argument.empty() || argument.find(' ') != std::string::npos;
        line += quote ? " '" + argument + "'" : " " + argument;
    }
    return line;
}

// Runs kovdisc in `folder`, named `name` below the top folder; gives back its transcript.
std::string Transcript(const std::vector<std::string>& arguments, const std::string& folder,
                       const std::string& name, int& code) {
    const ProgramRun run = RunProgram(KovdiscPath(), arguments, folder);
    code = run.code;
    const std::string end = run.signal != 0 ? "-- signal " + std::to_string(run.signal)
                                            : "-- exit " + std::to_string(run.code);
    return name + "$ " + CommandLine(arguments) + "\n" + end + "\n-- stdout\n" + run.out +
           "-- stderr\n" + run.err;
}

} // namespace

void KovdiscTest::SetUp() {
    for (const char* folder : {"source", "empty", "noaudio", "wrapped", "disc"}) {
        fs::create_directory(Path(folder));
    }
    SampleDiscOptions options;
    options.trailers = 1;
    options.fixedUnits = 150;
    SampleTrailer trailer[kMaxSampleTrailers];
    ASSERT_TRUE(WriteSampleDisc(Path("source").c_str(), options, trailer));
    const std::string discs = KOV_DISCS_DIR;
    Write("source/R14TRLR.TXT", ReadFileBytes(discs + "/source.txt"));
    Write("empty/R14TRLR.TXT", ReadFileBytes(discs + "/pair.txt"));
    Write("empty/R14T5.AUD", "");
    Write("noaudio/R14TRLR.TXT", ReadFileBytes(discs + "/pair.txt"));
    Write("wrapped/R14TRLR.TXT", ReadFileBytes(discs + "/wrapped.txt"));
    Write("wrapped/R14T5.AUD", Read("source/R14T5.AUD"));

    DiscPair discPair;
    ASSERT_TRUE(discPair.OpenSourceDisc(Path("source/R14TRLR.TXT").c_str(),
                                        static_cast<int32_t>(Path("source/").size())));
    ASSERT_TRUE(discPair.OpenDestinationDisc(true, Path("disc").c_str(), 0));
    for (const int32_t position : {0, 4, 9}) {
        ASSERT_TRUE(discPair.AddTrailer(position));
    }
    discPair.CloseDestinationDisc();
}

std::string KovdiscTest::Kov(const std::vector<std::string>& arguments, const std::string& folder) {
    int code = 0;
    return Transcript(arguments, Path(folder), folder, code);
}

int KovdiscTest::Run(const std::vector<std::string>& arguments, const std::string& folder) {
    int code = 0;
    transcript += Transcript(arguments, Path(folder), folder, code);
    return code;
}

std::string KovdiscTest::FileText(const std::string& name) const {
    return "-- file " + name + "\n" + Read(name);
}

void KovdiscTest::ExpectGolden(const std::string& name, const std::string& transcript) const {
    ::ExpectGolden(std::string(KOV_GOLDEN_DIR) + "/" + name + ".txt", transcript);
}

std::string KovdiscTest::Path(const std::string& name) const {
    return top.File(name);
}

std::string KovdiscTest::Read(const std::string& name) const {
    return ReadFileBytes(Path(name));
}

void KovdiscTest::Write(const std::string& name, const std::string& bytes) const {
    WriteFileBytes(Path(name), bytes);
}

FileSnapshot KovdiscTest::Files(const std::string& folder) const {
    FileSnapshot files;
    std::error_code error;
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(Path(folder), error)) {
        if (entry.is_regular_file(error)) {
            files[fs::relative(entry.path(), top.Path(), error).string()] =
                ReadFileBytes(entry.path().string());
        }
    }
    return files;
}

void KovdiscTest::WriteDisc(const std::string& folder, const std::string& index,
                            std::size_t audioSize, int step) const {
    std::string audio = kAudioHeaderBytes;
    while (audio.size() < audioSize) {
        audio += static_cast<char>(audio.size() * static_cast<std::size_t>(step) % 251);
    }
    fs::create_directory(Path(folder));
    Write(folder + "/R14TRLR.TXT", index);
    Write(folder + "/R14T5.AUD", audio);
}

std::string KovdiscTest::DiscBytes(const std::string& folder) const {
    return Read(folder + "/R14TRLR.TXT") + "|" + Read(folder + "/R14T5.AUD");
}

std::string ChangedFiles(const FileSnapshot& before, const FileSnapshot& after) {
    std::string changed;
    for (const auto& [name, bytes] : before) {
        const auto found = after.find(name);
        if (found == after.end()) {
            changed += name + " removed\n";
        } else if (found->second != bytes) {
            changed += name + " changed: " + FirstDifference(found->second, bytes) + "\n";
        }
    }
    for (const auto& [name, bytes] : after) {
        if (before.count(name) == 0) {
            changed += name + " added\n";
        }
    }
    return changed;
}

std::string FirstDifference(const std::string& bytes, const std::string& expected) {
    std::size_t at = 0;
    while (at < bytes.size() && at < expected.size() && bytes[at] == expected[at]) {
        ++at;
    }
    if (at == bytes.size() && at == expected.size()) {
        return "";
    }
    return std::to_string(bytes.size()) + " bytes where " + std::to_string(expected.size()) +
           " were expected, the first difference at byte " + std::to_string(at);
}
