// Opening the destination disc, and copying a trailer's audio to it. One program at a time
// writes a disc: it holds a lock on the disc's audio file from the open to the close. The
// index on disk always describes the audio on disk, and every change reaches the device before
// anything relies on it: an add's audio before the index that lists it, each index whole before
// it takes the old one's place. So neither a kill nor a power cut costs a trailer once the
// program has said it was added.
#include <cinttypes>
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

// The block copy moves audio this many bytes at a time, through this buffer where the system
// cannot copy it itself. The core runs on one thread, so one buffer serves every disc pair.
constexpr std::int64_t kCopyBlockSize = std::int64_t{1} << 20;
unsigned char copyBlock[kCopyBlockSize];

// The audio file is written through a stream opened for update, not for appending: every add
// moves to where its audio goes anyway, and in append mode the Windows C runtime moves to the
// end again before each buffer it writes out, which slows the byte-by-byte copy by a quarter.
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

// Copies `size` bytes from `in`, which stands where they start, to `out` one byte per call, as
// Add does: each byte past the end of the source file is written as 0xFF. The streams' errors
// tell whether it worked. The count and the size are locals: the byte stores through the stream
// buffers could alias a member or the entry and force them back to memory on every byte. Past
// the end of the source file every further read would fail too, so reading stops there.
void CopyByteByByte(std::FILE* in, std::FILE* out, int32_t size) {
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
}

// Copies the same bytes in blocks: `size` bytes from `in` at `from` to `out` at `to`, by the
// system's own copy as far as it goes, then through the buffer, which gives 0xFF for each byte
// past the end of the source file. False on a read or write error.
// The streams are only moved where the buffer copies: a seek of a stream open for reading reads
// a buffer's worth at once.
bool CopyInBlocks(std::FILE* in, std::int64_t from, std::FILE* out, std::int64_t to, int32_t size) {
    std::int64_t done = CopyInSystem(in, from, out, to, size, kCopyBlockSize);
    if (done == size) {
        return true;
    }
    if (!SeekStream(in, from + done, SEEK_SET) || !SeekStream(out, to + done, SEEK_SET)) {
        return false;
    }
    std::clearerr(in);
    while (done < size) {
        const std::size_t block =
            static_cast<std::size_t>(size - done < kCopyBlockSize ? size - done : kCopyBlockSize);
        if (!ReadTrailerAudio(in, copyBlock, block) ||
            std::fwrite(copyBlock, 1, block, out) != block) {
            return false;
        }
        done += static_cast<std::int64_t>(block);
    }
    return true;
}

