#include "whole_disc.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>

#include "disc_pair.h"
#include "sample_disc.h"

WholeDiscCheck CheckWholeDisc(const std::string& folder) {
    WholeDiscCheck check{false, false, "", 0, 0};
    const std::string index = folder + kPathSeparator + kIndexFileName;
    const std::string audioName = folder + kPathSeparator + kAudioFileName;
    std::error_code error;
    const auto sizeBefore = static_cast<std::int64_t>(std::filesystem::file_size(audioName, error));
    const auto folderLength = static_cast<std::int32_t>(folder.size() + 1);
    DiscPair discs;
    if (!discs.OpenDestinationDisc(false, index.c_str(), folderLength)) {
        if (discs.DestinationInUse()) {
            check.held = true;
            check.fault = "another program holds the disc";
            return check;
        }
        check.fault = "the disc does not open as a continued disc; its audio file holds " +
                      std::to_string(sizeBefore) + " bytes";
        return check;
    }
    check.trailers = discs.DestinationCount();
    std::ifstream in(audioName, std::ios::binary);
    const std::string audio((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    check.cutBytes = sizeBefore - static_cast<std::int64_t>(audio.size());
    for (std::int32_t i = 0; i < check.trailers; ++i) {
        const TrailerEntry& entry = discs.DestinationTrailer(i);
        if (static_cast<std::size_t>(entry.offset) + entry.end > audio.size()) {
            check.fault = "trailer " + std::to_string(i) + " is not where it is listed";
            return check;
        }
        for (std::int32_t p = 0; p < entry.end; ++p) {
            if (static_cast<unsigned char>(audio[entry.offset + p]) !=
                SampleByte(entry.serial, p)) {
                check.fault = "trailer " + std::to_string(i) + " differs at byte " +
                              std::to_string(p) + " of its audio";
                return check;
            }
        }
    }
    discs.CloseDestinationDisc();
    check.whole = true;
    return check;
}
