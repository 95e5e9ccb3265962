// Reading the trailer index in its two dialects, and writing it.
#include <cstring>

#include "disc_pair.h"
#include "stream_io.h"

namespace {

const char kTab = '\t';
const char kBlank = ' ';
const char kCarriageReturn = '\r';
const char kLineFeed = '\n';
const char kEndMarker = 0x1A;
const char kCommentMark = ';';

// The two comment lines the writer puts at the top; the destination dialect skips them.
const char kIndexHeader[] = ";NAME           SERIAL  START   END     OFFSET\r\n"
                            ";----           ------  -----   ---     ------\r\n";
const long kIndexHeaderSize = static_cast<long>(sizeof kIndexHeader) - 1;
static_assert(kIndexHeaderSize == 96, "two 46-character lines, each with CR LF");

// The source dialect reads another record only if this many bytes follow its first character.
const long kMinimumRecordTail = 8;

// Index columns count units of 3675 bytes; the product wraps in 32 bits, like the column values.
int32_t UnitsToBytes(int32_t units) {
    return static_cast<int32_t>(static_cast<std::uint32_t>(units) *
                                static_cast<std::uint32_t>(kIndexUnit));
}

void BlankName(TrailerEntry& entry) {
    std::memset(entry.name, kBlank, sizeof entry.name);
    entry.name[8] = 0;
}

bool IsSeparator(char character) {
    return character == kBlank || character == kTab;
}

} // namespace

DiscPair::ReadResult DiscPair::ReadCharacter(std::FILE* stream) {
    const int byte = GetByte(stream);
    if (byte == EOF) {
        return std::ferror(stream) ? ReadResult::Error : ReadResult::EndOfFile;
    }
    character_ = static_cast<char>(byte);
    return ReadResult::Character;
}

// Converts a numeric column into value_. Every character up to the terminator counts as a
// digit, the first one always, whatever it is; the arithmetic wraps in 32 bits.
DiscPair::ReadResult DiscPair::ConvertColumn(std::FILE* stream, char terminator1,
                                             char terminator2) {
    std::uint32_t value = 0;
    for (;;) {
        const int32_t digit = static_cast<signed char>(character_) - 48;
        value = value * 10u + static_cast<std::uint32_t>(digit);
        value_ = static_cast<int32_t>(value);
        const ReadResult result = ReadCharacter(stream);
        if (result != ReadResult::Character) {
            return result;
        }
        if (character_ == terminator1 || character_ == terminator2) {
            return result;
        }
    }
}

// Reads past the current character and any blanks and TABs after it.
DiscPair::ReadResult DiscPair::SkipSeparators(std::FILE* stream) {
    ReadResult result;
    do {
        result = ReadCharacter(stream);
    } while (result == ReadResult::Character && IsSeparator(character_));
    return result;
}

// No index stays open once it has been read, however the read ended: Windows replaces no open
// file, and a writer replaces a disc's index after every add. Only a failed read in the
// destination dialect keeps its stream, for IndexReadFailure to look at the index's start.
bool DiscPair::ReadIndex(IndexDialect dialect, const char* path) {
    if (dialect == IndexDialect::Source) {
        const bool read = ReadSourceDialect(path);
        CloseStream(sourceIndexReader_);
        return read;
    }
    return ReadDestinationDialect(path);
}

// Reads one source record whose first character is current, and then the first character of
// the line after it.
DiscPair::RecordResult DiscPair::ReadSourceRecord(std::FILE* stream, TrailerEntry& entry) {
    BlankName(entry);
    ReadResult result;
    int32_t i = 0;
    do {
        entry.name[i] = character_;
        result = ReadCharacter(stream);
        ++i;
    } while (result == ReadResult::Character && !IsSeparator(character_) && i < 8);

    int32_t* const columns[] = {&entry.serial, &entry.start, &entry.end};
    for (int32_t* const column : columns) {
        if (result == ReadResult::Character) {
            result = SkipSeparators(stream);
        }
        if (result == ReadResult::Character) {
            result = ConvertColumn(stream, kBlank, kTab);
            *column = value_;
        }
    }
    if (result == ReadResult::Character) {
        result = SkipSeparators(stream);
    }
    if (result == ReadResult::Character) {
        result = ConvertColumn(stream, kCarriageReturn, kBlank);
        entry.offset = value_;
    }
    if (result != ReadResult::Character) {
        return result == ReadResult::Error ? RecordResult::Error : RecordResult::Incomplete;
    }
    entry.start = UnitsToBytes(entry.start);
    entry.end = UnitsToBytes(entry.end);

    // The record is complete; the end of the file from here on ends the list after it.
    while (result == ReadResult::Character && character_ != kLineFeed) {
        result = ReadCharacter(stream);
    }
    if (result == ReadResult::Character) {
        result = ReadCharacter(stream);
    }
    if (result == ReadResult::Error) {
        return RecordResult::Error;
    }
    return result == ReadResult::Character ? RecordResult::Complete : RecordResult::Last;
}

