// kovdisc add DISC_INDEX SOURCE_INDEX [PICK...]: continues a disc as Continue Disc does and adds
// the picked trailers of a source disc to it, as the window's Add does, skipping any the disc
// already shows. The disc is held for this program alone before it is read, and nothing is
// written before every input has been read and every PICK resolved.
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
#include "picks.h"
#include "trailer_text.h"

namespace {

// The window's rule: a trailer is on the disc when a line of the disc's list equals its list
// line, letter case ignored. Trailers added earlier in the run count, so the plan follows the
// list as it will grow.
std::vector<Step> PlanSteps(const DiscPair& discs, const std::vector<std::int32_t>& positions) {
    std::vector<std::string> lines;
    for (std::int32_t i = 0; i < discs.DestinationCount(); ++i) {
        lines.push_back(ListLine(discs.DestinationTrailer(i)));
    }
    std::vector<Step> steps;
    for (const std::int32_t position : positions) {
        const std::string line = ListLine(discs.SourceTrailer(position));
        bool shown = false;
        for (const std::string& other : lines) {
            shown = shown || SameIgnoringCase(line, other);
        }
        steps.push_back({position, shown});
        if (!shown) {
            lines.push_back(line);
        }
    }
    return steps;
}

// A source entry AddTrailer would refuse is an input that cannot be read: refused before
// anything is written, like a bad PICK.
bool StepsCopyable(const DiscPair& discs, const AddOptions& options, const std::vector<Step>& steps,
                   std::string& error) {
    for (const Step& step : steps) {
        const TrailerEntry& entry = discs.SourceTrailer(step.position);
        if (!step.skip && !EntryIsCopyable(entry)) {
            error = "trailer #" + std::to_string(step.position + 1) + " " + PrintableName(entry) +
                    " of " + options.sourceIndex +
                    " points outside its audio file: its END is below 0 or wrapped in 32 bits, "
                    "or its START and OFFSET lie before the start of the file; " +
                    options.discIndex + " was not changed.";
            return false;
        }
    }
    return true;
}

// Reads both discs and resolves the PICKs, changing nothing. Gives back where the disc's audio
// ends in `audioEnd`.
ExitCode Prepare(DiscPair& discs, const AddOptions& options, std::vector<Step>& steps,
                 std::int64_t& audioEnd) {
    const std::string& disc = options.discIndex;
    const std::string& source = options.sourceIndex;
    for (const std::string* index : {&disc, &source}) {
        const std::string fileProblem = IndexFileProblem(*index);
        if (!fileProblem.empty()) {
            return Fail(ExitCode::Usage, fileProblem);
        }
    }
    // Held before it is checked, so that no other program changes it meanwhile. A disc that
    // cannot be held for another reason is refused below, by the check or by the open.
    if (!discs.HoldDestinationDisc(disc.c_str(), FolderLength(disc)) && discs.DestinationInUse()) {
        return Fail(ExitCode::Failure, DiscInUse(disc));
    }
    DiscReport report;
    discs.CheckDestinationDisc(disc.c_str(), FolderLength(disc), report);
    std::string error;
    if (!IndexUsable(report, disc, error)) {
        return Fail(ExitCode::Usage, error);
    }
    if (!discs.OpenSourceDisc(source.c_str(), FolderLength(source))) {
        return Fail(ExitCode::Usage, "cannot read the source disc " + source +
                                         " or its audio file " + AudioPathBeside(source) + ".");
    }
    std::vector<std::int32_t> positions;
    if (!ResolvePicks(discs, source, options.picks, positions, error)) {
        return Fail(ExitCode::Usage, error);
    }
    steps = PlanSteps(discs, positions);
    if (!StepsCopyable(discs, options, steps, error)) {
        return Fail(ExitCode::Usage, error);
    }
    if (DiscHoldsItsTrailers(report) && !DiscCanContinue(report)) {
        return Fail(ExitCode::Failure, UnlistedAudio(report, disc) + ". " + disc +
                                           " was not changed; \"kovdisc check --repair " + disc +
                                           "\" cuts them, once any trailers they hold have been "
                                           "recovered.");
    }
    if (!DiscCanContinue(report)) {
        for (const std::string& problem : DiscProblems(discs, report, disc)) {
            Warn(problem);
        }
        return Fail(ExitCode::Failure, disc + " was not changed.");
    }
    if (!DiscIsSound(report)) {
        Warn("cutting " + CountOf(report.audioSize - report.expectedAudioSize, "byte") +
             " of an add that never finished off " + AudioPathBeside(disc) + ".");
    }
    audioEnd = report.expectedAudioSize;
    return ExitCode::Success;
}

} // namespace

ExitCode RunAdd(const AddOptions& options) {
    CatchInterruptions();
    const std::string& disc = options.discIndex;
    const auto discs = std::make_unique<DiscPair>();
    std::vector<Step> steps;
    std::int64_t audioEnd = 0;
    const ExitCode prepared = Prepare(*discs, options, steps, audioEnd);
    if (prepared != ExitCode::Success) {
        return prepared;
    }
    if (!discs->OpenDestinationDisc(false, disc.c_str(), FolderLength(disc))) {
        return Fail(ExitCode::Failure,
                    discs->DestinationInUse()
                        ? DiscInUse(disc)
                        : "could not open " + disc + " and its audio file for writing.");
    }

    const StepsCopied result = CopySteps(*discs, steps, disc);
    if (result.refused != nullptr) {
        const std::string name = PrintableName(*result.refused);
        const bool listFull = discs->DestinationCount() >= kMaxTrailers;
        const bool audioFull =
            audioEnd + result.copiedBytes + result.refused->end > kLargestAudioFile;
        discs->CloseDestinationDisc();
        const std::string before = DoneBefore(result.copied, "added", name) + ".";
        if (listFull) {
            return Fail(ExitCode::Failure, disc + " is full: it holds " +
                                               std::to_string(kMaxTrailers) + " trailers; " +
                                               before);
        }
        if (audioFull) {
            return Fail(ExitCode::Failure, disc + " is full: with " + name +
                                               " its audio would need more than " +
                                               std::to_string(kLargestAudioFile) +
                                               " bytes, the most an OFFSET can reach; " + before);
        }
        return Fail(ExitCode::Failure, "could not add " + name + " to " + disc +
                                           ": the write failed; " +
                                           DoneBefore(result.copied, "added", "it") + ".");
    }
    const std::int32_t count = discs->DestinationCount();
    discs->CloseDestinationDisc();
    if (result.interrupted) {
        return Fail(ExitCode::Interrupted, "interrupted: added " + std::to_string(result.copied) +
                                               " of " + std::to_string(result.copies) + "; " +
                                               disc + " now holds " + CountOf(count, "trailer") +
                                               ".");
    }
    std::printf("added %d, skipped %d; %s now holds %s.\n", static_cast<int>(result.copied),
                static_cast<int>(result.skipped), disc.c_str(), CountOf(count, "trailer").c_str());
    return ExitCode::Success;
}
