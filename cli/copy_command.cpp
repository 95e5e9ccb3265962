// kovdisc copy DISC_INDEX FOLDER [PICK...] [--except PICK]... [--force]: rearranges a written
// disc into a new disc in FOLDER. Each block is copied from where the disc holds it and each
// record keeps its name, SERIAL, START and END, so the new disc is the one the window writes
// by adding the same trailers in the same order from their source discs. The disc is only read,
// and nothing is written before every input has been read and every PICK resolved.
#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "commands.h"
#include "copy_steps.h"
#include "disc_files.h"
#include "disc_pair.h"
#include "disc_problems.h"
#include "interruption.h"
#include "new_disc_folder.h"
#include "picks.h"
#include "stream_io.h"
#include "trailer_text.h"

namespace {

// The new disc would replace the files being read, whatever the spelling of the folder. Files
// are compared rather than folders: the Windows C runtime cannot look at a folder named with a
// trailing separator.
bool IsDiscFolder(const std::string& folder, const std::string& discIndex) {
    const std::string audio = folder + kPathSeparator + kAudioFileName;
    return SameFile(IndexPathIn(folder).c_str(), discIndex.c_str()) ||
           SameFile(audio.c_str(), AudioPathBeside(discIndex).c_str());
}

// Drops every excepted trailer from the picked positions. False, with the sentence in `error`,
// for an --except that is no trailer of the disc or one that was not picked.
bool LeaveOut(const DiscPair& discs, const CopyOptions& options,
              std::vector<std::int32_t>& positions, std::string& error) {
    if (options.excepts.empty()) {
        return true;
    }
    std::vector<std::int32_t> excepted;
    if (!ResolvePicks(discs, options.discIndex, options.excepts, excepted, error)) {
        return false;
    }
    for (std::size_t i = 0; i < excepted.size(); ++i) {
        if (std::find(positions.begin(), positions.end(), excepted[i]) == positions.end()) {
            error = "--except " + options.excepts[i] + " names #" +
                    std::to_string(excepted[i] + 1) + " " +
                    PrintableName(discs.SourceTrailer(excepted[i])) + ", which is not picked.";
            return false;
        }
    }
    for (const std::int32_t position : excepted) {
        positions.erase(std::remove(positions.begin(), positions.end(), position), positions.end());
    }
    return true;
}

// A trailer is the same trailer only at the same position: two of a disc may show one line.
std::vector<Step> PlanSteps(const std::vector<std::int32_t>& positions) {
    std::vector<Step> steps;
    for (std::size_t i = 0; i < positions.size(); ++i) {
        const auto before = positions.begin() + static_cast<std::ptrdiff_t>(i);
        steps.push_back(
            {positions[i], std::find(positions.begin(), before, positions[i]) != before});
    }
    return steps;
}

// Reads the disc and resolves the PICKs, changing nothing.
ExitCode Prepare(DiscPair& discs, const CopyOptions& options, const std::string& folder,
                 std::vector<Step>& steps) {
    const std::string& disc = options.discIndex;
    const std::string fileProblem = IndexFileProblem(disc);
    if (!fileProblem.empty()) {
        return Fail(ExitCode::Usage, fileProblem);
    }
    if (IsDiscFolder(folder, disc)) {
        return Fail(ExitCode::Usage, options.folder + " is the folder of " + disc +
                                         ": the copy must go to another folder.");
    }
    DiscReport report;
    if (!discs.OpenWrittenSourceDisc(disc.c_str(), FolderLength(disc), report)) {
        std::string error;
        if (!IndexUsable(report, disc, error)) {
            return Fail(ExitCode::Usage, error);
        }
        if (!DiscHoldsItsTrailers(report)) {
            for (const std::string& problem : DiscProblems(discs, report, disc)) {
                Warn(problem);
            }
            return Fail(ExitCode::Failure, "nothing was copied from " + disc + ".");
        }
        return Fail(ExitCode::Usage, "cannot read the audio file " + AudioPathBeside(disc) + ".");
    }
    if (!DiscIsSound(report)) {
        Warn("not copying the " + AudioAfterTrailers(report, disc) + ".");
    }
    std::vector<std::int32_t> positions;
    std::string error;
    if (!ResolvePicks(discs, disc, options.picks, positions, error) ||
        !LeaveOut(discs, options, positions, error)) {
        return Fail(ExitCode::Usage, error);
    }
    steps = PlanSteps(positions);
    return ExitCode::Success;
}

} // namespace

ExitCode RunCopy(const CopyOptions& options) {
    CatchInterruptions();
    const std::string folder = TrimFolder(options.folder);
    const auto discs = std::make_unique<DiscPair>();
    std::vector<Step> steps;
    ExitCode code = Prepare(*discs, options, folder, steps);
    if (code == ExitCode::Success) {
        code = PrepareNewDiscFolder(options.folder, options.force);
    }
    if (code != ExitCode::Success) {
        return code;
    }
    if (!discs->OpenDestinationDisc(true, folder.c_str(), 0)) {
        return NewDiscRefused(*discs, options.folder);
    }

    const std::string index = IndexPathIn(folder);
    const StepsCopied result = CopySteps(*discs, steps, index);
    if (result.refused != nullptr) {
        discs->CloseDestinationDisc();
        return Fail(ExitCode::Failure, "could not copy " + PrintableName(*result.refused) + " to " +
                                           index + ": the write failed; " +
                                           DoneBefore(result.copied, "copied", "it") + ".");
    }
    const std::int32_t count = discs->DestinationCount();
    discs->CloseDestinationDisc();
    if (result.interrupted) {
        return Fail(ExitCode::Interrupted, "interrupted: copied " + std::to_string(result.copied) +
                                               " of " + std::to_string(result.copies) + "; " +
                                               index + " now holds " + CountOf(count, "trailer") +
                                               ".");
    }
    std::printf("copied %d, skipped %d; %s holds %s.\n", static_cast<int>(result.copied),
                static_cast<int>(result.skipped), index.c_str(), CountOf(count, "trailer").c_str());
    return ExitCode::Success;
}
