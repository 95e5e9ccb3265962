#include "copy_steps.h"

#include "progress.h"
#include "trailer_text.h"

StepsCopied CopySteps(DiscPair& discs, const std::vector<Step>& steps) {
    std::int32_t copies = 0;
    std::int64_t totalBytes = 0;
    for (const Step& step : steps) {
        if (!step.skip) {
            ++copies;
            totalBytes += discs.SourceTrailer(step.position).end;
        }
    }
    Progress progress(copies, totalBytes);
    StepsCopied result;
    for (const Step& step : steps) {
        const TrailerEntry& entry = discs.SourceTrailer(step.position);
        const std::string name = PrintableName(entry);
        if (step.skip) {
            progress.Skipped(name);
            ++result.skipped;
            continue;
        }
        progress.Copying(result.copied + 1, name, result.copiedBytes);
        if (!discs.AddTrailerInBlocks(step.position)) {
            result.refused = &entry;
            break;
        }
        ++result.copied;
        result.copiedBytes += entry.end;
        progress.Copied(result.copied, name, result.copiedBytes);
    }
    progress.Finish();
    return result;
}

std::string DoneBefore(std::int32_t count, const std::string& done, const std::string& what) {
    return CountOf(count, "trailer") + (count == 1 ? " was " : " were ") + done + " before " + what;
}
