// kovdisc check INDEX [--repair]: checks a written disc as Continue Disc does. The one repair
// is the cut of the audio after the last trailer, which Continue makes unasked only where an
// add never finished.
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
    // A repair holds the disc before it checks it, so the cut is of what the check saw.
    if (options.repair && !discs->HoldDestinationDisc(index.c_str(), folderLength) &&
        discs->DestinationInUse()) {
        return Fail(ExitCode::Failure, DiscInUse(index));
    }
    discs->CheckDestinationDisc(index.c_str(), folderLength, report);
    std::string error;
    if (!IndexUsable(report, index, error)) {
        return Fail(ExitCode::Usage, error);
    }
    if (DiscIsSound(report)) {
        std::printf("%s\n", SoundDisc(report, index).c_str());
        return ExitCode::Success;
    }

    if (options.repair && DiscHoldsItsTrailers(report)) {
        const std::int64_t cut = report.audioSize - report.expectedAudioSize;
        const std::string audio = AudioPathBeside(index);
        if (!discs->CutDestinationAudio(report)) {
            return Fail(ExitCode::Failure,
                        "could not cut the audio after the last trailer off " + audio + ".");
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
