// kovdisc check INDEX [--repair]: checks a written disc as Continue Disc does. The one repair
// is Continue's own cut of the audio after the last trailer.
#include <cstdio>
#include <memory>

#include "commands.h"
#include "disc_files.h"
#include "disc_pair.h"
#include "disc_problems.h"
#include "trailer_text.h"

ExitCode RunCheck(const CheckOptions& options) {
    const std::string& index = options.index;
    const std::string fileProblem = IndexFileProblem(index);
    if (!fileProblem.empty()) {
        return Fail(ExitCode::Usage, fileProblem);
    }
    const auto discs = std::make_unique<DiscPair>();
    DiscReport report;
    const std::int32_t folderLength = FolderLength(index);
    discs->CheckDestinationDisc(index.c_str(), folderLength, report);
    std::string error;
    if (!IndexUsable(report, index, error)) {
        return Fail(ExitCode::Usage, error);
    }
    if (DiscIsSound(report)) {
        std::printf("%s\n", SoundDisc(report, index).c_str());
        return ExitCode::Success;
    }

    if (options.repair && DiscCanContinue(report)) {
        const std::int64_t cut = report.audioSize - report.expectedAudioSize;
        const std::string audio = AudioPathBeside(index);
        if (!discs->OpenDestinationDisc(false, index.c_str(), folderLength)) {
            return Fail(ExitCode::Failure, "could not cut the unfinished add off " + audio + ".");
        }
        discs->CloseDestinationDisc();
        std::printf("cut %s after the last trailer off %s.\n", CountOf(cut, "byte").c_str(),
                    audio.c_str());
        discs->CheckDestinationDisc(index.c_str(), folderLength, report);
        if (!DiscIsSound(report)) {
            return Fail(ExitCode::Failure, index + " is still not sound after the cut.");
        }
        std::printf("%s\n", SoundDisc(report, index).c_str());
        return ExitCode::Success;
    }

    for (const std::string& problem : DiscProblems(*discs, report, index)) {
        std::printf("%s\n", problem.c_str());
    }
    if (options.repair) {
        return Fail(ExitCode::Failure, "only audio after the last trailer can be cut off; " +
                                           index + " and its audio file were left as they were.");
    }
    return ExitCode::Failure;
}
