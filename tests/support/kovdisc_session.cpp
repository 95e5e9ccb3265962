#include "kovdisc_session.h"

#include <sys/stat.h>

#include "disc_fixture.h"
#include "golden_files.h"
#include "program_run.h"

void KovdiscSession::WriteDisc(const std::string& folder, const std::string& index,
                               std::size_t audioSize, int step) const {
    std::string audio = kAudioHeaderBytes;
    while (audio.size() < audioSize) {
        audio += static_cast<char>(audio.size() * static_cast<std::size_t>(step) % 251);
    }
    mkdir(work.File(folder).c_str(), 0755);
    WriteFileBytes(work.File(folder + "/R14TRLR.TXT"), index);
    WriteFileBytes(work.File(folder + "/R14T5.AUD"), audio);
}

int KovdiscSession::Run(const std::vector<std::string>& arguments) {
    std::string line = "$ kovdisc";
    for (const std::string& argument : arguments) {
        line += " " + argument;
    }
    const ProgramRun run = RunProgram(KovdiscPath(), arguments, work.Path());
    transcript += line + "\n" + run.out + (run.err.empty() ? "" : "stderr:\n" + run.err) + "exit " +
                  std::to_string(run.code) + "\n\n";
    return run.code;
}

void KovdiscSession::ExpectGolden(const std::string& name) const {
    ::ExpectGolden(std::string(KOV_GOLDEN_DIR) + "/" + name, transcript);
}

std::string KovdiscSession::Files(const std::string& folder) const {
    return ReadFileBytes(work.File(folder + "/R14TRLR.TXT")) + "|" +
           ReadFileBytes(work.File(folder + "/R14T5.AUD"));
}
