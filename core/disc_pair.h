// The source and destination trailer discs, their trailer lists and their open files.
#pragma once

#include <cstdint>
#include <cstdio>

using std::int32_t;

// One trailer of a list. `start` and `end` are in bytes of audio (index units times 3675).
struct TrailerEntry {
    char name[9]; // up to 8 characters, blank padded, then 0
    int32_t serial;
    int32_t start;
    int32_t end; // size of the audio block
    int32_t offset;
};

enum class IndexDialect { Source, Destination };

constexpr int32_t kMaxTrailers = 255;
constexpr int32_t kFileNameSize = 512;
constexpr int32_t kIndexUnit = 3675;        // bytes of audio per index unit
constexpr int32_t kBytesPerSecond = 110250; // 30 index units
constexpr int32_t kAudioHeaderSize = 92;
// The index's OFFSET column holds a signed 32-bit position, so no audio may lie beyond it.
constexpr std::int64_t kLargestAudioFile = 0x7FFFFFFF;

// The line that shows a trailer in a list: its blank-padded name, then its whole seconds. Two
// trailers whose lines match, letter case ignored, count as the same trailer on a disc.
constexpr char kListLineFormat[] = "%s      length : %d seconds";

// Every audio file this system writes starts with these bytes.
extern const unsigned char kAudioHeader[kAudioHeaderSize];

// How many characters of the name the index writer writes: up to its first character outside
// '0'..'z', taken as a signed byte, so a blank, a hyphen or any byte of 0x80 or above ends it.
int32_t WrittenNameLength(const TrailerEntry& entry);

// Reads the next `size` bytes of a trailer's audio from `audio`, which stands where they
// start, as AddTrailer copies them: each byte past the end of the file is given as 0xFF.
// False on a read error.
bool ReadTrailerAudio(std::FILE* audio, unsigned char* buffer, std::size_t size);

constexpr char kIndexFileName[] = "R14TRLR.TXT";
constexpr char kAudioFileName[] = "R14T5.AUD";
// Every index is written whole under this name first, beside the disc's index, and then takes
// its place in one step. It is no longer than the index's name.
constexpr char kNewIndexFileName[] = "R14TRLR.NEW";
// The record of an add: while a writer adds a trailer, this file beside the disc holds the audio
// file's size when the add began, in decimal and CR LF. Audio after the last listed trailer is
// cut unasked only when this record says an add began exactly there.
constexpr char kAddRecordFileName[] = "R14T5.ADD";

// How the index of a written disc read when the disc was checked.
enum class IndexState {
    Read,       // in the layout this system writes
    Unreadable, // missing, or a file that cannot be read
    Foreign,    // does not start with the two comment lines this system writes
    Damaged,    // starts with them, but what follows is not in the written layout
};

// What a check of a written disc found. Positions are list positions, 0 to count - 1.
struct DiscReport {
    IndexState index;
    int32_t count;                             // trailers the index lists
    std::int64_t expectedOffset[kMaxTrailers]; // where each trailer's audio must start
    bool offsetWrong[kMaxTrailers];            // its OFFSET is not the expected one
    bool endUnusable[kMaxTrailers];            // its END is below 0 or not whole index units
    int32_t recordProblems;                    // records with a wrong OFFSET or an unusable END
    bool tooLarge;                  // the audio would end past the largest OFFSET there can be
    bool headerMatches;             // the audio file starts with the audio header
    std::int64_t audioSize;         // -1 when the audio file cannot be opened or sized
    std::int64_t expectedAudioSize; // the header and every END
    // The audio goes on after the last trailer, and the record of an add says an add began
    // exactly there: what follows is the part of it that was written before it stopped.
    bool addUnfinished;
    // Another program held the disc for writing when its audio was measured: audio after the
    // last trailer is then an add under way, not one that never finished.
    bool inUse;
};

// A source entry AddTrailer will copy: an END in whole index units and not below 0 (any other
// comes from a column that wrapped in 32 bits), and audio that does not start before the file.
bool EntryIsCopyable(const TrailerEntry& entry);

