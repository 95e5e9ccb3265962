// Continues a destination disc made from the input with trailers of a fixed source disc, and
// checks that the disc left at the close lists every added trailer and is whole.
//
// Input: a flags byte, the index length (2 bytes, little-endian), the index bytes, then the
// audio bytes. Flags: bit 0 puts the real audio header before the audio bytes; bit 1 picks the
// source trailer to add; bit 2 adds a second one, whose source trailer bit 3 picks; bits 4-7
// append that many index units of zero bytes, so the audio can be as long as the index says.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "disc_pair.h"
#include "fuzz_support.h"

namespace {

std::string MakeFolder(const char* name) {
    const std::string folder = ScratchFolder() + name;
    std::filesystem::create_directories(folder);
    return folder;
}

// The folder of a source disc with two trailers, both within its audio file.
const std::string& SourceFolder() {
    static const std::string source = [] {
        const std::string folder = MakeFolder("source/");
        const std::string index = "A 1 0 1 92\r\nB 2 1 2 92\r\n\x1A";
        WriteFile(folder + kIndexFileName, reinterpret_cast<const std::uint8_t*>(index.data()),
                  index.size());
        std::vector<std::uint8_t> audio(kAudioHeader, kAudioHeader + kAudioHeaderSize);
        for (int32_t i = 0; i < 3 * kIndexUnit; ++i) {
            audio.push_back(static_cast<std::uint8_t>(i * 7));
        }
        WriteFile(folder + kAudioFileName, audio.data(), audio.size());
        return folder;
    }();
    return source;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 3) {
        return 0;
    }
    const std::uint8_t flags = data[0];
    const std::size_t indexSize = std::min<std::size_t>(data[1] | data[2] << 8, size - 3);
    const std::uint8_t* const index = data + 3;
    std::vector<std::uint8_t> audio;
    if (flags & 1) {
        audio.assign(kAudioHeader, kAudioHeader + kAudioHeaderSize);
    }
    audio.insert(audio.end(), index + indexSize, data + size);
    audio.resize(audio.size() + (flags >> 4) * static_cast<std::size_t>(kIndexUnit));

    static const std::string folder = MakeFolder("destination/");
    static const std::string indexPath = folder + kIndexFileName;
    WriteFile(indexPath, index, indexSize);
    WriteFile(folder + kAudioFileName, audio.data(), audio.size());

    const auto discs = std::make_unique<DiscPair>();
    if (!discs->OpenDestinationDisc(false, indexPath.c_str(),
                                    static_cast<int32_t>(folder.size()))) {
        return 0;
    }
    const int32_t before = discs->DestinationCount();
    const std::string sourcePath = SourceFolder() + kIndexFileName;
    Check(discs->OpenSourceDisc(sourcePath.c_str(), static_cast<int32_t>(SourceFolder().size())),
          "the fixed source disc does not open");
    int32_t added = discs->AddTrailer((flags >> 1) & 1) ? 1 : 0;
    if (flags & 4) {
        added += discs->AddTrailer((flags >> 3) & 1) ? 1 : 0;
    }
    discs->CloseDestinationDisc();

    const auto check = std::make_unique<DiscPair>();
    Check(check->ReadIndex(IndexDialect::Destination, indexPath.c_str()),
          "the written index does not read back");
    Check(check->DestinationCount() == before + added, "the written index lost or gained trailers");
    // The disc left behind is whole: its audio ends after the last listed trailer, and it
    // continues again.
    std::uintmax_t expected = kAudioHeaderSize;
    for (int32_t i = 0; i < check->DestinationCount(); ++i) {
        expected += static_cast<std::uintmax_t>(check->DestinationTrailer(i).end);
    }
    Check(std::filesystem::file_size(folder + kAudioFileName) == expected,
          "the audio does not end after the last trailer");
    Check(check->OpenDestinationDisc(false, indexPath.c_str(), static_cast<int32_t>(folder.size())),
          "the disc does not continue again");
    return 0;
}
