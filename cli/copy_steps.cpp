#include "copy_steps.h"

#include <chrono>
#include <cstdlib>

#include "interruption.h"
#include "progress.h"
#include "trailer_text.h"

namespace {

using Clock = std::chrono::steady_clock;

// How long a batch copies before it is committed: a second, or KOVDISC_BATCH_SECONDS (0 commits
// every trailer on its own).
std::chrono::duration<double> BatchSeconds() {
    const char* text = std::getenv("KOVDISC_BATCH_SECONDS");
    char* end = nullptr;
    const double seconds = text != nullptr ? std::strtod(text, &end) : -1;
    return std::chrono::duration<double>(end != text && *end == '\0' && seconds >= 0 ? seconds
                                                                                     : 1.0);
}

// What a step reports once its batch is committed.
struct Report {
    const TrailerEntry* entry;
    bool skip;
    std::int32_t number;    // the copy's, from 1
    std::int64_t doneBytes; // copied when it was, this one's included
};

// The batch under way: its steps' reports wait for its commit.
class Batch {
public:
    Batch(DiscPair& discs, Progress& progress, StepsCopied& result)
        : discs_(discs), progress_(progress), result_(result) {}

    void Add(const Report& report) { reports_.push_back(report); }

    // Commits the batch and reports its steps; false, reporting none, when the commit failed.
    bool Commit() {
        if (!discs_.CommitBatch()) {
            for (const Report& report : reports_) {
                if (!report.skip) {
                    result_.refused = report.entry;
                    break;
                }
            }
            reports_.clear();
            return false;
        }
        for (const Report& report : reports_) {
            const std::string name = PrintableName(*report.entry);
            if (report.skip) {
                progress_.Skipped(name);
                ++result_.skipped;
            } else {
                progress_.Copied(report.number, name, report.doneBytes);
                ++result_.copied;
                result_.copiedBytes += report.entry->end;
            }
        }
        reports_.clear();
        return true;
    }

private:
    DiscPair& discs_;
    Progress& progress_;
    StepsCopied& result_;
    std::vector<Report> reports_;
};

} // namespace

StepsCopied CopySteps(DiscPair& discs, const std::vector<Step>& steps, const std::string& disc) {
    StepsCopied result;
    std::int64_t totalBytes = 0;
    for (const Step& step : steps) {
        if (!step.skip) {
            ++result.copies;
            totalBytes += discs.SourceTrailer(step.position).end;
        }
    }
    Progress progress(result.copies, totalBytes);
    Batch batch(discs, progress, result);
    const std::chrono::duration<double> batchSeconds = BatchSeconds();
    Clock::time_point lastCommit = Clock::now();
    std::int32_t started = 0;
    std::int64_t doneBytes = 0;
    const TrailerEntry* failed = nullptr;
    for (const Step& step : steps) {
        if (Interrupted()) {
            result.interrupted = true;
            break;
        }
        const TrailerEntry& entry = discs.SourceTrailer(step.position);
        if (step.skip) {
            batch.Add({&entry, true, 0, 0});
            continue;
        }
        progress.Copying(started + 1, PrintableName(entry), doneBytes);
        if (!discs.AddTrailerToBatch(step.position)) {
            failed = &entry;
            break;
        }
        ++started;
        doneBytes += entry.end;
        batch.Add({&entry, false, started, doneBytes});
        // The last step's batch is committed after the loop, with what follows reported there.
        if (&step != &steps.back() && Clock::now() - lastCommit >= batchSeconds) {
            if (!batch.Commit()) {
                progress.Finish();
                return result;
            }
            progress.Holds(disc, discs.DestinationCount());
            lastCommit = Clock::now();
        }
    }
    if (batch.Commit() && failed != nullptr) {
        result.refused = failed;
    }
    progress.Finish();
    return result;
}

std::string DoneBefore(std::int32_t count, const std::string& done, const std::string& what) {
    return CountOf(count, "trailer") + (count == 1 ? " was " : " were ") + done + " before " + what;
}
