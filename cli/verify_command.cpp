// kovdisc verify DISC_INDEX SOURCE_INDEX... [--json]: compares the audio of every trailer of a
// written disc with what Add copies from the source disc it came from. It changes no file.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "commands.h"
#include "disc_files.h"
#include "disc_pair.h"
#include "disc_problems.h"
#include "stream_io.h"
#include "trailer_text.h"

namespace {

// Bytes read at a time from each file: every block is read once, in pieces of this size.
const std::size_t kPieceSize = 1 << 18;

// A trailer of a source disc, and where it is found.
struct SourceTrailer {
    TrailerEntry entry;
    std::size_t source;    // which SOURCE_INDEX, from 0
    std::int32_t position; // in that source's list, from 0
};

enum class Result { Ok, Differs, NoSource };

struct Comparison {
    Result result = Result::NoSource;
    const SourceTrailer* source = nullptr;
    std::int64_t differingBytes = 0;
    std::int64_t firstDifference = -1;
};

// The first source trailer the disc's record could have been added from. One whose audio
// would start before the start of its file is passed over: Add refuses to copy it.
const SourceTrailer* FindSource(const TrailerEntry& record,
                                const std::vector<SourceTrailer>& sources) {
    for (const SourceTrailer& candidate : sources) {
        const TrailerEntry& entry = candidate.entry;
        const std::string writtenName(entry.name,
                                      static_cast<std::size_t>(WrittenNameLength(entry)));
        if (writtenName == TrailerName(record) && entry.serial == record.serial &&
            entry.start == record.start && entry.end == record.end &&
            static_cast<std::int64_t>(entry.offset) + entry.start >= 0) {
            return &candidate;
        }
    }
    return nullptr;
}

// One piece of each block being compared.
struct Pieces {
    std::vector<unsigned char> disc = std::vector<unsigned char>(kPieceSize);
    std::vector<unsigned char> source = std::vector<unsigned char>(kPieceSize);
};

// Compares `size` bytes of the disc's audio from `discAt` with the source's audio from
// `sourceAt`, as Add copies it. False on a read error.
bool CompareBlock(std::FILE* disc, std::int64_t discAt, std::FILE* source, std::int64_t sourceAt,
                  std::int32_t size, Pieces& pieces, Comparison& comparison) {
    unsigned char* const discPiece = pieces.disc.data();
    unsigned char* const sourcePiece = pieces.source.data();
    if (!SeekStream(disc, discAt, SEEK_SET) || !SeekStream(source, sourceAt, SEEK_SET)) {
        return false;
    }
    std::int64_t done = 0;
    while (done < size) {
        const std::size_t piece = static_cast<std::size_t>(
            std::min<std::int64_t>(size - done, static_cast<std::int64_t>(kPieceSize)));
        if (!ReadTrailerAudio(disc, discPiece, piece) ||
            !ReadTrailerAudio(source, sourcePiece, piece)) {
            return false;
        }
        if (std::memcmp(discPiece, sourcePiece, piece) != 0) {
            for (std::size_t i = 0; i < piece; ++i) {
                if (discPiece[i] != sourcePiece[i]) {
                    if (comparison.differingBytes == 0) {
                        comparison.firstDifference = done + static_cast<std::int64_t>(i);
                    }
                    ++comparison.differingBytes;
                }
            }
        }
        done += static_cast<std::int64_t>(piece);
    }
    comparison.result = comparison.differingBytes == 0 ? Result::Ok : Result::Differs;
    return true;
}

// Reads every source as Add reads one, and opens its audio.
ExitCode ReadSources(DiscPair& discs, const VerifyOptions& options,
                     std::vector<SourceTrailer>& trailers, std::vector<AudioFile>& audio) {
    for (std::size_t s = 0; s < options.sourceIndexes.size(); ++s) {
        const std::string& source = options.sourceIndexes[s];
        if (!discs.OpenSourceDisc(source.c_str(), FolderLength(source))) {
            return Fail(ExitCode::Usage, "cannot read the source disc " + source +
                                             " or its audio file " + AudioPathBeside(source) + ".");
        }
        for (std::int32_t i = 0; i < discs.SourceCount(); ++i) {
            trailers.push_back({discs.SourceTrailer(i), s, i});
        }
        discs.CloseSourceDisc();
        audio.push_back(OpenAudioToRead(source));
        if (!audio.back()) {
            return Fail(ExitCode::Usage, "cannot read " + AudioPathBeside(source) + ".");
        }
    }
    return ExitCode::Success;
}

struct Totals {
    std::int32_t ok = 0;
    std::int32_t differ = 0;
    std::int32_t noSource = 0;
};

Totals Count(const std::vector<Comparison>& comparisons) {
    Totals totals;
    for (const Comparison& comparison : comparisons) {
        switch (comparison.result) {
        case Result::Ok:
            ++totals.ok;
            break;
        case Result::Differs:
            ++totals.differ;
            break;
        case Result::NoSource:
            ++totals.noSource;
            break;
        }
    }
    return totals;
}

const char* ResultName(Result result) {
    switch (result) {
    case Result::Ok:
        return "ok";
    case Result::Differs:
        return "differs";
    case Result::NoSource:
        break;
    }
    return "no source";
}

void PrintText(const DiscPair& discs, const std::vector<Comparison>& comparisons) {
    std::vector<std::string> names;
    std::size_t nameWidth = 0;
    for (std::size_t i = 0; i < comparisons.size(); ++i) {
        names.push_back(PrintableName(discs.DestinationTrailer(static_cast<std::int32_t>(i))));
        nameWidth = std::max(nameWidth, names.back().size());
    }
    const int positionWidth = static_cast<int>(std::to_string(comparisons.size()).size());
    for (std::size_t i = 0; i < comparisons.size(); ++i) {
        const Comparison& comparison = comparisons[i];
        std::string result = ResultName(comparison.result);
        if (comparison.result == Result::Differs) {
            result += ": " + CountOf(comparison.differingBytes, "byte") + ", the first at byte " +
                      std::to_string(comparison.firstDifference) + " of the block";
        }
        std::printf("%*d  %-*s  %s\n", positionWidth, static_cast<int>(i + 1),
                    static_cast<int>(nameWidth), names[i].c_str(), result.c_str());
    }
    const Totals totals = Count(comparisons);
    std::printf("%d ok, %d differ, %d without a source\n", static_cast<int>(totals.ok),
                static_cast<int>(totals.differ), static_cast<int>(totals.noSource));
}

void PrintJson(const DiscPair& discs, const VerifyOptions& options, const DiscReport& disc,
               const std::vector<Comparison>& comparisons) {
    nlohmann::ordered_json trailers = nlohmann::ordered_json::array();
    for (std::size_t i = 0; i < comparisons.size(); ++i) {
        const Comparison& comparison = comparisons[i];
        nlohmann::ordered_json trailer;
        trailer["position"] = i + 1;
        trailer["name"] = JsonName(discs.DestinationTrailer(static_cast<std::int32_t>(i)));
        trailer["result"] = ResultName(comparison.result);
        trailer["source"] = nullptr;
        trailer["source_position"] = nullptr;
        if (comparison.source != nullptr) {
            trailer["source"] = options.sourceIndexes[comparison.source->source];
            trailer["source_position"] = comparison.source->position + 1;
        }
        trailer["differing_bytes"] = nullptr;
        trailer["first_difference"] = nullptr;
        if (comparison.result == Result::Differs) {
            trailer["differing_bytes"] = comparison.differingBytes;
            trailer["first_difference"] = comparison.firstDifference;
        }
        trailers.push_back(trailer);
    }
    const Totals totals = Count(comparisons);
    nlohmann::ordered_json report;
    report["disc"] = options.discIndex;
    report["ok"] = totals.ok;
    report["differ"] = totals.differ;
    report["no_source"] = totals.noSource;
    report["trailers"] = trailers;
    report["in_use"] = disc.inUse;
    std::printf("%s\n", report.dump(2).c_str());
}

} // namespace

