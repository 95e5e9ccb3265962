// Construction, destruction, the source disc and the audio file name.
#include "disc_pair.h"

#include <cstring>

#include "stream_io.h"

DiscPair::DiscPair()
    : sourceCount_(0), destinationCount_(0), sourceOpen_(false), destinationOpen_(false),
      sourceWritten_(false), sourceIndexReader_(nullptr), destinationIndexReader_(nullptr),
      destinationIndexWriter_(nullptr), sourceAudio_(nullptr), destinationAudio_(nullptr),
      counter_(0), value_(0), character_(0), fileName_(), sourceAudioName_(),
      destinationIndexName_(), destinationAudioName_() {}

DiscPair::~DiscPair() {
    CloseDestinationDisc();
    CloseSourceDisc();
    // A reader left open by a short read is otherwise closed only by the next read.
    CloseStream(sourceIndexReader_);
    CloseStream(destinationIndexReader_);
}

bool DiscPair::MakeAudioPath(const char* path, int32_t folderLength) {
    const int32_t nameLength = static_cast<int32_t>(sizeof kAudioFileName) - 1;
    if (folderLength < 0 || folderLength > kFileNameSize - 1 - nameLength) {
        return false;
    }
    // The folder part must lie within the path.
    if (std::memchr(path, '\0', static_cast<std::size_t>(folderLength)) != nullptr) {
        return false;
    }
    std::memcpy(fileName_, path, static_cast<std::size_t>(folderLength));
    std::memcpy(fileName_ + folderLength, kAudioFileName, sizeof kAudioFileName);
    return true;
}

// Opens R14T5.AUD beside the index for reading, as the source audio.
bool DiscPair::OpenSourceAudio(const char* indexPath, int32_t folderLength) {
    if (!MakeAudioPath(indexPath, folderLength)) {
        return false;
    }
    std::memcpy(sourceAudioName_, fileName_, sizeof fileName_);
    CloseStream(sourceAudio_);
    sourceAudio_ = std::fopen(fileName_, "rb");
    return sourceAudio_ != nullptr;
}

bool DiscPair::OpenSourceDisc(const char* indexPath, int32_t folderLength) {
    sourceWritten_ = false;
    if (!ReadIndex(IndexDialect::Source, indexPath) || !OpenSourceAudio(indexPath, folderLength)) {
        return false;
    }
    sourceOpen_ = true;
    return true;
}

bool DiscPair::OpenWrittenSourceDisc(const char* indexPath, int32_t folderLength,
                                     DiscReport& report) {
    sourceWritten_ = false;
    if (!CheckDestinationDisc(indexPath, folderLength, report) || !DiscCanContinue(report)) {
        return false;
    }
    // The check read the index into the destination list, which a new disc must find empty.
    std::memcpy(sourceList_, destinationList_, sizeof sourceList_);
    sourceCount_ = destinationCount_;
    destinationCount_ = 0;
    if (!OpenSourceAudio(indexPath, folderLength)) {
        return false;
    }
    sourceWritten_ = true;
    sourceOpen_ = true;
    return true;
}

void DiscPair::CloseSourceDisc() {
    CloseStream(sourceAudio_);
    sourceOpen_ = false;
    sourceWritten_ = false;
    sourceCount_ = 0;
}

void DiscPair::CloseDestinationDisc() {
    WriteIndex();
    CloseStream(destinationAudio_);
    destinationOpen_ = false;
    destinationCount_ = 0;
}
