// Construction, destruction, the source disc and the audio file name.
#include "disc_pair.h"

#include <cstring>

#include "stream_io.h"

DiscPair::DiscPair()
    : sourceCount_(0), destinationCount_(0), sourceOpen_(false), destinationOpen_(false),
      sourceWritten_(false), sourceIndexReader_(nullptr), destinationIndexReader_(nullptr),
      destinationIndexWriter_(nullptr), sourceAudio_(nullptr), destinationAudio_(nullptr),
      destinationLock_(nullptr), destinationInUse_(false), audioCreated_(false),
      addRecorded_(false), batchCount_(0), indexCurrent_(false), counter_(0), value_(0),
      character_(0), fileName_(), sourceAudioName_(), destinationIndexName_(),
      destinationAudioName_(), destinationFolder_() {}

DiscPair::~DiscPair() {
    CloseDestinationDisc();
    CloseSourceDisc();
    // A reader left open by a short read is otherwise closed only by the next read.
    CloseStream(sourceIndexReader_);
    CloseStream(destinationIndexReader_);
}

// Fills the file name buffer with the first folderLength characters of the path, the folder
// part of a name, followed by the file name; false if that does not fit.
bool DiscPair::SetFolderFileName(const char* path, int32_t folderLength, const char* fileName) {
    const std::size_t nameLength = std::strlen(fileName);
    if (folderLength < 0 || static_cast<std::size_t>(folderLength) + nameLength >
                                static_cast<std::size_t>(kFileNameSize) - 1) {
        return false;
    }
    // The folder part must lie within the path.
    if (std::memchr(path, '\0', static_cast<std::size_t>(folderLength)) != nullptr) {
        return false;
    }
    std::memcpy(fileName_, path, static_cast<std::size_t>(folderLength));
    std::memcpy(fileName_ + folderLength, fileName, nameLength + 1);
    return true;
}

bool DiscPair::MakeAudioPath(const char* path, int32_t folderLength) {
    return SetFolderFileName(path, folderLength, kAudioFileName);
}

// Opens R14T5.AUD beside the index for reading, as the source audio.
bool DiscPair::OpenSourceAudio(const char* indexPath, int32_t folderLength) {
    if (!MakeAudioPath(indexPath, folderLength)) {
        return false;
    }
    std::memcpy(sourceAudioName_, fileName_, sizeof fileName_);
    CloseStream(sourceAudio_);
    sourceAudio_ = OpenRegularFile(fileName_, "rb");
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
    if (!CheckDestinationDisc(indexPath, folderLength, report) || !DiscHoldsItsTrailers(report)) {
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
    const bool held = destinationOpen_ && destinationLock_ != nullptr;
    // Trailers of a batch that was never committed are not listed; after a commit the index on
    // disk is the list's already.
    if (batchCount_ > 0) {
        DropBatch(false);
    }
    if (!indexCurrent_) {
        WriteIndex();
    }
    indexCurrent_ = false;
    // The audio ends after the last listed trailer whenever a held disc is between adds, so the
    // record of an add has nothing left to tell.
    if (held) {
        RemoveAddRecord();
    }
    ReleaseDestination();
    destinationOpen_ = false;
    destinationCount_ = 0;
}
