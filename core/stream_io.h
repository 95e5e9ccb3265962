// File calls the core needs beyond plain stdio: 64-bit positions, single-byte reads and writes
// without the per-call lock (every stream of the core is used by one thread only), resizing,
// flushing to the device, copying between files inside the system, putting a file in place in
// one step, and the lock that keeps a second program from writing a disc.
#pragma once

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

// A file name as std::filesystem takes it. The program's names are narrow strings in the
// system's ANSI code page (UTF-8 where the program's manifest asks for it), as every ANSI call
// and the C runtime's fopen read them; std::filesystem on Windows would read them by another
// rule. A name too long to convert gives an empty path, which names no file.
inline std::filesystem::path NativePath(const char* name) {
#ifdef _WIN32
    const int kMostCharacters = 4096;
    wchar_t wide[kMostCharacters];
    if (MultiByteToWideChar(CP_ACP, 0, name, -1, wide, kMostCharacters) == 0) {
        return std::filesystem::path();
    }
    return std::filesystem::path(wide);
#else
    return std::filesystem::path(name);
#endif
}

// A path back as a narrow name in the ANSI code page: what NativePath was given.
inline std::string NarrowName(const std::filesystem::path& path) {
#ifdef _WIN32
    const std::wstring& wide = path.native();
    const int length = WideCharToMultiByte(CP_ACP, 0, wide.c_str(), static_cast<int>(wide.size()),
                                           nullptr, 0, nullptr, nullptr);
    std::string name(static_cast<std::size_t>(length), '\0');
    WideCharToMultiByte(CP_ACP, 0, wide.c_str(), static_cast<int>(wide.size()), name.data(), length,
                        nullptr, nullptr);
    return name;
#else
    return path.native();
#endif
}

// Whether the name, once symbolic links are followed, is no file at all or a regular one. A
// folder, a named pipe or a device is neither: opening one could wait forever for a writer, or
// read what no disc holds. (Wine shows a Windows program no attributes for these; the open
// stream is checked again below.)
inline bool MissingOrRegular(const char* name) {
    std::error_code error;
    const std::filesystem::file_status status = std::filesystem::status(NativePath(name), error);
    return !std::filesystem::exists(status) || std::filesystem::is_regular_file(status);
}

// Whether an open stream is on a regular file, rather than on a pipe or a device.
inline bool OnRegularFile(std::FILE* stream) {
#ifdef _WIN32
    return GetFileType(reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)))) == FILE_TYPE_DISK;
#else
    struct stat status;
    return fstat(fileno(stream), &status) == 0 && S_ISREG(status.st_mode);
#endif
}

// std::fopen, for regular files only: anything else is not opened, or closed again at once.
inline std::FILE* OpenRegularFile(const char* name, const char* mode) {
    if (!MissingOrRegular(name)) {
        return nullptr;
    }
    std::FILE* const stream = std::fopen(name, mode);
    if (stream != nullptr && !OnRegularFile(stream)) {
        std::fclose(stream);
        return nullptr;
    }
    return stream;
}

inline bool SeekStream(std::FILE* stream, std::int64_t position, int origin) {
#ifdef _WIN32
    return _fseeki64(stream, position, origin) == 0;
#else
    return fseeko(stream, static_cast<off_t>(position), origin) == 0;
#endif
}

// The position, or -1 on failure.
inline std::int64_t StreamPosition(std::FILE* stream) {
#ifdef _WIN32
    return _ftelli64(stream);
#else
    return ftello(stream);
#endif
}

// The size of the stream's file, or -1 on failure. Leaves the stream at its end.
inline std::int64_t StreamSize(std::FILE* stream) {
    return SeekStream(stream, 0, SEEK_END) ? StreamPosition(stream) : -1;
}

inline int GetByte(std::FILE* stream) {
#ifdef _WIN32
    return _getc_nolock(stream);
#else
    return getc_unlocked(stream);
#endif
}

inline int PutByte(int byte, std::FILE* stream) {
#ifdef _WIN32
    return _putc_nolock(byte, stream);
#else
    return putc_unlocked(byte, stream);
#endif
}