bool DiscPair::ReadSourceDialect(const char* path) {
    CloseStream(sourceIndexReader_);
    sourceCount_ = 0;
    sourceIndexReader_ = OpenRegularFile(path, "rb");
    if (sourceIndexReader_ == nullptr) {
        return false;
    }
    std::FILE* const stream = sourceIndexReader_;
    if (std::fseek(stream, 0, SEEK_END) != 0) {
        return false;
    }
    const long size = std::ftell(stream);
    if (size < 0 || std::fseek(stream, 0, SEEK_SET) != 0) {
        return false;
    }

    ReadResult result = ReadCharacter(stream);
    while (result == ReadResult::Character && character_ == kCommentMark) {
        do {
            result = ReadCharacter(stream);
        } while (result == ReadResult::Character && character_ != kLineFeed);
        if (result == ReadResult::Character) {
            result = ReadCharacter(stream);
        }
    }
    if (result == ReadResult::Error) {
        return false;
    }
    if (result == ReadResult::EndOfFile) {
        CloseStream(sourceIndexReader_);
        return true;
    }
    if (character_ == kEndMarker) {
        return true;
    }

    counter_ = 0;
    for (;;) {
        const RecordResult record = ReadSourceRecord(stream, sourceList_[counter_]);
        if (record == RecordResult::Error) {
            return false;
        }
        if (record == RecordResult::Incomplete) {
            break;
        }
        ++counter_;
        if (record == RecordResult::Last || counter_ == kMaxTrailers) {
            break;
        }
        const long position = std::ftell(stream);
        if (character_ == kEndMarker || position < 0 || size - position < kMinimumRecordTail) {
            break;
        }
    }
    sourceCount_ = counter_;
    CloseStream(sourceIndexReader_);
    return true;
}

// Reads one record as the writer lays it out, and then the first character of the next line.
// Any end of the file before the end marker is an error here.
bool DiscPair::ReadDestinationRecord(std::FILE* stream, TrailerEntry& entry) {
    BlankName(entry);
    int32_t i = 0;
    do {
        entry.name[i] = character_;
        if (ReadCharacter(stream) != ReadResult::Character) {
            return false;
        }
        ++i;
    } while (character_ != kTab && i < 8);

    // One or two TABs follow the name.
    if (ReadCharacter(stream) != ReadResult::Character) {
        return false;
    }
    if (character_ == kTab && ReadCharacter(stream) != ReadResult::Character) {
        return false;
    }
    if (ConvertColumn(stream, kTab, kTab) != ReadResult::Character) {
        return false;
    }
    entry.serial = value_;
    int32_t* const columns[] = {&entry.start, &entry.end};
    for (int32_t* const column : columns) {
        if (ReadCharacter(stream) != ReadResult::Character ||
            ConvertColumn(stream, kTab, kTab) != ReadResult::Character) {
            return false;
        }
        *column = UnitsToBytes(value_);
    }
    if (ReadCharacter(stream) != ReadResult::Character ||
        ConvertColumn(stream, kCarriageReturn, kCarriageReturn) != ReadResult::Character) {
        return false;
    }
    entry.offset = value_;
    // The LF, then the first character of the next line.
    return ReadCharacter(stream) == ReadResult::Character &&
           ReadCharacter(stream) == ReadResult::Character;
}

bool DiscPair::ReadDestinationDialect(const char* path) {
    CloseStream(destinationIndexReader_);
    destinationCount_ = 0;
    destinationIndexReader_ = OpenRegularFile(path, "rb");
    if (destinationIndexReader_ == nullptr) {
        return false;
    }
    std::FILE* const stream = destinationIndexReader_;
    if (std::fseek(stream, kIndexHeaderSize, SEEK_SET) != 0 ||
        ReadCharacter(stream) != ReadResult::Character) {
        return false;
    }
    if (character_ == kEndMarker) {
        CloseStream(destinationIndexReader_);
        return true;
    }
    counter_ = 0;
    do {
        // This system never writes more trailers than a list holds.
        if (counter_ == kMaxTrailers ||
            !ReadDestinationRecord(stream, destinationList_[counter_])) {
            return false;
        }
        ++counter_;
    } while (character_ != kEndMarker);
    destinationCount_ = counter_;
    CloseStream(destinationIndexReader_);
    return true;
}

