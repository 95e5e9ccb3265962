#include "disc_problems.h"

#include "disc_files.h"
#include "trailer_text.h"

bool IndexUsable(const DiscReport& report, const std::string& indexPath, std::string& error) {
    if (report.index == IndexState::Unreadable) {
        error = "cannot read the index " + indexPath + ".";
        return false;
    }
    if (report.index == IndexState::Foreign) {
        error = indexPath + " is not the index of a disc that kovdisc or KOV Extractor wrote.";
        return false;
    }
    return true;
}

std::vector<std::string> DiscProblems(const DiscPair& discs, const DiscReport& report,
                                      const std::string& indexPath) {
    std::vector<std::string> problems;
    if (report.index != IndexState::Read) {
        problems.push_back(indexPath +
                           " is damaged: its records are not in the layout of a written disc.");
        return problems;
    }
    for (std::int32_t i = 0; i < report.count; ++i) {
        const TrailerEntry& entry = discs.DestinationTrailer(i);
        const std::string trailer =
            indexPath + ": trailer " + std::to_string(i + 1) + " " + PrintableName(entry);
        if (report.offsetWrong[i]) {
            problems.push_back(trailer + " has OFFSET " + std::to_string(entry.offset) +
                               ", but its audio must start at " +
                               std::to_string(report.expectedOffset[i]) + ".");
        }
        if (report.endUnusable[i]) {
            problems.push_back(trailer + " has an END no audio block can have, " +
                               std::to_string(entry.end / kIndexUnit) + ".");
        }
    }
    if (report.tooLarge) {
        problems.push_back(indexPath + ": the trailers need " +
                           std::to_string(report.expectedAudioSize) +
                           " bytes of audio, more than an OFFSET can reach.");
    }
    const std::string audioPath = AudioPathBeside(indexPath);
    if (report.audioSize < 0) {
        problems.push_back(audioPath + " is missing or cannot be read.");
        return problems;
    }
    if (!report.headerMatches) {
        problems.push_back(audioPath + " does not start with the audio header.");
    }
    if (report.audioSize < report.expectedAudioSize) {
        problems.push_back(
            audioPath + " is " + CountOf(report.expectedAudioSize - report.audioSize, "byte") +
            " short: the trailers end at byte " + std::to_string(report.expectedAudioSize) +
            ", and it holds " + std::to_string(report.audioSize) + ".");
    }
    if (report.audioSize > report.expectedAudioSize && report.inUse) {
        problems.push_back(audioPath + " holds " +
                           CountOf(report.audioSize - report.expectedAudioSize, "byte") +
                           " after the last trailer, an add under way: another program is "
                           "writing the disc; check it again once that program has finished.");
    } else if (report.audioSize > report.expectedAudioSize && report.addUnfinished) {
        problems.push_back(audioPath + " holds " +
                           CountOf(report.audioSize - report.expectedAudioSize, "byte") +
                           " after the last trailer, left by an add that never finished.");
    } else if (report.audioSize > report.expectedAudioSize) {
        problems.push_back(UnlistedAudio(report, indexPath) +
                           "; add and Continue Disc refuse the disc, and check --repair cuts "
                           "them.");
    }
    return problems;
}

std::string DiscInUse(const std::string& indexPath) {
    return "another program is writing the disc " + indexPath + "; nothing was changed.";
}

std::string DiscChanged(const std::string& indexPath) {
    return "the disc " + indexPath +
           " changed while it was read: another program is writing it; run the command again "
           "once that program has finished.";
}

bool AudioShrank(const std::string& indexPath, std::int64_t audioSize) {
    return AudioFileSize(indexPath) < audioSize;
}

std::string UnlistedAudio(const DiscReport& report, const std::string& indexPath) {
    return AudioPathBeside(indexPath) + " holds " +
           CountOf(report.audioSize - report.expectedAudioSize, "byte") +
           " after the last trailer that no unfinished add left: they may be trailers an older "
           "index no longer lists";
}

std::string AudioAfterTrailers(const DiscReport& report, const std::string& indexPath) {
    return CountOf(report.audioSize - report.expectedAudioSize, "byte") +
           " after the last trailer of " + AudioPathBeside(indexPath) +
           (report.inUse           ? ", being written by another program"
            : report.addUnfinished ? ", left by an add that never finished"
                                   : "");
}

std::string SoundDisc(const DiscReport& report, const std::string& indexPath) {
    return indexPath + " is sound: " + CountOf(report.count, "trailer") + ", " +
           std::to_string(report.audioSize) + " bytes of audio.";
}