// Copies up to `size` bytes of `in` from `from` to `out` at `to` inside the system, in calls of
// at most `block` bytes, until the end of `in`: the kernel moves them without a copy through the
// program, and clones them on file systems that can. Gives back how many it copied, from 0;
// whatever is left, the caller copies itself, and so meets again any error that stopped this
// copy. Only Linux has such a call; elsewhere nothing is copied here. The streams' own positions
// are not moved.
inline std::int64_t CopyInSystem(std::FILE* in, std::int64_t from, std::FILE* out, std::int64_t to,
                                 std::int64_t size, std::int64_t block) {
#ifdef __linux__
    off_t inAt = static_cast<off_t>(from);
    off_t outAt = static_cast<off_t>(to);
    std::int64_t copied = 0;
    while (copied < size) {
        const std::int64_t piece = size - copied < block ? size - copied : block;
        const ssize_t moved = copy_file_range(fileno(in), &inAt, fileno(out), &outAt,
                                              static_cast<std::size_t>(piece), 0);
        if (moved <= 0) {
            break;
        }
        copied += moved;
    }
    return copied;
#else
    (void)in;
    (void)from;
    (void)out;
    (void)to;
    (void)size;
    (void)block;
    return 0;
#endif
}

// Closes an open stream and empties the field that held it.
inline void CloseStream(std::FILE*& stream) {
    if (stream != nullptr) {
        std::fclose(stream);
        stream = nullptr;
    }
}

// Cuts a file back, or makes it longer, to `size` bytes.
inline bool ResizeFile(const char* name, std::int64_t size) {
    std::error_code error;
    std::filesystem::resize_file(NativePath(name), static_cast<std::uintmax_t>(size), error);
    return !error;
}

// Writes the stream's buffer out and waits until the device holds it: after a power cut the
// file's bytes are there.
inline bool FlushToDevice(std::FILE* stream) {
    if (std::fflush(stream) != 0) {
        return false;
    }
#ifdef _WIN32
    return FlushFileBuffers(reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)))) != 0;
#else
    return fsync(fileno(stream)) == 0;
#endif
}