// Every listed trailer's audio is where the index says, though more audio may follow.
bool DiscHoldsItsTrailers(const DiscReport& report);
// Continue Disc accepts the disc: it holds its trailers, and any audio after them is what an
// unfinished add left, which Continue cuts.
bool DiscCanContinue(const DiscReport& report);
// Everything matches and the audio file ends after the last trailer.
bool DiscIsSound(const DiscReport& report);

#ifdef _WIN32
constexpr char kPathSeparator = '\\';
#else
constexpr char kPathSeparator = '/';
#endif

class DiscPair {
public:
    DiscPair();
    ~DiscPair();
    DiscPair(const DiscPair&) = delete;
    DiscPair& operator=(const DiscPair&) = delete;

    bool OpenSourceDisc(const char* indexPath, int32_t folderLength);
    // Opens a written disc as the source, to rearrange it into a new disc: checks it as
    // CheckDestinationDisc does and, if Continue Disc would accept it, takes its list as the
    // source list. AddTrailer then copies each block from its OFFSET, where a written disc
    // keeps it, instead of from OFFSET + START. The disc is only read. False when it is refused
    // (the destination list then holds the index as the check read it), when its audio cannot
    // be opened, or while a destination is open.
    bool OpenWrittenSourceDisc(const char* indexPath, int32_t folderLength, DiscReport& report);
    void CloseSourceDisc();
    // Opens the destination for this program alone: from here to CloseDestinationDisc no other
    // program can open the disc for writing, nor can this one a second time. False, with
    // nothing changed, when the disc cannot be taken or is refused; DestinationInUse then says
    // whether another program was writing it.
    bool OpenDestinationDisc(bool newDisc, const char* path, int32_t folderLength);
    void CloseDestinationDisc();
    bool AddTrailer(int32_t index);
    // kovdisc's adds, many trailers to one commit, at the device's speed. Copies the trailer's
    // audio, the same bytes AddTrailer copies, in large blocks (by the system's own copy where it
    // has one) after the audio of the trailers before it, and lists it; nothing reaches the
    // device and the index on disk does not change until CommitBatch. The batch's first trailer
    // records where the batch's audio begins, so a kill or a power cut before the commit leaves
    // audio that Continue cuts. False when the trailer is refused or its copy fails: its audio
    // is cut back, and the batch's earlier trailers stay for the commit.
    bool AddTrailerToBatch(int32_t index);
    // Commits the batch: the audio reaches the device, then the index listing every trailer is
    // put in place. AddTrailer is a batch of one, copied byte by byte and committed at once. True
    // when there is nothing to commit. False when the commit failed: the batch's trailers are
    // dropped from the list, and the disc is as it was before the batch.
    bool CommitBatch();
    // The trailers added to the batch and not yet committed.
    int32_t BatchCount() const { return batchCount_; }
    // Takes a written disc for this program's writes, as OpenDestinationDisc does, before the
    // disc is checked, so that nothing changes it between the check and the open or the cut.
    // It is held until CloseDestinationDisc; OpenDestinationDisc of the same disc keeps it. False
    // when its audio file cannot be opened for writing or another program holds the disc.
    bool HoldDestinationDisc(const char* indexPath, int32_t folderLength);
    // The last failed open or hold found the disc held by another program.
    bool DestinationInUse() const { return destinationInUse_; }
    // Checks a written disc as Continue Disc does, and changes no file. The destination list
    // then holds the index as read. False, with nothing checked, while a destination is open.
    bool CheckDestinationDisc(const char* indexPath, int32_t folderLength, DiscReport& report);
    // Cuts the audio of the held disc after its last trailer, as asked, whatever left it there.
    // `report` is the check made while the disc was held; false unless it holds its trailers.
    bool CutDestinationAudio(const DiscReport& report);
    // Makes the index of the held disc list `count` trailers, whose audio its audio file holds
    // back to back after the header: the index is written whole apart and put in place in one
    // step, as after every add, with the OFFSETs worked out afresh. The audio file is not
    // changed. False when the disc is not held, or is open, or the index was not put in place
    // to last.
    bool ReplaceHeldIndex(const TrailerEntry* entries, int32_t count);
    bool MakeAudioPath(const char* path, int32_t folderLength); // false: the name does not fit
    bool ReadIndex(IndexDialect dialect, const char* path);
    void WriteIndex();

