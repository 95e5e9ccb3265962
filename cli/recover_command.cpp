// kovdisc recover DISC_INDEX SOURCE_INDEX... [--write [--force]] [--json]: finds again which
// source trailers a disc's audio holds, by comparing it with the blocks of its source discs, and
// with --write makes the disc's index list them. The disc's own index is not trusted: missing,
// empty, damaged or stale, it is what recover is for. The audio file is never changed.
#include <cstddef>
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
#include "recover_search.h"
#include "stream_io.h"
#include "text_table.h"
#include "trailer_json.h"
#include "trailer_text.h"

namespace {

// The sources' blocks, and each source's audio file by source number.
struct Sources {
    std::vector<SourceBlock> blocks;
    std::vector<AudioFile> audio;
};

// Reads each source as add reads one, except that a written disc, which copy accepts, keeps
// each block at its OFFSET. Entries add refuses to copy, and those without audio, which no
// search can find, are passed over.
ExitCode ReadSources(DiscPair& discs, const RecoverOptions& options, Sources& sources) {
    for (std::size_t s = 0; s < options.sourceIndexes.size(); ++s) {
        const std::string& source = options.sourceIndexes[s];
        const std::string fileProblem = IndexFileProblem(source);
        if (!fileProblem.empty()) {
            return Fail(ExitCode::Usage, fileProblem);
        }
        DiscReport report;
        const bool written =
            discs.OpenWrittenSourceDisc(source.c_str(), FolderLength(source), report);
        if (!written && !discs.OpenSourceDisc(source.c_str(), FolderLength(source))) {
            return Fail(ExitCode::Usage, "cannot read the source disc " + source +
                                             " or its audio file " + AudioPathBeside(source) + ".");
        }
        for (std::int32_t i = 0; i < discs.SourceCount(); ++i) {
            const TrailerEntry& entry = discs.SourceTrailer(i);
            if (EntryIsCopyable(entry) && entry.end > 0) {
                const std::int64_t from =
                    static_cast<std::int64_t>(entry.offset) + (written ? 0 : entry.start);
                sources.blocks.push_back({entry, s, i, from});
            }
        }
        discs.CloseSourceDisc();
        sources.audio.push_back(OpenAudioToRead(source));
        if (!sources.audio.back()) {
            return Fail(ExitCode::Usage, "cannot read " + AudioPathBeside(source) + ".");
        }
    }
    return ExitCode::Success;
}

// The disc's audio file must start with the header; gives back its size.
ExitCode CheckAudio(std::FILE* audio, const std::string& audioPath, std::int64_t& size) {
    unsigned char header[kAudioHeaderSize];
    if (std::fread(header, 1, sizeof header, audio) != sizeof header ||
        std::memcmp(header, kAudioHeader, sizeof header) != 0) {
        return Fail(ExitCode::Usage, audioPath +
                                         " is not a trailer disc's audio: it does not start with "
                                         "the 92-byte header.");
    }
    size = StreamSize(audio);
    if (size < 0) {
        return Fail(ExitCode::Usage, "cannot read " + audioPath + ".");
    }
    if (size > kLargestAudioFile) {
        return Fail(ExitCode::Usage, audioPath + " is not a trailer disc's audio: it holds " +
                                         CountOf(size, "byte") +
                                         ", more than an OFFSET can "
                                         "reach (" +
                                         std::to_string(kLargestAudioFile) + ").");
    }
    return ExitCode::Success;
}

// The record a found block gets in the recovered index: the source's, with the name cut where
// the index writer cuts it, and the OFFSET where the block lies in this disc.
TrailerEntry RecoveredRecord(const TrailerEntry& source, std::int64_t offset) {
    TrailerEntry record = source;
    for (std::int32_t i = WrittenNameLength(source); i < 8; ++i) {
        record.name[i] = ' ';
    }
    record.offset = static_cast<std::int32_t>(offset);
    return record;
}

// What recover found, with everything its outputs say.
struct Result {
    Recovery recovery;
    std::vector<TrailerEntry> records;
    std::int64_t audioSize = 0;
    bool listFull = false; // the blocks found went on past the most trailers an index lists
    bool inUse = false;    // another program was writing the disc: the rest is an add under way
};

std::int64_t RestAt(const Result& result) {
    return kAudioHeaderSize + result.recovery.foundBytes;
}

std::int64_t RestBytes(const Result& result) {
    return result.audioSize - RestAt(result);
}

// Keeps no more blocks than an index can list; what follows them is then left unexplained.
void MakeRecords(const std::vector<SourceBlock>& blocks, Result& result) {
    Recovery& recovery = result.recovery;
    if (recovery.found.size() > static_cast<std::size_t>(kMaxTrailers)) {
        recovery.found.resize(static_cast<std::size_t>(kMaxTrailers));
        recovery.rest = RestKind::Unmatched;
        result.listFull = true;
    }
    std::int64_t offset = kAudioHeaderSize;
    for (const FoundBlock& found : recovery.found) {
        const TrailerEntry& source = blocks[found.block].record;
        result.records.push_back(RecoveredRecord(source, offset));
        offset += source.end;
    }
    recovery.foundBytes = offset - kAudioHeaderSize;
}

std::string FoundIn(const RecoverOptions& options, const SourceBlock& block) {
    return options.sourceIndexes[block.source] + " #" + std::to_string(block.position + 1);
}

// The summary line, without its full stop.
std::string Summary(const RecoverOptions& options, const std::vector<SourceBlock>& blocks,
                    const Result& result) {
    const std::string found = "recovered " + CountOf(result.records.size(), "trailer") + ", " +
                              CountOf(result.recovery.foundBytes, "byte");
    const std::string at = std::to_string(RestAt(result));
    switch (result.recovery.rest) {
    case RestKind::None:
        break;
    case RestKind::Unfinished: {
        const TrailerEntry& entry = blocks[result.recovery.restBlock].record;
        return found + "; from byte " + at + ", the rest is the start of " +
               PrintableName(RecoveredRecord(entry, 0)) + ", " + std::to_string(RestBytes(result)) +
               " of " + CountOf(entry.end, "byte") +
               (result.inUse ? ": being written by another program, an add under way"
                             : ": an add that never finished");
    }
    case RestKind::Unmatched:
        if (result.listFull) {
            return found + ", as many as an index lists; the " +
                   CountOf(RestBytes(result), "byte") + " from byte " + at + " are left out";
        }
        return found + "; no source trailer matches from byte " + at + " (" +
               CountOf(RestBytes(result), "byte") + " to the end)";
    }
    return found + ": all of " + AudioPathBeside(options.discIndex) + " after its header";
}

void PrintText(const RecoverOptions& options, const std::vector<SourceBlock>& blocks,
               const Result& result) {
    std::vector<TableRow> rows = {
        {"#", "NAME", "SERIAL", "START", "END", "OFFSET", "SECONDS", "FOUND IN"}};
    for (std::size_t i = 0; i < result.records.size(); ++i) {
        const TrailerEntry& record = result.records[i];
        const FoundBlock& found = result.recovery.found[i];
        std::string foundIn = FoundIn(options, blocks[found.block]);
        for (const std::size_t also : found.alsoMatching) {
            foundIn += ", also " + FoundIn(options, blocks[also]);
        }
        rows.push_back({std::to_string(i + 1), PrintableName(record), std::to_string(record.serial),
                        std::to_string(record.start / kIndexUnit),
                        std::to_string(record.end / kIndexUnit), std::to_string(record.offset),
                        std::to_string(TrailerSeconds(record)), foundIn});
    }
    PrintTable(rows, {false, true, false, false, false, false, false, true});
    std::printf("%s.\n", Summary(options, blocks, result).c_str());
}

nlohmann::ordered_json SourceJson(const RecoverOptions& options, const SourceBlock& block) {
    nlohmann::ordered_json source;
    source["source"] = options.sourceIndexes[block.source];
    source["source_position"] = block.position + 1;
    return source;
}

void PrintJson(const RecoverOptions& options, const std::vector<SourceBlock>& blocks,
               const Result& result) {
    nlohmann::ordered_json trailers = nlohmann::ordered_json::array();
    for (std::size_t i = 0; i < result.records.size(); ++i) {
        const FoundBlock& found = result.recovery.found[i];
        nlohmann::ordered_json trailer =
            TrailerJson(result.records[i], static_cast<std::int64_t>(i + 1), 0);
        trailer.update(SourceJson(options, blocks[found.block]));
        trailer["also_matching"] = nlohmann::ordered_json::array();
        for (const std::size_t also : found.alsoMatching) {
            trailer["also_matching"].push_back(SourceJson(options, blocks[also]));
        }
        trailers.push_back(trailer);
    }
    nlohmann::ordered_json report;
    report["disc"] = options.discIndex;
    report["trailers"] = trailers;
    report["audio_bytes"] = result.audioSize;
    report["recovered_bytes"] = result.recovery.foundBytes;
    report["rest"] = nullptr;
    if (result.recovery.rest != RestKind::None) {
        nlohmann::ordered_json rest;
        const bool unfinished = result.recovery.rest == RestKind::Unfinished;
        rest["kind"] = unfinished ? "unfinished" : "unmatched";
        rest["at"] = RestAt(result);
        rest["bytes"] = RestBytes(result);
        if (unfinished) {
            const TrailerEntry& entry = blocks[result.recovery.restBlock].record;
            rest["name"] = JsonName(RecoveredRecord(entry, 0));
            rest["of"] = entry.end;
        }
        report["rest"] = rest;
    }
    report["in_use"] = result.inUse;
    std::printf("%s\n", report.dump(2).c_str());
}

// The records of the disc's current index that the recovered index would not keep: all from
// the first that is not the recovered index's record at its place. None unless the index reads
// as written.
std::vector<TrailerEntry> Dropped(const std::vector<TrailerEntry>& listed,
                                  const std::vector<TrailerEntry>& records) {
    for (std::size_t i = 0; i < listed.size(); ++i) {
        const TrailerEntry& old = listed[i];
        if (i >= records.size() || TrailerName(old) != TrailerName(records[i]) ||
            old.serial != records[i].serial || old.start != records[i].start ||
            old.end != records[i].end) {
            return std::vector<TrailerEntry>(listed.begin() + static_cast<std::ptrdiff_t>(i),
                                             listed.end());
        }
    }
    return {};
}

std::string Names(const std::vector<TrailerEntry>& entries) {
    std::string names;
    for (const TrailerEntry& entry : entries) {
        names += (names.empty() ? "" : ", ") + PrintableName(entry);
    }
    return names;
}

// Writes the recovered index into the held disc, unless it would drop trailers the current
// index lists and --force was not given.
ExitCode WriteRecovered(DiscPair& discs, const RecoverOptions& options,
                        const std::vector<TrailerEntry>& listed, const Result& result) {
    const std::string& disc = options.discIndex;
    const std::vector<TrailerEntry> dropped = Dropped(listed, result.records);
    if (!dropped.empty() && !options.force) {
        return Fail(ExitCode::Failure, disc + " lists " + CountOf(dropped.size(), "trailer") +
                                           " that the recovered index would drop, from #" +
                                           std::to_string(listed.size() - dropped.size() + 1) +
                                           ": " + Names(dropped) +
                                           "; nothing was written (--force writes it anyway).");
    }
    if (!discs.ReplaceHeldIndex(result.records.data(),
                                static_cast<std::int32_t>(result.records.size()))) {
        return Fail(ExitCode::Failure, "could not write the index " + disc + ".");
    }
    return ExitCode::Success;
}

// The last line of the text output: what --write wrote, or would write.
std::string WriteLine(const RecoverOptions& options, const Result& result) {
    const std::string& disc = options.discIndex;
    const std::string index = disc + " listing " + CountOf(result.records.size(), "trailer");
    const std::string cut = result.recovery.rest == RestKind::None || result.inUse
                                ? ""
                                : "; \"kovdisc check --repair " + disc + "\" cuts the " +
                                      CountOf(RestBytes(result), "byte") + " after them";
    if (options.write) {
        return "wrote " + index + cut + ".";
    }
    return "--write would write " + index + cut + "; nothing was changed.";
}

} // namespace