// The record of an add that begins at `audioSize`, as it is written and as it must read.
int FormatAddRecord(char (&text)[32], std::int64_t audioSize) {
    return std::snprintf(text, sizeof text, "%" PRId64 "\r\n", audioSize);
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

// Opens the destination's audio file (creating it for a new disc) and takes the writer's lock
// on it. False if it cannot be opened, or if another program holds the lock.
bool DiscPair::HoldDestinationAudio(bool create) {
    ReleaseDestination();
    destinationLock_ = OpenForUpdate(destinationAudioName_, create, audioCreated_);
    if (destinationLock_ == nullptr) {
        return false;
    }
    const LockResult lock = LockForWriting(destinationLock_);
    if (lock == LockResult::Taken) {
        return true;
    }
    destinationInUse_ = lock == LockResult::HeldElsewhere;
    CloseStream(destinationLock_);
    audioCreated_ = false; // another writer may already be using the file
    return false;
}

// Lets the destination go: its audio stream is closed, then the lock is released.
void DiscPair::ReleaseDestination() {
    CloseStream(destinationAudio_);
    if (destinationLock_ != nullptr) {
        Unlock(destinationLock_);
        CloseStream(destinationLock_);
    }
}

bool DiscPair::HoldDestinationDisc(const char* indexPath, int32_t folderLength) {
    destinationInUse_ = false;
    if (destinationOpen_ || !CopyName(destinationIndexName_, indexPath) ||
        !MakeAudioPath(indexPath, folderLength)) {
        return false;
    }
    CopyName(destinationAudioName_, fileName_);
    std::memcpy(destinationFolder_, indexPath, static_cast<std::size_t>(folderLength));
    destinationFolder_[folderLength] = 0;
    return HoldDestinationAudio(false);
}

// Fills the file name buffer with the name of a file beside the destination disc.
bool DiscPair::SetDestinationFileName(const char* fileName) {
    return SetFolderFileName(destinationFolder_,
                             static_cast<int32_t>(std::strlen(destinationFolder_)), fileName);
}

// Cuts the held audio file to `size` bytes and waits until the device holds the cut.
bool DiscPair::CutHeldAudio(std::int64_t size) {
    return (destinationAudio_ == nullptr || std::fflush(destinationAudio_) == 0) &&
           ResizeFile(destinationAudioName_, size) && FlushToDevice(destinationLock_);
}

// Writes the record that an add begins at `audioSize` and waits until the device holds it,
// and, the first time in a session, its entry in the folder. Whatever of the add reaches the
// audio file after this can then be told apart from audio no add of this program left.
bool DiscPair::RecordAddStart(std::int64_t audioSize) {
    if (!SetDestinationFileName(kAddRecordFileName)) {
        return false;
    }
    std::FILE* const record = OpenRegularFile(fileName_, "wb");
    if (record == nullptr) {
        return false;
    }
    char text[32];
    const int length = FormatAddRecord(text, audioSize);
    const bool written = std::fwrite(text, 1, static_cast<std::size_t>(length), record) ==
                             static_cast<std::size_t>(length) &&
                         FlushToDevice(record);
    if (std::fclose(record) != 0 || !written) {
        return false;
    }
    if (!addRecorded_) {
        addRecorded_ = FlushFolder(destinationFolder_);
    }
    return addRecorded_;
}

// Whether the record of an add, whose name is in the file name buffer, says that an add began
// at `audioSize`. A record that is missing, torn or anything else says nothing.
bool DiscPair::AddRecordSays(std::int64_t audioSize) {
    std::FILE* const record = OpenRegularFile(fileName_, "rb");
    if (record == nullptr) {
        return false;
    }
    char text[32];
    const std::size_t read = std::fread(text, 1, sizeof text, record);
    std::fclose(record);
    char expected[32];
    const int length = FormatAddRecord(expected, audioSize);
    return read == static_cast<std::size_t>(length) && std::memcmp(text, expected, read) == 0;
}

void DiscPair::RemoveAddRecord() {
    if (SetDestinationFileName(kAddRecordFileName)) {
        RemoveFile(fileName_);
    }
    addRecorded_ = false;
}

// Leaves the destination closed with an empty list, after a failed open. An audio file this
// open created goes again.
void DiscPair::AbandonDestination() {
    CloseStream(destinationIndexWriter_);
    ReleaseDestination();
    if (audioCreated_) {
        RemoveFile(destinationAudioName_);
        audioCreated_ = false;
    }
    destinationCount_ = 0;
    batchCount_ = 0;
    destinationOpen_ = false;
}

// A new disc: its audio file is held first, and never replaced, only rewritten. Where it holds
// an old disc's audio, the record of an add from byte 92 comes first, then the new empty index,
// then the cut: whenever the process or the power stops, the folder holds the old disc, or the
// new empty index beside audio that Continue cuts back to the header. Where it holds anything
// else, it becomes the header alone before the index takes its place: an index beside audio
// without the header never read as a disc. Every step is on the device before the next.
bool DiscPair::OpenNewDisc(const char* folder) {
    // The index name is the longest, so every other name fits whenever it does.
    if (!SetFileName(folder, kIndexFileName) || !CopyName(destinationIndexName_, fileName_)) {
        return false;
    }
    SetFileName(folder, kAudioFileName);
    CopyName(destinationAudioName_, fileName_);
    const std::size_t folderLength = std::strlen(folder);
    std::memcpy(destinationFolder_, folder, folderLength);
    destinationFolder_[folderLength] = kPathSeparator;
    destinationFolder_[folderLength + 1] = 0;
    // Replacing the audio file of the open source disc would destroy what is being read.
    if (sourceOpen_ && SameFile(destinationAudioName_, sourceAudioName_)) {
        return false;
    }
    if (!HoldDestinationAudio(true)) {
        return false;
    }
    destinationAudio_ = OpenRegularFile(destinationAudioName_, kAudioWriteMode);
    if (destinationAudio_ == nullptr) {
        return false;
    }
    DiscReport old = {};
    MeasureAudio(destinationAudio_, old);
    if (old.audioSize < 0) {
        return false;
    }
    if (old.headerMatches) {
        if (old.audioSize > kAudioHeaderSize && !RecordAddStart(kAudioHeaderSize)) {
            return false;
        }
    } else if (!SeekStream(destinationAudio_, 0, SEEK_SET) ||
               std::fwrite(kAudioHeader, 1, sizeof kAudioHeader, destinationAudio_) !=
                   sizeof kAudioHeader ||
               !CutHeldAudio(kAudioHeaderSize)) {
        return false;
    }
    // An old disc's audio after the header is cut once the new empty index is in place; audio
    // that is the header alone already is, and on the device.
    const bool oldAudio = old.headerMatches && old.audioSize > kAudioHeaderSize;
    return PlaceIndex() == Placement::Placed && (!oldAudio || CutHeldAudio(kAudioHeaderSize));
}

bool EntryIsCopyable(const TrailerEntry& entry) {
    return EndIsUsable(entry.end) && static_cast<std::int64_t>(entry.offset) + entry.start >= 0;
}

bool DiscHoldsItsTrailers(const DiscReport& report) {
    return report.index == IndexState::Read && report.recordProblems == 0 && !report.tooLarge &&
           report.headerMatches && report.audioSize >= report.expectedAudioSize;
}

bool DiscCanContinue(const DiscReport& report) {
    return DiscHoldsItsTrailers(report) &&
           (report.audioSize == report.expectedAudioSize || report.addUnfinished);
}

bool DiscIsSound(const DiscReport& report) {
    return DiscHoldsItsTrailers(report) && report.audioSize == report.expectedAudioSize;
}

// Whether the audio file starts with the header, and its size.
void DiscPair::MeasureAudio(std::FILE* audio, DiscReport& report) {
    unsigned char header[kAudioHeaderSize];
    report.headerMatches = SeekStream(audio, 0, SEEK_SET) &&
                           std::fread(header, 1, sizeof header, audio) == sizeof header &&
                           std::memcmp(header, kAudioHeader, sizeof header) == 0;
    report.audioSize = StreamSize(audio);
}

// Reads the index in the written layout into the destination list, and compares the audio
// file with it: it must start with the header and hold every listed trailer where the index
// says. The audio file is only read.
void DiscPair::CheckWrittenDisc(const char* indexPath, int32_t folderLength, DiscReport& report) {
    report = DiscReport();
    report.audioSize = -1;
    if (!ReadIndex(IndexDialect::Destination, indexPath)) {
        report.index = IndexReadFailure();
        CloseStream(destinationIndexReader_);
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
    std::FILE* const audio = OpenRegularFile(fileName_, "rb");
    if (audio == nullptr) {
        return;
    }
    MeasureAudio(audio, report);
    // A disc this pair holds is not another program's; the test would find this pair's lock.
    report.inUse = destinationLock_ == nullptr && HeldByAnotherWriter(audio);
    std::fclose(audio);
    if (report.audioSize > expected) {
        SetFolderFileName(indexPath, folderLength, kAddRecordFileName);
        report.addUnfinished = AddRecordSays(expected);
    }
}

bool DiscPair::CheckDestinationDisc(const char* indexPath, int32_t folderLength,
                                    DiscReport& report) {
    if (destinationOpen_) {
        return false;
    }
    CheckWrittenDisc(indexPath, folderLength, report);
    return true;
}

bool DiscPair::CutDestinationAudio(const DiscReport& report) {
    if (destinationOpen_ || destinationLock_ == nullptr || !DiscHoldsItsTrailers(report) ||
        !CutHeldAudio(report.expectedAudioSize)) {
        return false;
    }
    RemoveAddRecord();
    return true;
}

// The disc is held before it is checked, so nothing changes it in between, and nothing is
// written before every check has passed: a refused disc stays as it was.
bool DiscPair::OpenContinuedDisc(const char* indexPath, int32_t folderLength) {
    // kovdisc holds a disc before it checks it; the window holds it here.
    const bool held =
        destinationLock_ != nullptr && std::strcmp(destinationIndexName_, indexPath) == 0;
    if (!held && !HoldDestinationDisc(indexPath, folderLength)) {
        return false;
    }
    // An index of the name a new index is written under could not be replaced in one step.
    if (!SetFolderFileName(indexPath, folderLength, kNewIndexFileName) ||
        SameFile(fileName_, indexPath)) {
        return false;
    }
    DiscReport report;
    CheckWrittenDisc(indexPath, folderLength, report);
    // Refused unless its audio file starts with the header and holds every listed trailer, and
    // any audio after them is the part of an add that never finished.
    if (!DiscCanContinue(report)) {
        return false;
    }
    if (report.audioSize > report.expectedAudioSize && !CutHeldAudio(report.expectedAudioSize)) {
        return false;
    }
    destinationAudio_ = OpenRegularFile(destinationAudioName_, kAudioWriteMode);
    return destinationAudio_ != nullptr;
}

bool DiscPair::OpenDestinationDisc(bool newDisc, const char* path, int32_t folderLength) {
    destinationInUse_ = false;
    addRecorded_ = false;
    batchCount_ = 0;
    indexCurrent_ = false;
    const bool opened = newDisc ? OpenNewDisc(path) : OpenContinuedDisc(path, folderLength);
    if (!opened) {
        AbandonDestination();
        return false;
    }
    destinationOpen_ = true;
    return true;
}

// After a failed add: puts back the index without the trailer, if the add had replaced it,
// and cuts the audio file back to `audioSize`. The audio stream is closed first, so no
// unwritten bytes of the failed add stay buffered. If that fails too, what the disc holds is not
// known: it is let go, lock and all, and nothing more can be added. The record of the add stays
// in place, so Continue cuts whatever the add left.
void DiscPair::RestoreDestination(std::int64_t audioSize, bool indexReplaced) {
    CloseStream(destinationAudio_);
    const bool indexRestored = !indexReplaced || PlaceIndex() == Placement::Placed;
    if (indexRestored && CutHeldAudio(audioSize)) {
        destinationAudio_ = OpenRegularFile(destinationAudioName_, kAudioWriteMode);
        if (destinationAudio_ != nullptr) {
            return;
        }
    }
    ReleaseDestination();
}

// Whether the source trailer `index` may be added now; where its audio is read from, and where
// on the disc it goes.
bool DiscPair::PrepareAdd(int32_t index, std::int64_t& from, std::int64_t& audioSize) const {
    if (!sourceOpen_ || !destinationOpen_ || destinationAudio_ == nullptr) {
        return false;
    }
    if (index < 0 || index >= sourceCount_ || destinationCount_ >= kMaxTrailers) {
        return false;
    }
    const TrailerEntry& entry = sourceList_[index];
    // A written disc keeps each block at its OFFSET; its START only tells where the block
    // began on the disc it was first copied from.
    from = static_cast<std::int64_t>(entry.offset) + (sourceWritten_ ? 0 : entry.start);
    audioSize = DestinationAudioEnd();
    return EntryIsCopyable(entry) && audioSize + entry.end <= kLargestAudioFile;
}

// The window's Add: a batch of one, copied byte by byte and committed at once. Its Close Disc
// writes the index again, as it always has.
bool DiscPair::AddTrailer(int32_t index) {
    const bool added = batchCount_ == 0 && CopyIntoBatch(index, false) && CommitBatch();
    indexCurrent_ = false;
    return added;
}

bool DiscPair::AddTrailerToBatch(int32_t index) {
    return CopyIntoBatch(index, true);
}

bool DiscPair::CopyIntoBatch(int32_t index, bool inBlocks) {
    std::int64_t from = 0;
    std::int64_t audioSize = 0;
    if (!PrepareAdd(index, from, audioSize)) {
        return false;
    }
    const TrailerEntry& entry = sourceList_[index];
    // Audio after the committed trailers is a batch under way, recorded before its first byte.
    // The block copy moves the streams itself, only where it needs them.
    if ((batchCount_ == 0 && !RecordAddStart(audioSize)) ||
        (!inBlocks && (!SeekStream(destinationAudio_, audioSize, SEEK_SET) ||
                       !SeekStream(sourceAudio_, from, SEEK_SET)))) {
        return false;
    }
    std::clearerr(sourceAudio_);
    std::FILE* const in = sourceAudio_;
    std::FILE* const out = destinationAudio_;
    bool copied = true;
    if (inBlocks) {
        copied = CopyInBlocks(in, from, out, audioSize, entry.end);
    } else {
        CopyByteByByte(in, out, entry.end);
    }
    // Every byte of the trailer leaves the stream's buffer here, so a failure is this trailer's
    // alone: the batch's earlier trailers are whole in the file. A read error is not the end of
    // the file: its audio would be silently replaced.
    if (!copied || std::ferror(in) || std::fflush(out) != 0 || std::ferror(out)) {
        RestoreDestination(audioSize, false);
        return false;
    }
    destinationList_[destinationCount_] = entry;
    ++destinationCount_;
    ++batchCount_;
    return true;
}

bool DiscPair::CommitBatch() {
    if (batchCount_ == 0) {
        return true;
    }
    // The audio is on the device before an index lists it.
    Placement placement = Placement::NotPlaced;
    if (destinationAudio_ != nullptr && FlushToDevice(destinationAudio_) &&
        !std::ferror(destinationAudio_)) {
        placement = PlaceIndex();
    }
    if (placement != Placement::Placed) {
        DropBatch(placement == Placement::Unsure);
        return false;
    }
    batchCount_ = 0;
    indexCurrent_ = true;
    return true;
}

// Takes the batch's trailers off the list and cuts their audio, as after a failed add. A disc
// already let go is not touched: another program may hold it now.
void DiscPair::DropBatch(bool indexReplaced) {
    destinationCount_ -= batchCount_;
    batchCount_ = 0;
    if (destinationLock_ != nullptr) {
        RestoreDestination(DestinationAudioEnd(), indexReplaced);
    }
}

bool ReadTrailerAudio(std::FILE* audio, unsigned char* buffer, std::size_t size) {
    const std::size_t read = std::fread(buffer, 1, size, audio);
    if (read < size && std::ferror(audio)) {
        return false;
    }
    std::memset(buffer + read, kMissingByte, size - read);
    return true;
}