ExitCode RunVerify(const VerifyOptions& options) {
    const std::string& disc = options.discIndex;
    std::vector<std::string> indexes = {disc};
    indexes.insert(indexes.end(), options.sourceIndexes.begin(), options.sourceIndexes.end());
    for (const std::string& index : indexes) {
        const std::string fileProblem = IndexFileProblem(index);
        if (!fileProblem.empty()) {
            return Fail(ExitCode::Usage, fileProblem);
        }
    }
    const auto discs = std::make_unique<DiscPair>();
    DiscReport report;
    discs->CheckDestinationDisc(disc.c_str(), FolderLength(disc), report);
    std::string error;
    if (!IndexUsable(report, disc, error)) {
        return Fail(ExitCode::Usage, error);
    }
    std::vector<SourceTrailer> sources;
    std::vector<AudioFile> sourceAudio;
    const ExitCode read = ReadSources(*discs, options, sources, sourceAudio);
    if (read != ExitCode::Success) {
        return read;
    }
    if (!DiscHoldsItsTrailers(report)) {
        for (const std::string& problem : DiscProblems(*discs, report, disc)) {
            Warn(problem);
        }
        return Fail(ExitCode::Failure, "the audio of " + disc + " was not compared.");
    }
    if (!DiscIsSound(report)) {
        Warn("not comparing the " + AudioAfterTrailers(report, disc) + ".");
    }
    const AudioFile discAudio = OpenAudioToRead(disc);
    if (!discAudio) {
        return Fail(ExitCode::Usage, "cannot read " + AudioPathBeside(disc) + ".");
    }

    std::vector<Comparison> comparisons(static_cast<std::size_t>(report.count));
    Pieces pieces;
    bool allOk = true;
    const SourceTrailer* unread = nullptr; // the source of the block that could not be read
    for (std::int32_t i = 0; i < report.count && unread == nullptr; ++i) {
        const TrailerEntry& record = discs->DestinationTrailer(i);
        Comparison& comparison = comparisons[static_cast<std::size_t>(i)];
        comparison.source = FindSource(record, sources);
        if (comparison.source != nullptr) {
            const TrailerEntry& entry = comparison.source->entry;
            std::FILE* const audio = sourceAudio[comparison.source->source].get();
            if (!CompareBlock(discAudio.get(), record.offset, audio,
                              static_cast<std::int64_t>(entry.offset) + entry.start, record.end,
                              pieces, comparison)) {
                unread = comparison.source;
            }
        }
        allOk = allOk && comparison.result == Result::Ok;
    }
    // Audio cut while it was compared cannot be read, or reads as bytes past its end, which are
    // no difference of the disc's: the disc changed under the comparison.
    if (AudioShrank(disc, report.audioSize)) {
        return Fail(ExitCode::Failure, DiscChanged(disc));
    }
    if (unread != nullptr) {
        return Fail(ExitCode::Usage, "cannot read " + AudioPathBeside(disc) + " or " +
                                         AudioPathBeside(options.sourceIndexes[unread->source]) +
                                         ".");
    }
    if (options.json) {
        PrintJson(*discs, options, report, comparisons);
    } else {
        PrintText(*discs, comparisons);
    }
    return allOk ? ExitCode::Success : ExitCode::Failure;
}