ExitCode RunRecover(const RecoverOptions& options) {
    const std::string& disc = options.discIndex;
    const std::string audioPath = AudioPathBeside(disc);
    for (const std::string& name : {disc, audioPath}) {
        std::string problem = NameLengthProblem(name);
        if (problem.empty()) {
            problem = FileKindProblem(name);
        }
        if (!problem.empty()) {
            return Fail(ExitCode::Usage, problem);
        }
    }
    const AudioFile discAudio = OpenAudioToRead(disc);
    if (!discAudio) {
        return Fail(ExitCode::Usage, "cannot read " + audioPath +
                                         ": a disc's trailers are recovered from its "
                                         "audio file, and there is none.");
    }
    Result result;
    const ExitCode audio = CheckAudio(discAudio.get(), audioPath, result.audioSize);
    if (audio != ExitCode::Success) {
        return audio;
    }
    result.inUse = !options.write && HeldByAnotherWriter(discAudio.get());
    const auto discs = std::make_unique<DiscPair>();
    // Held before anything is read, so that no other program changes the disc until the
    // recovered index is in place.
    if (options.write && !discs->HoldDestinationDisc(disc.c_str(), FolderLength(disc))) {
        return Fail(ExitCode::Failure,
                    discs->DestinationInUse()
                        ? DiscInUse(disc)
                        : "could not open " + audioPath + " for writing; nothing was changed.");
    }
    DiscReport current;
    discs->CheckDestinationDisc(disc.c_str(), FolderLength(disc), current);
    std::vector<TrailerEntry> listed;
    for (std::int32_t i = 0; current.index == IndexState::Read && i < current.count; ++i) {
        listed.push_back(discs->DestinationTrailer(i));
    }
    Sources sources;
    const ExitCode read = ReadSources(*discs, options, sources);
    if (read != ExitCode::Success) {
        return read;
    }
    std::vector<std::FILE*> sourceAudio;
    for (const AudioFile& file : sources.audio) {
        sourceAudio.push_back(file.get());
    }
    // The search reads the audio up to the size it had at first: an add under way only adds
    // after that. Audio cut meanwhile is a disc that changed, not one that cannot be read.
    if (!SearchBlocks(discAudio.get(), result.audioSize, sources.blocks, sourceAudio,
                      result.recovery)) {
        if (AudioShrank(disc, result.audioSize)) {
            return Fail(ExitCode::Failure, DiscChanged(disc));
        }
        return Fail(ExitCode::Usage, "cannot read " + audioPath + " or the audio of a source.");
    }
    // Held by another writer when the audio was sized or once it was read: the rest is an add
    // under way.
    result.inUse = result.inUse || (!options.write && HeldByAnotherWriter(discAudio.get()));
    MakeRecords(sources.blocks, result);
    if (options.json) {
        PrintJson(options, sources.blocks, result);
    } else {
        PrintText(options, sources.blocks, result);
    }
    if (options.write) {
        const ExitCode written = WriteRecovered(*discs, options, listed, result);
        if (written != ExitCode::Success) {
            return written;
        }
    }
    if (!options.json) {
        std::printf("%s\n", WriteLine(options, result).c_str());
    }
    return result.recovery.rest == RestKind::None ? ExitCode::Success : ExitCode::Failure;
}