    int32_t SourceCount() const { return sourceCount_; }
    int32_t DestinationCount() const { return destinationCount_; }
    bool IsSourceOpen() const { return sourceOpen_; }
    bool IsDestinationOpen() const { return destinationOpen_; }
    const TrailerEntry& SourceTrailer(int32_t index) const { return sourceList_[index]; }
    const TrailerEntry& DestinationTrailer(int32_t index) const { return destinationList_[index]; }

private:
    enum class ReadResult { Character, EndOfFile, Error };
    // Complete: the next line's first character is current. Last: the record counts and the
    // file ends after it. Incomplete: the file ends inside the record, which does not count.
    enum class RecordResult { Complete, Last, Incomplete, Error };

    ReadResult ReadCharacter(std::FILE* stream);
    ReadResult ConvertColumn(std::FILE* stream, char terminator1, char terminator2);
    ReadResult SkipSeparators(std::FILE* stream);
    RecordResult ReadSourceRecord(std::FILE* stream, TrailerEntry& entry);
    bool ReadSourceDialect(const char* path);
    bool ReadDestinationRecord(std::FILE* stream, TrailerEntry& entry);
    bool ReadDestinationDialect(const char* path);
    // How a new index took the place of the old one.
    enum class Placement { Placed, NotPlaced, Unsure }; // Unsure: in place, but maybe not lasting

    bool PrepareAdd(int32_t index, std::int64_t& from, std::int64_t& audioSize) const;
    bool CopyIntoBatch(int32_t index, bool inBlocks);
    void DropBatch(bool indexReplaced);
    bool WriteIndexFile();
    Placement PlaceIndex();
    bool SetFileName(const char* folder, const char* fileName);
    bool SetFolderFileName(const char* path, int32_t folderLength, const char* fileName);
    bool SetDestinationFileName(const char* fileName);
    bool OpenSourceAudio(const char* indexPath, int32_t folderLength);
    bool HoldDestinationAudio(bool create);
    void ReleaseDestination();
    bool CutHeldAudio(std::int64_t size);
    bool RecordAddStart(std::int64_t audioSize);
    bool AddRecordSays(std::int64_t audioSize);
    void RemoveAddRecord();
    bool OpenNewDisc(const char* folder);
    bool OpenContinuedDisc(const char* indexPath, int32_t folderLength);
    IndexState IndexReadFailure();
    void CheckWrittenDisc(const char* indexPath, int32_t folderLength, DiscReport& report);
    static void MeasureAudio(std::FILE* audio, DiscReport& report);
    std::int64_t DestinationAudioEnd() const;
    void RestoreDestination(std::int64_t audioSize, bool indexReplaced);
    void AbandonDestination();

    TrailerEntry sourceList_[kMaxTrailers];
    TrailerEntry destinationList_[kMaxTrailers];
    int32_t sourceCount_;
    int32_t destinationCount_;
    bool sourceOpen_;
    bool destinationOpen_;
    bool sourceWritten_; // the source is a written disc: its blocks lie at their OFFSETs
    std::FILE* sourceIndexReader_;
    std::FILE* destinationIndexReader_;
    std::FILE* destinationIndexWriter_;
    std::FILE* sourceAudio_;
    std::FILE* destinationAudio_;
    // While a destination is held: its audio file, opened only to hold the writer's lock. The
    // audio file is never replaced while held, so the lock always guards the file every other
    // writer opens.
    std::FILE* destinationLock_;
    bool destinationInUse_; // the last open or hold found another program writing the disc
    bool audioCreated_;     // the held audio file did not exist before this open
    bool addRecorded_;      // the record of an add and its folder entry are on the device
    int32_t batchCount_;    // the last trailers of the destination list, not yet committed
    bool indexCurrent_;     // kovdisc's last commit put in place the index of the list as it is
    // Working fields of the reader, the writer, the path builder and the copy; they carry
    // nothing from one operation to the next.
    int32_t counter_;
    int32_t value_;
    char character_;
    char fileName_[kFileNameSize];
    // The names of the open audio and index files, to check, cut back or reopen them.
    char sourceAudioName_[kFileNameSize];
    char destinationIndexName_[kFileNameSize];
    char destinationAudioName_[kFileNameSize];
    // The destination's folder as a prefix of its file names: empty, or ending in a separator.
    char destinationFolder_[kFileNameSize];
};
