// kovdisc list INDEX [--json]: the trailers of a disc as Open Disc reads them, with what the
// audio file beside the index holds of each.
#include <algorithm>
#include <cstdio>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "commands.h"
#include "disc_files.h"
#include "text_table.h"
#include "trailer_json.h"
#include "trailer_text.h"

namespace {

// Bytes of the trailer's audio that lie past the end of the audio file; all of them when
// there is no audio file (size -1).
std::int64_t MissingBytes(const TrailerEntry& entry, std::int64_t audioSize) {
    if (entry.end <= 0) {
        return 0;
    }
    if (audioSize < 0) {
        return entry.end;
    }
    const std::int64_t end = static_cast<std::int64_t>(entry.offset) + entry.start + entry.end;
    if (end <= audioSize) {
        return 0;
    }
    return end - audioSize < entry.end ? end - audioSize : entry.end;
}

void PrintJson(const DiscPair& discs, std::int64_t audioSize) {
    nlohmann::ordered_json trailers = nlohmann::ordered_json::array();
    std::int64_t seconds = 0;
    for (std::int32_t i = 0; i < discs.SourceCount(); ++i) {
        const TrailerEntry& entry = discs.SourceTrailer(i);
        seconds += TrailerSeconds(entry);
        trailers.push_back(TrailerJson(entry, i + 1, MissingBytes(entry, audioSize)));
    }
    nlohmann::ordered_json disc;
    disc["count"] = discs.SourceCount();
    disc["seconds"] = seconds;
    disc["audio_bytes"] = nullptr;
    if (audioSize >= 0) {
        disc["audio_bytes"] = audioSize;
    }
    disc["trailers"] = trailers;
    std::printf("%s\n", disc.dump(2).c_str());
}

void PrintText(const DiscPair& discs, const std::string& audioPath, std::int64_t audioSize) {
    std::vector<TableRow> rows = {{"#", "NAME", "SERIAL", "START", "END", "OFFSET", "SECONDS", ""}};
    std::int64_t seconds = 0;
    for (std::int32_t i = 0; i < discs.SourceCount(); ++i) {
        const TrailerEntry& entry = discs.SourceTrailer(i);
        seconds += TrailerSeconds(entry);
        const std::int64_t missing = MissingBytes(entry, audioSize);
        rows.push_back({std::to_string(i + 1), PrintableName(entry), std::to_string(entry.serial),
                        std::to_string(entry.start / kIndexUnit),
                        std::to_string(entry.end / kIndexUnit), std::to_string(entry.offset),
                        std::to_string(TrailerSeconds(entry)),
                        missing > 0 ? CountOf(missing, "byte") + " missing" : ""});
    }
    PrintTable(rows, {false, true, false, false, false, false, false, false});
    const std::string audio = audioSize < 0 ? audioPath + " is missing"
                                            : audioPath + " holds " + CountOf(audioSize, "byte");
    std::printf("%s, %s; %s\n", CountOf(discs.SourceCount(), "trailer").c_str(),
                CountOf(seconds, "second").c_str(), audio.c_str());
}

} // namespace

ExitCode RunList(const ListOptions& options) {
    const std::string& index = options.index;
    const std::string fileProblem = IndexFileProblem(index);
    if (!fileProblem.empty()) {
        return Fail(ExitCode::Usage, fileProblem);
    }
    const auto discs = std::make_unique<DiscPair>();
    if (!discs->ReadIndex(IndexDialect::Source, index.c_str())) {
        return Fail(ExitCode::Usage, "cannot read the index " + index + ".");
    }
    const std::string audioPath = AudioPathBeside(index);
    const std::int64_t audioSize = AudioFileSize(index);
    if (options.json) {
        PrintJson(*discs, audioSize);
    } else {
        PrintText(*discs, audioPath, audioSize);
    }
    return ExitCode::Success;
}
