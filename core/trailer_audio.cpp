// Opening the destination disc, and copying a trailer's audio to it. The destination's index
// on disk always describes the audio on disk: it is rewritten whenever the list changes, so a
// crash or a killed process never costs the disc.
#include <cstring>

#include "disc_pair.h"
#include "stream_io.h"

// clang-format off
const unsigned char kAudioHeader[kAudioHeaderSize] = {
    'T', 'r', 'a', 'i', 'l', 'e', 'r', 's', ' ', 'R', 'e', 'e', 'l', ' ', '1', '4',
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    'e', 'n', 'g', 'l', 'i', 's', 'h', 0, 'n', 'o', 'n', 'e',
    0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x0E, 0x00, 0x15, 0x04,
    0x05, 0x00, 0x00, 0x06, 0x00, 0x00, 0x10, 0x04, 0x20, 0x00,
};
// clang-format on

namespace {

const int kMissingByte = 0xFF; // written for audio that lies past the end of the source file

// The audio file is opened for update, not for appending: every add moves to its end first
// anyway, and in append mode the Windows C runtime moves to the end again before each buffer
// it writes out, which slows the byte-by-byte copy by a quarter.
const char kAudioWriteMode[] = "r+b";

// An END the index can give back: whole index units, not below 0. Any other value comes from
// a column whose product wrapped in 32 bits; the written index would list fewer bytes than were
// copied, and the disc would no longer match its index.
bool EndIsUsable(int32_t end) {
    return end >= 0 && end % kIndexUnit == 0;
}

bool CopyName(char* to, const char* from) {
    const std::size_t length = std::strlen(from);
    if (length >= static_cast<std::size_t>(kFileNameSize)) {
        return false;
    }
    std::memcpy(to, from, length + 1);
    return true;
}

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

// Where the next trailer's audio goes: after the header and every listed trailer.
std::int64_t DiscPair::DestinationAudioEnd() const {
    std::int64_t end = kAudioHeaderSize;
    for (int32_t i = 0; i < destinationCount_; ++i) {
        end += destinationList_[i].end;
    }
    return end;
}

// Leaves the destination closed with an empty list, after a failed open.
void DiscPair::AbandonDestination() {
    CloseStream(destinationIndexWriter_);
    CloseStream(destinationAudio_);
    destinationCount_ = 0;
    destinationOpen_ = false;
}

// Writes the new disc's empty index under its temporary name, then puts it in the place of the
// folder's index.
bool DiscPair::PlaceNewIndex(const char* folder) {
    SetFileName(folder, kNewIndexFileName);
    CloseStream(destinationIndexWriter_);
    destinationIndexWriter_ = std::fopen(fileName_, "wb");
    if (destinationIndexWriter_ == nullptr) {
        return false;
    }
    const bool written = WriteIndexFile();
    CloseStream(destinationIndexWriter_);
    if (!written || !ReplaceFile(fileName_, destinationIndexName_)) {
        RemoveFile(fileName_);
        return false;
    }
    return true;
}

// Likewise the new disc's audio file, which holds only the header.
bool DiscPair::PlaceNewAudio(const char* folder) {
    SetFileName(folder, kNewAudioFileName);
    CloseStream(destinationAudio_);
    destinationAudio_ = std::fopen(fileName_, "wb");
    if (destinationAudio_ == nullptr) {
        return false;
    }
    bool written =
        std::fwrite(kAudioHeader, 1, sizeof kAudioHeader, destinationAudio_) == sizeof kAudioHeader;
    written = std::fclose(destinationAudio_) == 0 && written;
    destinationAudio_ = nullptr;
    if (!written || !ReplaceFile(fileName_, destinationAudioName_)) {
        RemoveFile(fileName_);
        return false;
    }
    return true;
}

// Each file is written under a temporary name and then takes the place of the folder's file.
// Where the folder holds an audio file, the index goes first: whenever the process stops, the
// folder holds its old disc, the new empty disc, or the new empty index beside the old audio,
// which reads as the new empty disc. Where it holds none, the audio goes first, so a stop between
// the two leaves an audio file without an index, which is no disc, rather than an index without
// its audio, which is a damaged one.
bool DiscPair::OpenNewDisc(const char* folder) {
    // The index name is the longest, so every other name fits whenever it does.
    if (!SetFileName(folder, kIndexFileName) || !CopyName(destinationIndexName_, fileName_)) {
        return false;
    }
    SetFileName(folder, kAudioFileName);
    CopyName(destinationAudioName_, fileName_);
    // Replacing the audio file of the open source disc would destroy what is being read.
    if (sourceOpen_ && SameFile(destinationAudioName_, sourceAudioName_)) {
        return false;
    }
    const bool placed = PathExists(destinationAudioName_)
                            ? PlaceNewIndex(folder) && PlaceNewAudio(folder)
                            : PlaceNewAudio(folder) && PlaceNewIndex(folder);
    if (!placed) {
        return false;
    }
    destinationIndexWriter_ = std::fopen(destinationIndexName_, "r+b");
    destinationAudio_ = std::fopen(destinationAudioName_, kAudioWriteMode);
    return destinationIndexWriter_ != nullptr && destinationAudio_ != nullptr;
}

bool EntryIsCopyable(const TrailerEntry& entry) {
    return EndIsUsable(entry.end) && static_cast<std::int64_t>(entry.offset) + entry.start >= 0;
}

bool DiscCanContinue(const DiscReport& report) {
    return report.index == IndexState::Read && report.recordProblems == 0 && !report.tooLarge &&
           report.headerMatches && report.audioSize >= report.expectedAudioSize;
}

bool DiscIsSound(const DiscReport& report) {
    return DiscCanContinue(report) && report.audioSize == report.expectedAudioSize;
}

// Reads the index in the written layout into the destination list, and compares the audio
// file with it: it must start with the header and hold every listed trailer where the index
// says. The audio file is only opened for reading.
void DiscPair::CheckWrittenDisc(const char* indexPath, int32_t folderLength, DiscReport& report) {
    report = DiscReport();
    report.audioSize = -1;
    if (!ReadIndex(IndexDialect::Destination, indexPath)) {
        report.index = IndexReadFailure();
        return;
    }
    report.index = IndexState::Read;
    report.count = destinationCount_;
    std::int64_t expected = kAudioHeaderSize;
    for (int32_t i = 0; i < destinationCount_; ++i) {
        const TrailerEntry& entry = destinationList_[i];
        report.expectedOffset[i] = expected;
        report.offsetWrong[i] = entry.offset != expected;
        report.endUnusable[i] = !EndIsUsable(entry.end);
        if (report.offsetWrong[i] || report.endUnusable[i]) {
            ++report.recordProblems;
        }
        expected += entry.end;
    }
    report.expectedAudioSize = expected;
    report.tooLarge = expected > kLargestAudioFile;
    if (!MakeAudioPath(indexPath, folderLength)) {
        return;
    }
    CloseStream(destinationAudio_);
    destinationAudio_ = std::fopen(fileName_, "rb");
    if (destinationAudio_ == nullptr) {
        return;
    }
    unsigned char header[kAudioHeaderSize];
    report.headerMatches =
        std::fread(header, 1, sizeof header, destinationAudio_) == sizeof header &&
        std::memcmp(header, kAudioHeader, sizeof header) == 0;
    if (SeekStream(destinationAudio_, 0, SEEK_END)) {
        report.audioSize = StreamPosition(destinationAudio_);
    }
    CloseStream(destinationAudio_);
}

bool DiscPair::CheckDestinationDisc(const char* indexPath, int32_t folderLength,
                                    DiscReport& report) {
    if (destinationOpen_) {
        return false;
    }
    CheckWrittenDisc(indexPath, folderLength, report);
    return true;
}

// Nothing is written before every check has passed, so a refused disc stays as it was.
bool DiscPair::OpenContinuedDisc(const char* indexPath, int32_t folderLength) {
    DiscReport report;
    CheckWrittenDisc(indexPath, folderLength, report);
    // Refused unless its audio file starts with the header and holds every listed trailer.
    if (!DiscCanContinue(report)) {
        return false;
    }
    if (!CopyName(destinationIndexName_, indexPath) || !MakeAudioPath(indexPath, folderLength)) {
        return false;
    }
    CopyName(destinationAudioName_, fileName_);
    // A longer audio file holds the start of an add that never finished: drop it.
    if (!ResizeFile(destinationAudioName_, report.expectedAudioSize)) {
        return false;
    }
    destinationAudio_ = std::fopen(destinationAudioName_, kAudioWriteMode);
    if (destinationAudio_ == nullptr) {
        return false;
    }
    // Opened without emptying it: the rewrite replaces it with the same list.
    CloseStream(destinationIndexWriter_);
    destinationIndexWriter_ = std::fopen(destinationIndexName_, "r+b");
    return destinationIndexWriter_ != nullptr && RewriteIndexFile();
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

// After a failed add: cuts the audio file back to `audioSize` and rewrites the index from the
// list. Both streams are closed first, so no unwritten bytes of the failed add stay buffered.
// If even that fails, the streams stay closed and nothing more can be added.
void DiscPair::RestoreDestination(std::int64_t audioSize) {
    CloseStream(destinationAudio_);
    CloseStream(destinationIndexWriter_);
    if (!ResizeFile(destinationAudioName_, audioSize)) {
        return;
    }
    destinationAudio_ = std::fopen(destinationAudioName_, kAudioWriteMode);
    destinationIndexWriter_ = std::fopen(destinationIndexName_, "r+b");
    if (destinationAudio_ == nullptr || destinationIndexWriter_ == nullptr || !RewriteIndexFile()) {
        CloseStream(destinationAudio_);
        CloseStream(destinationIndexWriter_);
    }
}

bool DiscPair::AddTrailer(int32_t index) {
    if (!sourceOpen_ || !destinationOpen_ || destinationAudio_ == nullptr ||
        destinationIndexWriter_ == nullptr) {
        return false;
    }
    if (index < 0 || index >= sourceCount_ || destinationCount_ >= kMaxTrailers) {
        return false;
    }
    const TrailerEntry& entry = sourceList_[index];
    // A written disc keeps each block at its OFFSET; its START only tells where the block
    // began on the disc it was first copied from.
    const std::int64_t from =
        static_cast<std::int64_t>(entry.offset) + (sourceWritten_ ? 0 : entry.start);
    const std::int64_t audioSize = DestinationAudioEnd();
    if (!EntryIsCopyable(entry) || audioSize + entry.end > kLargestAudioFile) {
        return false;
    }
    if (!SeekStream(destinationAudio_, 0, SEEK_END) || !SeekStream(sourceAudio_, from, SEEK_SET)) {
        return false;
    }
    std::clearerr(sourceAudio_);

    // Locals for the count and the size: the byte stores through the stream buffers could
    // alias a member or the entry and force them back to memory on every byte. Past the end of
    // the source file every further read would fail too, so reading stops there.
    std::FILE* const in = sourceAudio_;
    std::FILE* const out = destinationAudio_;
    const int32_t size = entry.end;
    int32_t copied = 0;
    for (; copied < size; ++copied) {
        const int byte = GetByte(in);
        if (byte == EOF) {
            break;
        }
        PutByte(byte, out);
    }
    for (; copied < size; ++copied) {
        PutByte(kMissingByte, out);
    }

    // A read error is not the end of the file: its audio would be silently replaced.
    bool added = !std::ferror(in) && std::fflush(out) == 0 && !std::ferror(out);
    if (added) {
        destinationList_[destinationCount_] = entry;
        ++destinationCount_;
        added = WriteIndexFile();
        if (!added) {
            --destinationCount_;
        }
    }
    if (!added) {
        RestoreDestination(audioSize);
    }
    return added;
}

bool ReadTrailerAudio(std::FILE* audio, unsigned char* buffer, std::size_t size) {
    const std::size_t read = std::fread(buffer, 1, size, audio);
    if (read < size && std::ferror(audio)) {
        return false;
    }
    std::memset(buffer + read, kMissingByte, size - read);
    return true;
}