// After a failed read in the written layout, which leaves its stream open once the file has
// been opened: tells a file that cannot be read from one that is not a written index at all
// and from a written index that is damaged.
IndexState DiscPair::IndexReadFailure() {
    std::FILE* const stream = destinationIndexReader_;
    if (stream == nullptr) {
        return IndexState::Unreadable;
    }
    std::clearerr(stream);
    char header[kIndexHeaderSize];
    if (std::fseek(stream, 0, SEEK_SET) != 0) {
        return IndexState::Unreadable;
    }
    const std::size_t read = std::fread(header, 1, sizeof header, stream);
    if (std::ferror(stream)) {
        return IndexState::Unreadable;
    }
    const bool written = read == sizeof header && std::memcmp(header, kIndexHeader, read) == 0;
    return written ? IndexState::Damaged : IndexState::Foreign;
}

int32_t WrittenNameLength(const TrailerEntry& entry) {
    int32_t length = 0;
    while (length < 9) {
        const signed char code = static_cast<signed char>(entry.name[length]);
        if (code < '0' || code > 'z') {
            break;
        }
        ++length;
    }
    return length;
}

// Writes the whole index from the start of the writer's stream.
bool DiscPair::WriteIndexFile() {
    std::FILE* const stream = destinationIndexWriter_;
    std::rewind(stream);
    std::fputs(kIndexHeader, stream);
    std::uint32_t offset = kAudioHeaderSize; // wraps like the 32-bit column it is written to
    for (counter_ = 0; counter_ < destinationCount_; ++counter_) {
        const TrailerEntry& entry = destinationList_[counter_];
        const int32_t length = WrittenNameLength(entry);
        std::fwrite(entry.name, 1, static_cast<std::size_t>(length), stream);
        std::fputs(length < 8 ? "\t\t" : "\t", stream);
        std::fprintf(stream, "%d\t%d\t%d\t%d\r\n", static_cast<int>(entry.serial),
                     static_cast<int>(entry.start / kIndexUnit),
                     static_cast<int>(entry.end / kIndexUnit),
                     static_cast<int>(static_cast<int32_t>(offset)));
        offset += static_cast<std::uint32_t>(entry.end);
    }
    std::fputc(kEndMarker, stream);
    return std::fflush(stream) == 0 && !std::ferror(stream);
}

// Writes the index from the destination list beside the disc's index, waits until the device
// holds it, and puts it in the index's place in one step: whenever the process or the power
// stops, the disc has its old index or its new one, whole.
DiscPair::Placement DiscPair::PlaceIndex() {
    if (!SetDestinationFileName(kNewIndexFileName)) {
        return Placement::NotPlaced;
    }
    CloseStream(destinationIndexWriter_);
    destinationIndexWriter_ = OpenRegularFile(fileName_, "wb");
    if (destinationIndexWriter_ == nullptr) {
        return Placement::NotPlaced;
    }
    const bool written = WriteIndexFile() && FlushToDevice(destinationIndexWriter_);
    const bool closed = std::fclose(destinationIndexWriter_) == 0;
    destinationIndexWriter_ = nullptr;
    if (!written || !closed || !PutInPlace(fileName_, destinationIndexName_)) {
        RemoveFile(fileName_);
        return Placement::NotPlaced;
    }
    return FlushFolder(destinationFolder_) ? Placement::Placed : Placement::Unsure;
}

// The index is in place after every add already; it is put in place once more as the disc is
// closed. Only a destination that is open and still held is written.
bool DiscPair::ReplaceHeldIndex(const TrailerEntry* entries, int32_t count) {
    if (destinationOpen_ || destinationLock_ == nullptr || count < 0 || count > kMaxTrailers) {
        return false;
    }
    for (destinationCount_ = 0; destinationCount_ < count; ++destinationCount_) {
        destinationList_[destinationCount_] = entries[destinationCount_];
    }
    return PlaceIndex() == Placement::Placed;
}

void DiscPair::WriteIndex() {
    if (destinationOpen_ && destinationLock_ != nullptr) {
        PlaceIndex();
    }
}