// Makes the folder's entries (files created, renamed or removed in it) last through a power cut.
// `folder` may end in a separator; an empty name is the current folder. Windows writes a
// folder's entries through with each MoveFileEx below, and has no flush of its own for them.
inline bool FlushFolder(const char* folder) {
#ifdef _WIN32
    (void)folder;
    return true;
#else
    const int descriptor = open(folder[0] == 0 ? "." : folder, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (descriptor < 0) {
        return false;
    }
    const bool flushed = fsync(descriptor) == 0;
    return close(descriptor) == 0 && flushed;
#endif
}

// Puts the file `from` in the place of `to` in one step, replacing any file there: whenever the
// process or the power stops, `to` is the old file or the new one, never a part of either.
inline bool PutInPlace(const char* from, const char* to) {
#ifdef _WIN32
    // Windows refuses while another program has `to` open, as a reader of the index may for a
    // moment: a second of tries lets it finish.
    const int kTries = 20;
    for (int tried = 1;; ++tried) {
        if (MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0) {
            return true;
        }
        const DWORD error = GetLastError();
        if (tried == kTries || (error != ERROR_SHARING_VIOLATION && error != ERROR_ACCESS_DENIED)) {
            return false;
        }
        Sleep(50);
    }
#else
    return std::rename(from, to) == 0;
#endif
}

inline void RemoveFile(const char* name) {
    std::error_code error;
    std::filesystem::remove(NativePath(name), error);
}

// True when both names lead to one existing file, whatever the spelling of the names.
inline bool SameFile(const char* name, const char* other) {
    std::error_code error;
    return std::filesystem::equivalent(NativePath(name), NativePath(other), error) && !error;
}

// Opens an existing file for reading and writing without emptying it; with `create`, makes it
// first if there is none, and says so in `created`.
inline std::FILE* OpenForUpdate(const char* name, bool create, bool& created) {
    created = false;
    if (!MissingOrRegular(name)) {
        return nullptr;
    }
#ifdef _WIN32
    const int flags = _O_RDWR | _O_BINARY;
    int descriptor = create ? _open(name, flags | _O_CREAT | _O_EXCL, _S_IREAD | _S_IWRITE) : -1;
    created = descriptor >= 0;
    if (descriptor < 0) {
        descriptor = _open(name, flags);
    }
    std::FILE* const stream = descriptor < 0 ? nullptr : _fdopen(descriptor, "r+b");
    if (descriptor >= 0 && stream == nullptr) {
        _close(descriptor);
    }
#else
    const int flags = O_RDWR | O_CLOEXEC;
    int descriptor = create ? open(name, flags | O_CREAT | O_EXCL, 0666) : -1;
    created = descriptor >= 0;
    if (descriptor < 0) {
        descriptor = open(name, flags);
    }
    std::FILE* const stream = descriptor < 0 ? nullptr : fdopen(descriptor, "r+b");
    if (descriptor >= 0 && stream == nullptr) {
        close(descriptor);
    }
#endif
    if (stream != nullptr && !OnRegularFile(stream)) {
        std::fclose(stream);
        return nullptr;
    }
    return stream;
}

enum class LockResult { Taken, HeldElsewhere, Failed };

// A disc's writer locks one byte of its audio file far past any audio there can be: readers
// never touch it, so Windows, whose locks are mandatory, still lets them read. Under Wine such a
// lock is a POSIX record lock on the same byte, so native and Windows programs see each other's.
constexpr std::int64_t kWriterLockPosition = std::int64_t{1} << 62;

#ifdef _WIN32
// The writer's lock byte as the Windows lock calls take it, and the stream's file handle.
inline OVERLAPPED WriterLockPlace() {
    OVERLAPPED where = {};
    where.Offset = static_cast<DWORD>(kWriterLockPosition & 0xFFFFFFFF);
    where.OffsetHigh = static_cast<DWORD>(kWriterLockPosition >> 32);
    return where;
}

inline HANDLE FileHandle(std::FILE* stream) {
    return reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
}
#else
// The writer's lock byte as fcntl takes it, for a lock of `type`.
inline struct flock WriterLockRange(short type) {
    struct flock lock = {};
    lock.l_type = type;
    lock.l_whence = SEEK_SET;
    lock.l_start = static_cast<off_t>(kWriterLockPosition);
    lock.l_len = 1;
    return lock;
}
#endif

// Takes the writer's lock on the stream's file, without waiting. It is released when the
// stream is closed, and by the system when the process dies, however it dies. On Linux it is an
// open-file-description lock: closing another descriptor of the same file does not drop it.
inline LockResult LockForWriting(std::FILE* stream) {
#ifdef _WIN32
    OVERLAPPED where = WriterLockPlace();
    if (LockFileEx(FileHandle(stream), LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0,
                   &where)) {
        return LockResult::Taken;
    }
    return GetLastError() == ERROR_LOCK_VIOLATION ? LockResult::HeldElsewhere : LockResult::Failed;
#else
    struct flock lock = WriterLockRange(F_WRLCK);
    if (fcntl(fileno(stream), F_OFD_SETLK, &lock) == 0) {
        return LockResult::Taken;
    }
    return errno == EAGAIN || errno == EACCES ? LockResult::HeldElsewhere : LockResult::Failed;
#endif
}

// Whether another writer holds the lock on the stream's file, found without holding it: a reader
// asks so. On Linux the lock is only looked at. Windows can only try it: a shared lock taken
// without waiting and let go at once, which keeps no writer out longer than that instant.
inline bool HeldByAnotherWriter(std::FILE* stream) {
#ifdef _WIN32
    OVERLAPPED where = WriterLockPlace();
    if (LockFileEx(FileHandle(stream), LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &where)) {
        UnlockFileEx(FileHandle(stream), 0, 1, 0, &where);
        return false;
    }
    return GetLastError() == ERROR_LOCK_VIOLATION;
#else
    struct flock lock = WriterLockRange(F_WRLCK);
    return fcntl(fileno(stream), F_OFD_GETLK, &lock) == 0 && lock.l_type != F_UNLCK;
#endif
}

// Releases the lock before the stream is closed; Windows asks for that rather than leaving it to
// the close.
inline void Unlock(std::FILE* stream) {
#ifdef _WIN32
    OVERLAPPED where = WriterLockPlace();
    UnlockFileEx(FileHandle(stream), 0, 1, 0, &where);
#else
    struct flock lock = WriterLockRange(F_UNLCK);
    fcntl(fileno(stream), F_OFD_SETLK, &lock);
#endif
}
