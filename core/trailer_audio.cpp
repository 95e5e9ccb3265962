// Opening the destination disc, and copying a trailer's audio to it.
#include <cstring>

#include "disc_pair.h"
#include "stream_io.h"

const unsigned char kAudioHeader[kAudioHeaderSize] = {
    'T',  'r',  'a',  'i',  'l',  'e',  'r',  's',  ' ',  'R',  'e', 'e',
    'l',  ' ',  '1',  '4', // 0-15
    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,   0,
    0,    0,    0,    0, // 16-31
    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,   0,
    0,    0,    0,    0,                                                  // 32-47
    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,   0,   // 48-59
    'e',  'n',  'g',  'l',  'i',  's',  'h',  0,    'n',  'o',  'n', 'e', // 60-71
    0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x0E, 0x00, 0x15, 0x04,           // 72-81
    0x05, 0x00, 0x00, 0x06, 0x00, 0x00, 0x10, 0x04, 0x20, 0x00,           // 82-91
};

namespace {

const int kMissingByte = 0xFF; // written for audio that lies past the end of the source file

} // namespace

// Fills the file name buffer with folder, separator and file name; false if that does not fit.
bool DiscPair::SetFileName(const char* folder, const char* fileName) {
    const std::size_t folderLength = std::strlen(folder);
    const std::size_t nameLength = std::strlen(fileName);
    if (folderLength + 1 + nameLength + 1 > static_cast<std::size_t>(kFileNameSize)) {
        return false;
    }
    std::memcpy(fileName_, folder, folderLength);
    fileName_[folderLength] = kPathSeparator;
    std::memcpy(fileName_ + folderLength + 1, fileName, nameLength + 1);
    return true;
}

// Leaves the destination closed with an empty list, after a failed open.
void DiscPair::AbandonDestination() {
    CloseStream(destinationIndexWriter_);
    CloseStream(destinationAudio_);
    destinationCount_ = 0;
    destinationOpen_ = false;
}

bool DiscPair::OpenNewDisc(const char* folder) {
    // The index name is the longer of the two, so the audio name fits whenever it does.
    if (!SetFileName(folder, kIndexFileName)) {
        return false;
    }
    CloseStream(destinationIndexWriter_);
    destinationIndexWriter_ = std::fopen(fileName_, "wb");
    if (destinationIndexWriter_ == nullptr) {
        return false;
    }
    SetFileName(folder, kAudioFileName);
    CloseStream(destinationAudio_);
    destinationAudio_ = std::fopen(fileName_, "wb");
    if (destinationAudio_ == nullptr) {
        return false;
    }
    return std::fwrite(kAudioHeader, 1, sizeof kAudioHeader, destinationAudio_) ==
           sizeof kAudioHeader;
}

// The audio file is opened before the index is emptied, so a failure leaves both untouched.
bool DiscPair::OpenContinuedDisc(const char* indexPath, int32_t folderLength) {
    if (!ReadIndex(IndexDialect::Destination, indexPath)) {
        return false;
    }
    const std::size_t pathLength = std::strlen(indexPath);
    if (pathLength >= static_cast<std::size_t>(kFileNameSize) ||
        !MakeAudioPath(indexPath, folderLength)) {
        return false;
    }
    // Appending would create a missing audio file, and without its header.
    CloseStream(destinationAudio_);
    destinationAudio_ = std::fopen(fileName_, "rb");
    if (destinationAudio_ == nullptr) {
        return false;
    }
    CloseStream(destinationAudio_);
    destinationAudio_ = std::fopen(fileName_, "ab");
    if (destinationAudio_ == nullptr) {
        return false;
    }
    std::memcpy(fileName_, indexPath, pathLength + 1);
    CloseStream(destinationIndexWriter_);
    destinationIndexWriter_ = std::fopen(fileName_, "wb");
    return destinationIndexWriter_ != nullptr;
}

bool DiscPair::OpenDestinationDisc(bool newDisc, const char* path, int32_t folderLength) {
    const bool opened = newDisc ? OpenNewDisc(path) : OpenContinuedDisc(path, folderLength);
    if (!opened) {
        AbandonDestination();
        return false;
    }
    destinationOpen_ = true;
    return true;
}

bool DiscPair::AddTrailer(int32_t index) {
    if (!sourceOpen_ || !destinationOpen_) {
        return false;
    }
    if (index < 0 || index >= sourceCount_ || destinationCount_ >= kMaxTrailers) {
        return false;
    }
    const TrailerEntry& entry = sourceList_[index];
    SeekStream(destinationAudio_, 0, SEEK_END);
    SeekStream(sourceAudio_, static_cast<std::int64_t>(entry.offset) + entry.start, SEEK_SET);
    // A local count: the byte stores through the stream buffers could alias a member and
    // force it back to memory on every byte. Past the end of the source file every further
    // read would fail too, so reading stops there.
    std::FILE* const from = sourceAudio_;
    std::FILE* const to = destinationAudio_;
    int32_t copied = 0;
    for (; copied < entry.end; ++copied) {
        const int byte = GetByte(from);
        if (byte == EOF) {
            break;
        }
        PutByte(byte, to);
    }
    for (; copied < entry.end; ++copied) {
        PutByte(kMissingByte, to);
    }
    destinationList_[destinationCount_] = entry;
    ++destinationCount_;
    return true;
}
